// The report window driven through its controls: its showing, the
// selection, the pickers, the totals tables, the wheel and its closing.
#include "reports/Otchet.h"
#include "test_fixture.h"

#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using reporttest::cells;
using reporttest::Meal;
using testsupport::child;

namespace {

QString today() { return core::ruDate(QDate::currentDate()); }

} // namespace

class TestOtchet : public QObject
{
    Q_OBJECT

    std::unique_ptr<reporttest::TestDb> m_db;
    std::unique_ptr<testsupport::ServicesFixture> m_services;

    QStringList texts() { return m_services->messages().texts(); }

    // The window as the main window shows it; the modal loop is left out.
    std::unique_ptr<TOtchetForm> shown()
    {
        auto w = std::make_unique<TOtchetForm>();
        w->FormShow();
        w->show();
        return w;
    }

    static void openPeriod(TOtchetForm &w)
    {
        child<QCheckBox>(w, "CheckBoxNach")->setChecked(false);
        child<QCheckBox>(w, "CheckBoxKon")->setChecked(false);
    }

private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
        m_db = std::make_unique<reporttest::TestDb>();
        m_services = std::make_unique<testsupport::ServicesFixture>();
    }

    void cleanup()
    {
        m_services.reset();
        m_db.reset();
    }

    void showingResetsTheWindow()
    {
        {
            core::IniFile ini(core::iniPath());
            ini.writeInt("OtchetForm", "Visota", 700);
            ini.writeInt("OtchetForm", "Shirina", 900);
            ini.flush();
        }
        auto w = shown();
        QCOMPARE(w->windowTitle(), "Отчёты");
        QCOMPARE(w->minimumSize(), QSize(670, 550));
        QCOMPARE(w->size(), QSize(900, 700));
        QVERIFY(!child<QPushButton>(*w, "ButtonExcel")->isEnabled());
        QVERIFY(child<QRadioButton>(*w, "GroupVidPit0")->isChecked());
        for (const char *name : {"DateTimePickerNach", "DateTimePickerKon"}) {
            QCOMPARE(child<QDateEdit>(*w, name)->date(), QDate::currentDate());
            QCOMPARE(child<QDateEdit>(*w, name)->displayFormat(), "dd.MM.yyyy");
        }
        QVERIFY(child<QCheckBox>(*w, "CheckBoxNach")->isChecked());
        QVERIFY(child<QCheckBox>(*w, "CheckBoxKon")->isChecked());
        QCOMPARE(child<QLabel>(*w, "LabelStrokaViborki")->text(), QString());
        QCOMPARE(child<QTabWidget>(*w, "PageControl1")->currentIndex(), 0);
        QCOMPARE(child<QTabWidget>(*w, "PageControl1")->tabText(2), "По видам питания");
        auto *org = child<QTableWidget>(*w, "StringGridOrg");
        QCOMPARE(org->horizontalHeaderItem(0)->text(), "Организация");
        QCOMPARE(org->horizontalHeaderItem(1)->text(), "Сумма (Итог)");
        QCOMPARE(cells(org), QStringList{"|"});
        QCOMPARE(child<QTableWidget>(*w, "StringGridVidPit")->horizontalHeaderItem(0)->text(),
                 "Вид питания");
    }

    void formingFillsGridTotalsAndLine()
    {
        m_db->add({{today(), "12:00:00", "Обед", "Петров Пётр", "ООО Лютик", 150},
                   {today(), "08:00:00", "Завтрак", "Иванов Иван", "ООО Ромашка", 0.1},
                   {"01.01.2020", "08:00:00", "Завтрак", "Иванов Иван", "ООО Ромашка", 0.1}});
        {
            core::IniFile ini(core::iniPath());
            ini.writeInt("DBGridColumnsDlyaDoc", "WidthCount4", 180);
            ini.flush();
        }
        auto w = shown();
        openPeriod(*w);
        child<QPushButton>(*w, "Sformirovat")->click();
        QCOMPARE(texts(), QStringList());
        QCOMPARE(child<QLabel>(*w, "LabelStrokaViborki")->text(),
                 "Отбор: Начало периода: Неопределено; Конец периода: Неопределено; \r\n"
                 "Вид питания: Все; Организация: Все; Сотрудник: Все; Выбрано: 3; Общая сумма: 150,2;");
        QVERIFY(child<QPushButton>(*w, "ButtonExcel")->isEnabled());

        auto *grid = child<QTableView>(*w, "DBGridOtch1");
        const QStringList titles = {"Питание", "Дата", "Время", "Ф.И.О.", "Табельный №", "№ карты",
                                    "Должность", "Подразделение", "Организация", "И.Т.Р.", "Стоимость"};
        QCOMPARE(grid->model()->columnCount(), titles.size());
        for (int i = 0; i < titles.size(); ++i)
            QCOMPARE(grid->model()->headerData(i, Qt::Horizontal).toString(), titles[i]);
        QCOMPARE(grid->horizontalHeader()->sectionSize(3), 180);
        QCOMPARE(grid->horizontalHeader()->sectionSize(0), 70);
        QCOMPARE(grid->font().pointSize(), 8);
        // Oldest first.
        QCOMPARE(grid->model()->index(0, 1).data().toString(), "01.01.2020");
        QCOMPARE(grid->model()->index(2, 3).data().toString(), "Петров Пётр");
        QCOMPARE(grid->model()->index(2, 10).data().toString(), "150,00");

        QCOMPARE(cells(child<QTableWidget>(*w, "StringGridOrg")),
                 (QStringList{"ООО Ромашка|0,2", "ООО Лютик|150"}));
        QCOMPARE(cells(child<QTableWidget>(*w, "StringGridSotr")),
                 (QStringList{"Иванов Иван|0,2", "Петров Пётр|150"}));
        QCOMPARE(cells(child<QTableWidget>(*w, "StringGridVidPit")),
                 (QStringList{"Завтрак|0,2", "Обед|150"}));

        // Today only, lunch only: the filters reach the statement.
        child<QCheckBox>(*w, "CheckBoxNach")->setChecked(true);
        child<QCheckBox>(*w, "CheckBoxKon")->setChecked(true);
        child<QRadioButton>(*w, "GroupVidPit2")->click();
        child<QPushButton>(*w, "Sformirovat")->click();
        QCOMPARE(grid->model()->rowCount(), 1);
        QVERIFY(child<QLabel>(*w, "LabelStrokaViborki")
                    ->text()
                    .endsWith("Вид питания: Обед; Организация: Все; Сотрудник: Все; Выбрано: 1; Общая сумма: 150;"));
    }

    void startAfterEndChangesNothing()
    {
        m_db->add({{today(), "12:00:00"}});
        auto w = shown();
        child<QPushButton>(*w, "Sformirovat")->click();
        QCOMPARE(child<QTableView>(*w, "DBGridOtch1")->model()->rowCount(), 1);
        child<QDateEdit>(*w, "DateTimePickerNach")->setDate(QDate::currentDate().addDays(1));
        child<QPushButton>(*w, "Sformirovat")->click();
        QCOMPARE(texts(), QStringList{"Неправильно указаны периоды."});
        QCOMPARE(child<QLabel>(*w, "LabelStrokaViborki")->text(), QString());
        QCOMPARE(child<QTableView>(*w, "DBGridOtch1")->model()->rowCount(), 1);

        // With the end open the same start runs without a word.
        child<QCheckBox>(*w, "CheckBoxKon")->setChecked(false);
        child<QPushButton>(*w, "Sformirovat")->click();
        QCOMPARE(texts().size(), 1);
        QCOMPARE(child<QTableView>(*w, "DBGridOtch1")->model()->rowCount(), 0);
    }

    void failedConnectionShowsErrorAndGoesOn()
    {
        core::pv().Nastroyki.PutKFayluBD = m_db->dir() + "/missing.mdb";
        auto w = shown();
        child<QPushButton>(*w, "Sformirovat")->click();
        QCOMPARE(texts().size(), 1);
        QVERIFY2(texts().first().startsWith("EDatabaseError Ошибка с сообщением : "),
                 qPrintable(texts().first()));
        QVERIFY(child<QLabel>(*w, "LabelStrokaViborki")->text().endsWith("Сотрудник: Все; Выбрано: 0;"));
        QVERIFY(child<QPushButton>(*w, "ButtonExcel")->isEnabled());
        QCOMPARE(child<QTableView>(*w, "DBGridOtch1")->model()->columnCount(), 11);
    }

    void pickersFillTheEdits()
    {
        auto w = shown();
        QStringList opened;
        m_services->onModal = [&](QDialog &d) {
            opened << d.metaObject()->className();
            if (opened.size() == 1) {
                core::pv().VibrannoeNaimenovanie = "ООО Лютик";
            } else if (opened.size() == 2) {
                core::pv().BuferSotrudnika.FIO = "Петров Пётр";
                core::pv().BuferSotrudnika.RecID = "ABC";
            } else {
                core::pv().BuferSotrudnika.FIO = "Сидоров";
                return int(QDialog::Rejected);
            }
            return int(QDialog::Accepted);
        };
        child<QPushButton>(*w, "BOrgEdit")->click();
        QCOMPARE(child<QLineEdit>(*w, "EditOrg")->text(), "ООО Лютик");
        QCOMPARE(core::pv().VibrannoeNaimenovanie, QString());
        child<QPushButton>(*w, "BSotrEdit")->click();
        QCOMPARE(child<QLineEdit>(*w, "EditSotr")->text(), "Петров Пётр");
        QCOMPARE(core::pv().BuferSotrudnika.FIO, QString());
        // Cancelled: the edit keeps its name and the buffer is emptied.
        child<QPushButton>(*w, "BSotrEdit")->click();
        QCOMPARE(child<QLineEdit>(*w, "EditSotr")->text(), "Петров Пётр");
        QCOMPARE(core::pv().BuferSotrudnika.FIO, QString());
        QCOMPARE(core::pv().BuferSotrudnika.RecID, QString());
        QCOMPARE(opened, (QStringList{"staff::TDopForm", "staff::TListForm", "staff::TListForm"}));

        child<QPushButton>(*w, "BOrgCl")->click();
        child<QPushButton>(*w, "BSotrCl")->click();
        QCOMPARE(child<QLineEdit>(*w, "EditOrg")->text(), QString());
        QCOMPARE(child<QLineEdit>(*w, "EditSotr")->text(), QString());
    }

    void closingKeepsSizeAndNamesOnly()
    {
        m_db->add({{today(), "12:00:00"}});
        auto w = shown();
        child<QLineEdit>(*w, "EditOrg")->setText("ООО Ромашка");
        child<QRadioButton>(*w, "GroupVidPit3")->click();
        child<QPushButton>(*w, "Sformirovat")->click();
        w->resize(800, 640);
        child<QPushButton>(*w, "Zakrit")->click();
        QVERIFY(!w->isVisible());
        QVERIFY(!w->zapros()->isOpen());
        core::IniFile ini(core::iniPath());
        QCOMPARE(ini.readInt("OtchetForm", "Visota", 0), 640);
        QCOMPARE(ini.readInt("OtchetForm", "Shirina", 0), 800);

        w->FormShow();
        QCOMPARE(child<QLineEdit>(*w, "EditOrg")->text(), "ООО Ромашка");
        QVERIFY(child<QRadioButton>(*w, "GroupVidPit0")->isChecked());
        QVERIFY(!child<QPushButton>(*w, "ButtonExcel")->isEnabled());
        QCOMPARE(child<QLabel>(*w, "LabelStrokaViborki")->text(), QString());
    }

    void wheelScrollsTheViewNotTheRow()
    {
        QList<Meal> meals;
        for (int i = 0; i < 200; ++i)
            meals.append({today(), QTime(0, 0).addSecs(60 * i + 1).toString("HH:mm:ss")});
        m_db->add(meals);
        auto w = shown();
        child<QPushButton>(*w, "Sformirovat")->click();
        auto *grid = child<QTableView>(*w, "DBGridOtch1");
        QCOMPARE(grid->model()->rowCount(), 200);
        grid->setCurrentIndex(grid->model()->index(0, 0));
        QWheelEvent down(QPointF(10, 10), grid->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                         QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &down);
        QCOMPARE(grid->verticalScrollBar()->value(), 1);
        QCOMPARE(grid->currentIndex().row(), 0);
    }
};

QTEST_MAIN(TestOtchet)
#include "test_otchet.moc"
