#include "db/Connection.h"
#include "db/SqlFunctions.h"
#include "db/SqlDialect.h"
#include "core/Error.h"
#include "core/ProcessValues.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <sqlite3.h>
#include <sys/stat.h>

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

// The file of each open connection, by its driver, so that a statement run
// through a bare query can still name the file in its error.
QMutex &pathsLock()
{
    static QMutex lock;
    return lock;
}

QHash<const QSqlDriver *, QString> &pathsByDriver()
{
    static QHash<const QSqlDriver *, QString> paths;
    return paths;
}

QString pathOfDriver(const QSqlDriver *driver)
{
    const QMutexLocker locker(&pathsLock());
    return pathsByDriver().value(driver);
}

QString notDatabaseText(const QString &path)
{
    return QStringLiteral("Файл ") + path
           + QStringLiteral(" не является базой данных программы (ожидается файл SQLite). "
                            "Файл не изменён; укажите в настройках другой файл базы данных.");
}

QString damagedText(const QString &path, const QString &detail)
{
    return QStringLiteral("Файл базы данных ") + path + QStringLiteral(" повреждён")
           + (detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + QStringLiteral(")"))
           + QStringLiteral(". Программа ничего в него не записала. Восстановите файл из "
                            "резервной копии или укажите в настройках другой файл базы данных.");
}

// A check of the file through SQLite itself. A descriptor of our own would
// not do: POSIX record locks belong to the process, so closing any
// descriptor of the file drops every lock this program holds on it, and
// another program would then take the open database for unused and remove
// its write-ahead journal under it. SQLite keeps its descriptors of one file
// together and never closes one while a connection of the process holds a
// lock. The probe only reads; `sql` is a statement answered by rows of text.
struct Probe
{
    int code = SQLITE_OK;   // extended result code of the first failure
    QString message;        // SQLite's text for it
    QStringList rows;       // first column of each row
};

Probe probe(const QString &path, const char *sql, int busyTimeoutMs)
{
    Probe result;
    sqlite3 *h = nullptr;
    const QByteArray file = QFile::encodeName(path);
    int rc = sqlite3_open_v2(file.constData(), &h, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt *st = nullptr;
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(h, 1);
        sqlite3_busy_timeout(h, busyTimeoutMs);
        rc = sqlite3_prepare_v2(h, sql, -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            while ((rc = sqlite3_step(st)) == SQLITE_ROW)
                result.rows << QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
            if (rc == SQLITE_DONE)
                rc = SQLITE_OK;
        }
    }
    if (rc != SQLITE_OK) {
        result.code = h ? sqlite3_extended_errcode(h) : rc;
        result.message = QString::fromUtf8(h ? sqlite3_errmsg(h) : sqlite3_errstr(rc));
    }
    sqlite3_finalize(st);
    sqlite3_close(h);
    return result;
}

