// The main window started on an Access file brought from the Windows
// program: the conversion offered, done with a progress window, the
// settings pointed at the new database, and the Access file left alone.
#include "AccessStart.h"
#include "GL.h"
#include "TestSupport.h"
#include "test_gl_fixture.h"

#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <memory>

namespace {

const QString kSample = QStringLiteral(TRAPEZON_SHARED_DATA "/nwind.mdb");

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QString sqlite(const QString &db, const QString &sql)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {db, sql});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString configuredPath()
{
    return core::IniFile(core::iniPath()).readString("Options", "EditPutKFayluBD", QString());
}

} // namespace

class TestGLAccess : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::ServicesFixture> m_services;
    QString m_access;
    QString m_sqlite;
    QByteArray m_hash;

    testsupport::ScriptedMessages &messages() { return m_services->messages(); }

private slots:
    void init()
    {
        // The sample lives beside the repository, not in it.
        if (!QFile::exists(kSample))
            QSKIP(qPrintable(QStringLiteral("the sample Access file is missing: ") + kSample));
        core::resetProcessValues();
        QFile::remove(core::iniPath());
        // The Windows program's file under its default name.
        m_access = core::defaultDbPath();
        m_sqlite = core::programFile(QStringLiteral("CRDB.sqlite"));
        for (const QString &f : {m_access, m_sqlite, m_sqlite + QStringLiteral("-wal"),
                                 m_sqlite + QStringLiteral("-shm")})
            QFile::remove(f);
        QVERIFY(QFile::copy(kSample, m_access));
        QFile::setPermissions(m_access, QFile::ReadOwner | QFile::WriteOwner);
        m_hash = fileHash(m_access);
        m_services = std::make_unique<testsupport::ServicesFixture>();
    }

    void cleanup() { m_services.reset(); }

    void yesConvertsAndGoesOn()
    {
        messages().script = {core::Answer::Yes};
        auto w = gltest::start();
        const QStringList texts = messages().texts();
        QCOMPARE(texts.value(0), app::kAccessQuestion);
        QCOMPARE(messages().messages.value(0).buttons, core::Buttons::YesNo);
        QVERIFY2(texts.value(1).startsWith(QStringLiteral("Данные перенесены в новую базу данных ")
                                           + m_sqlite),
                 qPrintable(texts.join('\n')));
        QVERIFY(texts.value(1).contains(QStringLiteral("Таблица Orders — строк: 830")));
        QCOMPARE(texts.size(), 2);

        QVERIFY(w->isConnected());
        QCOMPARE(core::pv().Nastroyki.PutKFayluBD, m_sqlite);
        QCOMPARE(configuredPath(), m_sqlite);
        QCOMPARE(sqlite(m_sqlite, QStringLiteral("SELECT COUNT(*) FROM \"Order Details\"")),
                 QStringLiteral("2155"));
        // The structure check's password row, then the protection rows the
        // start-up's loading of the protection settings adds.
        QCOMPARE(sqlite(m_sqlite, QStringLiteral("SELECT NMNam FROM BPTools")),
                 QStringLiteral("SppS\nzp_Otch\nzp_OchistT\nzp_UdalenieGL\npsi"));
        QCOMPARE(fileHash(m_access), m_hash);
    }

    // Declined: nothing is created and the file is refused as before.
    void noLeavesEverythingAsItWas()
    {
        messages().script = {core::Answer::No};
        auto w = gltest::start();
        QCOMPARE(messages().texts().value(0), app::kAccessQuestion);
        QVERIFY(messages().texts().value(1).contains(
            QStringLiteral("не является базой данных программы")));
        QVERIFY(!w->isConnected());
        QVERIFY(!QFileInfo::exists(m_sqlite));
        QCOMPARE(configuredPath(), QString());
        QCOMPARE(fileHash(m_access), m_hash);
    }

    // A new database that holds a journal already is not replaced: the
    // failure is said and the settings keep the Access file.
    void failureKeepsTheSettings()
    {
        QFile(m_sqlite).open(QIODevice::WriteOnly);
        QVERIFY(db::ProverkaStrukturiBD(m_sqlite, QString(), QString()).failure.isEmpty());
        {
            db::Connection c;
            c.open(m_sqlite);
            c.exec(QStringLiteral("INSERT INTO SpisokDoc (NMZapisID) VALUES ('A1')"));
        }
        const QByteArray sqliteHash = fileHash(m_sqlite);
        messages().script = {core::Answer::Yes};
        auto w = gltest::start();
        const QString failure = messages().texts().value(1);
        QVERIFY2(failure.startsWith(QStringLiteral("Данные не перенесены: В базе данных ")),
                 qPrintable(failure));
        QVERIFY(failure.endsWith(QStringLiteral("Файл Microsoft Access не изменён.")));
        QCOMPARE(configuredPath(), QString());
        QCOMPARE(core::pv().Nastroyki.PutKFayluBD, m_access);
        QCOMPARE(fileHash(m_sqlite), sqliteHash);
        QCOMPARE(fileHash(m_access), m_hash);
    }
};

QTEST_MAIN(TestGLAccess)
#include "test_gl_access.moc"
