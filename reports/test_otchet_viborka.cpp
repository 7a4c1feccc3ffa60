// The report's selection and totals without the window: the selection line,
// the period bounds, the exact filters, the order, the read-only connection
// and the sums.
#include "reports/Itogi.h"
#include "reports/OtchetViborka.h"
#include "test_fixture.h"
#include "TestSupport.h"

#include "core/Error.h"

#include <QtTest>

using namespace reports;
using reporttest::Meal;

namespace {

const QDate kDen(2026, 3, 15);

QStringList fios(const db::RecordSet &rs)
{
    QStringList out;
    for (int i = 0; i < rs.count(); ++i)
        out << rs.value(i, "NMFIO").toString();
    return out;
}

using Stroki = QList<QPair<QString, QString>>;

} // namespace

class TestOtchetViborka : public QObject
{
    Q_OBJECT

    std::unique_ptr<reporttest::TestDb> m_db;

    Otchet sformirovat(const Otbor &o, QStringList *errors = nullptr)
    {
        DannieOtcheta d;
        return Sformirovat(d, o, [&](const std::exception &e) {
            if (errors)
                *errors << QString::fromUtf8(e.what());
        });
    }

private slots:
    void init()
    {
        core::resetProcessValues();
        m_db = std::make_unique<reporttest::TestDb>();
    }

    void selectionLine_data()
    {
        QTest::addColumn<int>("vid");
        QTest::addColumn<bool>("withDates");
        QTest::addColumn<QString>("org");
        QTest::addColumn<QString>("sotr");
        QTest::addColumn<QString>("line");
        QTest::newRow("fully open")
            << 0 << false << "" << ""
            << "Отбор: Начало периода: Неопределено; Конец периода: Неопределено; \r\n"
               "Вид питания: Все; Организация: Все; Сотрудник: Все; ";
        QTest::newRow("everything chosen")
            << 4 << true << "ООО Ромашка" << "Иванов Иван"
            << "Отбор: Начало периода: 01.03.2026; Конец периода: 15.03.2026; \r\n"
               "Вид питания: Ночное; Организация: ООО Ромашка; Сотрудник: Иванов Иван; ";
    }

    void selectionLine()
    {
        QFETCH(int, vid);
        QFETCH(bool, withDates);
        QFETCH(QString, org);
        QFETCH(QString, sotr);
        QFETCH(QString, line);
        Otbor o{std::nullopt, std::nullopt, vid, org, sotr};
        if (withDates) {
            o.nachalo = QDate(2026, 3, 1);
            o.konets = kDen;
        }
        QCOMPARE(StrokaViborki(o), line);
    }

    void periodChecked()
    {
        const QDate later = kDen.addDays(1);
        QVERIFY(!PeriodiVerni({later, kDen}));
        QVERIFY(PeriodiVerni({kDen, kDen}));
        QVERIFY(PeriodiVerni({later, std::nullopt}));   // one unticked: the selection runs
        QVERIFY(PeriodiVerni({std::nullopt, kDen}));
    }

    void periodBounds_data()
    {
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("end");
        QTest::addColumn<QStringList>("expected");
        // Night meals are served around midnight: the start day's 00:00:00
        // belongs to it.
        QTest::newRow("same day") << true << true
                                  << QStringList{"midnight", "noon", "last second"};
        QTest::newRow("open start") << false << true
                                    << QStringList{"day before", "midnight", "noon", "last second"};
        QTest::newRow("open end") << true << false
                                  << QStringList{"midnight", "noon", "last second", "next day"};
        QTest::newRow("both open")
            << false << false
            << QStringList{"day before", "midnight", "noon", "last second", "next day"};
    }

