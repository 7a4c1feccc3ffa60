#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/RegistryLogin.h"
#include "core/TextUtil.h"

#include "core/MessageService.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMainWindow>
#include <QMessageBox>
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

    void registryLoginRoundTrip()
    {
        QCOMPARE(core::readDbLogin().user, QString());
        core::writeDbLogin({"admin", "secret"});
        const auto login = core::readDbLogin();
        QCOMPARE(login.user, QString("admin"));
        QCOMPARE(login.password, QString("secret"));
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
