#include "db/Connection.h"
#include "db/SqlFunctions.h"
#include "db/SqlDialect.h"
#include "core/Error.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

namespace db {

namespace {

const QString kErrorClass = QStringLiteral("EDatabaseError");

[[noreturn]] void raise(const QString &message)
{
    throw core::Error(kErrorClass, message);
}

QString sqlErrorText(const QSqlError &e)
{
    QString text = e.databaseText();
    if (text.isEmpty())
        text = e.text();
    return text;
}

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("MSAcc-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

QString checkDatabaseFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return QStringLiteral("Файл базы данных по указанному пути ") + path
               + QStringLiteral(" не существует");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("Нет доступа к файлу базы данных ") + path
               + QStringLiteral(": ") + f.errorString();
    if (f.size() == 0)
        return QString(); // an empty file is an empty SQLite database
    const QByteArray head = f.read(16);
    if (head != QByteArray("SQLite format 3\0", 16))
        return QStringLiteral("Файл ") + path
               + QStringLiteral(" не является базой данных программы (ожидается файл SQLite). "
                                "Файл не изменён; укажите в настройках другой файл базы данных.");
    return QString();
}

Connection::Connection() : m_name(nextConnectionName()) {}

Connection::~Connection()
{
    close();
}

void Connection::open(const QString &path, const QString &user, const QString &password)
{
    close();
    const QString problem = checkDatabaseFile(path);
    if (!problem.isEmpty())
        raise(problem);
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    m_db.setDatabaseName(path);
    m_db.setUserName(user);
    m_db.setPassword(password);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open()) {
        const QString message = sqlErrorText(m_db.lastError());
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        raise(message);
    }
    m_path = path;
    try {
        registerSqlFunctions(m_db);
        // Every committed row must survive a killed process or a power cut:
        // a write-ahead journal synchronised at each commit.
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
    } catch (...) {
        close();
        throw;
    }
}

void Connection::close()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    m_path.clear();
}

bool Connection::isOpen() const { return m_db.isValid() && m_db.isOpen(); }

QSqlQuery Connection::exec(const QString &accessSql)
{
    if (!isOpen())
        raise(QStringLiteral("Нет подключения к базе данных"));
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(accessToSqlite(accessSql)))
        raise(sqlErrorText(q.lastError()));
    return q;
}

QSqlQuery Connection::prepare(const QString &accessSql)
{
    if (!isOpen())
        raise(QStringLiteral("Нет подключения к базе данных"));
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(accessToSqlite(accessSql)))
        raise(sqlErrorText(q.lastError()));
    return q;
}

void Connection::execPrepared(QSqlQuery &q)
{
    if (!q.exec())
        raise(sqlErrorText(q.lastError()));
}

QStringList Connection::tables() const
{
    QStringList out;
    if (!isOpen())
        return out;
    for (const QString &t : m_db.tables(QSql::Tables) + m_db.tables(QSql::Views))
        if (!t.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
            out << t;
    return out;
}

QStringList Connection::fields(const QString &table)
{
    QSqlQuery q = exec(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE 0"));
    const QSqlRecord rec = q.record();
    QStringList out;
    for (int i = 0; i < rec.count(); ++i)
        out << rec.fieldName(i);
    return out;
}

bool Connection::transaction() { return m_db.transaction(); }
bool Connection::commit() { return m_db.commit(); }
bool Connection::rollback() { return m_db.rollback(); }

Transaction::Transaction(Connection &connection) : m_connection(connection)
{
    if (!m_connection.isOpen())
        raise(QStringLiteral("Нет подключения к базе данных"));
    if (!m_connection.transaction())
        raise(sqlErrorText(m_connection.database().lastError()));
}

Transaction::~Transaction()
{
    if (!m_done)
        m_connection.rollback();
}

void Transaction::commit()
{
    if (!m_connection.commit())
        raise(sqlErrorText(m_connection.database().lastError()));
    m_done = true;
}

} // namespace db
