#include "test_registration_fixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using regtest::Fixture;
using regtest::kIvanov;
using regtest::kIvanovCard;
using regtest::kIvanovCode;
using regtest::kIvanovId;
using core::Beep;

Q_DECLARE_METATYPE(core::Beep)

class TestRegistration : public QObject
{
    Q_OBJECT
private slots:
    void duplicateRule_data();
    void duplicateRule();
    void deletedMealRegistersAgain();
    void lookup_data();
    void lookup();
    void rowHoldsEveryColumn();
    void dateQuestion_data();
    void dateQuestion();
    void price_data();
    void price();
    void failedSaveLeavesNoPhantomRow();
    void cardDuringQuestionWaitsItsTurn();
    void waitingDuringAQuestionIsBounded();
    void byName_data();
    void byName();
};

// Two registrations of Иванов in a row; what the journal holds afterwards.
void TestRegistration::duplicateRule_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("allowSeveral");
    QTest::addColumn<QString>("nameFilter");
    QTest::addColumn<int>("secondVid");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("secondStatus");
    QTest::addColumn<bool>("firstElsewhere"); // written by another program after the load

    const QString already = QStringLiteral("   УЖЕ БЫЛ ЗАРЕГИСТРИРОВАН. 05.02.2020 - Обед");
    const QString done = QStringLiteral("   Зарегистрирован. 05.02.2020 - ");
    QTest::newRow("same barcode twice") << 0 << false << "" << 2 << 1 << already << false;
    QTest::newRow("allowed several times") << 0 << true << "" << 2 << 2 << done + "Обед" << false;
    QTest::newRow("lunch then dinner") << 0 << false << "" << 3 << 2 << done + "Ужин" << false;
    QTest::newRow("hidden by a name search") << 0 << false << "Петр" << 2 << 1 << already << false;
    QTest::newRow("query mode twice") << 1 << false << "" << 2 << 1 << already << false;
    QTest::newRow("query mode, name search") << 1 << false << "Петр" << 2 << 1 << already << false;
    QTest::newRow("written elsewhere") << 0 << false << "" << 2 << 1 << already << true;
    QTest::newRow("query mode, written elsewhere") << 1 << false << "" << 2 << 1 << already << true;
}

void TestRegistration::duplicateRule()
{
    QFETCH(int, mode);
    QFETCH(bool, allowSeveral);
    QFETCH(QString, nameFilter);
    QFETCH(int, secondVid);
    QFETCH(int, rows);
    QFETCH(QString, secondStatus);
    QFETCH(bool, firstElsewhere);

    Fixture f(mode);
    core::pv().Nastroyki.RazreshitPitaniyeNeskolkoRaz = allowSeveral;
    f.registration.setSoundChecks({true, true, true});
    f.start(2);
    if (firstElsewhere)
        regtest::addMeal(f.setupConn, QStringLiteral("05.02.2020"), QStringLiteral("12:00:00"),
                QStringLiteral("Обед"), kIvanov, kIvanovId);
    else
        QVERIFY(f.registration.ObrabotkaShtrichKoda(kIvanovCode));
    QCOMPARE(f.dbCount(), 1);
    if (!nameFilter.isEmpty()) {
        f.view.EditOtborChange(nameFilter);
        f.view.PoiskPoFIOButtonClick();
        QCOMPARE(f.counter, QStringLiteral("0"));
    }
    if (secondVid != 2)
        f.view.ObrabotkaIzmeneniyaVidaPitaniya(secondVid);
    f.services.sound().beeps.clear();
    QVERIFY(f.registration.ObrabotkaShtrichKoda(kIvanovCode));

    QCOMPARE(f.dbCount(), rows);
    QVERIFY2(f.lastStatus().endsWith(kIvanov + secondStatus), qPrintable(f.lastStatus()));
    const Beep expected = rows == 1 ? Beep::Warning : Beep::Information;
    QCOMPARE(f.beeps(), QList<Beep>{expected});
    QVERIFY(f.messages().isEmpty());
    QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty());
}

