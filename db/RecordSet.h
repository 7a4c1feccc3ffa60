#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace db {

class Connection;

// The one record set behind every grid of the program: the rows of one
// SELECT held in memory, a row filter that can be switched off and on (each
// switch judges every row anew), a sort by one column, and insert, update and
// delete written to the table at once (committed before the call returns).
// Rows are identified in the table by SQLite's rowid, so rows with empty or
// repeated record identifiers are still told apart.
//
// Row numbers in this interface are the visible rows (after filter and sort)
// unless the name says "source". Failures raise core::Error.
class RecordSet : public QAbstractTableModel
{
    Q_OBJECT
public:
    using Row = QVector<QVariant>;                 // values in fieldNames() order
    using FilterFn = std::function<bool(const RecordSet &, const Row &)>;

    struct Column                                  // a grid column: field, title, width
    {
        QString field;
        QString title;
        int width = 70;
    };

    explicit RecordSet(QObject *parent = nullptr);
    ~RecordSet() override;

    void setConnection(Connection *connection);
    Connection *connection() const;
    // The table that inserts, updates and deletes write to.
    void setTable(const QString &table);
    QString table() const;
    // An Access-dialect SELECT; "SELECT * from T" or a ZaprosSpisokDoc text.
    void setSql(const QString &accessSql);
    QString sql() const;

    void open();          // runs the SELECT and loads every row
    void close();         // forgets the rows
    bool isOpen() const;
    void refresh();       // runs the SELECT again, keeping filter and sort

    QStringList fieldNames() const;
    int fieldIndex(const QString &field) const;   // -1 when missing

    // Visible rows.
    int count() const;
    QVariant value(int row, const QString &field) const;
    QString text(int row, const QString &field) const;
    const Row &row(int row) const;
    // Every loaded row, the filter ignored (e.g. the duplicate rule).
    int sourceCount() const;
    const Row &sourceRow(int sourceRow) const;
    int sourceIndex(int row) const;

    void setFilter(FilterFn filter);
    void setFiltered(bool on);     // each call judges every row anew
    bool isFiltered() const;
    void refilter();               // judge every row anew under the current state

    void sortBy(const QString &field, Qt::SortOrder order = Qt::AscendingOrder);
    void clearSort();

    // Writes a new row into the table and adds it to the set; returns its
    // visible row, or -1 when the filter hides it.
    int insertRecord(const QVariantMap &values);
    void updateRecord(int row, const QVariantMap &values);
    // Deletes the given visible rows from the table in one transaction.
    void deleteRecords(QList<int> rows);

    // Grid columns; without them every field is a column titled by its name.
    void setColumns(const QList<Column> &columns);
    QList<Column> columns() const;

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace db
