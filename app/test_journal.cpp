#include "test_registration_fixture.h"
#include "db/StructureCheck.h"

#include <QSignalSpy>
#include <QtTest>

using regtest::Fixture;
using regtest::addMeal;

namespace {

// Lunch and dinner of 05.02.2020 and a lunch of the next day, in the file
// before the window opens it.
void fillDay(Fixture &f)
{
    addMeal(f.setupConn, "05.02.2020", "12:01:00", "Обед", "Иванов Иван", "G1");
    addMeal(f.setupConn, "05.02.2020", "12:02:00", "Обед", "ИВАНОВА Мария", "G2");
    addMeal(f.setupConn, "05.02.2020", "12:03:00", "Обед", "Петров Пётр", "G3");
    addMeal(f.setupConn, "05.02.2020", "12:04:00", "Обед", "Сидоров Иван", "G4");
    addMeal(f.setupConn, "05.02.2020", "18:00:00", "Ужин", "Иванов Иван", "G1");
    addMeal(f.setupConn, "06.02.2020", "12:00:00", "Обед", "Иванов Иван", "G1");
}

void bothModes()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("filter mode") << 0;
    QTest::newRow("query mode") << 1;
}

QStringList shownNames(Fixture &f)
{
    QStringList names;
    for (int i = 0; i < f.journal.count(); ++i)
        names << f.journal.text(i, QStringLiteral("NMFIO"));
    return names;
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void nameSearch_data();
    void nameSearch();
    void allTypesShowsTheWholeDay_data();
    void allTypesShowsTheWholeDay();
    void queryModeFetchesOneDayAndType();
    void midnightMealCountsForTheDuplicateRule_data();
    void midnightMealCountsForTheDuplicateRule();
    void deleting_data();
    void deleting();
    void newRowKeepsTheJournalOrder();
    void duplicateRuleAsksTheIndex();
};

void TestJournal::nameSearch_data() { bothModes(); }

// Typing filters nothing; "Найти" narrows to the day's lunches whose name
// begins with the text in any letter case; emptying the field shows them all.
void TestJournal::nameSearch()
{
    QFETCH(int, mode);
    Fixture f(mode);
    fillDay(f);
    f.start(2);
    QCOMPARE(f.counter, QStringLiteral("4"));

    f.view.EditOtborChange(QStringLiteral("иван"));
    QCOMPARE(f.journal.count(), 4);
    f.view.PoiskPoFIOButtonClick();
    QCOMPARE(f.counter, QStringLiteral("2"));
    QCOMPARE(shownNames(f), (QStringList{"Иванов Иван", "ИВАНОВА Мария"}));

    f.view.EditOtborChange(QStringLiteral("ива"));
    f.view.EditOtborChange(QString());
    QCOMPARE(f.counter, QStringLiteral("4"));

    f.view.EditOtborChange(QStringLiteral("ПЕТ"));
    f.view.PoiskPoFIOButtonClick();
    QCOMPARE(f.counter, QStringLiteral("1"));
    QSignalSpy cleared(&f.view, &app::JournalView::otborCleared);
    f.view.CLFIOButtonClick();
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(f.view.otbor(), QString());
    QCOMPARE(f.counter, QStringLiteral("4"));
}

void TestJournal::allTypesShowsTheWholeDay_data() { bothModes(); }

void TestJournal::allTypesShowsTheWholeDay()
{
    QFETCH(int, mode);
    Fixture f(mode);
    fillDay(f);
    QSignalSpy enabled(&f.view, &app::JournalView::registrationEnabled);
    QSignalSpy label(&f.view, &app::JournalView::vidLabelChanged);
    f.start(0);

    QCOMPARE(f.counter, QStringLiteral("5"));
    QCOMPARE(enabled.last().at(0).toBool(), false);
    QCOMPARE(label.last().at(0).toString(), QStringLiteral("Все"));
    QCOMPARE(core::pv().VsePitaniya, QStringLiteral("Да"));

    f.view.ObrabotkaIzmeneniyaVidaPitaniya(3);
    QCOMPARE(f.counter, QStringLiteral("1"));
    QCOMPARE(enabled.last().at(0).toBool(), true);
    QCOMPARE(label.last().at(0).toString(), QStringLiteral("Ужин"));
    QCOMPARE(core::pv().VsePitaniya, QStringLiteral("Нет"));
}

// Only the new day and meal type are fetched: from its 00:00:00 to its
// 23:59:59, nothing of the next day.
void TestJournal::queryModeFetchesOneDayAndType()
{
    Fixture f(1);
    fillDay(f);
    addMeal(f.setupConn, "06.02.2020", "00:00:00", "Обед", "Полуночник Пётр", "G5");
    addMeal(f.setupConn, "06.02.2020", "23:59:59", "Обед", "Поздний Павел", "G6");
    addMeal(f.setupConn, "07.02.2020", "00:00:01", "Обед", "Завтрашний Илья", "G7");
    f.start(2);
    QCOMPARE(f.journal.sourceCount(), 4);

    f.view.MonthCalendar1Click(QDate(2020, 2, 6));
    QCOMPARE(f.counter, QStringLiteral("3"));
    QCOMPARE(f.journal.sourceCount(), 3);
    QCOMPARE(shownNames(f), (QStringList{"Полуночник Пётр", "Иванов Иван", "Поздний Павел"}));
}

