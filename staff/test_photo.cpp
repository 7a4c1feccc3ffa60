#include "staff/UnitNastroykiPhoto.h"
#include "staff/UnitPhoto.h"
#include "staff/UserEdit.h"
#include "test_fixture.h"

#include "TestSupport.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using staff::TNastroykiPhotoForm;
using staff::TPhotoForm;
using stafftest::child;
using stafftest::click;

namespace {

// A picture file of a given width, so that a test can tell which was loaded.
void picture(const QString &path, int width, const char *format = nullptr)
{
    QImage image(width, 40, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QVERIFY(image.save(path, format));
}

QString readOption(const QString &key)
{
    return core::openMainIni()->readString(QStringLiteral("Options"), key, QStringLiteral("<none>"));
}

} // namespace

class TestPhoto : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
    }

    void fileRule_data();
    void fileRule();

    void windowKeepsLastPhoto();
    void closeBoxKeepsPlaceAndDisplay();

    void settingsRefuseCloseWithoutFolder();
    void settingsStoreAndShow();
    void resetWithDisplayOff();

    void editorShowsPhotoWithDisplayOff();
};

// The names the photo folder holds, the name looked up, the file found.
void TestPhoto::fileRule_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found");

    QTest::newRow("exact") << QStringList{"Иванов Иван Иванович.jpg"} << "Иванов Иван Иванович"
                           << "Иванов Иван Иванович.jpg";
    QTest::newRow("letter case aside") << QStringList{"иванов иван.PNG"} << "Иванов Иван"
                                       << "иванов иван.PNG";
    QTest::newRow("first of two") << QStringList{"Петров.png", "Петров.jpg"} << "Петров" << "Петров.jpg";
    QTest::newRow("not a picture passed over") << QStringList{"Петров.doc", "Петров.png"} << "Петров"
                                               << "Петров.png";
    QTest::newRow("longer name is another") << QStringList{"Петров Пётр.jpg", "Петрова.jpg"} << "Петров"
                                            << "";
    QTest::newRow("star matches itself") << QStringList{"СидоровА.jpg", "Сидоров*.jpg"} << "Сидоров*"
                                         << "Сидоров*.jpg";
    QTest::newRow("question mark no wildcard") << QStringList{"СидоровА.jpg"} << "Сидоров?" << "";
    QTest::newRow("bracket no class") << QStringList{"А.jpg"} << "[АБ]" << "";
    QTest::newRow("no extension") << QStringList{"Петров"} << "Петров" << "";
    QTest::newRow("outside the folder") << QStringList{"x.jpg"} << "../x" << "";
}

