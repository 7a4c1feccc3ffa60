#pragma once
// The program's database with its full structure, on a file or on the tests'
// PostgreSQL server, and the in-memory settings pointing at it as the
// administration window leaves them (path, login, password). For tests that
// drive the same windows on both and compare what they show. Header only:
// the tests including it link the database layer themselves.
#include "TestSupport.h"
#include "core/ProcessValues.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"

#include <QDebug>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <memory>

namespace testsupport {

class ProgramDatabase
{
public:
    explicit ProgramDatabase(bool onServer)
    {
        if (onServer) {
            m_server = std::make_unique<ServerDatabase>();
            if (!m_server->available())
                return;
            m_path = m_server->url();
            m_user = m_server->user();
            m_password = m_server->password();
        } else {
            m_path = m_dir.filePath(QStringLiteral("CRDB.mdb"));
            QFile f(m_path);
            f.open(QIODevice::WriteOnly);
        }
        m_failure = db::ProverkaStrukturiBD(m_path, m_user, m_password).failure;
        point();
    }

    bool onServer() const { return m_server != nullptr; }
    // Why the database is not there; empty when it is.
    QString problem() const
    {
        if (m_server && !m_server->available())
            return m_server->problem();
        return m_failure;
    }
    bool available() const { return problem().isEmpty(); }
    // No server to test on (rather than a database that failed its check).
    bool serverMissing() const { return m_server && !m_server->available(); }
    QString path() const { return m_path; }
    QString password() const { return m_password; }
    // The program's folder for files a test writes beside the database.
    QString dir() const { return m_dir.path(); }

    // Points the in-memory settings at this database again.
    void point() const
    {
        auto &n = core::pv().Nastroyki;
        n.PutKFayluBD = m_path;
        n.BDLogin = m_user;
        n.BDPass = m_password;
    }

    std::unique_ptr<db::Connection> connect() const
    {
        auto c = std::make_unique<db::Connection>();
        c->open(m_path, m_user, m_password);
        return c;
    }

    void insert(const QString &table, const QVariantMap &values) const
    {
        auto c = connect();
        QStringList marks;
        for (qsizetype i = 0; i < values.size(); ++i)
            marks << QStringLiteral("?");
        QSqlQuery q = c->prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                     .arg(table, values.keys().join(','), marks.join(',')));
        for (const QVariant &v : values)
            q.addBindValue(v);
        db::Connection::execPrepared(q);
    }

    // Every row of an Access-dialect SELECT, its values joined by '|'.
    QStringList rows(const QString &select) const
    {
        auto c = connect();
        QSqlQuery q = c->exec(select);
        QStringList out;
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << q.value(i).toString();
            out << values.join('|');
        }
        return out;
    }

    // One column of a table in the order its rows were written.
    QStringList column(const QString &table, const QString &field) const
    {
        return rows(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(field, table));
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerDatabase> m_server;
    QString m_path, m_user, m_password, m_failure;
};

// A journal of an old version of the program: no sort key, an obsolete
// column, and rows the upgrade must carry over.
inline void createOldJournal(db::Connection &c)
{
    c.exec("CREATE TABLE SpisokDoc (TechInfStlb NVARCHAR(255), NMZapisID NVARCHAR(255),"
           " NMDateVid NVARCHAR(255), NMTimeVid NVARCHAR(255), NMDateTimeTeh NVARCHAR(255),"
           " NMNoCard NVARCHAR(255), NMFIO NVARCHAR(255), NMVid NVARCHAR(255),"
           " NMStoimost MONEY)");
    c.exec("INSERT INTO SpisokDoc (NMZapisID, NMDateTimeTeh, NMNoCard, NMFIO, NMVid, NMStoimost)"
           " VALUES ('A', '05022020093015', 'x', 'О''Брайен', 'Обед', 12.5),"
           " ('B', '31122019235959', NULL, 'Иванов', 'Ужин', 0), ('C', NULL, NULL, '', '', NULL)");
}

} // namespace testsupport

// Skips (or fails, where a server is required) a test whose database is not
// there; a structure check that failed fails the test.
#define TRAPEZON_NEED_DATABASE(database)                                                 \
    do {                                                                                 \
        if (!(database).available()) {                                                   \
            if ((database).serverMissing() && !testsupport::ServerDatabase::required())  \
                QSKIP(qPrintable((database).problem()));                                 \
            QFAIL(qPrintable((database).problem()));                                     \
        }                                                                                \
    } while (false)

// Runs `run` (QStringList(const testsupport::ProgramDatabase &)) on a fresh
// file and then, after `reset`, on a fresh server database, and requires
// both to give the same lines; SHOW_PARITY=1 prints them either way.
#define TRAPEZON_COMPARE_FILE_AND_SERVER(run, reset)                                     \
    do {                                                                                 \
        QStringList onFile_;                                                             \
        {                                                                                \
            testsupport::ProgramDatabase file_(false);                                   \
            TRAPEZON_NEED_DATABASE(file_);                                               \
            onFile_ = (run)(file_);                                                      \
        }                                                                                \
        reset;                                                                           \
        testsupport::ProgramDatabase server_(true);                                      \
        TRAPEZON_NEED_DATABASE(server_);                                                 \
        const QStringList onServer_ = (run)(server_);                                    \
        if (qEnvironmentVariableIsSet("SHOW_PARITY") || onServer_ != onFile_)            \
            qWarning().noquote() << "file:\n " << onFile_.join("\n  ") << "\nserver:\n "  \
                                 << onServer_.join("\n  ");                             \
        QCOMPARE(onServer_, onFile_);                                                    \
    } while (false)
