#include "AccessImport.h"
#include "AccessFile.h"
#include "ColumnMapping.h"

#include "core/Error.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mdbimport {

namespace {

const QString kErrorClass = QStringLiteral("EImportError");

[[noreturn]] void raise(const QString &message)
{
    throw core::Error(kErrorClass, message);
}

QString quotedName(const QString &name)
{
    QString n = name;
    return QLatin1Char('"') + n.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// Statements of the conversion are SQLite's own (quoted names, COUNT), not
// the program's Access dialect: they go to the driver as they stand.
QSqlQuery run(db::Connection &c, const QString &sql)
{
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    if (!q.exec(sql))
        throw core::Error(QStringLiteral("EDatabaseError"), q.lastError().databaseText().isEmpty()
                                                                 ? q.lastError().text()
                                                                 : q.lastError().databaseText());
    return q;
}

qint64 rowCount(db::Connection &c, const QString &table)
{
    QSqlQuery q = run(c, QStringLiteral("SELECT COUNT(*) FROM ") + quotedName(table));
    return q.next() ? q.value(0).toLongLong() : 0;
}

QStringList columnsOf(db::Connection &c, const QString &table)
{
    QStringList out;
    QSqlQuery q = run(c, QStringLiteral("PRAGMA table_info(") + quotedName(table)
                             + QStringLiteral(")"));
    while (q.next())
        out << q.value(1).toString();
    return out;
}

QString findName(const QStringList &names, const QString &name)
{
    for (const QString &n : names)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    return QString();
}

// The column that identifies a row of a program's table, so that adding
// the same Access file twice does not double the journal or the staff.
QString identityColumn(const QString &programTable)
{
    if (programTable == QLatin1String("SpisokDoc"))
        return QStringLiteral("NMZapisID");
    if (programTable == QLatin1String("BPTools"))
        return QStringLiteral("NMNam");
    if (programTable == QLatin1String("CRLogString") || programTable.isEmpty())
        return QString();
    return QStringLiteral("RecID");
}

// The tables whose rows a plain import must never replace.
const char *const kDataTables[] = {"SpisokDoc", "Users", "Org", "Podr", "Dolj", "MenuPit"};

// A temporary file beside the target and the SQLite files that go with it,
// removed unless the conversion reaches its end.
class TempDatabase
{
public:
    explicit TempDatabase(const QString &target)
    {
        QTemporaryFile f(target + QStringLiteral(".XXXXXX.part"));
        f.setAutoRemove(false);
        if (!f.open())
            raise(QStringLiteral("Не удалось создать временный файл рядом с ") + target
                  + QStringLiteral(": ") + f.errorString());
        m_path = f.fileName();
    }
    ~TempDatabase()
    {
        if (m_keep)
            return;
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(m_path + QLatin1String(suffix));
    }
    TempDatabase(const TempDatabase &) = delete;
    TempDatabase &operator=(const TempDatabase &) = delete;
    const QString &path() const { return m_path; }
    void keep() { m_keep = true; }

private:
    QString m_path;
    bool m_keep = false;
};

// The new file gets the old one's permissions, or those of any new file
// (the temporary file is made for its owner only).
void giveTargetPermissions(const QString &temp, const QString &target)
{
    struct stat st;
    mode_t mode;
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(QFile::encodeName(temp).constData(), mode);
}

bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Refuses a target the conversion must not replace; returns its rows per
// table when it is a database of the program (empty when it is new).
QHash<QString, qint64> checkTarget(const ImportRequest &r)
{
    const QFileInfo target(r.target);
    if (r.target.contains(QLatin1Char('\\'))
        || QRegularExpression(QStringLiteral("^[A-Za-z]:")).match(r.target).hasMatch())
        raise(QStringLiteral("Путь к базе данных ") + r.target
              + QStringLiteral(" записан для Windows; укажите файл новой базы данных "
                               "параметром --db"));
    if (QFileInfo(r.source).canonicalFilePath() == target.canonicalFilePath()
        && target.exists())
        raise(QStringLiteral("Файл базы данных ") + r.target
              + QStringLiteral(" совпадает с исходным файлом Access; укажите другой файл "
                               "параметром --db"));
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        raise(QStringLiteral("Папка ") + target.absolutePath()
              + QStringLiteral(" для базы данных не существует"));
    if (!folder.isWritable())
        raise(QStringLiteral("Нет права записи в папку ") + target.absolutePath());

    QHash<QString, qint64> rows;
    if (!target.exists())
        return rows;
    if (AccessFile::isAccessFile(r.target))
        raise(QStringLiteral("Файл ") + r.target
              + QStringLiteral(" — база данных Microsoft Access; он не будет перезаписан. "
                               "Укажите файл новой базы данных параметром --db"));
    if (const QString problem = db::checkDatabaseFile(r.target); !problem.isEmpty())
        raise(problem);
    if (target.size() == 0)
        return rows;

    db::Connection c;
    c.open(r.target);
    for (const QString &t : c.tables())
        rows.insert(t, rowCount(c, t));
    c.close();
    // The last connection to close folds the write-ahead journal into the
    // file and removes it; one still there means another program has the
    // database open.
    if (QFileInfo::exists(r.target + QStringLiteral("-wal")))
        raise(QStringLiteral("База данных ") + r.target
              + QStringLiteral(" открыта другой программой; закройте её и повторите перенос"));
    if (!r.append) {
        for (const char *name : kDataTables) {
            const QString table = QString::fromLatin1(name);
            const QString found = findName(rows.keys(), table);
            if (found.isEmpty() || rows.value(found) == 0)
                continue;
            const QString what = table == QLatin1String("SpisokDoc")
                                     ? QStringLiteral("записи журнала питания")
                                     : QStringLiteral("строки в таблице ") + table;
            raise(QStringLiteral("В базе данных ") + r.target + QStringLiteral(" уже есть ")
                  + what + QStringLiteral(" (") + QString::number(rows.value(found))
                  + QStringLiteral("). Укажите другой файл или добавьте параметр --append, "
                                   "чтобы дописать данные к имеющимся"));
        }
    }
    return rows;
}

class Copier
{
public:
    Copier(AccessFile &source, db::Connection &target, const ProgressFn &progress, bool append)
        : m_source(source), m_target(target), m_progress(progress), m_append(append)
    {
        for (const SourceTable &t : source.tables())
            m_total += t.rows;
    }

    TableOutcome copy(const SourceTable &table)
    {
        const QString programName = programTableName(table.name);
        TableOutcome out;
        out.source = table.name;
        const QList<TargetColumn> columns = planColumns(programName, table.columns);

        const QStringList existingTables = m_target.tables();
        out.target = findName(existingTables, programName.isEmpty() ? table.name : programName);
        QStringList names;
        if (out.target.isEmpty()) {
            out.target = programName.isEmpty() ? table.name : programName;
            QStringList defs;
            for (const TargetColumn &c : columns) {
                defs << quotedName(c.name) + QLatin1Char(' ') + c.declaredType
                            + QStringLiteral(" NULL");
                names << c.name;
            }
            exec(QStringLiteral("CREATE TABLE ") + quotedName(out.target) + QStringLiteral(" (")
                     + defs.join(QStringLiteral(", ")) + QStringLiteral(")"),
                 out.target);
        } else {
            const QStringList have = columnsOf(m_target, out.target);
            for (const TargetColumn &c : columns) {
                QString name = findName(have, c.name);
                if (name.isEmpty()) {
                    exec(QStringLiteral("ALTER TABLE ") + quotedName(out.target)
                             + QStringLiteral(" ADD COLUMN ") + quotedName(c.name)
                             + QLatin1Char(' ') + c.declaredType + QStringLiteral(" NULL"),
                         out.target);
                    name = c.name;
                }
                names << name;
            }
        }

        // Rows the target holds already, by their identifier.
        QSet<QString> present;
        int identity = -1;
        if (m_append && !identityColumn(programName).isEmpty()) {
            for (int i = 0; i < columns.size(); ++i)
                if (columns[i].name == identityColumn(programName))
                    identity = i;
            if (identity >= 0) {
                QSqlQuery q = run(m_target, QStringLiteral("SELECT ") + quotedName(names[identity])
                                                + QStringLiteral(" FROM ") + quotedName(out.target));
                while (q.next())
                    if (const QString id = q.value(0).toString(); !id.isEmpty())
                        present.insert(id);
            }
        }

        QStringList marks;
        QStringList quotedNames;
        for (const QString &n : names) {
            quotedNames << quotedName(n);
            marks << QStringLiteral("?");
        }
        db::Transaction tx(m_target);
        QSqlQuery insert(m_target.database());
        if (!insert.prepare(QStringLiteral("INSERT INTO ") + quotedName(out.target)
                            + QStringLiteral(" (") + quotedNames.join(QStringLiteral(", "))
                            + QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", "))
                            + QStringLiteral(")")))
            raise(tableFailure(out.target, insert.lastError().databaseText()));

        ImportProgress p{table.name, 0, table.rows, m_done, m_total};
        report(p);
        const qint64 read = m_source.readRows(table.name, [&](const SourceRow &row) {
            if (identity >= 0) {
                const QString id = row.value(columns[identity].sourceIndex).toString();
                if (!id.isEmpty() && present.contains(id)) {
                    ++out.skipped;
                    return advance(p);
                }
            }
            for (int i = 0; i < columns.size(); ++i)
                insert.bindValue(i, targetValue(row.value(columns[i].sourceIndex), columns[i]));
            if (!insert.exec())
                raise(tableFailure(out.target, insert.lastError().databaseText()));
            ++out.rows;
            return advance(p);
        });
        if (read != table.rows)
            raise(QStringLiteral("Из таблицы ") + table.name + QStringLiteral(" файла Access прочитано ")
                  + QString::number(read) + QStringLiteral(" строк из ")
                  + QString::number(table.rows)
                  + QStringLiteral("; файл, возможно, повреждён. Выполните в Microsoft Access "
                                   "«Сжать и восстановить базу данных» и повторите перенос"));
        tx.commit();
        return out;
    }

private:
    static QString tableFailure(const QString &table, const QString &why)
    {
        return QStringLiteral("Не удалось записать таблицу ") + table + QStringLiteral(": ") + why;
    }

