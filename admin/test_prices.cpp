#include "admin/PriceEdit.h"
#include "admin/UnitNasroykiStoimosti.h"
#include "admin/UnitVvodStoimosti.h"

#include "TestSupport.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using admin::TNasroykiStoimostiForm;
using admin::TVvodStoimostiForm;

using testsupport::child;

namespace {

QLineEdit *edit(QWidget &w, const char *name) { return child<QLineEdit>(w, name); }

void writeStoimost(const QString &key, const QString &value)
{
    const auto ini = core::openMainIni();
    ini->writeString(QStringLiteral("Stoimost"), key, value);
    ini->flush();
}

QString readStoimost(const QString &key)
{
    return core::openMainIni()->readString(QStringLiteral("Stoimost"), key, QStringLiteral("<none>"));
}

} // namespace

class TestPrices : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::openMainIni()->path());
    }

    void keyFilter_data();
    void keyFilter();
    void typing_data();
    void typing();

    void settingsNormaliseAndSave();
    void settingsKeepDisabledValues();
    void settingsRefuseNoNumber();
    void settingsCloseSavesNothing();

    void entryConfirm_data();
    void entryConfirm();
    void entryNoNumberStaysOpen();
    void entryCancel();
};

void TestPrices::keyFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("ostatok");
    QTest::addColumn<QString>("result"); // empty: dropped

    QTest::newRow("digit") << "7" << "12" << "7";
    QTest::newRow("point becomes comma") << "." << "12" << ",";
    QTest::newRow("comma") << "," << "" << ",";
    QTest::newRow("second separator") << "." << "1,2" << "";
    QTest::newRow("minus into empty") << "-" << "" << "-";
    QTest::newRow("late minus") << "-" << "5" << "";
    QTest::newRow("letter") << "р" << "" << "";
    QTest::newRow("blank") << " " << "1" << "";
    QTest::newRow("plus") << "+" << "" << "";
    QTest::newRow("arabic-indic digit") << QString(QChar(0x0663)) << "" << "";
}

void TestPrices::keyFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, ostatok);
    QFETCH(QString, result);
    const std::optional<QChar> c = admin::filtrKlavishiStoimosti(typed.at(0), ostatok);
    QCOMPARE(c ? QString(*c) : QString(), result);
}

// Through real key presses on an edit: the selection a key replaces counts
// as gone, backspace and the arrows keep working.
void TestPrices::typing_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("result");

    QTest::newRow("point and a second one") << "" << false << "1.2.5" << "1,25";
    QTest::newRow("minus first") << "" << false << "-5" << "-5";
    QTest::newRow("minus late") << "5" << false << "-" << "5";
    QTest::newRow("selected price replaced by a negative one") << "0,00" << true << "-7.5" << "-7,5";
    QTest::newRow("selected price replaced, comma allowed again") << "12,50" << true << "3,4" << "3,4";
    QTest::newRow("letters dropped") << "" << false << "1a2%3" << "123";
}

void TestPrices::typing()
{
    QFETCH(QString, start);
    QFETCH(bool, selectAll);
    QFETCH(QString, keys);
    QFETCH(QString, result);
    QLineEdit e;
    new admin::PriceKeyFilter(&e);
    e.setText(start);
    if (selectAll)
        e.selectAll();
    QTest::keyClicks(&e, keys);
    QCOMPARE(e.text(), result);
    QTest::keyClick(&e, Qt::Key_Backspace);
    QCOMPARE(e.text(), result.chopped(1));
}

