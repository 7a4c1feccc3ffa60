#pragma once
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

namespace db {

// One connection to the database file. "MSAcc" names the engine in our code:
// a SQLite file reached through Qt's QSQLITE driver, with every statement of
// the program passed through the Access-dialect adapter (SqlDialect.h), the
// functions CCur and Mid registered, and settings that keep every committed
// row on disk (write-ahead journal, full synchronisation).
//
// Errors are raised as core::Error with the class name "EDatabaseError";
// a file that is not a SQLite database is refused before it is touched.
class Connection
{
public:
    static constexpr const char *DriverId = "MSAcc";

    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens the file at `path`; the file must exist. User name and password
    // are kept for the callers' sake: a SQLite file has no login.
    void open(const QString &path, const QString &user = QString(),
              const QString &password = QString());
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }

    // Runs one Access-dialect statement; the query is active for a SELECT.
    QSqlQuery exec(const QString &accessSql);
    // Prepares an Access-dialect statement for bound values.
    QSqlQuery prepare(const QString &accessSql);
    // Runs a prepared query, raising on failure.
    static void execPrepared(QSqlQuery &q);

    // Names of the database's own tables (no sqlite_* tables).
    QStringList tables() const;
    // Column names of a table, in their order; raises for a missing table.
    QStringList fields(const QString &table);

    bool transaction();
    bool commit();
    bool rollback();

    QSqlDatabase &database() { return m_db; }

private:
    QString m_name;
    QString m_path;
    QSqlDatabase m_db;
};

// A write transaction that rolls back unless committed, so a failed step of
// a multi-statement write leaves nothing half-written.
class Transaction
{
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Connection &m_connection;
    bool m_done = false;
};

// Checks that the file at `path` can be opened as a database: it exists and
// is empty or a SQLite file. Returns an empty text when it can, else the
// Russian message to show.
QString checkDatabaseFile(const QString &path);

} // namespace db
