#include "db/Backup.h"

#include "db/Connection.h"
#include "core/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QThread>

#include <sqlite3.h>

namespace db {

namespace {

const QString kErrorClass = QStringLiteral("EDatabaseError");
constexpr int kPagesPerStep = 256;
constexpr int kMaxWaits = 250;   // 20 ms each

[[noreturn]] void raise(const QString &message) { throw core::Error(kErrorClass, message); }

// The target file and its handle, removed again unless the copy completed.
struct Target
{
    QString path;
    sqlite3 *db = nullptr;
    bool done = false;
    ~Target()
    {
        if (db)
            sqlite3_close(db);
        if (!done)
            for (const char *suffix : {"", "-wal", "-shm", "-journal"})
                QFile::remove(path + QLatin1String(suffix));
    }
};

// A server's copy: every table of the database into a schema of its own
// on the same server, all from one snapshot, in one transaction, so that a
// copy is there whole or not at all.
void kopiyaNaServere(Connection &connection, const QString &schema,
                     const std::function<void(int, int)> &progress)
{
    const QString failed = QStringLiteral("Не удалось сохранить копию базы данных в схему ")
                           + schema + QStringLiteral(" на сервере: ");
    static const QRegularExpression plainName(QStringLiteral("^[a-z_][a-z0-9_]*$"));
    if (!plainName.match(schema).hasMatch())
        raise(failed + QStringLiteral("недопустимое имя схемы."));
    try {
        QSqlQuery taken = connection.prepare(
            QStringLiteral("SELECT 1 FROM information_schema.schemata WHERE schema_name = ?"));
        taken.addBindValue(schema);
        Connection::execPrepared(taken);
        if (taken.next())
            raise(failed + QStringLiteral("такая схема уже есть."));
        taken.finish();
        const QStringList tables = connection.tables();
        Transaction tx(connection);
        connection.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
        connection.exec(QStringLiteral("CREATE SCHEMA ") + schema);
        for (int i = 0; i < tables.size(); ++i) {
            connection.exec(QStringLiteral("CREATE TABLE ") + schema + QLatin1Char('.')
                            + tables[i] + QStringLiteral(" AS TABLE ") + tables[i]);
            if (progress)
                progress(i + 1, int(tables.size()));
        }
        tx.commit();
    } catch (const core::Error &e) {
        if (e.message().startsWith(failed))
            throw;
        raise(failed + e.message());
    }
}

} // namespace

void kopiyaBazy(Connection &connection, const QString &target,
                const std::function<void(int, int)> &progress)
{
    if (connection.isServer()) {
        kopiyaNaServere(connection, target, progress);
        return;
    }
    const QString failed = QStringLiteral("Не удалось сохранить копию базы данных в файл ") + target
        + QStringLiteral(": ");
    sqlite3 *source = connection.handle();
    if (!source)
        raise(failed + QStringLiteral("подключение к базе данных не открыто."));
    if (QFileInfo::exists(target))
        raise(failed + QStringLiteral("такой файл уже есть."));

    Target t{target};
    const QByteArray name = QFile::encodeName(target);
    if (sqlite3_open_v2(name.constData(), &t.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK) {
        const QString why = t.db ? QString::fromUtf8(sqlite3_errmsg(t.db)) : QStringLiteral("нет памяти");
        raise(failed + why);
    }
    sqlite3_backup *b = sqlite3_backup_init(t.db, "main", source, "main");
    if (!b)
        raise(failed + QString::fromUtf8(sqlite3_errmsg(t.db)));

    int rc = SQLITE_OK;
    int waits = 0;
    do {
        rc = sqlite3_backup_step(b, kPagesPerStep);
        if (progress) {
            const int total = sqlite3_backup_pagecount(b);
            progress(total - sqlite3_backup_remaining(b), total);
        }
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            // Another writer holds the file for a moment; not for ever.
            if (++waits > kMaxWaits)
                break;
            QThread::msleep(20);
        }
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        raise(failed + QString::fromUtf8(sqlite3_errstr(rc)));
    // Closing writes the copy's own journal into it: one file is left.
    if (sqlite3_close(t.db) != SQLITE_OK)
        raise(failed + QString::fromUtf8(sqlite3_errmsg(t.db)));
    t.db = nullptr;
    t.done = true;
}

QString imyaKopiiBazy(const QString &dbPath, const QDateTime &when)
{
    if (isServerUrl(dbPath))
        return QStringLiteral("kopiya_") + when.toString(QStringLiteral("yyyy_MM_dd_HH_mm_ss"));
    const QFileInfo info(dbPath);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem = info.dir().filePath(info.completeBaseName() + QStringLiteral("_копия_")
                                             + when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    QString path = stem + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral("_%1").arg(n) + suffix;
    return path;
}

QString imyaKopiiBazy(Connection &connection, const QDateTime &when)
{
    if (!connection.isServer())
        return imyaKopiiBazy(connection.path(), when);
    const QString stem = imyaKopiiBazy(connection.path(), when);
    QSqlQuery q = connection.prepare(QStringLiteral(
        "SELECT schema_name FROM information_schema.schemata WHERE schema_name LIKE ?"));
    q.addBindValue(stem + QLatin1Char('%'));
    Connection::execPrepared(q);
    QStringList taken;
    while (q.next())
        taken << q.value(0).toString();
    QString name = stem;
    for (int n = 2; taken.contains(name); ++n)
        name = stem + QStringLiteral("_%1").arg(n);
    return name;
}

} // namespace db