void TestPrices::settingsNormaliseAndSave()
{
    writeStoimost("CheckBoxVestiUtchetStoimosti", "1");
    writeStoimost("EditStoimostZavtrak", "");
    writeStoimost("EditStoimostObed", "125.5");
    testsupport::ServicesFixture services;
    TNasroykiStoimostiForm f;
    f.show();
    QCOMPARE(edit(f, "EditStoimostZavtrak")->text(), QStringLiteral("0,00"));
    QCOMPARE(edit(f, "EditStoimostObed")->text(), QStringLiteral("125,50"));
    QCOMPARE(edit(f, "EditStoimostUzhin")->text(), QStringLiteral("0,00"));

    edit(f, "EditStoimostUzhin")->clear();
    edit(f, "EditStoimostNochnoePit")->clear();
    QTest::keyClicks(edit(f, "EditStoimostNochnoePit"), "-5");
    child<QCheckBox>(f, "CheckBoxZapretitVvodNulevoyStoimosti")->setChecked(true);
    child<QPushButton>(f, "ButtonZapisatStoimost")->click();

    QVERIFY(!f.isVisible());
    QCOMPARE(f.result(), int(QDialog::Accepted));
    const core::TNastroyki &n = core::pv().Nastroyki;
    QVERIFY(n.VestiUtchetStoimosti);
    QVERIFY(n.ZapretitVvodNulevoyStoimosti);
    QCOMPARE(n.StoimostObed, QStringLiteral("125,50"));
    QCOMPARE(n.StoimostUzhin, QStringLiteral("0,00"));
    QCOMPARE(n.StoimostNochnoePit, QStringLiteral("-5,00"));
    QCOMPARE(readStoimost("EditStoimostZavtrak"), QStringLiteral("0,00"));
    QCOMPARE(readStoimost("EditStoimostUzhin"), QStringLiteral("0,00"));
    QCOMPARE(readStoimost("EditStoimostNochnoePit"), QStringLiteral("-5,00"));
    QCOMPARE(readStoimost("CheckBoxZapretitVvodNulevoyStoimosti"), QStringLiteral("1"));
    QCOMPARE(readStoimost("CheckBoxOtobrazhatPanelVvodaStoimosti"), QStringLiteral("0"));
    QVERIFY(services.messages().texts().isEmpty());
}

void TestPrices::settingsKeepDisabledValues()
{
    writeStoimost("CheckBoxVestiUtchetStoimosti", "0");
    writeStoimost("CheckBoxOtobrazhatPanelVvodaStoimosti", "1");
    writeStoimost("EditStoimostObed", "99,90");
    testsupport::ServicesFixture services;
    TNasroykiStoimostiForm f;
    f.show();
    auto *panel = child<QCheckBox>(f, "CheckBoxOtobrazhatPanelVvodaStoimosti");
    QVERIFY(!panel->isEnabled());
    QVERIFY(panel->isChecked());
    QVERIFY(!child<QGroupBox>(f, "GroupBoxNasroykiStoimosti")->isEnabled());
    QVERIFY(!edit(f, "EditStoimostObed")->isEnabled());

    // Ticking price keeping enables them again, unticking disables them.
    auto *vesti = child<QCheckBox>(f, "CheckBoxVestiUtchetStoimosti");
    vesti->click();
    QVERIFY(panel->isEnabled() && edit(f, "EditStoimostObed")->isEnabled());
    vesti->click();
    QVERIFY(!panel->isEnabled());

    child<QPushButton>(f, "ButtonZapisatStoimost")->click();
    QCOMPARE(readStoimost("CheckBoxVestiUtchetStoimosti"), QStringLiteral("0"));
    QCOMPARE(readStoimost("CheckBoxOtobrazhatPanelVvodaStoimosti"), QStringLiteral("1"));
    QCOMPARE(readStoimost("EditStoimostObed"), QStringLiteral("99,90"));
    QVERIFY(!core::pv().Nastroyki.VestiUtchetStoimosti);
    QVERIFY(core::pv().Nastroyki.OtobrazhatPanelVvodaStoimosti);
}

void TestPrices::settingsRefuseNoNumber()
{
    writeStoimost("CheckBoxVestiUtchetStoimosti", "1");
    writeStoimost("EditStoimostObed", "50,00");
    testsupport::ServicesFixture services;
    TNasroykiStoimostiForm f;
    f.show();
    edit(f, "EditStoimostObed")->clear();
    QTest::keyClicks(edit(f, "EditStoimostObed"), "-");
    edit(f, "EditStoimostZavtrak")->setText("10");
    child<QPushButton>(f, "ButtonZapisatStoimost")->click();

    QVERIFY(f.isVisible());
    QCOMPARE(services.messages().texts().size(), 1);
    QVERIFY(services.messages().texts().first().contains("\"-\""));
    QCOMPARE(core::pv().Nastroyki.StoimostObed, QStringLiteral("0,00"));
    QCOMPARE(core::pv().Nastroyki.StoimostZavtrak, QStringLiteral("0,00"));
    QCOMPARE(readStoimost("EditStoimostObed"), QStringLiteral("50,00"));
    QCOMPARE(readStoimost("EditStoimostZavtrak"), QStringLiteral("<none>"));
}

