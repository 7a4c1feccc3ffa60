#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

namespace mdbimport {

// The column types of an Access table as the file stores them.
enum class SourceType {
    Bool,
    Byte,
    Int,      // 16 bits
    LongInt,  // 32 bits, also autonumbers
    Money,    // currency: 64-bit ten-thousandths
    Float,
    Double,
    DateTime,
    Binary,
    Text,
    Ole,
    Memo,
    RepId,    // replication GUID
    Numeric,  // decimal with precision and scale
    Complex,  // attachment / multi-value reference (.accdb)
    Other,
};

struct SourceColumn
{
    QString name;
    SourceType type = SourceType::Text;
    int size = 0; // characters for text, bytes for binary
    int precision = 0;
    int scale = 0;
};

struct SourceTable
{
    QString name;
    QList<SourceColumn> columns;
    qint64 rows = 0; // as the table's header counts them
};

// One value read from an Access row, in the form that keeps it exactly:
// null → invalid QVariant; Bool → bool; Byte/Int/LongInt/Complex → qlonglong;
// Money → qlonglong ten-thousandths; Float/Double → double; DateTime →
// QDateTime without a time zone (Qt::UTC used as "no zone"), to the second;
// Text/Memo/RepId → QString; Numeric → QString with a decimal point;
// Binary/Ole → QByteArray.
using SourceRow = QList<QVariant>;

// An Access file opened read-only through mdbtools' library. Errors are
// raised as core::Error with class name "EAccessError" and a Russian text.
class AccessFile
{
public:
    AccessFile();
    ~AccessFile();
    AccessFile(const AccessFile &) = delete;
    AccessFile &operator=(const AccessFile &) = delete;

    // True when the file at `path` begins like a Jet 3/4 or ACE database.
    static bool isAccessFile(const QString &path);

    void open(const QString &path);
    QString path() const { return m_path; }
    // "Jet 3", "Jet 4", "Access 2007", ...
    QString versionName() const;

    // The user tables with their columns (no system or linked tables).
    const QList<SourceTable> &tables() const { return m_tables; }
    // Tables whose rows live in another file, which this one only names.
    const QStringList &linkedTables() const { return m_linked; }

    // Reads every row of `table` in file order; `onRow` returns false to
    // stop early. Returns the number of rows read.
    qint64 readRows(const QString &table, const std::function<bool(const SourceRow &)> &onRow);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    QString m_path;
    QList<SourceTable> m_tables;
    QStringList m_linked;
};

} // namespace mdbimport