    void exec(const QString &sql, const QString &table)
    {
        try {
            run(m_target, sql);
        } catch (const core::Error &e) {
            raise(tableFailure(table, e.message()));
        }
    }

    bool advance(ImportProgress &p)
    {
        ++p.tableDone;
        p.done = ++m_done;
        if (p.tableDone % kProgressStep == 0)
            report(p);
        return true;
    }

    void report(const ImportProgress &p)
    {
        if (m_progress && !m_progress(p))
            raise(QStringLiteral("Перенос данных отменён; база данных не изменена"));
    }

    AccessFile &m_source;
    db::Connection &m_target;
    const ProgressFn &m_progress;
    bool m_append;
    qint64 m_total = 0;
    qint64 m_done = 0;
};

// Journal rows without their sort key drop out of every period selection;
// the structure check fills the key only when it adds the column.
void fillMissingSortKeys(db::Connection &c)
{
    run(c, QStringLiteral(
               "UPDATE SpisokDoc SET NMDateTimeTeh_Obrat = substr(NMDateTimeTeh, 5, 4) || "
               "substr(NMDateTimeTeh, 3, 2) || substr(NMDateTimeTeh, 1, 2) || "
               "substr(NMDateTimeTeh, 9, 6) "
               "WHERE (NMDateTimeTeh_Obrat IS NULL OR NMDateTimeTeh_Obrat = '') "
               "AND length(NMDateTimeTeh) = 14"));
}

} // namespace

