// The employee card: the template's choice and the target's name, the
// filling of real .docx packages read back (document, relationships,
// media), and the filled card opened by LibreOffice.
#include "core/AppPaths.h"
#include "core/DesktopFiles.h"
#include "core/ProcessValues.h"
#include "staff/DocxShablon.h"
#include "staff/KartochkaSotr.h"
#include "staff/barcod.h"

#include "TestSupport.h"

#include <pugixml.hpp>
#include <zip.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace staff;

namespace {

const char *const kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// A package with the given paragraphs (raw w:p XML) as its body.
void writeDocx(const QString &path, const QString &body)
{
    const std::string types =
        "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
    const std::string rels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"word/document.xml\"/></Relationships>";
    const std::string doc = QStringLiteral("<?xml version=\"1.0\"?><w:document xmlns:w=\"%1\"><w:body>%2</w:body></w:document>")
                                .arg(QLatin1String(kW), body)
                                .toStdString();
    int err = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    for (const auto &[name, data] : {std::pair{"[Content_Types].xml", &types}, std::pair{"_rels/.rels", &rels},
                                     std::pair{"word/document.xml", &doc}})
        zip_file_add(z, name, zip_source_buffer(z, data->data(), data->size(), 0), ZIP_FL_OVERWRITE);
    QCOMPARE(zip_close(z), 0);
}

QByteArray part(const QString &path, const char *name)
{
    int err = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (!z)
        return {};
    QByteArray out;
    if (zip_file_t *f = zip_fopen(z, name, 0)) {
        char buf[65536];
        zip_int64_t n;
        while ((n = zip_fread(f, buf, sizeof buf)) > 0)
            out.append(buf, int(n));
        zip_fclose(f);
    }
    zip_discard(z);
    return out;
}

// The document's paragraphs as plain text; a picture as "[PIC rId]".
QStringList paragraphs(const QString &path)
{
    pugi::xml_document doc;
    const QByteArray xml = part(path, "word/document.xml");
    if (!doc.load_buffer(xml.constData(), size_t(xml.size()), pugi::parse_default | pugi::parse_ws_pcdata))
        return {QStringLiteral("<not XML>")};
    QStringList out;
    for (const auto &x : doc.select_nodes("//w:p")) {
        QString text;
        struct Walker : pugi::xml_tree_walker
        {
            QString *text;
            bool for_each(pugi::xml_node &n) override
            {
                const std::string_view name = n.name();
                if (name == "w:t")
                    *text += QString::fromUtf8(n.child_value());
                else if (name == "w:br")
                    *text += '|';
                else if (name == "a:blip")
                    *text += QStringLiteral("[PIC %1]").arg(QString::fromUtf8(n.attribute("r:embed").value()));
                return true;
            }
        } walker;
        walker.text = &text;
        x.node().traverse(walker);
        out << text;
    }
    return out;
}

QString run(const QString &text) { return "<w:r><w:t xml:space=\"preserve\">" + text.toHtmlEscaped() + "</w:t></w:r>"; }
QString p(const QString &runs) { return "<w:p>" + runs + "</w:p>"; }

QImage picture(int w, int h, Qt::GlobalColor c)
{
    QImage i(w, h, QImage::Format_RGB32);
    i.fill(c);
    return i;
}

} // namespace

class TestKartochka : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        core::resetProcessValues();
        QDir(core::programFolder()).removeRecursively();
        QDir().mkpath(core::programFolder());
        core::setDesktopOpener([this](const QString &path) {
            m_opened << path;
            return true;
        });
        m_opened.clear();
    }
    void templateChoice_data();
    void templateChoice();
    void fillsKeywords();
    void picturesAndClipboard();
    void nameKeptValuesTrimmedTwice();
    void docTemplateAndDefaultOpen();
    void infoText();

private:
    QString desktop() const { return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation); }
    QStringList m_opened;
    QTemporaryDir m_dir;
};

void TestKartochka::templateChoice_data()
{
    QTest::addColumn<QStringList>("inFolder");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("docx in the folder") << QStringList{"MaketKS.docx"} << "" << "MaketKS.docx";
    QTest::newRow("both: the .doc") << QStringList{"MaketKS.docx", "MaketKS.doc"} << "" << "MaketKS.doc";
    QTest::newRow("none") << QStringList{} << "" << "";
    QTest::newRow("named, present") << QStringList{"MaketKS.docx"} << "own.docx" << "own.docx";
    QTest::newRow("named, missing: the folder is not searched")
        << QStringList{"MaketKS.docx"} << "missing.docx" << "";
}

