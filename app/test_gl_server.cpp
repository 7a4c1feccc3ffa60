// The real main window on a database server that restarts while it runs.
#include "core/RadioGroup.h"
#include "test_gl_fixture.h"
#include "test_registration_fixture.h"

#include "core/IniSettings.h"
#include "core/RegistryLogin.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <memory>

using gltest::child;
using regtest::kIvanov;
using regtest::kIvanovCode;

class TestGLServer : public QObject
{
    Q_OBJECT
private slots:
    void serverRestartWhileTheWindowRuns();
};

// The window set to a server: a registration while the server is down is
// reported in a message and the status bar, the window reconnects by
// itself once the server is back (the status bar says so), and the next
// registration goes through without a restart of the program.
void TestGLServer::serverRestartWhileTheWindowRuns()
{
    testsupport::PrivateServer server;
    TRAPEZON_NEED_SERVER(server);
    testsupport::ServicesFixture services;
    core::resetProcessValues();
    const QString petrov = QStringLiteral("Петров Пётр");
    {
        const db::StructureReport report =
            db::ProverkaStrukturiBD(server.url(), server.user(), server.password());
        QVERIFY2(report.failure.isEmpty(), qPrintable(report.failure));
        db::Connection c;
        c.open(server.url(), server.user(), server.password());
        regtest::addEmployee(c, kIvanov, regtest::kIvanovCard, kIvanovCode,
                             QStringLiteral("AAAA0000000000000000000000000001"));
        regtest::addEmployee(c, petrov, QStringLiteral("00AB12CE"), QStringLiteral("2000000000022"),
                             QStringLiteral("AAAA0000000000000000000000000002"));
    }
    {
        core::IniFile ini(core::iniPath());
        ini.writeString(QStringLiteral("Options"), QStringLiteral("EditPutKFayluBD"), server.url());
        ini.flush();
    }
    core::writeDbLogin({server.user(), server.password()});

    auto w = gltest::start();
    QVERIFY2(w->isConnected(), qPrintable(services.messages().texts().join('\n')));
    child<TRadioGroup>(*w, "VidPitaniya")->button(2)->click();
    auto *field = child<QLineEdit>(*w, "GLEditShtrKod");
    auto *enter = child<QPushButton>(*w, "ButtonVvodShtrKoda");
    const auto scan = [&](const QString &code) {
        field->setText(code);
        QTest::mouseClick(enter, Qt::LeftButton);
    };
    const auto status = [&] { return w->statusBar()->currentMessage(); };
    const auto counter = [&] { return child<QLabel>(*w, "LabelKolVo")->text(); };
    scan(kIvanovCode);
    QVERIFY2(status().contains(kIvanov + QStringLiteral("   Зарегистрирован.")), qPrintable(status()));
    services.messages().clear();

    QVERIFY(server.halt());
    scan(QStringLiteral("2000000000022"));
    QCOMPARE(services.messages().texts().size(), 1);
    QVERIFY2(services.messages().texts().first().contains(QStringLiteral("питание не зарегистрировано")),
             qPrintable(services.messages().texts().first()));
    QVERIFY2(status().contains(petrov + QStringLiteral("   НЕ ЗАРЕГИСТРИРОВАН (нет связи с сервером).")),
             qPrintable(status()));
    QCOMPARE(counter(), QStringLiteral("1"));

    QVERIFY(server.start());
    QTRY_VERIFY_WITH_TIMEOUT(status().contains(QStringLiteral("восстановлена")), 30000);
    services.messages().clear();
    scan(QStringLiteral("2000000000022"));
    QVERIFY2(status().contains(petrov + QStringLiteral("   Зарегистрирован.")), qPrintable(status()));
    QVERIFY2(services.messages().texts().isEmpty(), qPrintable(services.messages().texts().join('\n')));
    QCOMPARE(counter(), QStringLiteral("2"));
}

QTEST_MAIN(TestGLServer)
#include "test_gl_server.moc"
