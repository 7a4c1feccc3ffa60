// The administration window opened from the main window's menu: the caption
// follows the facility's name as it is typed, and a changed connection ends
// the run through the main window's own closing question.
#include "GL.h"
#include "TestSupport.h"
#include "test_gl_fixture.h"

#include "admin/AdminTools.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "core/RegistryLogin.h"
#include "db/StructureCheck.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using gltest::start;

class TestGLAdmin : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
        QFile f(core::defaultDbPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        db::ProverkaStrukturiBD(core::defaultDbPath(), QString(), QString());
    }

    void passwordChangeClosesTheProgram()
    {
        testsupport::ServicesFixture services;
        auto w = start();
        QString captionWhileTyping;
        services.onModal = [&](QDialog &d) {
            if (!qobject_cast<admin::TAdminToolsForm *>(&d)) {
                d.reject();
                return d.result();
            }
            d.show();
            auto *name = d.findChild<QLineEdit *>(QStringLiteral("NameOP"));
            name->setText(QStringLiteral("Буфет"));
            captionWhileTyping = w->windowTitle();
            d.findChild<QLineEdit *>(QStringLiteral("EditPassword"))->setText(QStringLiteral("новый"));
            d.findChild<QPushButton *>(QStringLiteral("Zakrit"))->click();
            return d.result();
        };
        QSignalSpy finished(w.get(), &TGLForm::finished);
        services.messages().clear();
        w->findChild<QAction *>(QStringLiteral("N8"))->trigger();
        QCOMPARE(captionWhileTyping, QStringLiteral("Трапезон 2.1.0   Буфет"));
        QVERIFY(finished.isEmpty());   // the window closes once the admin window has
        QTRY_COMPARE(finished.count(), 1);
        const QStringList texts = services.messages().texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith("Настройки подключения к базе данных были изменены!"));
        QCOMPARE(texts[1], QStringLiteral("Остановить работу?"));
        // The new password reached the login store through the shutdown.
        QCOMPARE(core::readDbLogin().password, QStringLiteral("новый"));
    }
};

QTEST_MAIN(TestGLAdmin)
#include "test_gl_admin.moc"