// The file as the operating system sees it; no descriptor is opened.
bool fileIdentity(const QString &path, struct stat &st)
{
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QString describeSqliteError(int code, const QString &message, const QString &path)
{
    const QString file = path.isEmpty() ? QStringLiteral("базы данных") : path;
    switch (code & 0xff) {
    case SQLITE_READONLY:
        return QStringLiteral("База данных ") + file
               + QStringLiteral(" открыта только для чтения: записать в неё нельзя. Проверьте права "
                                "на файл и на его папку (или снимите с файла отметку «только "
                                "чтение») и перезапустите программу.");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("База данных ") + file
               + QStringLiteral(" занята другой программой. Дождитесь окончания её работы или "
                                "закройте её и повторите действие.");
    case SQLITE_FULL:
        return QStringLiteral("Недостаточно места на диске для базы данных ") + file
               + QStringLiteral(". Освободите место на диске и повторите действие.");
    case SQLITE_CORRUPT:
        return damagedText(file, message);
    case SQLITE_NOTADB:
        return notDatabaseText(file);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("Нет доступа к файлу базы данных ") + file + QStringLiteral(" (")
               + message
               + QStringLiteral("). Проверьте, что файл и его папка существуют и доступны, "
                                "и перезапустите программу.");
    case SQLITE_IOERR:
        return QStringLiteral("Ошибка чтения или записи файла базы данных ") + file
               + QStringLiteral(" (") + message
               + QStringLiteral("). Проверьте диск и файл и повторите действие.");
    default:
        return message;
    }
}

QString checkDatabaseFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Файл базы данных по указанному пути ") + path
               + QStringLiteral(" не существует");
    if (!info.isFile())
        return QStringLiteral("По указанному пути ") + path
               + QStringLiteral(" находится не файл базы данных, а папка или устройство. "
                                "Укажите в настройках файл базы данных.");
    if (!info.isReadable())
        return QStringLiteral("Нет доступа к файлу базы данных ") + path
               + QStringLiteral(": чтение запрещено. Проверьте права на файл.");
    if (info.size() == 0)
        return QString(); // an empty file is an empty SQLite database
    // Reading the header is what tells a SQLite file from anything else.
    const Probe p = probe(path, "PRAGMA schema_version", Connection::kBusyTimeoutMs);
    if (p.code == SQLITE_OK)
        return QString();
    return describeSqliteError(p.code, p.message, path);
}

QString verifyDatabaseFile(const QString &path)
{
    if (const QString problem = checkDatabaseFile(path); !problem.isEmpty())
        return problem;
    if (QFileInfo(path).size() == 0)
        return QString();
    const Probe p = probe(path, "PRAGMA quick_check(5)", Connection::kBusyTimeoutMs);
    if (p.code != SQLITE_OK)
        return describeSqliteError(p.code, p.message, path);
    if (p.rows != QStringList{QStringLiteral("ok")})
        return damagedText(path, QStringLiteral("проверка целостности: ")
                                     + p.rows.join(QStringLiteral("; ")));
    return QString();
}

bool databaseBusy(const QString &path)
{
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
        return false;
    return (probe(path, "BEGIN IMMEDIATE", 0).code & 0xff) == SQLITE_BUSY;
}

QString databaseBusyText(const QString &path)
{
    return describeSqliteError(SQLITE_BUSY, QString(), path);
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
    // Short: every statement runs on the interface thread, which must not
    // stand still while another program writes.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!m_db.open()) {
        const QString message = describeError(m_db.lastError());
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        raise(message);
    }
    m_path = path;
    {
        const QMutexLocker locker(&pathsLock());
        pathsByDriver().insert(m_db.driver(), m_path);
    }
    try {
        registerSqlFunctions(m_db);
        // Every committed row must survive a killed process or a power cut:
        // a write-ahead journal synchronised at each commit. A file that
        // cannot be written (read-only) keeps its journal and is still read.
        if (!isReadOnly()) {
            exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            exec(QStringLiteral("PRAGMA synchronous=FULL"));
        }
        rememberFile();
    } catch (...) {
        close();
        throw;
    }
}

void Connection::openConfigured()
{
    const core::TNastroyki &n = core::pv().Nastroyki;
    open(n.PutKFayluBD, n.BDLogin, n.BDPass);
}

void Connection::close()
{
    if (m_db.isValid()) {
        {
            const QMutexLocker locker(&pathsLock());
            pathsByDriver().remove(m_db.driver());
        }
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    m_path.clear();
    m_file = {};
}

bool Connection::isReadOnly() const
{
    sqlite3 *h = handle();
    return h && sqlite3_db_readonly(h, "main") == 1;
}

sqlite3 *Connection::handle() const
{
    if (!m_db.isValid() || !m_db.isOpen())
        return nullptr;
    const QVariant v = m_db.driver()->handle();
    return v.isValid() ? *static_cast<sqlite3 *const *>(v.data()) : nullptr;
}

void Connection::rememberFile()
{
    struct stat st {};
    if (!fileIdentity(m_path, st))
        raise(describeSqliteError(SQLITE_CANTOPEN, QStringLiteral("файл не найден"), m_path));
    m_file = {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size)};
}

