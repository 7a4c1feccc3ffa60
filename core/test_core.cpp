#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/RegistryLogin.h"
#include "core/TextUtil.h"

#include "core/MessageService.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTimer>
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

    // A hand-written file: values come back exactly as written, a write
    // changes only its own line, and every other line stays as it was.
    void iniValuesAsWrittenOtherLinesKept()
    {
        const QString path = core::programFile("hand.ini");
        const QByteArray original =
            "; настройки столовой\r\n"
            "[GLForm]\r\n"
            "NameOP=Столовая ООО \"Ромашка\"; корпус 2, этаж 1\r\n"
            "Visota=700\r\n"
            "\r\n"
            "[options]\r\n"
            "EditPutKFayluBD = /srv/база;копия, 2/CRDB.mdb \r\n"
            "Формула=a=b=c\r\n"
            "Чужой ключ=оставить\r\n";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(original);
        }
        {
            core::IniFile ini(path);
            QCOMPARE(ini.problem(), QString());
            QCOMPARE(ini.readString("GLForm", "NameOP", ""),
                     QStringLiteral("Столовая ООО \"Ромашка\"; корпус 2, этаж 1"));
            QCOMPARE(ini.readString("Options", "EditPutKFayluBD", ""),
                     QStringLiteral("/srv/база;копия, 2/CRDB.mdb"));
            QCOMPARE(ini.readString("OPTIONS", "формула", ""), QStringLiteral("a=b=c"));
            QCOMPARE(ini.readInt("glform", "visota", 0), 700);
            // Written back unchanged, one key changed, one added, one new section.
            ini.writeString("GLForm", "NameOP", ini.readString("GLForm", "NameOP", ""));
            ini.writeInt("GLForm", "Visota", 640);
            ini.writeBool("GLForm", "WState", true);
            ini.writeString("Sound", "OK", "1");
            QVERIFY(ini.flush());
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(),
                 QByteArray("; настройки столовой\r\n"
                            "[GLForm]\r\n"
                            "NameOP=Столовая ООО \"Ромашка\"; корпус 2, этаж 1\r\n"
                            "Visota=640\r\n"
                            "WState=1\r\n"
                            "\r\n"
                            "[options]\r\n"
                            "EditPutKFayluBD = /srv/база;копия, 2/CRDB.mdb \r\n"
                            "Формула=a=b=c\r\n"
                            "Чужой ключ=оставить\r\n"
                            "[Sound]\r\n"
                            "OK=1\r\n"));
    }

    // Two objects on one file: the second flush keeps the first one's write.
    void iniWritesOfTwoObjectsBothKept()
    {
        const QString path = core::programFile("two.ini");
        QFile::remove(path);
        core::IniFile a(path);
        core::IniFile b(path);
        a.writeString("S", "A", "1");
        QVERIFY(a.flush());
        b.writeString("S", "B", "2");
        QVERIFY(b.flush());
        const core::IniFile c(path);
        QCOMPARE(c.readString("S", "A", ""), QStringLiteral("1"));
        QCOMPARE(c.readString("S", "B", ""), QStringLiteral("2"));
    }

    // A file that cannot be read is named, read as defaults and never written.
    void iniUnreadableFileNamedAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE[\0G\0]\0\r\0\n\0", 12);
        QTest::newRow("binary") << QByteArray("[GLForm]\nNameOP=\0\x01\x02", 20);
    }
    void iniUnreadableFileNamedAndLeftAlone()
    {
        QFETCH(QByteArray, content);
        const QString path = core::programFile("bad.ini");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        }
        {
            core::IniFile ini(path);
            QVERIFY2(ini.problem().contains(path), qPrintable(ini.problem()));
            QCOMPARE(ini.readString("GLForm", "NameOP", "def"), QStringLiteral("def"));
            ini.writeString("GLForm", "NameOP", "x");
            QVERIFY(!ini.flush());
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }

    // Settings carried over from a Windows installation, in its code page.
    void iniWindowsCodePageRead()
    {
        const QString path = core::programFile("cp.ini");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("[GLForm]\r\nNameOP=\xD1\xF2\xEE\xEB\xEE\xE2\xE0\xFF\r\n"); // "Столовая"
        }
        core::IniFile ini(path);
        QCOMPARE(ini.readString("GLForm", "NameOP", ""), QStringLiteral("Столовая"));
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

    // A message raised right after a dialog closes, while no window is
    // active yet, belongs to the window still open (here an always-on-top
    // directory over the main window), not to no window at all.
    void boxBelongsToTheWindowStillOpen()
    {
        QMainWindow main;
        main.show();
        QDialog directory(&main);
        directory.setWindowFlag(Qt::WindowStaysOnTopHint);
        QWidget *parentOfBox = nullptr;
        bool boxShown = false;
        QTimer::singleShot(0, &directory, [&] {
            {
                QDialog entry(&directory);
                QTimer::singleShot(0, &entry, &QDialog::accept);
                entry.exec();
            }
            QApplication::setActiveWindow(nullptr); // as the window manager leaves it
            QTimer::singleShot(0, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    boxShown = true;
                    parentOfBox = box->parentWidget();
                    box->accept();
                }
            });
            core::showMessage(QStringLiteral("Наименование не заполнено!"));
            directory.accept();
        });
        directory.exec();
        QVERIFY(boxShown);
        QCOMPARE(parentOfBox, &directory);

        // With no dialog open and no active window: the main window.
        QApplication::setActiveWindow(nullptr);
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                parentOfBox = box->parentWidget();
                box->accept();
            }
        });
        core::showMessage(QStringLiteral("Готово."));
        QCOMPARE(parentOfBox, &main);
    }
};

QTEST_MAIN(TestCore)
#include "test_core.moc"
