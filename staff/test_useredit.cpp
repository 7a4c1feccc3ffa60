#include "core/DesktopFiles.h"
#include "staff/DocxShablon.h"
#include "staff/KartochkaSotr.h"
#include "staff/ListDop.h"
#include "staff/RegCard.h"
#include "staff/UserEdit.h"
#include "test_fixture.h"

#include "TestSupport.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QtTest>
#include <functional>

using staff::TRegCardForm;
using staff::TUserEditForm;

using stafftest::child;
using stafftest::click;

namespace {

QString text(QWidget &w, const char *name) { return child<QLineEdit>(w, name)->text(); }
void type(QWidget &w, const char *name, const QString &t) { child<QLineEdit>(w, name)->setText(t); }

const QString kNone = QStringLiteral("0000000000000");

// Plays the user in the editor and in the windows it opens.
struct Editor
{
    testsupport::ServicesFixture services;
    std::function<void(TUserEditForm &)> user;
    std::function<void(TRegCardForm &)> regCard;
    std::function<void(staff::TDopForm &)> directory;
    int result = -1;

    Editor()
    {
        services.onModal = [this](QDialog &d) {
            d.show();
            if (auto *f = qobject_cast<TUserEditForm *>(&d)) {
                if (user)
                    user(*f);
            } else if (auto *r = qobject_cast<TRegCardForm *>(&d)) {
                if (regCard)
                    regCard(*r);
            } else if (auto *dop = qobject_cast<staff::TDopForm *>(&d)) {
                if (directory)
                    directory(*dop);
            }
            if (d.isVisible())
                d.reject();
            return d.result();
        };
    }

    void run()
    {
        TUserEditForm form;
        form.setWindowTitle(QStringLiteral("Сотрудник"));
        result = core::execModal(form);
    }

    // Presses "Сохранить и закрыть" at once; true when the editor stayed open.
    bool saveStaysOpen()
    {
        bool open = false;
        user = [&open](TUserEditForm &f) {
            click(f, "ButtonSaveAndClose");
            open = f.isVisible();
        };
        run();
        return open;
    }
};

// The employee open in the editor, as the list hands him over.
void openStored(const QString &name, const QString &card, const QString &code,
                const QString &tabNum, const QString &recId)
{
    auto &b = core::pv().BuferSotrudnika;
    b.FIO = name;
    b.CardNum = card;
    b.ShtrKod = code;
    b.TabNum = tabNum;
    b.RedaktRecID = recId;
}

} // namespace

class TestUserEdit : public QObject
{
    Q_OBJECT
private slots:
    void init() { core::resetProcessValues(); }

    void showsAndSavesTheBuffer();
    void savingUnchangedFindsNoConflict();
    void conflicts_data();
    void conflicts();
    void ownRowFirstDoesNotHideAnother();
    void databaseUnreachableRefusesTheSave();
    void emptyNameIsSaved();
    void cancelClearsTheFlag();
    void storedBarcode_data();
    void storedBarcode();
    void settingABarcode();
    void cardFromRegistrationIsTrimmedTypedIsNot();
    void registrationPollsTheLastCard();
    void pickers();
    void templatePicker();
    void cardFromTheFieldsAsTheyStand();
};