    void periodBounds()
    {
        QFETCH(bool, start);
        QFETCH(bool, end);
        QFETCH(QStringList, expected);
        m_db->add({{"14.03.2026", "23:59:59", "Ночное", "day before"},
                   {"15.03.2026", "12:00:00", "Обед", "noon"},
                   {"15.03.2026", "00:00:00", "Ночное", "midnight"},
                   {"16.03.2026", "00:00:00", "Ночное", "next day"},
                   {"15.03.2026", "23:59:59", "Ужин", "last second"}});
        Otbor o;
        if (start)
            o.nachalo = kDen;
        if (end)
            o.konets = kDen;
        DannieOtcheta d;
        d.vibrat(o);
        d.uporyadochit();   // oldest first, whatever the order of insertion
        QCOMPARE(fios(*d.zapisi()), expected);
        const Otchet r = sformirovat(o);
        QVERIFY(r.stroka.contains("; Выбрано: " + QString::number(expected.size()) + ";"));
    }

    void filtersAreExact_data()
    {
        QTest::addColumn<int>("vid");
        QTest::addColumn<QString>("org");
        QTest::addColumn<QString>("sotr");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all") << 0 << "" << "" << QStringList{"Иванов Иван", "Петров Пётр", "О'Нил Шон", "Иванов Иван"};
        QTest::newRow("meal type") << 3 << "" << "" << QStringList{"Петров Пётр"};
        QTest::newRow("organisation") << 0 << "ООО Лютик" << "" << QStringList{"Петров Пётр", "О'Нил Шон"};
        QTest::newRow("employee") << 0 << "" << "Иванов Иван" << QStringList{"Иванов Иван", "Иванов Иван"};
        QTest::newRow("apostrophe") << 0 << "" << "О'Нил Шон" << QStringList{"О'Нил Шон"};
        QTest::newRow("all three") << 2 << "ООО Ромашка" << "Иванов Иван" << QStringList{"Иванов Иван"};
        QTest::newRow("part of a name") << 0 << "" << "Иванов" << QStringList();
        QTest::newRow("other case") << 0 << "ооо лютик" << "" << QStringList();
        QTest::newRow("trailing blank") << 0 << "ООО Лютик " << "" << QStringList();
        QTest::newRow("statement text") << 0 << "' OR 1=1 OR NMOrg='" << "" << QStringList();
    }

    void filtersAreExact()
    {
        QFETCH(int, vid);
        QFETCH(QString, org);
        QFETCH(QString, sotr);
        QFETCH(QStringList, expected);
        m_db->add({{"15.03.2026", "08:00:00", "Завтрак", "Иванов Иван", "ООО Ромашка"},
                   {"15.03.2026", "18:00:00", "Ужин", "Петров Пётр", "ООО Лютик"},
                   {"15.03.2026", "12:30:00", "Обед", "О'Нил Шон", "ООО Лютик"},
                   {"15.03.2026", "13:00:00", "Обед", "Иванов Иван", "ООО Ромашка"}});
        DannieOtcheta d;
        d.vibrat({kDen, kDen, vid, org, sotr});
        d.uporyadochit();
        QStringList got = fios(*d.zapisi());
        QStringList want = expected;
        got.sort();
        want.sort();
        QCOMPARE(got, want);
    }

    void reportNeverWrites()
    {
        m_db->add({{"15.03.2026", "08:00:00"}});
        DannieOtcheta d;
        d.vibrat({});
        QCOMPARE(d.kolichestvo(), 1);
        QVERIFY_THROWS_EXCEPTION(core::Error, d.zapisi()->deleteRecords({0}));
        QVERIFY_THROWS_EXCEPTION(core::Error, d.zapisi()->insertRecord({{"NMFIO", "x"}}));
        QCOMPARE(m_db->rows(), 1);
    }