void TestKartochka::templateChoice()
{
    QFETCH(QStringList, inFolder);
    QFETCH(QString, field);
    QFETCH(QString, chosen);
    for (const QString &f : inFolder)
        writeDocx(core::programFile(f), p(run("x")));
    const QString own = m_dir.filePath("own.docx");
    writeDocx(own, p(run("x")));
    const QString named = field.isEmpty() ? QString() : m_dir.filePath(field);
    const QString result = VibratShablonKartochki(named);
    QCOMPARE(QFileInfo(result).fileName(), chosen);

    testsupport::ServicesFixture services;
    if (chosen.isEmpty()) {
        QCOMPARE(SformirovatKartochku(named, {}), QString());
        QCOMPARE(services.messages().texts(), QStringList{"Файл макета карточки не обнаружен."});
    }
}

void TestKartochka::fillsKeywords()
{
    const QString path = m_dir.filePath("fill.docx");
    writeDocx(path, p(run("Ф.И.О.: <SotrFIO>, ещё раз <SotrFIO>")) +
                        // Word split the keyword over three runs with their own formatting.
                        p("<w:r><w:rPr><w:b/></w:rPr><w:t>&lt;Sotr</w:t></w:r><w:r><w:t>O</w:t></w:r>"
                          "<w:r><w:rPr><w:i/></w:rPr><w:t>rg&gt; и далее</w:t></w:r>") +
                        // Broken over a line: not a keyword.
                        p("<w:r><w:t>&lt;SotrPo</w:t><w:br/><w:t>dr&gt;</w:t></w:r>") +
                        p(run("<SotrDolj") + run(">")) + p(run("<SotrTabNum><SotrCardNum>")) +
                        p(run("<SotrPhoto> и <SotrShtrKod>")));
    ZapolnitDocx(path,
                 {{"<SotrFIO>", "Иванов <SotrFIO> & Co"}, {"<SotrOrg>", "ООО «Ромашка»"}, {"<SotrPodr>", "Кухня"},
                  {"<SotrDolj>", "Повар"}, {"<SotrTabNum>", "007"}, {"<SotrCardNum>", ""},
                  {"<SotrPhoto>", ""}, {"<SotrShtrKod>", ""}},
                 {});
    QCOMPARE(paragraphs(path), (QStringList{"Ф.И.О.: Иванов <SotrFIO> & Co, ещё раз Иванов <SotrFIO> & Co",
                                            "ООО «Ромашка» и далее", "<SotrPo|dr>", "Повар", "007", " и "}));
    // The split keyword's value keeps the formatting of its first run.
    QVERIFY(QString::fromUtf8(part(path, "word/document.xml"))
                .contains(QRegularExpression("<w:b ?/></w:rPr><w:t[^>]*>ООО «Ромашка»</w:t>")));
}

void TestKartochka::picturesAndClipboard()
{
    writeDocx(core::programFile("MaketKS.docx"),
              p(run("Фото: <SotrPhoto>!")) + p(run("<SotrPhoto>")) + p(run("Код <SotrShtrKod>")));
    testsupport::ServicesFixture services;
    DannieKartochki d;
    d.fio = "Орлов";
    d.foto = picture(300, 300, Qt::red);
    d.shtrKod = barcod::RisovanieEAN13("2000000000015", Qt::black, 10, true);
    QVERIFY(!d.shtrKod.isNull());
    const QString card = SformirovatKartochku(QString(), d);
    QCOMPARE(card, QDir(desktop()).filePath("Орлов.docx"));
    QCOMPARE(m_opened, QStringList{card});
    QVERIFY(services.messages().texts().isEmpty());
    // The first photo keyword is the picture, the second stays as text.
    QCOMPARE(paragraphs(card), (QStringList{"Фото: [PIC rIdTrapezon1]!", "<SotrPhoto>", "Код [PIC rIdTrapezon2]"}));
    const QByteArray rels = part(card, "word/_rels/document.xml.rels");
    QVERIFY(rels.contains("Id=\"rIdTrapezon1\"") && rels.contains("Target=\"media/trapezon1.png\""));
    QVERIFY(part(card, "[Content_Types].xml").contains("Extension=\"png\""));
    QImage photo;
    QVERIFY(photo.loadFromData(part(card, "word/media/trapezon1.png"), "PNG"));
    QCOMPARE(photo.pixel(5, 5), QColor(Qt::red).rgb());
    QImage code;
    QVERIFY(code.loadFromData(part(card, "word/media/trapezon2.png"), "PNG"));
    QCOMPARE(code.size(), d.shtrKod.size());
    // The photo fitted into 3 x 4 cm: a square becomes 3 x 3 cm.
    QVERIFY(part(card, "word/document.xml").contains("<wp:extent cx=\"1080000\" cy=\"1080000\""));
    QCOMPARE(QGuiApplication::clipboard()->image().size(), d.shtrKod.size());

    // Without a photo and a barcode both keywords go; the photo is not pasted.
    DannieKartochki none;
    none.fio = "Белов";
    const QString plain = SformirovatKartochku(QString(), none);
    QCOMPARE(paragraphs(plain), (QStringList{"Фото: !", "", "Код "}));
    QVERIFY(part(plain, "word/_rels/document.xml.rels").isEmpty());
}

