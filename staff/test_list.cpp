#include "staff/List.h"
#include "staff/UserEdit.h"
#include "test_fixture.h"

#include "TestSupport.h"
#include "core/AppEvents.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QWheelEvent>
#include <QtTest>
#include <functional>
#include <memory>

using staff::TListForm;
using staff::TUserEditForm;
using stafftest::child;
using stafftest::click;

namespace {

// Plays the user in the employee list and in the employee editor it opens.
struct ListSession
{
    testsupport::ServicesFixture services;
    std::function<void(TListForm &)> user;               // what the user does in the list
    std::function<void(core::TBuferSotrudnika &)> edit;  // the editor's save; unset: cancel
    QList<core::TBuferSotrudnika> editorSaw;             // the buffer each editor was shown
    QStringList editorCaptions;

    ListSession()
    {
        services.onModal = [this](QDialog &d) {
            if (auto *editor = qobject_cast<TUserEditForm *>(&d)) {
                editorSaw << core::pv().BuferSotrudnika;
                editorCaptions << editor->windowTitle();
                if (edit) {
                    edit(core::pv().BuferSotrudnika);
                    core::pv().SotrudnikSokhranen = true;
                    editor->accept();
                } else {
                    editor->reject();
                }
                return editor->result();
            }
            d.show();
            if (auto *form = qobject_cast<TListForm *>(&d)) {
                if (user)
                    user(*form);
                if (form->isVisible())
                    click(*form, "Zakrit");
            }
            return d.result();
        };
    }
};

QTableView &grid(TListForm &f) { return *child<QTableView>(f, "DBGrid1"); }

QStringList shownNames(TListForm &f)
{
    QStringList out;
    for (int r = 0; r < f.recordSet()->count(); ++r)
        out << f.recordSet()->text(r, "NM");
    return out;
}

void selectRows(TListForm &f, const QList<int> &rows)
{
    QItemSelectionModel *s = grid(f).selectionModel();
    s->clearSelection();
    for (int r : rows)
        s->select(f.recordSet()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    s->setCurrentIndex(f.recordSet()->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

} // namespace

class TestList : public QObject
{
    Q_OBJECT

    std::unique_ptr<stafftest::TestDb> m_db;

    void addUser(const QString &nm, const QString &recId, const QVariantMap &more = {})
    {
        QVariantMap v = more;
        v["NM"] = nm;
        v["RecID"] = recId;
        m_db->insert("Users", v);
    }

private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::openMainIni()->path());
        m_db = std::make_unique<stafftest::TestDb>();
        addUser("Сидорова Анна", "R3", {{"NMTabNum", "15"}, {"NMOrg", "Столовая №1"}});
        addUser("Петров Иван Иванович", "R2", {{"NMCardNum", "00AB12CD"}});
        addUser("", "R4", {{"NMTabNum", "150"}});
        addUser("Иванов Пётр", "R1",
                {{"NMOrg", "ООО Ромашка"}, {"NMPodr", "Кухня"}, {"NMDolj", "Повар"},
                 {"NMTabNum", "7"}, {"NMCardNum", "1234567890"}, {"NMITR", "Да"},
                 {"ShtrKod", "2000000000015"}});
    }

    void cleanup() { m_db.reset(); }

    void filterByCriterion_data()
    {
        QTest::addColumn<int>("criterion");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        const QStringList both = {"Иванов Пётр", "Петров Иван Иванович"};
        QTest::newRow("name, any case") << 0 << "иван" << both;
        QTest::newRow("name, upper case") << 0 << "ИВАН" << both;
        // The employee without a name is never shown while a text is set.
        QTest::newRow("name, one letter") << 0 << "а" << QStringList({"Иванов Пётр", "Петров Иван Иванович", "Сидорова Анна"});
        QTest::newRow("personnel number") << 1 << "15" << QStringList({"", "Сидорова Анна"});
        QTest::newRow("card, inside, any case") << 2 << "ab12" << QStringList({"Петров Иван Иванович"});
        QTest::newRow("organisation") << 5 << "ромашка" << QStringList({"Иванов Пётр"});
        QTest::newRow("no match") << 0 << "zzz" << QStringList();
    }

    void filterByCriterion()
    {
        QFETCH(int, criterion);
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        ListSession s;
        s.user = [&](TListForm &f) {
            // Sorted by name on showing, whatever the table's order.
            QCOMPARE(shownNames(f), QStringList({"", "Иванов Пётр", "Петров Иван Иванович", "Сидорова Анна"}));
            child<QComboBox>(f, "ComboBoxOtbor")->setCurrentIndex(criterion);
            for (const QChar c : text) // typed letter by letter: each change filters anew
                child<QLineEdit>(f, "EditOtbor")->insert(QString(c));
            QCOMPARE(shownNames(f), shown);
            child<QLineEdit>(f, "EditOtbor")->clear();
            QCOMPARE(f.recordSet()->count(), 4);
        };
        staff::openEmployeeList(nullptr);
    }

    void criterionChangeOrXEmptiesTheFilter()
    {
        ListSession s;
        s.user = [](TListForm &f) {
            auto *edit = child<QLineEdit>(f, "EditOtbor");
            auto *combo = child<QComboBox>(f, "ComboBoxOtbor");
            QCOMPARE(combo->currentText(), QString("Ф.И.О."));
            QCOMPARE(combo->count(), 6);
            edit->setText("иван");
            QCOMPARE(f.recordSet()->count(), 2);
            combo->setCurrentIndex(3);
            QVERIFY(edit->text().isEmpty());
            QCOMPARE(f.recordSet()->count(), 4);
            // Under the new criterion the same text means something else.
            edit->setText("повар");
            QCOMPARE(shownNames(f), QStringList({"Иванов Пётр"}));
            click(f, "ButtonOtborCl");
            QVERIFY(edit->text().isEmpty());
            QCOMPARE(f.recordSet()->count(), 4);
        };
        staff::openEmployeeList(nullptr);
    }

    void deleteOnlyWithTheCursorOnASelectedRow()
    {
        ListSession s;
        s.user = [&](TListForm &f) {
            QTableView &g = grid(f);
            // The cursor moved off the selection with the keyboard: nothing, no question.
            selectRows(f, {0});
            QTest::keyClick(&g, Qt::Key_Down, Qt::ControlModifier);
            QCOMPARE(g.currentIndex().row(), 1);
            click(f, "Udalenie");
            QVERIFY(s.services.messages().messages.isEmpty());

            s.services.messages().script = {core::Answer::Cancel};
            selectRows(f, {1, 2, 3});
            click(f, "Udalenie");
            QCOMPARE(s.services.messages().texts(), QStringList({"Подтвердить удаление?"}));
            QCOMPARE(s.services.messages().messages[0].buttons, core::Buttons::OkCancel);
            QCOMPARE(f.recordSet()->count(), 4);

            // Three selected, the cursor on the middle one: one question deletes all three.
            // With RefreshQuery the main window hears of it at once.
            core::pv().Nastroyki.RefreshQuery = true;
            QSignalSpy changed(&core::AppEvents::instance(), &core::AppEvents::employeesChanged);
            selectRows(f, {1, 2, 3});
            g.selectionModel()->setCurrentIndex(f.recordSet()->index(2, 0), QItemSelectionModel::NoUpdate);
            click(f, "Udalenie");
            QCOMPARE(s.services.messages().messages.size(), 2);
            QCOMPARE(shownNames(f), QStringList({""}));
            QCOMPARE(changed.size(), 1);
        };
        staff::openEmployeeList(nullptr);
        QCOMPARE(m_db->column("Users", "RecID"), QStringList({"R4"}));
    }

    void pickingHandsBackTheRow_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("close");
        QTest::addColumn<bool>("picked");
        QTest::addColumn<QString>("fio");
        QTest::newRow("pick") << "пётр" << false << true << "Иванов Пётр";
        QTest::newRow("empty result") << "zzz" << false << true << "";
        QTest::newRow("closed") << "пётр" << true << false << "";
    }