void TestPrices::settingsCloseSavesNothing()
{
    testsupport::ServicesFixture services;
    TNasroykiStoimostiForm f;
    f.show();
    child<QCheckBox>(f, "CheckBoxVestiUtchetStoimosti")->click();
    edit(f, "EditStoimostObed")->setText("70");
    child<QPushButton>(f, "ButtonZakritFormStoimost")->click();
    QVERIFY(!f.isVisible());
    QVERIFY(!core::pv().Nastroyki.VestiUtchetStoimosti);
    QCOMPARE(readStoimost("EditStoimostObed"), QStringLiteral("<none>"));
}

void TestPrices::entryConfirm_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("price");

    QTest::newRow("zero") << "0" << "0,00";
    QTest::newRow("point typed") << "99.9" << "99,90";
    QTest::newRow("negative") << "-5" << "-5,00";
}

void TestPrices::entryConfirm()
{
    QFETCH(QString, keys);
    QFETCH(QString, price);
    testsupport::ServicesFixture services;
    auto &b = core::pv().BuferSotrudnika;
    b.FIO = QStringLiteral("Иванов Иван");
    b.Stoimost = QStringLiteral("125,50");
    QString shownName, shownPrice;
    services.onModal = [&](QDialog &d) {
        d.show();
        shownName = child<QLabel>(d, "LabelFIO")->text();
        shownPrice = edit(d, "EditStoimostPitaniya")->text();
        // The price is selected on showing: typing replaces it.
        QTest::keyClicks(edit(d, "EditStoimostPitaniya"), keys);
        QTest::keyClick(edit(d, "EditStoimostPitaniya"), Qt::Key_Return);
        return d.result();
    };
    QVERIFY(admin::vvodStoimosti(nullptr));
    QCOMPARE(shownName, QStringLiteral("Иванов Иван"));
    QCOMPARE(shownPrice, QStringLiteral("125,50"));
    QCOMPARE(b.Stoimost, price);
}

void TestPrices::entryNoNumberStaysOpen()
{
    testsupport::ServicesFixture services;
    core::pv().BuferSotrudnika.Stoimost = QStringLiteral("125,50");
    bool stillOpen = false;
    services.onModal = [&](QDialog &d) {
        d.show();
        edit(d, "EditStoimostPitaniya")->setText("-");
        child<QPushButton>(d, "ButtonZapisat")->click();
        stillOpen = d.isVisible();
        child<QPushButton>(d, "ButtonOtmena")->click();
        return d.result();
    };
    QVERIFY(!admin::vvodStoimosti(nullptr));
    QVERIFY(stillOpen);
    QCOMPARE(services.messages().texts().size(), 1);
    QCOMPARE(core::pv().BuferSotrudnika.Stoimost, QStringLiteral("125,50"));
}

void TestPrices::entryCancel()
{
    testsupport::ServicesFixture services;
    core::pv().BuferSotrudnika.Stoimost = QStringLiteral("40,00");
    int result = -1;
    services.onModal = [&](QDialog &d) {
        d.show();
        edit(d, "EditStoimostPitaniya")->setText("55");
        child<QPushButton>(d, "ButtonOtmena")->click();
        result = d.result();
        return result;
    };
    QVERIFY(!admin::vvodStoimosti(nullptr));
    QCOMPARE(result, TVvodStoimostiForm::kOtmena);
    QCOMPARE(core::pv().BuferSotrudnika.Stoimost, QStringLiteral("40,00"));
}

QTEST_MAIN(TestPrices)
#include "test_prices.moc"