void TestUserEdit::showsAndSavesTheBuffer()
{
    stafftest::TestDb db;
    auto &b = core::pv().BuferSotrudnika;
    b = {};
    b.FIO = "Иванов Пётр";
    b.Org = "ООО Ромашка";
    b.Podr = "Цех 1";
    b.Dolj = "Слесарь";
    b.TabNum = "15";
    b.CardNum = "00112233";
    b.ITR = "Да";
    b.ShtrKod = "2000000000015";
    b.RedaktRecID = "R1";
    core::pv().Nastroyki.PutKMaketuKartSotr = "/шаблоны/MaketKS.docx";
    core::pv().SotrudnikSokhranen = true;
    Editor ed;
    ed.user = [&](TUserEditForm &f) {
        QCOMPARE(core::pv().SotrudnikSokhranen, false);
        QCOMPARE(text(f, "EditFIO"), QStringLiteral("Иванов Пётр"));
        QCOMPARE(text(f, "EditOrg"), QStringLiteral("ООО Ромашка"));
        QCOMPARE(text(f, "EditPodr"), QStringLiteral("Цех 1"));
        QCOMPARE(text(f, "EditDolj"), QStringLiteral("Слесарь"));
        QCOMPARE(text(f, "EditTabNum"), QStringLiteral("15"));
        QCOMPARE(text(f, "EditCardNum"), QStringLiteral("00112233"));
        QCOMPARE(text(f, "MaskEditShtrKod"), QStringLiteral("2000000000015"));
        QCOMPARE(text(f, "EditPutKMaketuKartSotr"), QStringLiteral("/шаблоны/MaketKS.docx"));
        QVERIFY(child<QCheckBox>(f, "ITRCheck")->isChecked());
        QVERIFY(child<QLineEdit>(f, "EditOrg")->isReadOnly());
        QVERIFY(child<QLineEdit>(f, "MaskEditShtrKod")->isReadOnly());
        QVERIFY(!child<QLabel>(f, "ImageShtrKod")->pixmap().isNull());
        // Opening an employee with a barcode leaves its picture on the clipboard.
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(210, 75));

        type(f, "EditFIO", " Иванов Пётр Ильич ");
        click(f, "BOrgCl");
        child<QCheckBox>(f, "ITRCheck")->setChecked(false);
        type(f, "EditPutKMaketuKartSotr", "");
        click(f, "ButtonSaveAndClose");
    };
    ed.run();
    QCOMPARE(ed.result, int(QDialog::Accepted));
    QVERIFY(core::pv().SotrudnikSokhranen);
    QCOMPARE(b.FIO, QStringLiteral(" Иванов Пётр Ильич "));
    QCOMPARE(b.Org, QString());
    QCOMPARE(b.Podr, QStringLiteral("Цех 1"));
    QCOMPARE(b.ITR, QString());
    QCOMPARE(b.ShtrKod, QStringLiteral("2000000000015"));
    QCOMPARE(core::pv().Nastroyki.PutKMaketuKartSotr, QString());
}

void TestUserEdit::savingUnchangedFindsNoConflict()
{
    stafftest::TestDb db;
    db.addUser("Иванов", "2000000000015", "00112233", "15", "R1");
    openStored("Иванов", "00112233", "2000000000015", "15", "R1");
    Editor ed;
    QVERIFY(!ed.saveStaysOpen());
    QCOMPARE(ed.result, int(QDialog::Accepted));
    QVERIFY(core::pv().SotrudnikSokhranen);
    QCOMPARE(ed.services.messages().texts(), QStringList{});
    QCOMPARE(ed.services.sound().beeps.size(), 0);
}

void TestUserEdit::conflicts_data()
{
    QTest::addColumn<QString>("recId");  // of the employee in the editor
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("tabNum");
    QTest::addColumn<QString>("message");
    const QString card = QStringLiteral("Номер карты \"CARD0001\" уже был присвоен \"Петров\"\r\n");
    const QString code = QStringLiteral("Штрихкод \"2000000000022\" уже был присвоен \"Петров\"\r\n");
    const QString tab = QStringLiteral("Табельный номер \"77\" уже был присвоен \"Петров\"");
    QTest::newRow("all three, in order") << "" << "CARD0001" << "2000000000022" << "77"
                                         << card + code + tab;
    QTest::newRow("card only, new employee") << "" << "CARD0001" << "" << "78" << card;
    QTest::newRow("personnel number of another") << "R1" << "" << "" << "77" << tab;
    QTest::newRow("compared as typed") << "" << "card0001" << "" << "77 " << "";
}

void TestUserEdit::conflicts()
{
    QFETCH(QString, recId);
    QFETCH(QString, card);
    QFETCH(QString, code);
    QFETCH(QString, tabNum);
    QFETCH(QString, message);
    stafftest::TestDb db;
    db.addUser("Иванов", "", "", "", "R1");
    db.addUser("Петров", "2000000000022", "CARD0001", "77", "R2");
    openStored("Новый", card, code, tabNum, recId);
    Editor ed;
    const bool stayedOpen = ed.saveStaysOpen();
    if (message.isEmpty()) {
        QVERIFY(core::pv().SotrudnikSokhranen);
        QCOMPARE(ed.services.messages().texts(), QStringList{});
        return;
    }
    QVERIFY(stayedOpen);
    QVERIFY(!core::pv().SotrudnikSokhranen);
    QCOMPARE(ed.services.messages().texts(), QStringList{message});
    QCOMPARE(ed.services.sound().beeps, QList<core::Beep>{core::Beep::Default});
}