    void pickingHandsBackTheRow()
    {
        QFETCH(QString, filter);
        QFETCH(bool, close);
        QFETCH(bool, picked);
        QFETCH(QString, fio);
        ListSession s;
        core::pv().BuferSotrudnika.FIO = "left over";
        core::pv().BuferSotrudnika.Stoimost = "45,00";
        s.user = [&](TListForm &f) {
            QCOMPARE(child<QPushButton>(f, "Sozdanie")->text(), QString("Выбрать"));
            QVERIFY(child<QPushButton>(f, "Otkrit")->isHidden());
            QVERIFY(!child<QPushButton>(f, "SozdanieVibora")->isHidden());
            QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty()); // emptied by the opener
            child<QLineEdit>(f, "EditOtbor")->setText(filter);
            click(f, close ? "Zakrit" : "Sozdanie");
        };
        QCOMPARE(staff::pickEmployee(nullptr), picked);
        const core::TBuferSotrudnika &b = core::pv().BuferSotrudnika;
        QCOMPARE(b.FIO, fio);
        if (fio.isEmpty()) {
            QVERIFY(b.RecID.isEmpty() && b.RedaktRecID.isEmpty() && b.TabNum.isEmpty());
        } else {
            QCOMPARE(QStringList({b.Org, b.Podr, b.Dolj, b.TabNum, b.CardNum, b.ITR, b.ShtrKod}),
                     QStringList({"ООО Ромашка", "Кухня", "Повар", "7", "1234567890", "Да",
                                  "2000000000015"}));
            QCOMPARE(b.RecID, QString("R1"));
            QCOMPARE(b.RedaktRecID, QString("R1"));
        }
        QCOMPARE(b.Stoimost, QString("0,00"));
        QVERIFY(core::pv().RezhimSpiskaSotrudnikov.isEmpty());
    }

    void createAndOpenGoThroughTheEditor()
    {
        ListSession s;
        s.user = [&](TListForm &f) {
            QCOMPARE(child<QPushButton>(f, "Sozdanie")->text(), QString("Создать"));
            QVERIFY(!child<QPushButton>(f, "Otkrit")->isHidden());
            QVERIFY(child<QPushButton>(f, "SozdanieVibora")->isHidden());

            // Left with an empty name: nothing stored.
            s.edit = [](core::TBuferSotrudnika &b) { b.TabNum = "99"; };
            click(f, "Sozdanie");
            QCOMPARE(s.services.messages().texts(), QStringList({"Ф.И.О. не заполнено!"}));
            QCOMPARE(f.recordSet()->sourceCount(), 4);

            s.edit = [](core::TBuferSotrudnika &b) {
                b.FIO = "Абрамов Олег";
                b.CardNum = "55555555";
                b.ITR = "Да";
            };
            core::pv().BuferSotrudnika.RedaktRecID = "stale";
            click(f, "Sozdanie");
            QCOMPARE(s.editorCaptions.last(), QString("Сотрудник (Создание)"));
            QVERIFY(s.editorSaw.last().RedaktRecID.isEmpty());
            QCOMPARE(shownNames(f).at(1), QString("Абрамов Олег"));
            QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty());
            QVERIFY(!core::pv().SotrudnikSokhranen);

            // Open the current employee, change the name: RecID stays.
            grid(f).setCurrentIndex(f.recordSet()->index(2, 0)); // Иванов Пётр
            s.edit = [](core::TBuferSotrudnika &b) { b.FIO = "Иванов Пётр Сергеевич"; };
            click(f, "Otkrit");
            QCOMPARE(s.editorCaptions.last(), QString("Сотрудник"));
            QCOMPARE(s.editorSaw.last().FIO, QString("Иванов Пётр"));
            QCOMPARE(s.editorSaw.last().CardNum, QString("1234567890"));
            QCOMPARE(s.editorSaw.last().RedaktRecID, QString("R1"));

            // Cancelled: nothing changes and the buffer is emptied.
            s.edit = nullptr;
            grid(f).setCurrentIndex(f.recordSet()->index(3, 0));
            click(f, "Otkrit");
            QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty());
        };
        staff::openEmployeeList(nullptr);

        stafftest::TestDb &db = *m_db;
        QCOMPARE(db.column("Users", "NM"),
                 QStringList({"Сидорова Анна", "Петров Иван Иванович", "", "Иванов Пётр Сергеевич",
                              "Абрамов Олег"}));
        QCOMPARE(db.column("Users", "RecID").at(3), QString("R1"));
        QCOMPARE(db.column("Users", "ShtrKod").at(3), QString("2000000000015"));
        const QString newId = db.column("Users", "RecID").at(4);
        QVERIFY(QRegularExpression("^[0-9A-F]{32}$").match(newId).hasMatch());
        QCOMPARE(db.column("Users", "NMCardNum").at(4), QString("55555555"));
        QCOMPARE(db.column("Users", "NMITR").at(4), QString("Да"));
    }

    void widthsAndSizeAreFoundAgain()
    {
        QCOMPARE(TListForm::RazmerOkna(), QSize(811 + 32, 329 + 116));
        QList<int> defaults;
        for (const auto &c : TListForm::kolonki())
            defaults << c.width;
        QCOMPARE(defaults, QList<int>({180, 110, 110, 110, 110, 110, 110, 40}));

        ListSession s;
        QSignalSpy closed(&core::AppEvents::instance(), &core::AppEvents::employeeListClosed);
        s.user = [](TListForm &f) {
            QCOMPARE(f.size(), QSize(843, 445));
            QCOMPARE(grid(f).size(), QSize(811, 329));
            QCOMPARE(grid(f).horizontalHeader()->sectionSize(7), 40);
            grid(f).horizontalHeader()->resizeSection(0, 250);
            grid(f).horizontalHeader()->resizeSection(7, 55);
            f.resize(900, 500);
            f.findChild<QLineEdit *>("EditOtbor")->setText("иван"); // a filter must not lose them
        };
        staff::openEmployeeList(nullptr);
        QCOMPARE(closed.size(), 1);

        const auto ini = core::openMainIni();
        QCOMPARE(ini->readInt("DBGridColumns", "WidthCount1", 0), 250);
        QCOMPARE(ini->readInt("DBGridColumns", "WidthCount8", 0), 55);
        QCOMPARE(ini->readInt("DBGridRazmer", "DBGridShirina", 0), 900 - 32);
        QCOMPARE(TListForm::RazmerOkna(), QSize(900, 500));
        s.user = [](TListForm &f) {
            QCOMPARE(f.size(), QSize(900, 500));
            QCOMPARE(grid(f).horizontalHeader()->sectionSize(0), 250);
            QCOMPARE(grid(f).horizontalHeader()->sectionSize(1), 110);
        };
        staff::openEmployeeList(nullptr);
    }

    void wheelMovesTheCurrentRowByOne()
    {
        ListSession s;
        s.user = [](TListForm &f) {
            QTableView &g = grid(f);
            g.setCurrentIndex(f.recordSet()->index(1, 0));
            const auto wheel = [&](int dy) {
                QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, dy), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(g.viewport(), &e);
            };
            wheel(-120);
            QCOMPARE(g.currentIndex().row(), 2);
            wheel(120);
            wheel(120);
            wheel(120);
            QCOMPARE(g.currentIndex().row(), 0);
        };
        staff::openEmployeeList(nullptr);
    }

    void connectionFailureLeavesAnEmptyClosableList()
    {
        core::pv().Nastroyki.PutKFayluBD = m_db->path() + ".missing";
        ListSession s;
        s.user = [&](TListForm &f) {
            QCOMPARE(f.recordSet()->count(), 0);
            QCOMPARE(s.services.messages().messages.size(), 1);
            QVERIFY(s.services.messages().texts()[0].startsWith("EDatabaseError Ошибка с сообщением : "));
            click(f, "Udalenie");
            click(f, "Otkrit"); // the editor opens with empty fields; nothing to store into
        };
        staff::openEmployeeList(nullptr);
        QVERIFY(core::pv().RezhimSpiskaSotrudnikov.isEmpty());
    }
};

QTEST_MAIN(TestList)
#include "test_list.moc"