void TestKartochka::nameKeptValuesTrimmedTwice()
{
    writeDocx(core::programFile("MaketKS.docx"), p(run("[<SotrFIO>][<SotrOrg>]")));
    testsupport::ServicesFixture services;
    DannieKartochki d;
    d.fio = "  Иванов  ";
    d.org = "\tООО ";
    const QString first = SformirovatKartochku(QString(), d);
    QCOMPARE(QFileInfo(first).fileName(), "  Иванов  .docx");
    QCOMPARE(paragraphs(first), QStringList{"[Иванов][ООО]"});
    d.org = "Другая";
    QCOMPARE(SformirovatKartochku(QString(), d), first); // replaced, not a second file
    QCOMPARE(paragraphs(first), QStringList{"[Иванов][Другая]"});
    // One card of that name, and no temporary file left beside it.
    QCOMPARE(QDir(desktop()).entryList({"*Иванов*"}, QDir::Files | QDir::Hidden), QStringList{"  Иванов  .docx"});
    QCOMPARE(QDir(desktop()).entryList({".*"}, QDir::Files | QDir::Hidden), QStringList{});

    DannieKartochki empty;
    QCOMPARE(QFileInfo(SformirovatKartochku(QString(), empty)).fileName(), "Карточка ФЛ.docx");
    empty.fio = "../../выход";
    QCOMPARE(QFileInfo(SformirovatKartochku(QString(), empty)).absolutePath(), QDir(desktop()).absolutePath());
}

// The default template, and a .doc template LibreOffice made of it, give a
// card LibreOffice opens with every value in it.
void TestKartochka::docTemplateAndDefaultOpen()
{
    if (QStandardPaths::findExecutable("soffice").isEmpty())
        QSKIP("LibreOffice is not installed");
    UstanovitMaketPoUmolchaniyu();
    QVERIFY(QFileInfo::exists(core::programFile("MaketKS.docx")));
    const QString profile = "-env:UserInstallation=file://" + m_dir.filePath("profile");
    const auto soffice = [&](const QStringList &args) {
        QProcess pr;
        pr.start("soffice", QStringList{profile, "--headless", "--norestore"} + args);
        return pr.waitForFinished(180000) && pr.exitCode() == 0;
    };
    QVERIFY(soffice({"--convert-to", "doc", "--outdir", core::programFolder(), core::programFile("MaketKS.docx")}));
    QVERIFY(QFileInfo::exists(core::programFile("MaketKS.doc")));

    testsupport::ServicesFixture services;
    DannieKartochki d{"Орлова Анна", "ООО Лютик", "Зал", "Кассир", "042", "1234567890",
                      picture(90, 120, Qt::blue), barcod::RisovanieEAN13("2000000000015", Qt::black, 10, true)};
    const QString card = SformirovatKartochku(QString(), d); // the .doc wins, converted
    QCOMPARE(QFileInfo(card).fileName(), "Орлова Анна.docx");
    QVERIFY2(services.messages().texts().isEmpty(), qPrintable(services.messages().texts().join('\n')));

    const QString out = m_dir.filePath("txt");
    QVERIFY(soffice({"--convert-to", "txt:Text (encoded):UTF8", "--outdir", out, card}));
    QFile txt(QDir(out).filePath("Орлова Анна.txt"));
    QVERIFY(txt.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(txt.readAll());
    for (const char *v : {"Карточка сотрудника", "Орлова Анна", "ООО Лютик", "Зал", "Кассир", "042", "1234567890"})
        QVERIFY2(text.contains(QString::fromUtf8(v)), v);
    QVERIFY(!text.contains("<Sotr"));
    const QStringList media = {QString::fromLatin1(part(card, "word/_rels/document.xml.rels"))};
    QCOMPARE(media.first().count("relationships/image"), 2);
}

void TestKartochka::infoText()
{
    TFormUserMaketInfo info;
    QCOMPARE(info.windowTitle(), "Информация");
    const QStringList lines = TFormUserMaketInfo::tekst().split('\n');
    QCOMPARE(lines.size(), 20);
    QCOMPARE(lines.first(), "MaketKS.docx - файл макета карточки сотрудника. ");
    QCOMPARE(lines.last(), "(без переносов), иначе найдены и заменены не будут.");
}

QTEST_MAIN(TestKartochka)
#include "test_kartochka.moc"