// The rule follows the table: a meal deleted from the journal no longer
// stands in the way of registering it again.
void TestRegistration::deletedMealRegistersAgain()
{
    for (const int mode : {0, 1}) {
        Fixture f(mode);
        f.start(2);
        QVERIFY(f.registration.ObrabotkaShtrichKoda(kIvanovCode));
        f.services.messages().script.push_back(core::Answer::Ok);
        f.view.UdalenieClick(0, {0});
        QCOMPARE(f.dbCount(), 0);
        QVERIFY(f.registration.ObrabotkaShtrichKoda(kIvanovCode));
        QCOMPARE(f.dbCount(), 1);
        QVERIFY2(f.lastStatus().contains(QStringLiteral("   Зарегистрирован. ")), qPrintable(f.lastStatus()));
    }
}

void TestRegistration::lookup_data()
{
    QTest::addColumn<int>("vid");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("fieldEmptied");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rows");

    QTest::newRow("card") << 2 << kIvanovCard << "" << false << "" << 1;
    QTest::newRow("card in other letter case")
        << 2 << "00ab12cd" << "" << false << "Карта: 00ab12cd не найдена." << 0;
    QTest::newRow("unknown barcode") << 2 << "" << "2000000000099" << true
                                     << "Штрихкод: \"2000000000099\" не найден." << 0;
    QTest::newRow("barcode in blanks") << 2 << "" << "  " + kIvanovCode + " " << true << "" << 1;
    QTest::newRow("scanned barcode with CR LF") << 2 << "" << kIvanovCode + "\r\n" << true << "" << 1;
    QTest::newRow("card while Все") << 0 << kIvanovCard << "" << false << "" << 0;
    QTest::newRow("barcode while Все") << 0 << "" << kIvanovCode << false << "" << 0;
}

void TestRegistration::lookup()
{
    QFETCH(int, vid);
    QFETCH(QString, card);
    QFETCH(QString, field);
    QFETCH(bool, fieldEmptied);
    QFETCH(QString, message);
    QFETCH(int, rows);

    Fixture f;
    f.registration.setSoundChecks({true, true, true});
    f.start(vid);
    if (!card.isEmpty())
        f.registration.SrabotkaSchitivatelyaGL(card);
    else
        QCOMPARE(f.registration.ObrabotkaShtrichKoda(field), fieldEmptied);

    QCOMPARE(f.dbCount(), rows);
    QCOMPARE(f.journal.count(), rows);
    QCOMPARE(f.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    QList<Beep> beeps;
    if (rows == 1)
        beeps << Beep::Information;
    else if (!message.isEmpty())
        beeps << Beep::Error;
    QCOMPARE(f.beeps(), beeps);
    if (vid == 0)
        QVERIFY(f.status.isEmpty());
    QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty());
}

void TestRegistration::rowHoldsEveryColumn()
{
    Fixture f;
    f.now = QDateTime(QDate(2020, 2, 5), QTime(9, 5, 3));
    f.start(2);
    f.registration.SrabotkaSchitivatelyaGL(kIvanovCard);

    QSqlQuery q = f.setupConn.exec(QStringLiteral("SELECT * FROM SpisokDoc"));
    QVERIFY(q.next());
    const auto v = [&](const char *name) { return q.value(QString::fromLatin1(name)).toString(); };
    QCOMPARE(v("NMFIO"), kIvanov);
    QCOMPARE(v("NMOrg"), QStringLiteral("ООО Ромашка"));
    QCOMPARE(v("NMPodr"), QStringLiteral("Цех 1"));
    QCOMPARE(v("NMDolj"), QStringLiteral("Слесарь"));
    QCOMPARE(v("NMTabNum"), QStringLiteral("T0001"));
    QCOMPARE(v("NMCardNum"), kIvanovCard);
    QCOMPARE(v("NMITR"), QStringLiteral("Да"));
    QCOMPARE(v("NMUserGUID"), kIvanovId);
    QCOMPARE(v("ShtrKod"), kIvanovCode);
    QCOMPARE(q.value("NMStoimost").toDouble(), 0.0);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(v("NMZapisID")).hasMatch());
    QCOMPARE(v("NMDateVid"), QStringLiteral("05.02.2020"));
    QCOMPARE(v("NMTimeVid"), QStringLiteral("09:05:03"));
    QCOMPARE(v("NMDateTimeTeh"), QStringLiteral("05022020090503"));
    QCOMPARE(v("NMDateTimeTeh_Obrat"), QStringLiteral("20200205090503"));
    QCOMPARE(v("NMVid"), QStringLiteral("Обед"));
    QCOMPARE(v("NMAllTeh"), QStringLiteral("05.02.2020_Обед_Иванов Иван"));
    QVERIFY(!q.next());

    QCOMPARE(f.lastStatus(),
             QStringLiteral("05.02.2020 09:05:03: Иванов Иван   Зарегистрирован. 05.02.2020 - Обед"));
    QCOMPARE(f.counter, QStringLiteral("1"));
    QVERIFY(f.beeps().isEmpty());   // no box ticked
}

