// The program started on a database server as an administrator sets it up:
// the path in CRIni.ini, the login in RKeyOpt.conf. A password written into
// the server's URL is never shown, in the information window or in the
// messages of a start that fails.
#include "InfoForm.h"
#include "admin/AdminTools.h"
#include "core/RadioGroup.h"
#include "test_gl_fixture.h"
#include "test_registration_fixture.h"

#include "admin/Bezopasnost.h"
#include "db/DBTools.h"

#include "TestSupport.h"
#include "core/IniSettings.h"
#include "core/RegistryLogin.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QUrl>
#include <QtTest>

using gltest::child;
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

    // A canteen moving from its file to a server: the administrator puts the
    // URL, login and password into the administration window, the program
    // closes, and the next start works on the server with that login.
    void administratorSwitchesToTheServer()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        gltest::freshProgramDatabase({"CRIni.ini"});
        core::writeDbLogin({});
        {
            auto w = start();
            QVERIFY(w->isConnected());
            {
                admin::TAdminToolsForm f;
                f.show();
                testsupport::child<QLineEdit>(f, "EditPutKFayluBD")->setText(server.url());
                testsupport::child<QLineEdit>(f, "EditLogin")->setText(server.user());
                testsupport::child<QLineEdit>(f, "EditPassword")->setText(server.password());
                f.close();
            }
            QVERIFY(m_services->messages().texts().value(0).startsWith(
                "Настройки подключения к базе данных были изменены! Приложение будет закрыто!"));
            QTRY_VERIFY(!w->isVisible());
        }
        QCOMPARE(core::readDbLogin().user, server.user());
        m_services->messages().clear();
        core::resetProcessValues();
        auto w = start();
        QVERIFY2(w->isConnected(), qPrintable(m_services->messages().texts().join('\n')));
        QCOMPARE(m_services->messages().texts(), QStringList());
        QCOMPARE(core::pv().Nastroyki.PutKFayluBD, server.url());
        db::Connection c;
        c.open(server.url(), server.user(), server.password());
        QVERIFY(c.tables().contains("SpisokDoc"));
        w->GL_ZavershenieRaboti();
    }

    // The protection rows on the server guard the journal's deletion as on
    // a file; the deletion reaches the server and the settings go back to
    // it at the end.
    void guardedDeletionOnTheServer()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        QCOMPARE(db::ProverkaStrukturiBD(server.url(), server.user(), server.password()).failure,
                 QString());
        const auto journal = [&] {
            db::Connection c;
            c.open(server.url(), server.user(), server.password());
            QSqlQuery q = c.exec("SELECT NMFIO FROM SpisokDoc ORDER BY NMFIO");
            QStringList out;
            while (q.next())
                out << q.value(0).toString();
            return out;
        };
        {
            db::Connection c;
            c.open(server.url(), server.user(), server.password());
            for (const char *name : {"Иванов Иван", "Петров Пётр"})
                regtest::addMeal(c, core::ruDate(QDate::currentDate()), "08:00:00", "Обед", name,
                                 core::newRecId());
        }
        configure(server.url(), {server.user(), server.password()});
        core::pv().Nastroyki.PutKFayluBD = server.url();
        core::pv().Nastroyki.BDLogin = server.user();
        core::pv().Nastroyki.BDPass = server.password();
        auto &b = core::pv().Bezopasnost;
        b.ZashchitaParolem = b.ZashchitaUdaleniya = true;
        b.Parol = admin::KhranimayaForma("Тайна");
        admin::ZapisNastroekBezopasnosti();
        core::resetProcessValues();

        QStringList passwords{"wrong", "Тайна"};
        int prompts = 0;
        m_services->onModal = [&](QDialog &d) {
            if (d.objectName() != QLatin1String("PassEnterForm"))
                return int(QDialog::Rejected);
            ++prompts;
            testsupport::child<QLineEdit>(d, "EditEnterPassword")->setText(passwords.takeFirst());
            testsupport::child<QPushButton>(d, "ButtonEnterPassword_OK")->click();
            if (d.isVisible())
                testsupport::child<QPushButton>(d, "ButtonEnterPassword_Otmena")->click();
            return d.result();
        };
        auto w = start();
        QVERIFY2(w->isConnected(), qPrintable(m_services->messages().texts().join('\n')));
        QVERIFY(core::pv().Bezopasnost.ZashchitaUdaleniya);
        child<TRadioGroup>(*w, "VidPitaniya")->button(2)->click();
        const auto deleteFirst = [&] {
            auto *grid = child<QTableView>(*w, "DBGrid1");
            grid->setCurrentIndex(grid->model()->index(0, 0));
            grid->selectRow(0);
            child<QPushButton>(*w, "Udalenie")->click();
        };
        deleteFirst();
        QCOMPARE(journal().size(), 2);
        deleteFirst();
        QCOMPARE(prompts, 2);
        QCOMPARE(journal().size(), 1);
        QCOMPARE(m_services->messages().texts(),
                 (QStringList{"Подтвердить удаление?", "Пароль не подходит!", "Подтвердить удаление?"}));
        core::pv().Bezopasnost.ZashchitaOtcheta = true;
        w->close();
        QCOMPARE(DBTools::OtkritBD(server.url(), server.user(), server.password()), DBTools::kOk);
        QCOMPARE(DBTools::ZnacheniyeParametra("BPTools", "NMNam", "NMVal", "zp_Otch", "", false), "ddd");
        DBTools::ZakritBD();
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