    // On a server: the same exact filters and period, and the connection
    // refuses every write there too.
    void serverReportSelectsAndNeverWrites()
    {
        testsupport::ServerDatabase server;
        TRAPEZON_NEED_SERVER(server);
        reporttest::TestDb onServer(server.url(), server.password());
        onServer.add({{"15.03.2026", "08:00:00", "Завтрак", "Иванов Иван", "ООО Ромашка"},
                      {"15.03.2026", "12:30:00", "Обед", "О'Нил Шон", "ООО Лютик", 12.5},
                      {"16.03.2026", "00:00:00", "Обед", "О'Нил Шон", "ООО Лютик"},
                      {"14.03.2026", "23:59:59", "Обед", "О'Нил Шон", "ООО Лютик"}});
        DannieOtcheta d;
        d.vibrat({kDen, kDen, 0, "ООО Лютик", "О'Нил Шон"});
        QCOMPARE(fios(*d.zapisi()), QStringList{"О'Нил Шон"});
        QCOMPARE(d.zapisi()->text(0, "NMStoimost"), QString("12,50"));
        QVERIFY_THROWS_EXCEPTION(core::Error, d.zapisi()->deleteRecords({0}));
        QVERIFY_THROWS_EXCEPTION(core::Error, d.zapisi()->insertRecord({{"NMFIO", "x"}}));
        QCOMPARE(onServer.rows(), 4);
    }

    void failedSelectionStillCountsAndSums()
    {
        core::pv().Nastroyki.PutKFayluBD = m_db->dir() + "/missing.mdb";
        QStringList errors;
        const Otchet r = sformirovat({}, &errors);
        QCOMPARE(errors.size(), 1);
        QVERIFY(r.stroka.endsWith("Сотрудник: Все; Выбрано: 0;"));
        QCOMPARE(r.itogi.poOrganizatsiyam.stroki, (Stroki{{"", ""}}));
    }

    void sumText_data()
    {
        QTest::addColumn<qint64>("units");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << qint64(1500000) << "150";
        QTest::newRow("one decimal") << qint64(1505000) << "150,5";
        QTest::newRow("zero") << qint64(0) << "0";
        QTest::newRow("four decimals") << qint64(1) << "0,0001";
        QTest::newRow("negative") << qint64(-25000) << "-2,5";
        QTest::newRow("large") << qint64(9876543210123) << "987654321,0123";
    }

    void sumText()
    {
        QFETCH(qint64, units);
        QFETCH(QString, text);
        QCOMPARE(TekstSummy(db::Money::fromUnits(units)), text);
        QCOMPARE(SummaIzTeksta(text), db::Money::fromUnits(units));
    }

    void noRecordsLeavesBlankRows()
    {
        const Otchet r = sformirovat({kDen, kDen});
        for (const TablitsaItogov *t : {&r.itogi.poOrganizatsiyam, &r.itogi.poSotrudnikam,
                                         &r.itogi.poVidamPitaniya})
            QCOMPARE(t->stroki, (Stroki{{"", ""}}));
        QCOMPARE(r.itogi.poSotrudnikam.zagolovokImeni, "Сотрудник");
        QCOMPARE(r.itogi.poVidamPitaniya.zagolovokSummi, "Сумма (Итог)");
        QVERIFY(r.stroka.endsWith("Выбрано: 0;"));
        QVERIFY(!r.stroka.contains("Общая сумма"));
    }

    void pricesOffOrMissingSumToZero()
    {
        m_db->add({{"15.03.2026", "08:00:00", "Завтрак", "А", "Орг", 0},
                   {"15.03.2026", "09:00:00", "Обед", "Б", "Орг", QVariant()},
                   {"15.03.2026", "10:00:00", "Обед", "Б", "Орг", QString()}});
        const Otchet r = sformirovat({});
        QCOMPARE(r.itogi.poSotrudnikam.stroki, (Stroki{{"А", "0"}, {"Б", "0"}}));
        QCOMPARE(r.itogi.poOrganizatsiyam.stroki, (Stroki{{"Орг", "0"}}));
        QVERIFY(r.stroka.endsWith("Выбрано: 3; Общая сумма: 0;"));
    }