void TestRegistration::dateQuestion_data()
{
    QTest::addColumn<bool>("warn");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("rows");

    QTest::newRow("yes") << true << int(core::Answer::Yes) << 1;
    QTest::newRow("no") << true << int(core::Answer::No) << 0;
    QTest::newRow("warning off") << false << -1 << 1;
}

void TestRegistration::dateQuestion()
{
    QFETCH(bool, warn);
    QFETCH(int, answer);
    QFETCH(int, rows);

    Fixture f;
    core::pv().Nastroyki.PreduprezhdatEsliDataPitNeTekushaya = warn;
    f.now = QDateTime(QDate(2020, 2, 6), QTime(0, 15, 7));
    f.start(1);
    f.view.MonthCalendar1Click(QDate(2020, 2, 5));
    if (answer >= 0)
        f.services.messages().script.push_back(core::Answer(answer));
    f.registration.SrabotkaSchitivatelyaGL(kIvanovCard);

    QCOMPARE(f.dbCount(), rows);
    if (warn) {
        QCOMPARE(f.messages().size(), 1);
        QCOMPARE(f.services.messages().messages.first().buttons, core::Buttons::YesNo);
        QCOMPARE(f.messages().first(),
                 QStringLiteral("Дата открытого питания, не совпадает с текущей! Продолжить запись?\r\n"
                                "\r\n"
                                "Для отключения этого напоминания, зайдите в:\r\n"
                                "Сервис => Настройки => Отключите галочку - "
                                "\"Предупреждать, если дата питания не текущая\""));
        QCOMPARE(f.beeps().value(0), Beep::Default);
    } else {
        QVERIFY(f.messages().isEmpty());
    }
    if (rows == 1) {
        QSqlQuery q = f.setupConn.exec(
            QStringLiteral("SELECT NMDateVid, NMTimeVid, NMDateTimeTeh_Obrat, NMVid FROM SpisokDoc"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("05.02.2020"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("00:15:07"));
        QCOMPARE(q.value(2).toString(), QStringLiteral("20200205001507"));
        QCOMPARE(q.value(3).toString(), QStringLiteral("Завтрак"));
    }
}

void TestRegistration::price_data()
{
    QTest::addColumn<bool>("kept");
    QTest::addColumn<bool>("zeroRefused");
    QTest::addColumn<QString>("lunchPrice");
    QTest::addColumn<int>("entry");          // -1 entry off, 0 cancelled, 1 confirmed,
                                             // 2 entry on but no entry window
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("stored");      // negative: no row

    QTest::newRow("zero refused") << true << true << "0,00" << -1 << ""
                                  << "Питание с нулевой стоимостью запрещено!" << -1.0;
    QTest::newRow("zero as 0 refused") << true << true << "0" << -1 << ""
                                       << "Питание с нулевой стоимостью запрещено!" << -1.0;
    QTest::newRow("prices off") << false << true << "150,00" << -1 << "" << "" << 0.0;
    QTest::newRow("lunch price") << true << false << "125,50" << -1 << "" << "" << 125.5;
    QTest::newRow("price no number") << true << false << "12,5р" << -1 << ""
        << "Стоимость питания \"12,5р\" не является числом. Питание не зарегистрировано." << -1.0;
    QTest::newRow("entry cancelled") << true << false << "125,50" << 0 << "" << "" << -1.0;
    QTest::newRow("entry changes price") << true << false << "125,50" << 1 << "99,90" << "" << 99.9;
    QTest::newRow("entry on without its window") << true << false << "125,50" << 2 << "" <<
        "Включён ввод стоимости при каждой регистрации, но окно ввода стоимости недоступно. "
        "Питание не зарегистрировано.\r\nОтключите галочку \"Отображать панель ввода стоимости\" в "
        "настройках стоимости или обратитесь к администратору." << -1.0;
    QTest::newRow("entry sets zero, refused") << true << true << "125,50" << 1 << "0,00"
                                              << "Питание с нулевой стоимостью запрещено!" << -1.0;
}

void TestRegistration::price()
{
    QFETCH(bool, kept);
    QFETCH(bool, zeroRefused);
    QFETCH(QString, lunchPrice);
    QFETCH(int, entry);
    QFETCH(QString, entered);
    QFETCH(QString, message);
    QFETCH(double, stored);

    Fixture f;
    core::TNastroyki &n = core::pv().Nastroyki;
    n.VestiUtchetStoimosti = kept;
    n.ZapretitVvodNulevoyStoimosti = zeroRefused;
    n.StoimostObed = lunchPrice;
    n.OtobrazhatPanelVvodaStoimosti = entry >= 0;
    QString shownPrice;
    if (entry != 2)
        f.registration.setHooks({{}, [&] {
                                     shownPrice = core::pv().BuferSotrudnika.Stoimost;
                                     if (entry == 1)
                                         core::pv().BuferSotrudnika.Stoimost = entered;
                                     return entry == 1;
                                 },
                                 {}, {}});
    f.start(2);
    f.registration.SrabotkaSchitivatelyaGL(kIvanovCard);

    if (entry == 0 || entry == 1)
        QCOMPARE(shownPrice, lunchPrice);
    QCOMPARE(f.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty())
        QCOMPARE(f.beeps(), QList<Beep>{Beep::Default});
    if (stored < 0) {
        QCOMPARE(f.dbCount(), 0);
        QCOMPARE(f.journal.count(), 0);
        QVERIFY(f.status.isEmpty());
    } else {
        QSqlQuery q = f.setupConn.exec(QStringLiteral("SELECT NMStoimost FROM SpisokDoc"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toDouble(), stored);
    }
    QCOMPARE(core::pv().BuferSotrudnika.Stoimost, QStringLiteral("0,00"));
}

void TestRegistration::failedSaveLeavesNoPhantomRow()
{
    Fixture f;
    f.registration.setSoundChecks({true, true, true});
    f.start(2);
    f.registration.SrabotkaSchitivatelyaGL(QStringLiteral("00AB12CE"));
    QCOMPARE(f.counter, QStringLiteral("1"));
    f.status.clear();
    // The journal table goes away behind the window's back: the next save fails.
    f.setupConn.exec(QStringLiteral("ALTER TABLE SpisokDoc RENAME TO SpisokDocGone"));
    f.services.sound().beeps.clear();

    f.registration.SrabotkaSchitivatelyaGL(kIvanovCard);

    QCOMPARE(f.messages().size(), 1);
    QVERIFY2(f.messages().first().contains(QStringLiteral("Ошибка с сообщением")),
             qPrintable(f.messages().first()));
    QCOMPARE(f.beeps(), QList<Beep>{Beep::Error});
    // The status line no longer shows Petrov's registration as the last word.
    QCOMPARE(f.status.size(), 1);
    QVERIFY2(f.lastStatus().endsWith(kIvanov + "   НЕ ЗАРЕГИСТРИРОВАН (ошибка базы данных). 05.02.2020 - Обед"),
             qPrintable(f.lastStatus()));
    QCOMPARE(f.journal.count(), 1);
    QCOMPARE(f.journal.sourceCount(), 1);
    QCOMPARE(f.counter, QStringLiteral("1"));
    QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty());
}

// A card held to the reader while the date question is open is registered
// once the question is answered, not in the middle of it.
void TestRegistration::cardDuringQuestionWaitsItsTurn()
{
    Fixture f;
    f.now = QDateTime(QDate(2020, 2, 6), QTime(10, 0, 0));
    f.start(2);
    f.view.MonthCalendar1Click(QDate(2020, 2, 5));
    int questions = 0;
    f.services.messages().onMessage = [&](const QString &) {
        if (++questions == 1) {
            f.registration.SrabotkaSchitivatelyaGL(QStringLiteral("00AB12CE"));
            QCOMPARE(f.dbCount(), 0);
        }
    };
    f.registration.SrabotkaSchitivatelyaGL(kIvanovCard);

    QCOMPARE(questions, 2);
    QCOMPARE(f.dbCount(), 2);
    QCOMPARE(f.dbCount(QStringLiteral("NMFIO = 'Петров Пётр'")), 1);
    QCOMPARE(f.counter, QStringLiteral("2"));
}

// While the date question is open, unknown cards (noise) take only their few
// places in the wait, the employees behind them still get theirs, and what
// goes beyond the bound is refused with the error sound.
void TestRegistration::waitingDuringAQuestionIsBounded()
{
    using app::MealRegistration;
    Fixture f;
    f.now = QDateTime(QDate(2020, 2, 6), QTime(10, 0, 0));
    f.start(2);
    f.view.MonthCalendar1Click(QDate(2020, 2, 5));
    bool first = true;
    f.services.messages().onMessage = [&](const QString &) {
        if (!first)
            return;
        first = false;
        for (int i = 0; i < 50; ++i)
            f.registration.SrabotkaSchitivatelyaGL(QStringLiteral("FFFF%1").arg(i, 4, 10, QChar('0')));
        f.registration.SrabotkaSchitivatelyaGL(QStringLiteral("00AB12CE"));
        for (std::size_t i = 0; i < MealRegistration::kMaxWaiting; ++i)
            f.registration.SrabotkaSchitivatelyaGL(QStringLiteral("00AB12CE"));
        // The question's own beep, then one sound for the whole refused burst.
        QCOMPARE(f.beeps(), (QList<Beep>{Beep::Default, Beep::Error}));
        QVERIFY(f.lastStatus().contains(QStringLiteral("Не принято (карта 00AB12CE)")));
    };
    f.registration.SrabotkaSchitivatelyaGL(kIvanovCard);

    // Ivanov, then the unknown cards' and Petrov's registrations, each with
    // its date question; Petrov's repeats meet the duplicate rule.
    const QStringList texts = f.messages();
    QCOMPARE(texts.count(QStringLiteral("Карта: FFFF0000 не найдена.")), 1);
    QCOMPARE(texts.filter(QStringLiteral("не найдена")).size(), int(MealRegistration::kMaxWaitingUnknown));
    QCOMPARE(texts.filter(QStringLiteral("Дата открытого питания")).size(),
             1 + int(MealRegistration::kMaxWaiting));
    QCOMPARE(f.dbCount(), 2);
    QCOMPARE(f.dbCount(QStringLiteral("NMFIO = 'Петров Пётр'")), 1);
}

void TestRegistration::byName_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rows");

    QTest::newRow("picked") << true << kIvanov << "" << 1;
    QTest::newRow("list cancelled") << false << kIvanov << "" << 0;
    QTest::newRow("picked without a name") << true << "" << "Ф.И.О. не заполнено!" << 0;
}

void TestRegistration::byName()
{
    QFETCH(bool, ok);
    QFETCH(QString, picked);
    QFETCH(QString, message);
    QFETCH(int, rows);

    Fixture f;
    f.start(4);
    core::pv().BuferSotrudnika.FIO = QStringLiteral("остаток прошлой попытки");
    QSignalSpy enabled(&f.registration, &app::MealRegistration::dobavlenieEnabled);
    bool bufferWasEmpty = false;
    f.registration.setHooks({[&] {
                                 core::TBuferSotrudnika &b = core::pv().BuferSotrudnika;
                                 bufferWasEmpty = b.FIO.isEmpty() && b.Stoimost == "0,00";
                                 b.FIO = picked;
                                 b.RecID = kIvanovId;
                                 return ok;
                             },
                             {}, {}, {}});
    f.registration.DobavlenieClick();

    QVERIFY(bufferWasEmpty);
    QCOMPARE(enabled.size(), 2);
    QCOMPARE(enabled.at(0).at(0).toBool(), false);
    QCOMPARE(enabled.at(1).at(0).toBool(), true);
    QCOMPARE(f.dbCount(), rows);
    if (rows)
        QCOMPARE(f.dbCount(QStringLiteral("NMVid = 'Ночное' AND NMUserGUID = '") + kIvanovId + "'"), 1);
    QCOMPARE(f.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    QVERIFY(core::pv().BuferSotrudnika.FIO.isEmpty());
}

QTEST_MAIN(TestRegistration)
#include "test_registration.moc"