QString convertedDatabasePath(const QString &accessPath)
{
    const QFileInfo info(accessPath);
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral(".sqlite"));
}

QString tableLine(const TableOutcome &t)
{
    QString line = QStringLiteral("Таблица ") + t.target + QStringLiteral(" — строк: ")
                   + QString::number(t.rows);
    if (t.skipped > 0)
        line += QStringLiteral(" (уже были в базе и пропущены: ") + QString::number(t.skipped)
                + QStringLiteral(")");
    return line;
}

QStringList outcomeLines(const ImportOutcome &outcome)
{
    QStringList lines;
    for (const TableOutcome &t : outcome.tables)
        lines << tableLine(t);
    for (const QString &t : outcome.linkedTables)
        lines << QStringLiteral("Связанная таблица ") + t
                     + QStringLiteral(" не перенесена: её данные хранятся в другом файле Access; "
                                      "перенесите этот файл отдельно");
    return lines;
}

ImportOutcome importAccess(const ImportRequest &request, const ProgressFn &progress)
{
    // The import builds a new file beside the old one and puts it in its
    // place: a server database has no such place.
    if (db::isServerUrl(request.target))
        raise(QStringLiteral("Перенос данных из Access выполняется только в файл базы данных, "
                             "не на сервер баз данных (")
              + db::shownPath(request.target)
              + QStringLiteral("). Укажите файл новой базы параметром --db."));
    AccessFile source;
    source.open(request.source);
    const QHash<QString, qint64> before = checkTarget(request);

    ImportOutcome outcome;
    outcome.linkedTables = source.linkedTables();
    TempDatabase temp(request.target);
    {
        if (request.append && !before.isEmpty()) {
            // A consistent copy of the target, its write-ahead journal included.
            db::Connection old;
            old.open(request.target);
            QFile::remove(temp.path());
            QSqlQuery q(old.database());
            q.prepare(QStringLiteral("VACUUM INTO ?"));
            q.addBindValue(temp.path());
            if (!q.exec())
                raise(QStringLiteral("Не удалось скопировать базу данных ") + request.target
                      + QStringLiteral(": ") + q.lastError().databaseText());
        }
        db::Connection c;
        c.open(temp.path());
        // Nothing needs to reach the disk before the whole file is done: it
        // is synchronised once before the rename.
        run(c, QStringLiteral("PRAGMA synchronous=OFF"));
        Copier copier(source, c, progress, request.append);
        for (const SourceTable &t : source.tables())
            outcome.tables << copier.copy(t);
    }

    QStringList checkMessages;
    const db::StructureReport report = db::ProverkaStrukturiBD(
        temp.path(), QString(), QString(), [&](const QString &m) { checkMessages << m; });
    if (!report.failure.isEmpty() || !checkMessages.isEmpty())
        raise(QStringLiteral("Проверка структуры новой базы данных не прошла: ")
              + (report.failure.isEmpty() ? checkMessages.join(QStringLiteral("; "))
                                          : report.failure));
    outcome.structureAdded = report.added;

    {
        db::Connection c;
        c.open(temp.path());
        fillMissingSortKeys(c);
        QSqlQuery q = run(c, QStringLiteral("PRAGMA integrity_check"));
        if (!q.next() || q.value(0).toString() != QLatin1String("ok"))
            raise(QStringLiteral("Новая база данных не прошла проверку целостности"));
        q.finish();
        // Every row written is there, beside every row the target had.
        for (const TableOutcome &t : outcome.tables) {
            const qint64 expected = before.value(findName(before.keys(), t.target)) + t.rows;
            const qint64 found = rowCount(c, t.target);
            if (found != expected)
                raise(QStringLiteral("В таблице ") + t.target + QStringLiteral(" новой базы ")
                      + QString::number(found) + QStringLiteral(" строк вместо ")
                      + QString::number(expected));
        }
    }
    if (QFileInfo(temp.path() + QStringLiteral("-wal")).size() > 0)
        raise(QStringLiteral("Новая база данных не записана до конца"));
    for (const char *suffix : {"-wal", "-shm"})
        QFile::remove(request.target + QLatin1String(suffix));

    if (!syncPath(temp.path(), O_RDONLY))
        raise(QStringLiteral("Новая база данных не записана на диск"));
    giveTargetPermissions(temp.path(), request.target);
    // Replacing by rename: whoever opens the target sees the old file or the
    // whole new one, never a part.
    if (std::rename(QFile::encodeName(temp.path()).constData(),
                    QFile::encodeName(request.target).constData())
        != 0)
        raise(QStringLiteral("Не удалось записать файл базы данных ") + request.target);
    temp.keep();
    syncPath(QFileInfo(request.target).absolutePath(), O_RDONLY | O_DIRECTORY);
    return outcome;
}

} // namespace mdbimport
