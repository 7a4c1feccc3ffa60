#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/RegistryLogin.h"
#include "core/TextUtil.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QtTest>

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void trimRemovesControlCodes()
    {
        QCOMPARE(core::trimCodes(QString::fromLatin1("\x01\t 2000000000015\r\n\0", 19)), QString("2000000000015"));
        QCOMPARE(core::trimCodes(QString(" \x1f")), QString());
        QCOMPARE(core::trimCodes(QStringLiteral(" О'Брайен ")), QStringLiteral("О'Брайен"));
    }

    void recIdIs32UpperHex()
    {
        const QString a = core::newRecId();
        QVERIFY(QRegularExpression("^[0-9A-F]{32}$").match(a).hasMatch());
        QVERIFY(a != core::newRecId());
    }

    void quotesAreDoubled() { QCOMPARE(core::sqlQuoted("О'Брайен"), QString("О''Брайен")); }

    void moneyUsesDecimalComma()
    {
        QCOMPARE(core::formatMoney(0), QString("0,00"));
        QCOMPARE(core::formatMoney(150.5), QString("150,50"));
        QCOMPARE(core::parseMoney("12,5").value(), 12.5);
        QCOMPARE(core::parseMoney("12.5").value(), 12.5);
        QVERIFY(!core::parseMoney("abc"));
        QVERIFY(!core::parseMoney(""));
    }

    void iniDefaultsBooleansAndBadIntegers()
    {
        const QString path = core::programFile("t.ini");
        QFile::remove(path);
        {
            core::IniFile ini(path);
            QCOMPARE(ini.readString("GLForm", "NameOP", "x"), QString("x"));
            QCOMPARE(ini.readBool("Sound", "OK", true), true);
            ini.writeBool("Sound", "OK", false);
            ini.writeString("GLForm", "NameOP", QStringLiteral("Столовая №1, корпус 2"));
            ini.writeString("GLForm", "Visota", "abc");
            QVERIFY(ini.flush());
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.contains("OK=0"), qPrintable(text));
        core::IniFile ini(path);
        QCOMPARE(ini.readBool("Sound", "OK", true), false);
        QCOMPARE(ini.readInt("GLForm", "Visota", 630), 630);
        QCOMPARE(ini.readString("GLForm", "NameOP", ""), QStringLiteral("Столовая №1, корпус 2"));
    }

    void registryLoginRoundTrip()
    {
        QCOMPARE(core::readDbLogin().user, QString());
        core::writeDbLogin({"admin", "secret"});
        const auto login = core::readDbLogin();
        QCOMPARE(login.user, QString("admin"));
        QCOMPARE(login.password, QString("secret"));
    }

    // An installation's read-only template reaches a new program folder
    // once, as a file the user may edit; it never overwrites one there, and
    // a folder already in use (CRIni.ini present) gets nothing.
    void defaultTemplateAtTheFirstStart()
    {
        QTemporaryDir installed;
        const QString shipped = installed.filePath("MaketKS.docx");
        {
            QFile f(shipped);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("shipped");
        }
        QFile::setPermissions(shipped, QFile::ReadOwner | QFile::ReadOther);
        const QString target = core::programFile("MaketKS.docx");
        QFile::remove(core::iniPath());
        QFile::remove(target);

        core::provideDefaultFiles(installed.path());
        QFile copy(target);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("shipped"));
        QVERIFY(QFileInfo(target).isWritable());

        // The user's own template stays.
        copy.close();
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write("own");
        copy.close();
        core::provideDefaultFiles(installed.path());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("own"));
        copy.close();

        QFile::remove(target);
        core::IniFile(core::iniPath()).writeString("Options", "Any", "1");
        core::provideDefaultFiles(installed.path());
        QVERIFY(!QFile::exists(target));
        QFile::remove(core::iniPath());
    }
};

QTEST_MAIN(TestCore)
#include "test_core.moc"
