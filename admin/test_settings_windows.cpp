#include "admin/NastroykiZapuska.h"
#include "admin/UnitNastroykiRabotiSBD.h"

#include "TestSupport.h"
#include "core/AppEvents.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "core/RadioGroup.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

using admin::TFormNastroykiZapuska;
using admin::TNastroykiRabotiSBDForm;

using testsupport::child;

namespace {

int readInt(const char *section, const char *key)
{
    return core::openMainIni()->readInt(QLatin1String(section), QLatin1String(key), -1);
}

const QString kOtborIzmenen = QStringLiteral(
    "Настройки отбора в базе данных были изменены! Приложение будет закрыто! Согласитесь с "
    "предложением остановки работы программы! Следующий запуск будет выполнен с новыми настройками!");

} // namespace

class TestSettingsWindows : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
    }

    // "Сетка" ticked: by the title bar only the file gets it, by "Закрыть"
    // memory too. A changed selection mode closes the program.
    void databaseWork_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("gridInMemory");
        QTest::addColumn<bool>("closes");
        QTest::newRow("title bar") << false << 0 << false << false;
        QTest::newRow("Закрыть") << true << 0 << true << false;
        QTest::newRow("mode changed, title bar") << false << 1 << false << true;
        QTest::newRow("mode changed, Закрыть") << true << 1 << true << true;
    }

    void databaseWork()
    {
        QFETCH(bool, byButton);
        QFETCH(int, mode);
        QFETCH(bool, gridInMemory);
        QFETCH(bool, closes);
        {
            const auto ini = core::openMainIni();
            ini->writeBool("Options", "RefreshQuery", true);
            ini->flush();
        }
        testsupport::ServicesFixture services;
        QSignalSpy closing(&core::AppEvents::instance(), &core::AppEvents::mainWindowCloseRequested);
        TNastroykiRabotiSBDForm f;
        f.show();
        auto *group = child<TRadioGroup>(f, "RadioGroupNastroykiOtboraVBD");
        QCOMPARE(group->itemIndex(), 0);
        QVERIFY(child<QCheckBox>(f, "CheckBoxRefreshQuery")->isChecked());
        child<QCheckBox>(f, "CheckBoxRefreshGrid")->setChecked(true);
        group->button(mode)->click();
        if (byButton)
            child<QPushButton>(f, "ButtonZakrNZ")->click();
        else
            f.close();
        QVERIFY(!f.isVisible());

        QCOMPARE(readInt("Options", "RefreshGrid"), 1);
        QCOMPARE(readInt("Options", "RefreshQuery"), 1);
        QCOMPARE(readInt("Options", "NastroykiOtboraVBD"), mode);
        QCOMPARE(core::pv().Nastroyki.RefreshGrid, gridInMemory);
        QCOMPARE(core::pv().Nastroyki.RefreshQuery, byButton);
        QCOMPARE(core::pv().Nastroyki.NastroykiOtboraVBD, 0);   // acts at the next start
        QCOMPARE(closing.count(), closes ? 1 : 0);
        QCOMPARE(services.messages().texts(), closes ? QStringList{kOtborIzmenen} : QStringList());
        QCOMPARE(services.sound().beeps, closes ? QList<core::Beep>{core::Beep::Default} : QList<core::Beep>());
    }

    // The night-meal box and its explanation follow item 2; its state is
    // kept and written even while disabled.
    void startUp()
    {
        {
            const auto ini = core::openMainIni();
            ini->writeInt("VidPitaniya", "NastrPriStarte", 2);
            ini->writeBool("VidPitaniya", "NastrIsklNP", true);
            ini->flush();
        }
        TFormNastroykiZapuska f;
        f.show();
        auto *group = child<TRadioGroup>(f, "RadioGroupNastrPriStarte");
        auto *box = child<QCheckBox>(f, "CheckBoxNastrIsklNP");
        const QList<QWidget *> followers = {box, child<QLabel>(f, "Label1"), child<QLabel>(f, "Label2"),
                                            child<QLabel>(f, "Label3")};
        QCOMPARE(group->count(), 7);
        QCOMPARE(group->button(1)->text(), QStringLiteral("Последнее  открытое"));
        QCOMPARE(group->itemIndex(), 2);
        for (QWidget *w : followers)
            QVERIFY(w->isEnabled());

        group->button(4)->click();
        for (QWidget *w : followers)
            QVERIFY(!w->isEnabled());
        QVERIFY(box->isChecked());
        group->button(2)->click();
        QVERIFY(box->isEnabled());
        box->setChecked(false);
        group->button(6)->click();
        f.close();

        QCOMPARE(readInt("VidPitaniya", "NastrPriStarte"), 6);
        QCOMPARE(readInt("VidPitaniya", "NastrIsklNP"), 0);
    }
};

QTEST_MAIN(TestSettingsWindows)
#include "test_settings_windows.moc"
