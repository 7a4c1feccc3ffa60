// The main window driven headless on real files in the program folder:
// start-up with and without settings, the connection, closing and what it
// writes, and the window's size across runs.
#include "Application.h"
#include "GL.h"
#include "GLSettings.h"
#include "core/RadioGroup.h"
#include "TestSupport.h"
#include "test_gl_fixture.h"

#include "core/AppPaths.h"
#include "core/Error.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "core/RegistryLogin.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "db/StructureCheck.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <memory>

using gltest::child;
using gltest::start;

namespace {

// The offscreen screen, large enough for the default window size.
constexpr int kScreenW = 1280;
constexpr int kScreenH = 1024;

void removeDatabase(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

// The program has run here before: its settings file and database exist.
void createDefaultDatabase()
{
    QFile f(core::defaultDbPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
}

void writeIni(const QList<std::tuple<QString, QString, QString>> &values)
{
    core::IniFile ini(core::iniPath());
    for (const auto &[section, key, value] : values)
        ini.writeString(section, key, value);
    ini.flush();
}

} // namespace

class TestGL : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testsupport::ServicesFixture> m_services;

    testsupport::ScriptedMessages &messages() { return m_services->messages(); }


    static core::IniFile savedIni() { return core::IniFile(core::iniPath()); }

private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
        removeDatabase(core::defaultDbPath());
        m_services = std::make_unique<testsupport::ServicesFixture>();
    }

    void cleanup() { m_services.reset(); }