    // Fixed point throughout: ten kopecks three times are exactly 0,3, and
    // prices written as reals, whole numbers and texts with a comma all count.
    void sumsInFixedPoint()
    {
        m_db->add({{"15.03.2026", "08:00:00", "Завтрак", "А", "Орг", 0.1},
                   {"15.03.2026", "09:00:00", "Обед", "А", "Орг", 0.1},
                   {"15.03.2026", "10:00:00", "Ужин", "А", "Орг", 0.1},
                   {"15.03.2026", "11:00:00", "Обед", "Б", "Орг", 150},
                   {"15.03.2026", "12:00:00", "Обед", "Б", "Орг", "12,35"}});
        const Otchet r = sformirovat({});
        QCOMPARE(r.itogi.poSotrudnikam.stroki, (Stroki{{"А", "0,3"}, {"Б", "162,35"}}));
        QCOMPARE(r.itogi.poVidamPitaniya.stroki,
                 (Stroki{{"Завтрак", "0,1"}, {"Обед", "162,45"}, {"Ужин", "0,1"}}));
        QCOMPARE(TekstSummy(r.itogi.obshchayaSumma), "162,65");
        QVERIFY(r.stroka.endsWith(" Общая сумма: 162,65;"));
    }

    // Names group exactly as written, rows in the order each first occurs;
    // an empty organisation first takes the blank row 1, which later empty
    // ones add to, and every table sums to the overall sum.
    void rowsByExactNameInFirstOccurrence()
    {
        m_db->add({{"15.03.2026", "08:00:00", "Завтрак", "Иванов Иван", "", 10},
                   {"15.03.2026", "09:00:00", "Обед", "иванов иван", "ООО Лютик", 20},
                   {"15.03.2026", "10:00:00", "Обед", "Иванов Иван ", "ООО Лютик ", 30},
                   {"15.03.2026", "11:00:00", "Ужин", "Иванов Иван", "", 40},
                   {"15.03.2026", "12:00:00", "Обед", "Петров Пётр", "ООО Лютик", 50},
                   {"15.03.2026", "13:00:00", "Ночное", "Иванов Иван", "ООО Ромашка", 1.5}});
        const Otchet r = sformirovat({});
        QCOMPARE(r.itogi.poOrganizatsiyam.stroki,
                 (Stroki{{"", "50"}, {"ООО Лютик", "70"}, {"ООО Лютик ", "30"}, {"ООО Ромашка", "1,5"}}));
        QCOMPARE(r.itogi.poSotrudnikam.stroki,
                 (Stroki{{"Иванов Иван", "51,5"}, {"иванов иван", "20"}, {"Иванов Иван ", "30"},
                         {"Петров Пётр", "50"}}));
        QCOMPARE(r.itogi.poVidamPitaniya.stroki,
                 (Stroki{{"Завтрак", "10"}, {"Обед", "100"}, {"Ужин", "40"}, {"Ночное", "1,5"}}));
        for (const TablitsaItogov *t : {&r.itogi.poOrganizatsiyam, &r.itogi.poSotrudnikam,
                                         &r.itogi.poVidamPitaniya}) {
            db::Money sum;
            for (const auto &row : t->stroki)
                sum += *SummaIzTeksta(row.second);
            QCOMPARE(sum, r.itogi.obshchayaSumma);
        }
    }

    // An empty name after the blank row was taken gets a row of its own.
    void emptyNameAfterFirstTakesNewRow()
    {
        m_db->add({{"15.03.2026", "08:00:00", "Обед", "А", "ООО Лютик", 1},
                   {"15.03.2026", "09:00:00", "Обед", "А", "", 2},
                   {"15.03.2026", "10:00:00", "Обед", "А", "", 3}});
        const Otchet r = sformirovat({});
        QCOMPARE(r.itogi.poOrganizatsiyam.stroki, (Stroki{{"ООО Лютик", "1"}, {"", "5"}}));
    }
};

QTEST_MAIN(TestOtchetViborka)
#include "test_otchet_viborka.moc"
