// Registration and the journal driven through the real main window: its
// barcode field and button, the meal-type choice, the name search, the grid
// selection and "Удалить", on a database beside the program.
#include "core/RadioGroup.h"
#include "test_gl_fixture.h"
#include "test_registration_fixture.h"

#include "admin/UnitOchistkaTablitsBazi.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "db/StructureCheck.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <memory>

using gltest::child;
using gltest::journalRows;
using gltest::start;
using regtest::kIvanov;
using regtest::kIvanovCard;
using regtest::kIvanovCode;

class TestGLRegistration : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testsupport::ServicesFixture> m_services;
    QString m_today;


    // The database with two employees and, for today, the given lunches.
    void prepare(int refreshMode, const QStringList &lunchesToday = {})
    {
        const QString path = core::defaultDbPath();
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        db::ProverkaStrukturiBD(path, QString(), QString());
        db::Connection c;
        c.open(path);
        regtest::addEmployee(c, kIvanov, kIvanovCard, kIvanovCode,
                             QStringLiteral("AAAA0000000000000000000000000001"));
        regtest::addEmployee(c, QStringLiteral("Петров Пётр"), QStringLiteral("00AB12CE"),
                             QStringLiteral("2000000000022"),
                             QStringLiteral("AAAA0000000000000000000000000002"));
        int n = 0;
        for (const QString &name : lunchesToday) {
            ++n;
            regtest::addMeal(c, m_today, QStringLiteral("08:0%1:00").arg(n), QStringLiteral("Обед"),
                             name, QStringLiteral("G%1").arg(n));
        }
        c.close();
        core::IniFile ini(core::iniPath());
        ini.writeInt(QStringLiteral("Options"), QStringLiteral("NastroykiOtboraVBD"), refreshMode);
        ini.flush();
    }

    static void chooseMeal(TGLForm &w, int index)
    {
        child<TRadioGroup>(w, "VidPitaniya")->button(index)->click();
    }