void TestPhoto::fileRule()
{
    QFETCH(QStringList, files);
    QFETCH(QString, name);
    QFETCH(QString, found);
    QTemporaryDir dir;
    for (const QString &f : files) {
        QFile file(dir.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString result = staff::naytiFotoFayl(dir.path(), name);
    QCOMPARE(result.isEmpty() ? QString() : QFileInfo(result).fileName(), found);
}

// The trailing blank is not part of the caption; a registration without a
// photo, or with a file that is no picture, keeps the previous one.
void TestPhoto::windowKeepsLastPhoto()
{
    QTemporaryDir dir;
    picture(dir.filePath("Иванов Иван Иванович.jpg"), 30);
    QFile broken(dir.filePath("Петров Пётр.png"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a png");
    broken.close();
    core::pv().Nastroyki.PutPhotoFolder = QStringLiteral("  ") + dir.path() + QStringLiteral(" ");

    TPhotoForm photo;
    photo.OtobrazheniyePhoto(QStringLiteral("Иванов Иван Иванович "));
    QCOMPARE(photo.windowTitle(), QStringLiteral("Иванов Иван Иванович"));
    QCOMPARE(photo.picture().width(), 30);
    QCOMPARE(core::pv().Nastroyki.PutPhotoFolder, dir.path());

    for (const char *other : {"Сидоров Сидор", "Петров Пётр", ""}) {
        photo.OtobrazheniyePhoto(QString::fromUtf8(other));
        QCOMPARE(photo.windowTitle(), QStringLiteral("Иванов Иван Иванович"));
        QCOMPARE(photo.picture().width(), 30);
    }
}

// The close box hides the window and writes its place; showing it again
// (the next registration) brings it back where it was.
void TestPhoto::closeBoxKeepsPlaceAndDisplay()
{
    core::pv().Nastroyki.OtobrazhatPhoto = true;
    {
        TPhotoForm photo;
        QCOMPARE(photo.size(), QSize(274, 341));
        QCOMPARE(photo.pos(), QPoint(20, 50));
        photo.OtrisovkaFormiPhoto();
        photo.move(300, 200);
        photo.resize(200, 260);
        photo.close();
        QVERIFY(!photo.FormaPhotoOtkrita());
        QVERIFY(core::pv().Nastroyki.OtobrazhatPhoto);
        const auto ini = core::openMainIni();
        QCOMPARE(ini->readInt("PhotoForm", "Left", 0), 300);
        QCOMPARE(ini->readInt("PhotoForm", "Visota", 0), 260);
    }
    TPhotoForm again;   // a new start reads the place
    again.OtrisovkaFormiPhoto();
    QVERIFY(again.FormaPhotoOtkrita());
    QCOMPARE(again.pos(), QPoint(300, 200));
    QCOMPARE(again.size(), QSize(200, 260));
}

void TestPhoto::settingsRefuseCloseWithoutFolder()
{
    testsupport::ServicesFixture services;
    TPhotoForm photo;
    TNastroykiPhotoForm f;
    f.show();
    child<QCheckBox>(f, "CheckBoxOtobrazhatPhoto")->setChecked(true);
    child<QLineEdit>(f, "EditPutPhotoFolder")->setText("  ");
    click(f, "ZakritPhoto");
    QVERIFY(f.isVisible());
    f.close();   // the title bar's close box as well
    QVERIFY(f.isVisible());
    QCOMPARE(services.messages().texts(),
             QStringList(2, "Галочка \"Отображать фотографии питающихся\" установлена, а путь к папке "
                            "с фотографиями не указан!"));
    QCOMPARE(readOption("CheckBoxOtobrazhatPhoto"), QStringLiteral("<none>"));
    QVERIFY(!photo.FormaPhotoOtkrita());

    child<QCheckBox>(f, "CheckBoxOtobrazhatPhoto")->setChecked(false);
    click(f, "ZakritPhoto");
    QVERIFY(!f.isVisible());
}

// The folder from the folder dialog; closing stores both settings in memory
// and in the file and shows or hides the photo window.
void TestPhoto::settingsStoreAndShow()
{
    testsupport::ServicesFixture services;
    QTemporaryDir dir;
    services.onModal = [&](QDialog &d) {
        auto *files = qobject_cast<QFileDialog *>(&d);
        if (!files)
            return int(QDialog::Rejected);
        if (!files->testOption(QFileDialog::ShowDirsOnly) || files->fileMode() != QFileDialog::Directory)
            return int(QDialog::Rejected);
        files->setDirectory(dir.path());
        files->selectFile(dir.path());
        static_cast<QDialog *>(files)->accept();
        return d.result();
    };
    TPhotoForm photo;
    {
        TNastroykiPhotoForm f;
        f.show();
        child<QCheckBox>(f, "CheckBoxOtobrazhatPhoto")->setChecked(true);
        click(f, "BPutPhotoFolderEdit");
        QCOMPARE(QDir(child<QLineEdit>(f, "EditPutPhotoFolder")->text()), QDir(dir.path()));
        click(f, "ZakritPhoto");
        QVERIFY(!f.isVisible());
    }
    QVERIFY(core::pv().Nastroyki.OtobrazhatPhoto);
    QCOMPARE(QDir(core::pv().Nastroyki.PutPhotoFolder), QDir(dir.path()));
    QVERIFY(photo.FormaPhotoOtkrita());
    QCOMPARE(readOption("CheckBoxOtobrazhatPhoto"), QStringLiteral("1"));

    // Shown again, it reads the file; "X" and unticking switch display off.
    TNastroykiPhotoForm f;
    f.show();
    QVERIFY(child<QCheckBox>(f, "CheckBoxOtobrazhatPhoto")->isChecked());
    click(f, "BPutPhotoFolderCl");
    child<QCheckBox>(f, "CheckBoxOtobrazhatPhoto")->setChecked(false);
    f.close();
    QVERIFY(!photo.FormaPhotoOtkrita());
    QVERIFY(!core::pv().Nastroyki.OtobrazhatPhoto);
    QCOMPARE(readOption("EditPutPhotoFolder"), QString());
    QVERIFY(services.messages().texts().isEmpty());
}

void TestPhoto::resetWithDisplayOff()
{
    testsupport::ServicesFixture services;
    TPhotoForm photo;
    photo.move(500, 400);
    photo.resize(100, 100);
    photo.setWindowOpacity(0.5);
    TNastroykiPhotoForm f;
    f.show();

    services.messages().script = {core::Answer::Cancel};
    click(f, "ButtonVosstanRazmIPolozhPhotForm");
    QVERIFY(!photo.FormaPhotoOtkrita());

    click(f, "ButtonVosstanRazmIPolozhPhotForm");
    QCOMPARE(services.messages().texts(), QStringList(2, "Восстановить размеры и положение окна фото?"));
    QVERIFY(photo.FormaPhotoOtkrita());
    QCOMPARE(photo.pos(), QPoint(20, 50));
    QCOMPARE(photo.size(), QSize(274, 341));
    QCOMPARE(photo.windowOpacity(), 1.0);
    QCOMPARE(core::openMainIni()->readInt("PhotoForm", "Left", -1), -1);   // nothing written yet
}

// The editor looks photos up even with display off; FotoZagruzheno says
// whether it found one, and the photo settings window opened from it
// brings a new folder into effect at once.
void TestPhoto::editorShowsPhotoWithDisplayOff()
{
    stafftest::TestDb db;
    QTemporaryDir dir;
    picture(dir.filePath("Иванов Иван.png"), 50);
    auto &pv = core::pv();
    pv.Nastroyki.OtobrazhatPhoto = false;
    pv.BuferSotrudnika.FIO = QStringLiteral("Иванов Иван");

    testsupport::ServicesFixture services;
    services.onModal = [&](QDialog &d) {
        d.show();
        child<QLineEdit>(d, "EditPutPhotoFolder")->setText(dir.path());
        click(d, "ZakritPhoto");
        return d.result();
    };
    staff::TUserEditForm editor;
    editor.show();
    QVERIFY(!pv.FotoZagruzheno);   // no folder yet
    QVERIFY(editor.foto().isNull());
    click(editor, "ButtonPhotNastr");
    QVERIFY(pv.FotoZagruzheno);
    QCOMPARE(editor.foto().width(), 50);

    child<QLineEdit>(editor, "EditFIO")->setText(QStringLiteral("Петров Пётр"));
    editor.UstanovitPhoto();
    QVERIFY(!pv.FotoZagruzheno);
}

QTEST_MAIN(TestPhoto)
#include "test_photo.moc"