void TestJournal::midnightMealCountsForTheDuplicateRule_data() { bothModes(); }

// A night meal registered at 00:00:00 is still seen once the journal has
// been re-read: the second one that night is refused.
void TestJournal::midnightMealCountsForTheDuplicateRule()
{
    QFETCH(int, mode);
    Fixture f(mode);
    core::pv().Nastroyki.RefreshQuery = true;
    f.now = QDateTime(QDate(2020, 2, 6), QTime(0, 0, 0));
    f.start(4);
    f.registration.SrabotkaSchitivatelyaGL(regtest::kIvanovCard);
    QVERIFY2(f.lastStatus().contains(QStringLiteral("Зарегистрирован.")), qPrintable(f.lastStatus()));
    QCOMPARE(f.counter, QStringLiteral("1"));
    f.view.MonthCalendar1Click(f.now.date());
    QCOMPARE(f.counter, QStringLiteral("1"));

    f.registration.SrabotkaSchitivatelyaGL(regtest::kIvanovCard);
    QVERIFY2(f.lastStatus().contains(QStringLiteral("УЖЕ БЫЛ ЗАРЕГИСТРИРОВАН")),
             qPrintable(f.lastStatus()));
    QCOMPARE(f.dbCount(), 1);
}

void TestJournal::deleting_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("access");
    QTest::addColumn<int>("left");
    QTest::addColumn<bool>("asked");

    QTest::newRow("three rows, OK") << 1 << int(core::Answer::Ok) << true << 3 << true;
    QTest::newRow("cancelled") << 1 << int(core::Answer::Cancel) << true << 6 << true;
    QTest::newRow("access refused") << 1 << int(core::Answer::Ok) << false << 6 << true;
    QTest::newRow("cursor off the selection") << 3 << int(core::Answer::Ok) << true << 6 << false;
}

void TestJournal::deleting()
{
    QFETCH(int, current);
    QFETCH(int, answer);
    QFETCH(bool, access);
    QFETCH(int, left);
    QFETCH(bool, asked);

    Fixture f;
    fillDay(f);
    QStringList checked;
    f.view.setHooks({[&](const QString &action) {
                         checked << action;
                         return access;
                     },
                     {}});
    f.start(0);
    QCOMPARE(f.counter, QStringLiteral("5"));
    f.services.messages().script.push_back(core::Answer(answer));

    f.view.UdalenieClick(current, {0, 1, 2});

    QCOMPARE(f.dbCount(), left);
    QCOMPARE(f.counter, QString::number(left - 1));   // the next day's row is not shown
    QCOMPARE(f.messages(), asked ? QStringList{"Подтвердить удаление?"} : QStringList());
    if (asked)
        QCOMPARE(f.beeps(), QList<core::Beep>{core::Beep::Default});
    QCOMPARE(checked, answer == int(core::Answer::Ok) && asked ? QStringList{"УдалениеГлавная"}
                                                               : QStringList());
    if (left == 3)
        QCOMPARE(shownNames(f), (QStringList{"Сидоров Иван", "Иванов Иван"}));
}

// A registration on a day that already has later rows (the calendar was set
// back) still shows the journal in time order.
void TestJournal::newRowKeepsTheJournalOrder()
{
    Fixture f;
    fillDay(f);
    f.now = QDateTime(QDate(2020, 2, 5), QTime(12, 1, 30));
    f.start(2);
    f.registration.SrabotkaSchitivatelyaGL(QStringLiteral("00AB12CE"));   // Петров Пётр
    QCOMPARE(f.lastStatus().contains(QStringLiteral("УЖЕ БЫЛ")), false);
    QCOMPARE(f.counter, QStringLiteral("5"));
    QCOMPARE(shownNames(f).at(1), QStringLiteral("Петров Пётр"));
}

// The duplicate rule is asked of the table at every registration: on a
// journal of a million rows it must find the day's rows through the index
// the structure check makes, not by reading the table.
void TestJournal::duplicateRuleAsksTheIndex()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CRDB.mdb"));
    QFile(path).open(QIODevice::WriteOnly);
    QCOMPARE(db::ProverkaStrukturiBD(path, QString(), QString(), {}).failure, QString());
    db::Connection c;
    c.open(path);
    QSqlQuery q = c.prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + app::JournalView::zaprosPovtora());
    for (int i = 0; i < 4; ++i)
        q.addBindValue(QStringLiteral("x"));
    db::Connection::execPrepared(q);
    QStringList plan;
    while (q.next())
        plan << q.value(3).toString();
    QVERIFY2(plan.join('\n').contains(QStringLiteral("USING INDEX IX_SpisokDoc_Povtor")),
             qPrintable(plan.join('\n')));
}

QTEST_MAIN(TestJournal)
#include "test_journal.moc"
