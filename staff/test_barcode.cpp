#include "staff/RabotaSoShtrKodom.h"
#include "staff/barcod.h"
#include "test_fixture.h"

#include "core/Error.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace RabotaSoShtrKodom;

class TestBarcode : public QObject
{
    Q_OBJECT
private slots:
    void init() { core::resetProcessValues(); }

    void checkDigit_data();
    void checkDigit();
    void checkDigitRefusesLetters();
    void assembly();

    void nextNumber_data();
    void nextNumber();
    void everySerialTakenIsAnError();
    void numeratorMatchesOneByOne_data() { nextNumber_data(); }
    void numeratorMatchesOneByOne();
    void unreadableDatabaseStartsAtOne();
    void greatestStoredText();

    void drawnSymbolDecodes_data();
    void drawnSymbolDecodes();
    void barsArePlacedModuleByModule();
    void leadingZeroUsesSetAOnly();
    void noPictureForOtherLengths_data();
    void noPictureForOtherLengths();
    void clipboardGetsACopy();
};

void TestBarcode::checkDigit_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("check");
    QTest::newRow("serial 1") << "200000000001" << "5";
    QTest::newRow("serial 10") << "200000000010" << "7";
    QTest::newRow("remainder 0 gives 0, not 10") << "200000000006" << "0";
    QTest::newRow("all zeros") << "000000000000" << "0";
    QTest::newRow("trade item") << "400638133393" << "1";
}

void TestBarcode::checkDigit()
{
    QFETCH(QString, digits);
    QFETCH(QString, check);
    QCOMPARE(KontrolnayaTsifra(digits, 13), check);
}

void TestBarcode::checkDigitRefusesLetters()
{
    QVERIFY_THROWS_EXCEPTION(core::Error, KontrolnayaTsifra(QStringLiteral("2000A0000001"), 13));
}

void TestBarcode::assembly()
{
    QCOMPARE(SborkaShtrKoda(1, "0", "00"), QStringLiteral("2000000000015"));
    QCOMPARE(SborkaShtrKoda(123, "0", "00"), QStringLiteral("2000000001234"));
    QCOMPARE(SborkaShtrKoda(kPredelNomera, "0", "00"), QStringLiteral("2000999999994"));
}

void TestBarcode::nextNumber_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");
    const int max = kPredelNomera;
    QTest::newRow("no barcode stored") << QStringList{"", ""} << max << "2000000000015";
    QTest::newRow("continues 2000000001227")
        << QStringList{"2000000000015", "2000000001227", ""} << max << "2000000001234";
    QTest::newRow("foreign code sorting higher is ignored")
        << QStringList{"2000000001227", "4600000000008"} << max << "2000000001234";
    QTest::newRow("only a foreign code") << QStringList{"4600000000008"} << max << "2000000000015";
    QTest::newRow("letters in the serial places are ignored")
        << QStringList{"2000000000500", "2000ABCDEFGH1"} << max << "2000000000510";
    QTest::newRow("12 and 14 characters are not own codes")
        << QStringList{"200000000999", "20000000099999", "2000000000022"} << max
        << "2000000000039";
    QTest::newRow("limit serial repeats while free")
        << QStringList{"2000999999987"} << max << "2000999999994";
    QTest::newRow("limit serial held: the greatest free one below")
        << QStringList{"2000999999994"} << max << "2000999999987";
    QTest::newRow("small limit, limit and the one below held")
        << QStringList{"2000000000022", "2000000000039"} << 3 << "2000000000015";
}

void TestBarcode::nextNumber()
{
    QFETCH(QStringList, stored);
    QFETCH(int, limit);
    QFETCH(QString, expected);
    stafftest::TestDb db;
    for (const auto &code : stored)
        db.addUser(QStringLiteral("Сотрудник"), code);
    QCOMPARE(GeneratsiyaShtrKoda("0", "00", limit), expected);
}

// Codes handed out in a row without writing each in between equal the codes
// of the one-by-one numbering with each written, up to the same refusal.
void TestBarcode::numeratorMatchesOneByOne()
{
    QFETCH(QStringList, stored);
    QFETCH(int, limit);
    const auto run = [&](bool inARow) {
        stafftest::TestDb db;
        for (const auto &code : stored)
            db.addUser(QStringLiteral("Сотрудник"), code);
        db::Connection c;
        c.open(db.path());
        NumeratorShtrKodov numerator(c, "0", "00", limit);
        QStringList codes;
        try {
            for (int i = 0; i < 4; ++i) {
                codes << (inARow ? numerator.next() : GeneratsiyaShtrKoda("0", "00", limit));
                if (!inARow)
                    db.addUser(QStringLiteral("Новый"), codes.last());
            }
        } catch (const core::Error &) {
            codes << QStringLiteral("refused");
        }
        return codes;
    };
    QCOMPARE(run(true), run(false));
}

void TestBarcode::everySerialTakenIsAnError()
{
    stafftest::TestDb db;
    db.addUser(QStringLiteral("Сотрудник"), QStringLiteral("2000000000015"));
    QVERIFY_THROWS_EXCEPTION(core::Error, GeneratsiyaShtrKoda("0", "00", 1));
}