void TestUserEdit::ownRowFirstDoesNotHideAnother()
{
    // The edited employee's own row is the first holding each value; another
    // employee holding them too must still be found.
    stafftest::TestDb db;
    db.addUser("Иванов", "2000000000015", "CARD0001", "15", "R1");
    db.addUser("Петров", "2000000000015", "CARD0001", "15", "R2");
    openStored("Иванов", "CARD0001", "2000000000015", "15", "R1");
    Editor ed;
    QVERIFY(ed.saveStaysOpen());
    QVERIFY(!core::pv().SotrudnikSokhranen);
    QCOMPARE(ed.services.messages().texts(),
             QStringList{"Номер карты \"CARD0001\" уже был присвоен \"Петров\"\r\n"
                         "Штрихкод \"2000000000015\" уже был присвоен \"Петров\"\r\n"
                         "Табельный номер \"15\" уже был присвоен \"Петров\""});
}

void TestUserEdit::databaseUnreachableRefusesTheSave()
{
    core::pv().Nastroyki.PutKFayluBD = QStringLiteral("/nonexistent/CRDB.mdb");
    openStored("Иванов", "", "", "", "");
    Editor ed;
    QVERIFY(ed.saveStaysOpen());
    QVERIFY(!core::pv().SotrudnikSokhranen);
    QCOMPARE(ed.services.messages().texts(),
             QStringList{"Произошла ошибка при подключении к базе данных"});
}

void TestUserEdit::emptyNameIsSaved()
{
    stafftest::TestDb db;
    openStored("", "", "", "", "");
    Editor ed;
    QVERIFY(!ed.saveStaysOpen());
    QVERIFY(core::pv().SotrudnikSokhranen);
    QCOMPARE(core::pv().BuferSotrudnika.FIO, QString());
}

void TestUserEdit::cancelClearsTheFlag()
{
    stafftest::TestDb db;
    openStored("Иванов", "", "", "", "R1");
    Editor ed;
    ed.user = [](TUserEditForm &f) {
        type(f, "EditFIO", "Сидоров");
        click(f, "ButtonOtmena");
    };
    ed.run();
    QCOMPARE(ed.result, int(QDialog::Rejected));
    QVERIFY(!core::pv().SotrudnikSokhranen);
    QCOMPARE(core::pv().BuferSotrudnika.FIO, QStringLiteral("Иванов"));
}

void TestUserEdit::storedBarcode_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("picture");
    QTest::addColumn<QString>("savedUntouched");
    QTest::newRow("13 digits") << "2000000000015" << "2000000000015" << true << "2000000000015";
    QTest::newRow("12 characters") << "200000000001" << kNone << false << "200000000001";
    QTest::newRow("14 characters") << "20000000000150" << kNone << false << "20000000000150";
    QTest::newRow("none") << "" << kNone << false << "";
}

void TestUserEdit::storedBarcode()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(bool, picture);
    QFETCH(QString, savedUntouched);
    stafftest::TestDb db;
    for (bool clear : {false, true}) {
        openStored("Иванов", "", stored, "", "R1");
        Editor ed;
        ed.user = [&](TUserEditForm &f) {
            QCOMPARE(text(f, "MaskEditShtrKod"), shown);
            QCOMPARE(!child<QLabel>(f, "ImageShtrKod")->pixmap().isNull(), picture);
            if (clear) {
                click(f, "BShtrKodCl");
                QCOMPARE(text(f, "MaskEditShtrKod"), kNone);
                QVERIFY(child<QLabel>(f, "ImageShtrKod")->pixmap().isNull());
            }
            click(f, "ButtonSaveAndClose");
        };
        ed.run();
        QVERIFY(core::pv().SotrudnikSokhranen);
        // A code the field cannot show is kept unless the user cleared it.
        QCOMPARE(core::pv().BuferSotrudnika.ShtrKod, clear ? QString() : savedUntouched);
    }
}

