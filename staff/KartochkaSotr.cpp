#include "staff/KartochkaSotr.h"

#include "core/AppPaths.h"
#include "core/DesktopFiles.h"
#include "core/Error.h"
#include "core/MessageService.h"
#include "core/TextUtil.h"
#include "staff/DocxShablon.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <zip.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace staff {

namespace {

const QString kNetShablona = QStringLiteral("Файл макета карточки не обнаружен.");

// A .doc template becomes a .docx through LibreOffice, on a profile of its
// own so that an office program the user has open is not disturbed.
QString preobrazovatDoc(const QString &doc, const QTemporaryDir &work)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        throw core::Error(QStringLiteral("EDocxError"),
                          QStringLiteral("Макет «%1» в формате .doc: для него нужен LibreOffice. Установите "
                                         "LibreOffice Writer (пакет libreoffice-writer-nogui) или сохраните "
                                         "макет в формате .docx.")
                              .arg(QDir::toNativeSeparators(doc)));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + work.filePath(QStringLiteral("profile")),
                      QStringLiteral("--headless"), QStringLiteral("--norestore"),
                      QStringLiteral("--convert-to"), QStringLiteral("docx:MS Word 2007 XML"),
                      QStringLiteral("--outdir"), work.path(), doc});
    const QString out = work.filePath(QFileInfo(doc).completeBaseName() + QStringLiteral(".docx"));
    if (!p.waitForFinished(120000) || p.exitCode() != 0 || !QFileInfo::exists(out)) {
        p.kill();
        throw core::Error(QStringLiteral("EDocxError"),
                          QStringLiteral("LibreOffice не смог преобразовать макет «%1» в .docx.")
                              .arg(QDir::toNativeSeparators(doc)));
    }
    return out;
}

QString desktopFolder()
{
    QString d = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (d.isEmpty())
        d = QDir::homePath();
    QDir().mkpath(d);
    return d;
}

// ------------------------------------------------------- default template

QString xmlEscaped(const QString &s) { return s.toHtmlEscaped(); }

QString para(const QString &text, bool bold = false, int halfPoints = 24, const char *align = nullptr)
{
    QString ppr;
    if (align)
        ppr = QStringLiteral("<w:pPr><w:jc w:val=\"%1\"/></w:pPr>").arg(QLatin1String(align));
    const QString rpr = QStringLiteral("<w:rPr>%1<w:sz w:val=\"%2\"/></w:rPr>")
                            .arg(bold ? QStringLiteral("<w:b/>") : QString())
                            .arg(halfPoints);
    return QStringLiteral("<w:p>%1<w:r>%2<w:t xml:space=\"preserve\">%3</w:t></w:r></w:p>")
        .arg(ppr, rpr, xmlEscaped(text));
}

// A label in bold and its keyword in one paragraph.
QString field(const QString &label, const QString &key)
{
    return QStringLiteral("<w:p><w:pPr><w:spacing w:after=\"120\"/></w:pPr>"
                          "<w:r><w:rPr><w:b/><w:sz w:val=\"24\"/></w:rPr><w:t xml:space=\"preserve\">%1 </w:t></w:r>"
                          "<w:r><w:rPr><w:sz w:val=\"24\"/></w:rPr><w:t>%2</w:t></w:r></w:p>")
        .arg(xmlEscaped(label), xmlEscaped(key));
}

QByteArray defaultDocument()
{
    const QString photoCell = QStringLiteral("<w:tc><w:tcPr><w:tcW w:w=\"2200\" w:type=\"dxa\"/></w:tcPr>%1</w:tc>")
                                  .arg(para(kSotrPhoto, false, 20, "center"));
    const QString fields = field(QStringLiteral("Ф.И.О.:"), kSotrFIO) + field(QStringLiteral("Организация:"), kSotrOrg)
                           + field(QStringLiteral("Подразделение:"), kSotrPodr)
                           + field(QStringLiteral("Должность:"), kSotrDolj)
                           + field(QStringLiteral("Табельный №:"), kSotrTabNum)
                           + field(QStringLiteral("№ карты:"), kSotrCardNum);
    const QString fieldCell = QStringLiteral("<w:tc><w:tcPr><w:tcW w:w=\"6800\" w:type=\"dxa\"/></w:tcPr>%1</w:tc>").arg(fields);
    const QString border = QStringLiteral("w:val=\"single\" w:sz=\"8\" w:space=\"0\" w:color=\"808080\"");
    const QString table =
        QStringLiteral("<w:tbl><w:tblPr><w:tblW w:w=\"9000\" w:type=\"dxa\"/><w:jc w:val=\"center\"/>"
                       "<w:tblBorders><w:top %1/><w:left %1/><w:bottom %1/><w:right %1/></w:tblBorders>"
                       "<w:tblCellMar><w:top w:w=\"120\" w:type=\"dxa\"/><w:left w:w=\"160\" w:type=\"dxa\"/>"
                       "<w:bottom w:w=\"120\" w:type=\"dxa\"/><w:right w:w=\"160\" w:type=\"dxa\"/></w:tblCellMar>"
                       "</w:tblPr><w:tblGrid><w:gridCol w:w=\"2200\"/><w:gridCol w:w=\"6800\"/></w:tblGrid>"
                       "<w:tr>%2%3</w:tr></w:tbl>")
            .arg(border, photoCell, fieldCell);
    const QString body = para(QStringLiteral("Карточка сотрудника"), true, 36, "center") + para(QString()) + table
                         + para(QString()) + para(kSotrShtrKod, false, 24, "center");
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
               "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
               "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
               "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\">"
               "<w:body>%1<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
               "<w:pgMar w:top=\"1134\" w:right=\"850\" w:bottom=\"1134\" w:left=\"1418\" w:header=\"708\" "
               "w:footer=\"708\" w:gutter=\"0\"/></w:sectPr></w:body></w:document>")
        .arg(body)
        .toUtf8();
}

} // namespace