void TestBarcode::unreadableDatabaseStartsAtOne()
{
    core::pv().Nastroyki.PutKFayluBD = QStringLiteral("/nonexistent/CRDB.mdb");
    QCOMPARE(MaksNomerShtrKoda(), 0);
    QCOMPARE(GeneratsiyaShtrKoda("0", "00", kPredelNomera), QStringLiteral("2000000000015"));
    QCOMPARE(MaksShtrKod(), QStringLiteral("no"));
}

void TestBarcode::greatestStoredText()
{
    stafftest::TestDb db;
    QCOMPARE(MaksShtrKod(), QStringLiteral("0"));
    db.addUser(QStringLiteral("А"), QStringLiteral("2000000001227"));
    db.addUser(QStringLiteral("Б"), QStringLiteral("4600000000008"));
    QCOMPARE(MaksShtrKod(), QStringLiteral("4600000000008"));
    QCOMPARE(MaksNomerShtrKoda(), 122);
}

void TestBarcode::drawnSymbolDecodes_data()
{
    QTest::addColumn<QString>("code");
    // Together these first digits pick six different parity rows.
    for (const char *c : {"2000000000015", "0012345678905", "4006381333931", "9780201379624",
                          "5901234123457", "2000999999994"})
        QTest::newRow(c) << QString::fromLatin1(c);
}

void TestBarcode::drawnSymbolDecodes()
{
    QFETCH(QString, code);
    const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    if (zbarimg.isEmpty())
        QSKIP("zbarimg (zbar-tools) is not installed");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("code.png"));
    QVERIFY(barcod::RisovanieEAN13(code, Qt::black, 10, false).save(file));
    QProcess p;
    p.start(zbarimg, {QStringLiteral("--quiet"), QStringLiteral("--raw"), file});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(QString::fromLatin1(p.readAllStandardOutput()).trimmed(), code);
}

void TestBarcode::barsArePlacedModuleByModule()
{
    const QString code = QStringLiteral("2000000001234");
    const QImage img = barcod::RisovanieEAN13(code, Qt::black, 10, false);
    QCOMPARE(img.size(), QSize(210, 75));
    const QString m = barcod::ModuliEAN13(code);
    QCOMPARE(m.size(), 95);
    const auto black = [&img](int x, int y) { return qGray(img.pixel(x, y)) < 128; };
    for (int x = 0; x < 210; ++x) {
        const int k = (x - 15) / 2;
        const bool inSymbol = x >= 15 && x < 15 + 190;
        const bool bar = inSymbol && m.at(k) == QLatin1Char('1');
        const bool guard = k <= 2 || (k >= 45 && k <= 49) || k >= 92;
        QVERIFY2(!black(x, 2), qPrintable(QString::number(x)));
        for (int y = 3; y <= 57; ++y)
            QVERIFY2(black(x, y) == bar, qPrintable(QStringLiteral("x %1 y %2").arg(x).arg(y)));
        if (bar && guard) {
            QVERIFY(black(x, 70));
            QVERIFY(!black(x, 71));
        }
    }
    // The digits below the bars: the first one left of the start guard.
    bool firstDigitInk = false;
    for (int y = 58; y < 75; ++y)
        for (int x = 4; x < 15; ++x)
            firstDigitInk = firstDigitInk || black(x, y);
    QVERIFY(firstDigitInk);
}

void TestBarcode::leadingZeroUsesSetAOnly()
{
    // Set A patterns all begin with 0 and have an odd number of ones; set B
    // patterns have an even number. With a leading 0 every left digit is odd.
    const QString m = barcod::ModuliEAN13(QStringLiteral("0012345678905"));
    for (int i = 0; i < 6; ++i) {
        const QString digit = m.mid(3 + 7 * i, 7);
        QVERIFY2(digit.count(QLatin1Char('1')) % 2 == 1, qPrintable(digit));
    }
    QCOMPARE(m.mid(3, 7), QStringLiteral("0001101")); // digit 0 in set A
}

void TestBarcode::noPictureForOtherLengths_data()
{
    QTest::addColumn<QString>("code");
    QTest::newRow("12 characters") << "200000000001";
    QTest::newRow("14 characters") << "20000000000150";
    QTest::newRow("empty") << "";
    QTest::newRow("13 with a letter") << "200000000001X";
}

void TestBarcode::noPictureForOtherLengths()
{
    QFETCH(QString, code);
    QVERIFY(barcod::RisovanieEAN13(code, Qt::black, 10, true).isNull());
}

void TestBarcode::clipboardGetsACopy()
{
    QGuiApplication::clipboard()->clear();
    const QImage img = barcod::RisovanieEAN13(QStringLiteral("2000000000015"), Qt::black, 10, true);
    const QImage clip = QGuiApplication::clipboard()->image();
    QCOMPARE(clip.size(), img.size());
    QCOMPARE(clip.convertToFormat(QImage::Format_RGB32), img);
}

QTEST_MAIN(TestBarcode)
#include "test_barcode.moc"