    // No CRIni.ini and no database: the defaults, and an empty database is
    // created beside the program and brought to the structure.
    void startsWithDefaultsWithoutSettings()
    {
        auto w = start();
        QCOMPARE(w->windowTitle(), QStringLiteral("Трапезон 2.1.0   Наименование объекта питания"));
        QCOMPARE(w->size(), QSize(726, 630));
        QVERIFY(!w->isMaximized());
        QVERIFY(child<QCheckBox>(*w, "CheckBoxUspeh")->isChecked());
        QVERIFY(child<QCheckBox>(*w, "CheckBoxUzseEL")->isChecked());
        QVERIFY(child<QCheckBox>(*w, "CheckBoxNeProshla")->isChecked());
        QCOMPARE(child<TRadioGroup>(*w, "VidPitaniya")->itemIndex(), 0);
        QCOMPARE(child<QLabel>(*w, "LabelDoubleVP")->text(), QStringLiteral("Все"));
        QCOMPARE(core::pv().VsePitaniya, QStringLiteral("Да"));
        QVERIFY(!child<QPushButton>(*w, "Dobavlenie")->isEnabled());
        QVERIFY(!child<QLineEdit>(*w, "EditOtbor")->isEnabled());

        const auto &n = core::pv().Nastroyki;
        QCOMPARE(n.PutKFayluBD, core::defaultDbPath());
        QVERIFY(!n.VestiUtchetStoimosti);
        QCOMPARE(n.NastroykiOtboraVBD, 0);
        QVERIFY(n.PreduprezhdatEsliDataPitNeTekushaya);

        QVERIFY(QFileInfo::exists(core::defaultDbPath()));
        QVERIFY(w->isConnected());
        QVERIFY(w->journal()->isOpen());
        QVERIFY(w->users()->isOpen());
        QVERIFY2(messages().messages.isEmpty(), qPrintable(messages().texts().join('\n')));

        const QHeaderView *h = child<QTableView>(*w, "DBGrid1")->horizontalHeader();
        QCOMPARE(h->count(), 12);
        QCOMPARE(w->journal()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Питание"));
        QCOMPARE(w->journal()->headerData(11, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Стоимость"));
        for (int i = 0; i < h->count(); ++i)
            QCOMPARE(h->sectionSize(i), 70);
    }

    // An existing database: the log table is emptied, the journal and the
    // employees are loaded, the saved column widths and caption applied.
    void connectsToExistingDatabase()
    {
        const QString path = core::programFile(QStringLiteral("work.db"));
        removeDatabase(path);
        QFile(path).open(QIODevice::WriteOnly);
        db::ProverkaStrukturiBD(path, QString(), QString());
        {
            db::Connection c;
            c.open(path);
            c.exec(QStringLiteral("INSERT INTO CRLogString (Rec) VALUES ('old')"));
            c.exec(QStringLiteral("INSERT INTO Users (NM, RecID) VALUES ('Петров Пётр', 'A1')"));
        }
        writeIni({{"Options", "EditPutKFayluBD", path},
                  {"GLForm", "NameOP", QStringLiteral("Столовая №1")},
                  {"DBGridColumnsDlyaDoc", "WidthCount4", "150"},
                  {"Sound", "NO", "0"}});

        auto w = start();
        QVERIFY2(messages().messages.isEmpty(), qPrintable(messages().texts().join('\n')));
        QCOMPARE(w->windowTitle(), QStringLiteral("Трапезон 2.1.0   Столовая №1"));
        QVERIFY(!child<QCheckBox>(*w, "CheckBoxUzseEL")->isChecked());
        QCOMPARE(child<QTableView>(*w, "DBGrid1")->horizontalHeader()->sectionSize(3), 150);
        QCOMPARE(w->users()->count(), 1);
        QVERIFY(!QFileInfo::exists(core::defaultDbPath()));

        db::Connection c;
        c.open(path);
        QSqlQuery q = c.exec(QStringLiteral("SELECT COUNT(*) FROM CRLogString"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);
    }

    void startRule_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("vid");
        QTest::addColumn<bool>("isklNP");
        QTest::addColumn<int>("item");
        QTest::newRow("0 all") << 0 << 3 << false << 0;
        QTest::newRow("1 last open") << 1 << 3 << false << 3;
        QTest::newRow("1 last open, bad Vid") << 1 << 9 << false << 0;
        QTest::newRow("2 after all") << 2 << 0 << false << 0;
        QTest::newRow("2 after breakfast") << 2 << 1 << false << 2;
        QTest::newRow("2 after lunch") << 2 << 2 << false << 3;
        QTest::newRow("2 after dinner") << 2 << 3 << false << 4;
        QTest::newRow("2 after dinner, no night") << 2 << 3 << true << 1;
        QTest::newRow("2 after night") << 2 << 4 << false << 1;
        QTest::newRow("3 breakfast") << 3 << 0 << false << 1;
        QTest::newRow("4 lunch") << 4 << 0 << false << 2;
        QTest::newRow("5 dinner") << 5 << 0 << false << 3;
        QTest::newRow("6 night") << 6 << 0 << false << 4;
        QTest::newRow("7 unknown") << 7 << 2 << false << 0;
    }

    // The rule read from CRIni.ini chooses the item, which is then applied.
    void startRule()
    {
        QFETCH(int, rule);
        QFETCH(int, vid);
        QFETCH(bool, isklNP);
        QFETCH(int, item);
        writeIni({{"VidPitaniya", "NastrPriStarte", QString::number(rule)},
                  {"VidPitaniya", "Vid", QString::number(vid)},
                  {"VidPitaniya", "NastrIsklNP", isklNP ? "1" : "0"}});
        createDefaultDatabase();
        auto w = start();
        QCOMPARE(child<TRadioGroup>(*w, "VidPitaniya")->itemIndex(), item);
        QCOMPARE(core::pv().VsePitaniya, item == 0 ? QStringLiteral("Да") : QStringLiteral("Нет"));
        QCOMPARE(child<QPushButton>(*w, "Dobavlenie")->isEnabled(), item != 0);
        QCOMPARE(app::startMealType(rule, vid, isklNP), item);
    }

    // Fewer than three characters stand for the database beside the program.
    void shortDatabasePathMeansDefault()
    {
        writeIni({{"Options", "EditPutKFayluBD", "ab"}});
        createDefaultDatabase();
        auto w = start();
        QCOMPARE(core::pv().Nastroyki.PutKFayluBD, core::defaultDbPath());
        QVERIFY(w->isConnected());
        QVERIFY(messages().messages.isEmpty());
    }

    // A path set explicitly is never created: its message, and the window
    // stays open without data.
    void missingDatabaseFileGivesItsMessage_data()
    {
        QTest::addColumn<QString>("refreshMode");
        QTest::newRow("filter mode") << QStringLiteral("0");
        QTest::newRow("query mode") << QStringLiteral("1");
    }

    void missingDatabaseFileGivesItsMessage()
    {
        QFETCH(QString, refreshMode);
        const QString path = core::programFile(QStringLiteral("nowhere/CRDB.mdb"));
        writeIni({{"Options", "EditPutKFayluBD", path},
                  {"Options", "NastroykiOtboraVBD", refreshMode}});
        auto w = start();
        QCOMPARE(messages().texts(),
                 QStringList{QStringLiteral("Файл базы данных по указанному пути ") + path
                             + QStringLiteral(" не существует")});
        QVERIFY(w->isVisible());
        QVERIFY(!w->isConnected());
        QVERIFY(!w->journal()->isOpen());
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!QFileInfo::exists(core::defaultDbPath()));
        QCOMPARE(child<QLabel>(*w, "LabelKolVo")->text(), QStringLiteral("0"));

        // Choosing a meal type without a database says nothing more.
        child<TRadioGroup>(*w, "VidPitaniya")->button(2)->click();
        QCOMPARE(messages().messages.size(), 1);
    }

    // A file that is no database: the connection error in the window's
    // format, the file left as it was.
    void foreignFileIsRefusedUntouched()
    {
        const QString path = core::programFile(QStringLiteral("old.mdb"));
        const QByteArray content("Standard Jet DB\0\0\0 not ours", 27);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        writeIni({{"Options", "EditPutKFayluBD", path}});
        auto w = start();
        QCOMPARE(messages().messages.size(), 1);
        QVERIFY2(messages().texts().first().startsWith(
                     QStringLiteral("EDatabaseError Ошибка с сообщением : ")),
                 qPrintable(messages().texts().first()));
        QVERIFY(messages().texts().first().contains(path));
        QVERIFY(w->isVisible());
        QVERIFY(!w->isConnected());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }

    // Cancel keeps the program running and writes nothing; OK closes it and
    // leaves the window's values in CRIni.ini.
    void closingAsksAndOkWritesTheSettings()
    {
        auto w = start();
        auto *vid = child<TRadioGroup>(*w, "VidPitaniya");
        vid->button(2)->click();
        QCOMPARE(child<QLabel>(*w, "LabelDoubleVP")->text(), QStringLiteral("Обед"));
        child<QCheckBox>(*w, "CheckBoxNeProshla")->setChecked(false);
        child<QTableView>(*w, "DBGrid1")->horizontalHeader()->resizeSection(1, 95);
        QSignalSpy finished(w.get(), &TGLForm::finished);

        messages().script.push_back(core::Answer::Cancel);
        QVERIFY(!w->close());
        QCOMPARE(messages().texts(), QStringList{QStringLiteral("Остановить работу?")});
        QCOMPARE(messages().messages.first().buttons, core::Buttons::OkCancel);
        QVERIFY(w->isVisible());
        QVERIFY(w->isConnected());
        QCOMPARE(finished.count(), 0);
        QVERIFY(!savedIni().hasKey("VidPitaniya", "Vid"));

        messages().script.push_back(core::Answer::Ok);
        QVERIFY(w->close());
        QCOMPARE(finished.count(), 1);
        QVERIFY(!w->isConnected());
        const core::IniFile ini = savedIni();
        QCOMPARE(ini.readInt("VidPitaniya", "Vid", -1), 2);
        QCOMPARE(ini.readInt("GLForm", "Shirina", -1), 726);
        QCOMPARE(ini.readInt("GLForm", "Visota", -1), 630);
        QCOMPARE(ini.readString("GLForm", "WState", "?"), QStringLiteral("0"));
        QCOMPARE(ini.readString("Sound", "OK", "?"), QStringLiteral("1"));
        QCOMPARE(ini.readString("Sound", "NO", "?"), QStringLiteral("1"));
        QCOMPARE(ini.readString("Sound", "ERR", "?"), QStringLiteral("0"));
        QCOMPARE(ini.readInt("DBGridColumnsDlyaDoc", "WidthCount1", -1), 70);
        QCOMPARE(ini.readInt("DBGridColumnsDlyaDoc", "WidthCount2", -1), 95);
        QCOMPARE(ini.readInt("DBGridColumnsDlyaDoc", "WidthCount12", -1), 70);
        QVERIFY(ini.hasKey("Options", "PutKMaketuKartSotr"));
        QCOMPARE(ini.readString("ScanerOptions", "Scaner_Ispolzovanie", "?"), QStringLiteral("0"));
        QVERIFY(QFileInfo::exists(QDir::homePath() + QStringLiteral("/.config/RKeyOpt.conf")));
    }

    // The login read at start is written back at shutdown.
    void loginSurvivesARun()
    {
        core::writeDbLogin({QStringLiteral("operator"), QStringLiteral("s3cret")});
        auto w = start();
        QCOMPARE(core::pv().Nastroyki.BDLogin, QStringLiteral("operator"));
        core::pv().Nastroyki.BDPass = QStringLiteral("changed");
        QVERIFY(w->close());
        QCOMPARE(core::readDbLogin().user, QStringLiteral("operator"));
        QCOMPARE(core::readDbLogin().password, QStringLiteral("changed"));
    }

    void maximizedWindowStartsMaximizedAgain()
    {
        {
            auto w = start();
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
            QVERIFY(w->close());
        }
        QCOMPARE(savedIni().readString("GLForm", "WState", "?"), QStringLiteral("1"));
        auto w = start();
        QTRY_VERIFY(w->isMaximized());
    }

    // A size saved on a larger screen is cut to this one and the window
    // centred on it.
    void oversizedWindowComesBackOnScreen()
    {
        writeIni({{"GLForm", "Shirina", "4000"}, {"GLForm", "Visota", "3000"}});
        auto w = start();
        const QRect screen = w->screen()->availableGeometry();
        QVERIFY(w->width() <= screen.width());
        QVERIFY(w->height() <= screen.height());
        QVERIFY2(screen.intersects(w->frameGeometry()), "window off screen");
        QVERIFY(w->width() >= 726 && w->height() >= 629);
    }

    // Every control of the window is there under its component name.
    void controlsCarryTheirNames()
    {
        auto w = start();
        for (const char *name :
             {"MonthCalendar1", "VidPitaniya", "Dobavlenie", "Udalenie", "GLEditShtrKod",
              "ButtonVvodShtrKoda", "LabelKolVo", "LabelDoubleVP", "StatusBar1", "DBGrid1",
              "EditOtbor", "PoiskPoFIOButton", "CLFIOButton", "CheckBoxUspeh", "CheckBoxUzseEL",
              "CheckBoxNeProshla", "ButtonUspeh", "ButtonUzseEL", "ButtonNeProshla",
              "ButtonOtmenitNeZaprParolVTekSess"})
            QVERIFY2(w->findChild<QWidget *>(QString::fromLatin1(name)), name);
        const QList<QPair<const char *, QString>> menu = {
            {"N3", "Сотрудники"}, {"N4", "Должности"}, {"N5", "Подразделения"},
            {"N6", "Организации"}, {"N8", "Настройки"}, {"N9", "Безопасность"},
            {"N10", "Загрузка питающихся из Excel"}, {"N12", "Основной отчёт"},
            {"N14", "Информация"}};
        for (const auto &[name, text] : menu) {
            const auto *a = w->findChild<QAction *>(QString::fromLatin1(name));
            QVERIFY2(a, name);
            QCOMPARE(a->text(), text);
        }
        QCOMPARE(w->minimumSize(), QSize(726, 629));
        QCOMPARE(child<QLabel>(*w, "LabelKolVo")->font().pointSize(), 40);
        QCOMPARE(child<QLabel>(*w, "LabelDoubleVP")->font().pointSize(), 24);
    }

    // Enter presses "Добавить" (the employee list), except in the barcode
    // field, where it confirms the typed code instead.
    void enterConfirmsTheBarcodeElsewhereAdds()
    {
        auto w = start();
        child<TRadioGroup>(*w, "VidPitaniya")->button(2)->click();
        QStringList modals;
        m_services->onModal = [&](QDialog &d) {
            modals << d.metaObject()->className();
            return int(QDialog::Rejected);
        };
        auto *code = child<QLineEdit>(*w, "GLEditShtrKod");
        code->setFocus();
        QTest::keyClicks(code, QStringLiteral("4600000000008"));
        QTest::keyClick(code, Qt::Key_Return);
        QCOMPARE(messages().texts(),
                 QStringList{QStringLiteral("Штрихкод: \"4600000000008\" не найден.")});
        QVERIFY(modals.isEmpty());
        QVERIFY(code->text().isEmpty());

        auto *grid = child<QWidget>(*w, "DBGrid1");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(modals, QStringList{QStringLiteral("staff::TListForm")});
        QVERIFY(child<QPushButton>(*w, "Dobavlenie")->isEnabled());
    }

    // An error no handler caught is shown, and the program goes on.
    void uncaughtErrorIsShownAndTheProgramRunsOn()
    {
        struct Failing : QObject
        {
            bool event(QEvent *e) override
            {
                if (e->type() == QEvent::User)
                    throw core::Error(QStringLiteral("EDatabaseError"), QStringLiteral("диск полон"));
                return QObject::event(e);
            }
        } failing;
        QEvent e(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&failing, &e));
        QCOMPARE(messages().texts(), QStringList{QStringLiteral("диск полон")});
        auto w = start();
        QVERIFY(w->isVisible());
    }

    // Qt's standard texts are Russian: button boxes, the edit fields' menu.
    void qtTextsAreRussian()
    {
        QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
        QCOMPARE(box.button(QDialogButtonBox::Save)->text(), QStringLiteral("Сохранить"));
        QCOMPARE(QCoreApplication::translate("QLineEdit", "Select All"), QStringLiteral("Выделить всё"));
    }

    // "Справка" -> "Информация" shows where the program keeps its files.
    void informationWindowNamesTheFiles()
    {
        auto w = start();
        QString shown;
        m_services->onModal = [&](QDialog &d) {
            shown = d.windowTitle() + '\n';
            for (const QLabel *l : d.findChildren<QLabel *>())
                shown += l->text() + '\n';
            return int(QDialog::Accepted);
        };
        w->findChild<QAction *>(QStringLiteral("N14"))->trigger();
        QVERIFY(shown.startsWith(QStringLiteral("Информация")));
        QVERIFY(shown.contains(QStringLiteral("2.1.0")));
        QVERIFY(shown.contains(core::defaultDbPath()));
        QVERIFY(shown.contains(core::iniPath()));
    }
};

int main(int argc, char **argv)
{
    // The offscreen platform's default screen is smaller than the window.
    const QString config = QDir::tempPath() + QStringLiteral("/trapezon-test-gl-screen-%1.json")
                                                  .arg(QCoreApplication::applicationPid());
    {
        QFile f(config);
        if (f.open(QIODevice::WriteOnly))
            f.write(QStringLiteral(R"({"screens":[{"name":"screen","x":0,"y":0,"width":%1,)"
                                   R"("height":%2,"logicalDpi":96,"dpr":1}]})")
                        .arg(kScreenW)
                        .arg(kScreenH)
                        .toUtf8());
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    int rc;
    {
        app::Application app(argc, argv);
        TestGL test;
        rc = QTest::qExec(&test, argc, argv);
    }
    QFile::remove(config);
    return rc;
}

#include "test_gl.moc"
