// The program started on a database server as an administrator sets it up:
// the path in CRIni.ini, the login in RKeyOpt.conf. A password written into
// the server's URL is never shown, in the information window or in the
// messages of a start that fails.
#include "InfoForm.h"
#include "test_gl_fixture.h"

#include "TestSupport.h"
#include "core/IniSettings.h"
#include "core/RegistryLogin.h"

#include <QUrl>
#include <QtTest>

using gltest::start;

class TestServerApp : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::ServicesFixture> m_services;

    static void configure(const QString &path, const core::DbLogin &login)
    {
        core::resetProcessValues();
        core::IniFile ini(core::iniPath());
        ini.writeString("Options", "EditPutKFayluBD", path);
        QVERIFY(ini.flush());
        core::writeDbLogin(login);
    }

private slots:
    void init() { m_services = std::make_unique<testsupport::ServicesFixture>(); }
    void cleanup()
    {
        m_services.reset();
        core::writeDbLogin({});
    }

    void startsOnTheServerAndShowsItWithoutPassword()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        configure(server.url(), {server.user(), server.password()});
        {
            auto w = start();
            QVERIFY2(w->isConnected(), qPrintable(m_services->messages().texts().join('\n')));
            QCOMPARE(m_services->messages().texts(), QStringList());
            QVERIFY(TInfoForm::infoText().contains("База данных: " + server.url() + '\n'));
            w->GL_ZavershenieRaboti();
        }
        // A password kept in the URL logs in as well, and shows nowhere.
        QUrl withPassword(server.url());
        withPassword.setPassword(server.password());
        configure(withPassword.toString(), {});
        auto w = start();
        QVERIFY2(w->isConnected(), qPrintable(m_services->messages().texts().join('\n')));
        const QString info = TInfoForm::infoText();
        QVERIFY2(info.contains("База данных: " + server.url() + '\n'), qPrintable(info));
        QVERIFY2(!info.contains(':' + server.password() + '@'), qPrintable(info));
        w->GL_ZavershenieRaboti();
    }

    // A structure check stopped half-way on the server (a view where the
    // employees' table belongs) names the server, not its password.
    void failedStartHidesThePassword()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        {
            db::Connection c;
            c.open(server.url(), QString(), server.password());
            c.exec("CREATE VIEW users AS SELECT 1 AS nm");
        }
        QUrl withPassword(server.url());
        withPassword.setPassword(server.password());
        configure(withPassword.toString(), {});
        auto w = start();
        QVERIFY(!w->isConnected());
        const QStringList texts = m_services->messages().texts();
        QVERIFY2(!texts.isEmpty() && texts.first().contains("Проверка структуры базы данных "
                                                            + server.url() + " прервана"),
                 qPrintable(texts.join('\n')));
        for (const QString &t : texts)
            QVERIFY2(!t.contains(':' + server.password() + '@'), qPrintable(t));
        w->GL_ZavershenieRaboti();
    }
};

QTEST_MAIN(TestServerApp)
#include "test_server_app.moc"
