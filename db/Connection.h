#pragma once
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

struct sqlite3;
class QSqlError;

namespace db {

// A column of a table with its type as a CREATE TABLE of the file spells it
// ("NVARCHAR(255)", "MONEY", "INT").
struct TableColumn
{
    QString name;
    QString type;
};

// One connection to the database. "MSAcc" names the engine in our code:
// a SQLite file reached through Qt's QSQLITE driver, with every statement of
// the program passed through the Access-dialect adapter (SqlDialect.h), the
// functions CCur and Mid registered, and settings that keep every committed
// row on disk (write-ahead journal, full synchronisation).
//
// A path "postgresql://user@host:port/dbname" is a database on a PostgreSQL
// server instead, reached through Qt's QPSQL driver: the statements go
// through the adapter's PostgreSQL form, the login and password are the
// ones given for the file (the URL's user name when no login is set).
//
// Errors are raised as core::Error with the class name "EDatabaseError";
// a file that is not a SQLite database is refused before it is touched.
class Connection
{
public:
    static constexpr const char *DriverId = "MSAcc";
    // How long a statement waits for another program's write to end before
    // it fails with the "busy" message.
    static constexpr int kBusyTimeoutMs = 500;
    // A server table's own key column, standing for SQLite's rowid: kept out
    // of fields() and of the record sets' fields.
    static constexpr const char *kServerRowId = "rowid";

    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Opens the file at `path`; the file must exist. User name and password
    // are kept for the callers' sake: a SQLite file has no login. A server
    // URL (isServerUrl) logs in with them.
    void open(const QString &path, const QString &user = QString(),
              const QString &password = QString());
    // Opens the database the in-memory settings name, with their user name
    // and password: the way every window connects.
    void openConfigured();
    void close();
    bool isOpen() const;
    // The file's path, or the server's URL without a password.
    QString path() const { return m_path; }
    // A database on a PostgreSQL server rather than a SQLite file.
    bool isServer() const { return m_server; }
    // A server connection that the server or the network dropped (restart,
    // cut): every statement fails until it is opened again.
    bool connectionLost() const;
    // The statement as this connection's engine takes it.
    QString dialect(const QString &accessSql) const;

    // Runs one Access-dialect statement; the query is active for a SELECT.
    QSqlQuery exec(const QString &accessSql);
    // Prepares an Access-dialect statement for bound values.
    QSqlQuery prepare(const QString &accessSql);
    // Runs a prepared query, raising on failure.
    static void execPrepared(QSqlQuery &q);

    // Names of the database's own tables (no sqlite_* tables; on a server
    // those of its schema). The server folds names to lower case: the
    // program's own tables and columns are given in the program's spelling.
    QStringList tables() const;
    // Column names of a table, in their order; raises for a missing table.
    // The table's name is matched without regard to case.
    QStringList fields(const QString &table);
    // The columns of a table with their types, in their order; empty for a
    // missing table. A server's types are given as the file declares them
    // (NUMERIC(19,4) as MONEY, VARCHAR(n) as NVARCHAR(n), INTEGER as INT).
    QList<TableColumn> tableColumns(const QString &table);
    // Whether the rows of a table can be told by their rowid: always on a
    // file, on a server when the table has its key column (kServerRowId).
    bool hasRowIds(const QString &table);

    bool transaction();
    bool commit();
    bool rollback();

    QSqlDatabase &database() { return m_db; }

    // The file cannot be written (no write permission, read-only medium):
    // it is read as it stands, and every write fails with a clear message.
    bool isReadOnly() const;

    // SQLite's own handle of the open connection (backup, functions); nullptr
    // when closed or on a server.
    sqlite3 *handle() const;

    // Raises when the file at the path is no longer the one opened: deleted,
    // replaced by another file, or cut short. Called before every write, so
    // that no row is acknowledged into a file nobody will ever read again.
    void checkSameFile();

    // The Russian text of a database error, naming the file and what to do.
    QString describeError(const QSqlError &e) const;

private:
    struct FileIdentity
    {
        bool known = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
    };

    void rememberFile();
    void openServer(const QString &url, const QString &user, const QString &password);
    // Raises "no connection", or "connection lost" for a dropped server.
    [[noreturn]] void raiseNotOpen() const;
    friend class Transaction;

    QString m_name;
    QString m_path;
    QString m_where;        // a server's "host:port/dbname", for messages
    bool m_server = false;
    bool m_readOnly = false; // of a server connection
    QSqlDatabase m_db;
    FileIdentity m_file;
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

// Whether a database path names a PostgreSQL server ("postgresql://...")
// rather than a file.
bool isServerUrl(const QString &path);

// A database path as windows and messages show it: a server URL without a
// password written into it (even one the URL parser refuses), a file path
// as it is.
QString shownPath(const QString &path);

// Checks that the file at `path` can be opened as a database: it exists, is
// a readable file, and is empty or a SQLite file. Returns an empty text when
// it can, else the Russian message to show. The file is read through SQLite
// only, so the check is safe while connections of this process are open.
// A server URL passes: the connection itself says what is wrong there.
QString checkDatabaseFile(const QString &path);

// checkDatabaseFile and SQLite's quick integrity check of the whole file:
// the check to pass before anything is written to a file at start-up.
// A server URL passes: the server keeps its files sound itself.
QString verifyDatabaseFile(const QString &path);

// Whether another program holds the write lock of the database at `path`
// now (a write of ours would have to wait for it). Asks without waiting.
// Never for a server.
bool databaseBusy(const QString &path);
// The message for a database another program keeps locked.
QString databaseBusyText(const QString &path);

// The Russian text for a SQLite result code (the extended code may be
// given), naming the file and what to do; other codes keep `message`.
QString describeSqliteError(int code, const QString &message, const QString &path);

} // namespace db