void TestUserEdit::settingABarcode()
{
    stafftest::TestDb db;
    db.addUser("Петров", "2000000001227", "", "", "R2");
    openStored("Иванов", "", "2000000000015", "", "R1");
    Editor ed;
    ed.user = [](TUserEditForm &f) {
        click(f, "ButtonSformirovatShtrKod"); // a barcode is shown: nothing happens
        QCOMPARE(text(f, "MaskEditShtrKod"), QStringLiteral("2000000000015"));
        click(f, "BShtrKodCl");
        QGuiApplication::clipboard()->clear();
        click(f, "ButtonSformirovatShtrKod");
        QCOMPARE(text(f, "MaskEditShtrKod"), QStringLiteral("2000000001234"));
        QVERIFY(!child<QLabel>(f, "ImageShtrKod")->pixmap().isNull());
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(210, 75));
        click(f, "ButtonSaveAndClose");
    };
    ed.run();
    QCOMPARE(core::pv().BuferSotrudnika.ShtrKod, QStringLiteral("2000000001234"));
    QCOMPARE(ed.services.messages().texts(), QStringList{});
}

void TestUserEdit::cardFromRegistrationIsTrimmedTypedIsNot()
{
    stafftest::TestDb db;
    openStored("Иванов", "старая", "", "", "R1");
    Editor ed;
    QString handedOver;
    ed.regCard = [&](TRegCardForm &r) {
        handedOver = text(r, "NumCard");
        type(r, "NumCard", " \t00AB12CD \r\n");
        click(r, "ButtonRegOK");
    };
    QString afterCancel;
    ed.user = [&](TUserEditForm &f) {
        click(f, "RegButton");
        QCOMPARE(text(f, "EditCardNum"), QStringLiteral("00AB12CD"));
        ed.regCard = [](TRegCardForm &r) { type(r, "NumCard", "99999999"); }; // closed otherwise
        click(f, "RegButton");
        afterCancel = text(f, "EditCardNum");
        type(f, "EditCardNum", " 0011 ");
        click(f, "ButtonSaveAndClose");
    };
    ed.run();
    QCOMPARE(handedOver, QStringLiteral("старая"));
    QCOMPARE(afterCancel, QStringLiteral("00AB12CD"));
    QCOMPARE(core::pv().BuferSotrudnika.CardNum, QStringLiteral(" 0011 "));
}

void TestUserEdit::registrationPollsTheLastCard()
{
    testsupport::ServicesFixture services;
    core::pv().PoslednyayaKarta = QStringLiteral("ДО ОТКРЫТИЯ");
    QString first, polled;
    qint64 took = -1;
    services.onModal = [&](QDialog &d) {
        d.show();
        auto &r = static_cast<TRegCardForm &>(d);
        QTest::qWait(TRegCardForm::kPeriodOprosa + 200);
        first = r.nomerKarty(); // the card read before opening is not shown
        type(r, "NumCard", "набрано");
        core::pv().PoslednyayaKarta = QStringLiteral("12345678");
        QElapsedTimer t;
        t.start();
        while (r.nomerKarty() != QLatin1String("12345678") && t.elapsed() < 2000)
            QTest::qWait(20);
        polled = r.nomerKarty();
        took = t.elapsed();
        r.accept();
        return d.result();
    };
    TRegCardForm form;
    form.setNomerKarty(QStringLiteral("из редактора"));
    QCOMPARE(core::execModal(form), int(QDialog::Accepted));
    QCOMPARE(form.windowTitle(), QStringLiteral("Регистрация карты"));
    QCOMPARE(first, QStringLiteral("из редактора"));
    QCOMPARE(polled, QStringLiteral("12345678"));
    QVERIFY2(took <= TRegCardForm::kPeriodOprosa + 300, qPrintable(QString::number(took)));
}