void Connection::checkSameFile()
{
    if (!m_file.known)
        return;
    struct stat st {};
    const QString stop = QStringLiteral(" Запись не выполнена. Восстановите файл или укажите "
                                        "его заново в настройках и перезапустите программу.");
    if (!fileIdentity(m_path, st))
        raise(QStringLiteral("Файл базы данных ") + m_path
              + QStringLiteral(" удалён или перемещён, пока программа работала.") + stop);
    if (quint64(st.st_dev) != m_file.device || quint64(st.st_ino) != m_file.inode)
        raise(QStringLiteral("Файл базы данных ") + m_path
              + QStringLiteral(" заменён другим файлом, пока программа работала.") + stop);
    // The program's own writes never shrink the file. Another client's
    // VACUUM may, and leaves a sound file; a cut leaves a damaged one, which
    // the quick check tells apart (and only then, so it is rare).
    if (qint64(st.st_size) < m_file.size) {
        QSqlQuery q = exec(QStringLiteral("PRAGMA quick_check(1)"));
        if (!q.next() || q.value(0).toString() != QLatin1String("ok"))
            raise(QStringLiteral("Файл базы данных ") + m_path
                  + QStringLiteral(" укорочен другой программой, пока программа работала.")
                  + stop);
    }
    m_file.size = qint64(st.st_size);
}

QString Connection::describeError(const QSqlError &e) const
{
    return describeSqliteError(e.nativeErrorCode().toInt(), sqlErrorText(e), m_path);
}

bool Connection::isOpen() const { return m_db.isValid() && m_db.isOpen(); }

namespace {
// Whether a statement only reads: anything else is a write, which must go
// to the file the connection was opened on.
bool onlyReads(const QString &sql)
{
    const QString head = sql.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
    return head == QLatin1String("SELECT") || head == QLatin1String("PRAGMA")
           || head == QLatin1String("EXPLAIN") || head == QLatin1String("WITH");
}
} // namespace

QSqlQuery Connection::exec(const QString &accessSql)
{
    if (!isOpen())
        raise(QStringLiteral("Нет подключения к базе данных"));
    if (!onlyReads(accessSql))
        checkSameFile();
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(accessToSqlite(accessSql)))
        raise(describeError(q.lastError()));
    return q;
}

QSqlQuery Connection::prepare(const QString &accessSql)
{
    if (!isOpen())
        raise(QStringLiteral("Нет подключения к базе данных"));
    if (!onlyReads(accessSql))
        checkSameFile();
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(accessToSqlite(accessSql)))
        raise(describeError(q.lastError()));
    return q;
}

void Connection::execPrepared(QSqlQuery &q)
{
    if (!q.exec()) {
        const QSqlError e = q.lastError();
        raise(describeSqliteError(e.nativeErrorCode().toInt(), sqlErrorText(e),
                                  pathOfDriver(q.driver())));
    }
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
    m_connection.checkSameFile();
    // On the file the write lock is taken at the start: what the transaction
    // reads before its first write (a rule's check, a guard) still holds when
    // it writes, as no other program can write in between. Begun deferred,
    // the write of a connection whose reads another program has overtaken
    // would fail with "busy" at once instead of waiting its turn.
    if (m_connection.database().driverName() == QLatin1String("QSQLITE")) {
        QSqlQuery begin(m_connection.database());
        if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
            raise(m_connection.describeError(begin.lastError()));
        return;
    }
    if (!m_connection.transaction())
        raise(m_connection.describeError(m_connection.database().lastError()));
}

Transaction::~Transaction()
{
    if (!m_done)
        m_connection.rollback();
}

void Transaction::commit()
{
    if (!m_connection.commit())
        raise(m_connection.describeError(m_connection.database().lastError()));
    m_done = true;
}

} // namespace db