private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(core::defaultDbPath() + QLatin1String(suffix));
        m_services = std::make_unique<testsupport::ServicesFixture>();
        m_today = core::ruDate(QDate::currentDate());
    }

    void cleanup() { m_services.reset(); }

    void barcodeTwice_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("filter mode") << 0;
        QTest::newRow("query mode") << 1;
    }

    // A scanned barcode with its line end registers once; the second time
    // the status bar says so and the journal keeps one row.
    void barcodeTwice()
    {
        QFETCH(int, mode);
        prepare(mode);
        auto w = start();
        chooseMeal(*w, 2);
        QCOMPARE(child<QLabel>(*w, "LabelDoubleVP")->text(), QStringLiteral("Обед"));
        auto *field = child<QLineEdit>(*w, "GLEditShtrKod");
        auto *enter = child<QPushButton>(*w, "ButtonVvodShtrKoda");
        m_services->sound().beeps.clear();

        field->setText(kIvanovCode + QStringLiteral("\r\n"));
        QTest::mouseClick(enter, Qt::LeftButton);
        QCOMPARE(journalRows(), 1);
        QCOMPARE(field->text(), QString());
        QCOMPARE(child<QLabel>(*w, "LabelKolVo")->text(), QStringLiteral("1"));
        QVERIFY(w->statusBar()->currentMessage().endsWith(
            kIvanov + QStringLiteral("   Зарегистрирован. ") + m_today + QStringLiteral(" - Обед")));

        field->setText(kIvanovCode);
        QTest::mouseClick(enter, Qt::LeftButton);
        QCOMPARE(journalRows(), 1);
        QCOMPARE(child<QLabel>(*w, "LabelKolVo")->text(), QStringLiteral("1"));
        QVERIFY(w->statusBar()->currentMessage().contains(QStringLiteral("   УЖЕ БЫЛ ЗАРЕГИСТРИРОВАН. ")));
        QCOMPARE(m_services->sound().beeps,
                 (QList<core::Beep>{core::Beep::Information, core::Beep::Warning}));
        QVERIFY2(m_services->messages().messages.isEmpty(),
                 qPrintable(m_services->messages().texts().join('\n')));
    }

    // With "Все" chosen a card and a barcode are ignored and the field keeps its text.
    void allTypesIgnoresEntries()
    {
        prepare(0);
        auto w = start();
        chooseMeal(*w, 0);
        w->SrabotkaSchitivatelyaGL(kIvanovCard);
        auto *field = child<QLineEdit>(*w, "GLEditShtrKod");
        field->setText(kIvanovCode);
        QTest::mouseClick(child<QPushButton>(*w, "ButtonVvodShtrKoda"), Qt::LeftButton);
        QCOMPARE(journalRows(), 0);
        QCOMPARE(field->text(), kIvanovCode);
        QVERIFY(m_services->messages().messages.isEmpty());
        QVERIFY(!child<QPushButton>(*w, "Dobavlenie")->isEnabled());
    }

    // Typing filters nothing until "Найти"; the selected rows go after OK;
    // "Очистить" brings back the rest of the day's lunches.
    void searchAndDeleteInTheGrid()
    {
        prepare(0, {QStringLiteral("Иванов Иван"), QStringLiteral("ИВАНОВА Мария"),
                    QStringLiteral("Петров Пётр")});
        auto w = start();
        chooseMeal(*w, 2);
        auto *counter = child<QLabel>(*w, "LabelKolVo");
        QCOMPARE(counter->text(), QStringLiteral("3"));

        auto *otbor = child<QLineEdit>(*w, "EditOtbor");
        otbor->setText(QStringLiteral("иван"));   // as typed: the change signal fires
        QCOMPARE(counter->text(), QStringLiteral("3"));
        QTest::mouseClick(child<QPushButton>(*w, "PoiskPoFIOButton"), Qt::LeftButton);
        QCOMPARE(counter->text(), QStringLiteral("2"));

        auto *grid = child<QTableView>(*w, "DBGrid1");
        grid->setCurrentIndex(grid->model()->index(0, 0));
        grid->selectAll();
        QTest::mouseClick(child<QPushButton>(*w, "Udalenie"), Qt::LeftButton);
        QCOMPARE(m_services->messages().texts(), QStringList{"Подтвердить удаление?"});
        QCOMPARE(journalRows(), 1);
        QCOMPARE(counter->text(), QStringLiteral("0"));

        QTest::mouseClick(child<QPushButton>(*w, "CLFIOButton"), Qt::LeftButton);
        QCOMPARE(otbor->text(), QString());
        QCOMPARE(counter->text(), QStringLiteral("1"));
    }

    // The Delete key is "Удалить" (its tooltip says so): same question, same
    // rows; in an edit field it deletes a character instead.
    void deleteKeyDeletesLikeTheButton()
    {
        prepare(0, {QStringLiteral("Иванов Иван"), QStringLiteral("Петров Пётр")});
        auto w = start();
        chooseMeal(*w, 2);
        QCOMPARE(child<QPushButton>(*w, "Udalenie")->toolTip(), QStringLiteral("Del"));
        auto *grid = child<QTableView>(*w, "DBGrid1");
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 0));

        m_services->messages().defaultAnswer = core::Answer::Cancel;
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(m_services->messages().texts(), QStringList{"Подтвердить удаление?"});
        QCOMPARE(journalRows(), 2);

        m_services->messages().defaultAnswer = core::Answer::Ok;
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(journalRows(), 1);
        QCOMPARE(child<QLabel>(*w, "LabelKolVo")->text(), QStringLiteral("1"));

        auto *field = child<QLineEdit>(*w, "GLEditShtrKod");
        field->setFocus();
        field->setText(QStringLiteral("123"));
        field->setCursorPosition(0);
        QTest::keyClick(field, Qt::Key_Delete);
        QCOMPARE(field->text(), QStringLiteral("23"));
        QCOMPARE(journalRows(), 1);
        QCOMPARE(m_services->messages().texts().size(), 2);
    }

    // With the entry panel on, the main window's registration asks the price
    // in its window: a typed "0" becomes "0,00" and is refused when zero
    // prices are forbidden; a typed price is what the journal gets.
    void priceEntryWindow_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("zero refused") << "0" << 0
                                      << QStringList{"Питание с нулевой стоимостью запрещено!"};
        QTest::newRow("price typed") << "99.9" << 1 << QStringList();
    }

    void priceEntryWindow()
    {
        QFETCH(QString, typed);
        QFETCH(int, rows);
        QFETCH(QStringList, messages);
        prepare(0);
        {
            core::IniFile ini(core::iniPath());
            ini.writeBool(QStringLiteral("Stoimost"), QStringLiteral("CheckBoxVestiUtchetStoimosti"), true);
            ini.writeBool(QStringLiteral("Stoimost"), QStringLiteral("CheckBoxOtobrazhatPanelVvodaStoimosti"), true);
            ini.writeBool(QStringLiteral("Stoimost"), QStringLiteral("CheckBoxZapretitVvodNulevoyStoimosti"), true);
            ini.writeString(QStringLiteral("Stoimost"), QStringLiteral("EditStoimostObed"), QStringLiteral("125,50"));
            ini.flush();
        }
        auto w = start();
        chooseMeal(*w, 2);
        QString shown;
        m_services->onModal = [&](QDialog &d) {
            d.show();
            auto *e = d.findChild<QLineEdit *>(QStringLiteral("EditStoimostPitaniya"));
            shown = d.windowTitle() + QLatin1Char('|') + e->text();
            QTest::keyClicks(e, typed);
            QTest::keyClick(e, Qt::Key_Return);
            return d.result();
        };
        w->SrabotkaSchitivatelyaGL(kIvanovCard);
        QCOMPARE(shown, QStringLiteral("Стоимость питания|125,50"));
        QCOMPARE(journalRows(), rows);
        QCOMPARE(m_services->messages().texts(), messages);
    }

    // Employees and journal emptied by the cleanup window while the main
    // window runs: its copies follow, so a card of a removed employee is
    // not found and the counter shows the empty journal.
    void cleanupReachesTheMainWindow()
    {
        prepare(0, {kIvanov});
        auto w = start();
        chooseMeal(*w, 2);
        QCOMPARE(child<QLabel>(*w, "LabelKolVo")->text(), QStringLiteral("1"));
        {
            admin::TOchistkaTablitsBaziForm cleanup;
            cleanup.show();
            QTest::mouseClick(cleanup.findChild<QPushButton *>(QStringLiteral("ClearVse")), Qt::LeftButton);
            cleanup.close();
        }
        QCOMPARE(child<QLabel>(*w, "LabelKolVo")->text(), QStringLiteral("0"));
        m_services->messages().clear();
        w->SrabotkaSchitivatelyaGL(kIvanovCard);
        QCOMPARE(m_services->messages().texts(),
                 QStringList{QStringLiteral("Карта: ") + kIvanovCard + QStringLiteral(" не найдена.")});
        QCOMPARE(journalRows(), 0);
    }
};

QTEST_MAIN(TestGLRegistration)
#include "test_gl_registration.moc"