void TestUserEdit::pickers()
{
    stafftest::TestDb db;
    db.insert("Podr", {{"NM", "Цех 2"}});
    openStored("Иванов", "", "", "", "R1");
    core::pv().BuferSotrudnika.Dolj = QStringLiteral("Слесарь");
    Editor ed;
    QStringList seen;
    ed.directory = [&](staff::TDopForm &d) {
        seen << d.windowTitle() + '|' + core::pv().TablitsaSpravochnika + '|'
                    + core::pv().RezhimSpravochnika;
        child<QPushButton>(d, "Sozdanie")->click(); // "Выбрать" on the current row
    };
    ed.user = [&](TUserEditForm &f) {
        click(f, "BpodrEdit");
        QCOMPARE(text(f, "EditPodr"), QStringLiteral("Цех 2"));
        click(f, "BDoljEdit"); // empty directory: nothing picked
        QCOMPARE(text(f, "EditDolj"), QStringLiteral("Слесарь"));
    };
    ed.run();
    QCOMPARE(seen, (QStringList{"Выбрать|Podr|vibor", "Выбрать|Dolj|vibor"}));
    QCOMPARE(ed.services.messages().texts(), QStringList{"Наименование не заполнено!"});
    QCOMPARE(core::pv().RezhimSpravochnika, QString());
}

void TestUserEdit::templatePicker()
{
    stafftest::TestDb db;
    QTemporaryDir dir;
    const QString maket = dir.filePath(QStringLiteral("MaketKS.docx"));
    QFile(maket).open(QIODevice::WriteOnly);
    openStored("Иванов", "", "", "", "R1");
    Editor ed;
    QString filter;
    auto onEditor = ed.services.onModal;
    ed.services.onModal = [&](QDialog &d) {
        auto *files = qobject_cast<QFileDialog *>(&d);
        if (!files)
            return onEditor(d);
        filter = files->nameFilters().join(';');
        files->selectFile(maket);
        static_cast<QDialog *>(files)->accept();
        return d.result();
    };
    ed.user = [](TUserEditForm &f) {
        click(f, "ButtonPutKMaketuKartSotrEdit");
        click(f, "ButtonSaveAndClose");
    };
    ed.run();
    QCOMPARE(filter, QStringLiteral("Файлы Word (*.doc *.docx)"));
    QCOMPARE(core::pv().Nastroyki.PutKMaketuKartSotr, maket);
}


// "Сформировать карточку" takes the fields as they stand, unsaved, and the
// barcode the field shows; "Инфо" opens the keyword help.
void TestUserEdit::cardFromTheFieldsAsTheyStand()
{
    stafftest::TestDb db;
    QTemporaryDir dir;
    const QString maket = dir.filePath(QStringLiteral("maket.docx"));
    staff::ZapisatMaketPoUmolchaniyu(maket);
    openStored("Иванов", "", "2000000000015", "", "R1");
    QStringList opened;
    core::setDesktopOpener([&](const QString &p) { opened << p; return true; });
    Editor ed;
    QStringList modals;
    auto onEditor = ed.services.onModal;
    ed.services.onModal = [&](QDialog &d) {
        modals << d.metaObject()->className();
        if (qobject_cast<staff::TFormUserMaketInfo *>(&d))
            return int(QDialog::Accepted);
        return onEditor(d);
    };
    ed.user = [&](TUserEditForm &f) {
        type(f, "EditFIO", "Иванов Пётр");
        type(f, "EditOrg", " ООО Лютик ");
        type(f, "EditPutKMaketuKartSotr", maket);
        click(f, "ButtonUserInfo");
        click(f, "ButtonSformirovatKartSotr");
    };
    ed.run();
    core::setDesktopOpener({});
    QVERIFY(modals.contains("staff::TFormUserMaketInfo"));
    const QString card = QDir(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation))
                             .filePath("Иванов Пётр.docx");
    QCOMPARE(opened, QStringList{card});
    QCOMPARE(ed.services.messages().texts(), QStringList{});
    QFile f(card);
    QVERIFY(f.exists());
    QCOMPARE(QGuiApplication::clipboard()->image().isNull(), false); // the barcode
    QCOMPARE(db.column("Users", "NM"), QStringList{}); // nothing saved by it
}

QTEST_MAIN(TestUserEdit)
#include "test_useredit.moc"