QString VibratShablonKartochki(const QString &pole)
{
    if (!pole.isEmpty())
        return QFileInfo(pole).isFile() ? pole : QString();
    const QString doc = core::programFile(QStringLiteral("MaketKS.doc"));
    if (QFileInfo(doc).isFile())
        return doc;
    const QString docx = core::programFile(QStringLiteral("MaketKS.docx"));
    return QFileInfo(docx).isFile() ? docx : QString();
}

QString PutKartochki(const QString &fio, const QString &extension)
{
    QString name = fio.isEmpty() ? QStringLiteral("Карточка ФЛ") : fio;
    // The name is the file's name, never a path: a "/" in it would lead out
    // of the desktop folder.
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.remove(QChar(0));
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("Карточка ФЛ");
    return QDir(desktopFolder()).filePath(name + extension);
}

QString SformirovatKartochku(const QString &shablonPole, const DannieKartochki &d)
{
    const QString shablon = VibratShablonKartochki(shablonPole);
    if (shablon.isEmpty()) {
        core::showMessage(kNetShablona);
        return QString();
    }
    const QFileInfo si(shablon);
    const bool doc = si.suffix().compare(QLatin1String("doc"), Qt::CaseInsensitive) == 0;
    const QString extension = doc ? QStringLiteral(".docx")
                                  : (si.suffix().isEmpty() ? QString() : QLatin1Char('.') + si.suffix());
    const QString target = PutKartochki(d.fio, extension);

    QTemporaryDir work;
    QString source = shablon;
    try {
        if (doc)
            source = preobrazovatDoc(shablon, work);
    } catch (const core::Error &e) {
        core::showError(e, false);
        return QString();
    }

    // The copy is filled beside the target and takes its name only when
    // complete: a failure leaves no half-filled card and an earlier card as
    // it was.
    const QFileInfo ti(target);
    QTemporaryFile copy(ti.absolutePath() + QStringLiteral("/.") + ti.fileName() + QStringLiteral(".XXXXXX"));
    QFile from(source);
    if (!copy.open() || !from.open(QIODevice::ReadOnly) || copy.write(from.readAll()) < 0 || !copy.flush()) {
        const QString why = copy.error() != QFileDevice::NoError ? copy.errorString() : from.errorString();
        core::showMessage(QStringLiteral("EInOutError Не могу скопировать: ") + why, core::Icon::Error);
        return QString();
    }
    copy.close();

    try {
        const QList<QPair<QString, QString>> texts = {
            {kSotrFIO, core::trimCodes(d.fio)},         {kSotrOrg, core::trimCodes(d.org)},
            {kSotrPodr, core::trimCodes(d.podr)},       {kSotrDolj, core::trimCodes(d.dolj)},
            {kSotrTabNum, core::trimCodes(d.tabNum)},   {kSotrCardNum, core::trimCodes(d.cardNum)}};
        QList<QPair<QString, QString>> removed;
        QList<KartinkaShablona> pictures;
        if (!d.foto.isNull())
            pictures.append({kSotrPhoto, d.foto, razmerKartinki(d.foto.size(), QSizeF(3, 4))});
        else
            removed.append({kSotrPhoto, QString()});
        if (!d.shtrKod.isNull())
            pictures.append({kSotrShtrKod, d.shtrKod, razmerKartinki(d.shtrKod.size())});
        else
            removed.append({kSotrShtrKod, QString()});
        ZapolnitDocx(copy.fileName(), texts + removed, pictures);

        std::error_code ec;
        std::filesystem::rename(QFile::encodeName(copy.fileName()).constData(),
                                QFile::encodeName(target).constData(), ec);
        if (ec)
            throw core::Error(QStringLiteral("EInOutError"),
                              QStringLiteral("Карточка «%1» не записана: %2")
                                  .arg(QDir::toNativeSeparators(target), QString::fromLocal8Bit(ec.message().c_str())));
        copy.setAutoRemove(false);
    } catch (const core::Error &e) {
        core::showError(e, false);
        return QString();
    }

    // As pasting them would: the last picture put in stays on the clipboard.
    if (QClipboard *clip = QGuiApplication::clipboard()) {
        if (!d.shtrKod.isNull())
            clip->setImage(d.shtrKod.copy());
        else if (!d.foto.isNull())
            clip->setImage(d.foto.copy());
    }
    if (!core::openWithDesktop(target))
        core::showMessage(QStringLiteral("Карточка записана в файл «%1», но открыть её нечем: "
                                         "не найдена программа для документов Word.")
                              .arg(QDir::toNativeSeparators(target)),
                          core::Icon::Information);
    return target;
}

void ZapisatMaketPoUmolchaniyu(const QString &path)
{
    const std::string types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "</Types>";
    const std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"word/document.xml\"/></Relationships>";
    const std::string docRels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"/>";
    const QByteArray document = defaultDocument();

    const QString temp = path + QStringLiteral(".part");
    int err = 0;
    zip_t *z = zip_open(QFile::encodeName(temp).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z)
        throw core::Error(QStringLiteral("EDocxError"),
                          QStringLiteral("Макет «%1» не записан.").arg(QDir::toNativeSeparators(path)));
    const auto add = [&](const char *name, const char *data, size_t size) {
        zip_source_t *s = zip_source_buffer(z, data, size, 0);
        return s && zip_file_add(z, name, s, ZIP_FL_OVERWRITE) >= 0;
    };
    const bool ok = add("[Content_Types].xml", types.data(), types.size()) && add("_rels/.rels", rels.data(), rels.size())
                    && add("word/_rels/document.xml.rels", docRels.data(), docRels.size())
                    && add("word/document.xml", document.constData(), size_t(document.size()));
    if (!ok || zip_close(z) != 0) {
        if (!ok)
            zip_discard(z);
        QFile::remove(temp);
        throw core::Error(QStringLiteral("EDocxError"),
                          QStringLiteral("Макет «%1» не записан.").arg(QDir::toNativeSeparators(path)));
    }
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData(), ec);
    if (ec) {
        QFile::remove(temp);
        throw core::Error(QStringLiteral("EDocxError"),
                          QStringLiteral("Макет «%1» не записан.").arg(QDir::toNativeSeparators(path)));
    }
}

void UstanovitMaketPoUmolchaniyu()
{
    const QString docx = core::programFile(QStringLiteral("MaketKS.docx"));
    if (QFileInfo::exists(docx) || QFileInfo::exists(core::programFile(QStringLiteral("MaketKS.doc"))))
        return;
    try {
        ZapisatMaketPoUmolchaniyu(docx);
    } catch (const core::Error &) {
        // A read-only program folder: the card then asks for a template path.
    }
}

QString TFormUserMaketInfo::tekst()
{
    return QStringLiteral("MaketKS.docx - файл макета карточки сотрудника. \n"
                          "Находится в папке с программой.\n"
                          "\n"
                          "Если путь к файлу макета не указан, программа обращается к\n"
                          "этому файлу в своей папке.\n"
                          "\n"
                          "Можно самостоятельно изменить файл макета, для этого необходимо\n"
                          "использовать ключевые слова:\n"
                          "\n"
                          "<SotrFIO> - Фамилия Имя Отчество\n"
                          "<SotrOrg> - Организация\n"
                          "<SotrPodr> - Структурное подразделение\n"
                          "<SotrDolj> - Должность\n"
                          "<SotrTabNum> - Табельный номер\n"
                          "<SotrCardNum> - Номер карты (Для считывателя)\n"
                          "<SotrShtrKod> - Штрихкод (Для сканера штрихкодов)\n"
                          "<SotrPhoto> - Фотография\n"
                          "\n"
                          "Ключевые слова должны быть размещены в строке целиком\n"
                          "(без переносов), иначе найдены и заменены не будут.");
}

TFormUserMaketInfo::TFormUserMaketInfo(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormUserMaketInfo"));
    setWindowTitle(QStringLiteral("Информация"));
    auto *layout = new QVBoxLayout(this);
    auto *text = new QPlainTextEdit(tekst(), this);
    text->setObjectName(QStringLiteral("Memo1"));
    text->setReadOnly(true);
    text->setFrameShape(QFrame::NoFrame);
    text->setMinimumSize(460, 360);
    layout->addWidget(text);
    auto *row = new QHBoxLayout;
    row->addStretch();
    auto *close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("ButtonZakrit"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(close);
    layout->addLayout(row);
    setFixedSize(sizeHint());
}

} // namespace staff
