#include "staff/DocxShablon.h"

#include "core/Error.h"
#include "core/ZipPart.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QVector>

#include <pugixml.hpp>
#include <zip.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace staff {

namespace {

const QString kErrorClass = QStringLiteral("EDocxError");

[[noreturn]] void fail(const QString &message) { throw core::Error(kErrorClass, message); }

[[noreturn]] void damaged(const QString &path)
{
    fail(QStringLiteral("Документ «%1» повреждён или не является документом Word (.docx).")
             .arg(QDir::toNativeSeparators(path)));
}

QString u8(const char *s) { return QString::fromUtf8(s); }

// ------------------------------------------------------------ the package

struct ZipDiscard
{
    void operator()(zip_t *z) const { zip_discard(z); }
};

std::string readPart(zip_t *z, const QString &name, const QString &path, bool required)
{
    std::string out;
    const core::ZipPart r = core::readZipPart(z, name, out, 256ull * 1024 * 1024);
    if (r == core::ZipPart::Broken || (r == core::ZipPart::Missing && required))
        damaged(path);
    return out;
}

void parse(pugi::xml_document &doc, const std::string &bytes, const QString &path)
{
    // Blank runs (" ") are text of the document and must survive.
    if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata))
        damaged(path);
}

std::string serialize(const pugi::xml_document &doc)
{
    struct Writer : pugi::xml_writer
    {
        std::string out;
        void write(const void *data, size_t size) override { out.append(static_cast<const char *>(data), size); }
    } w;
    doc.save(w, "", pugi::format_raw, pugi::encoding_utf8);
    return w.out;
}

void setAttr(pugi::xml_node n, const char *name, const char *value)
{
    // Never a second attribute of one name: a word processor refuses the file.
    pugi::xml_attribute a = n.attribute(name);
    if (!a)
        a = n.append_attribute(name);
    a.set_value(value);
}

// ------------------------------------------------------ paragraph texts

// A paragraph's visible text and where each piece of it lives: the w:t
// elements in document order, with line breaks and tabs as separators that
// no keyword can span.
struct Piece
{
    pugi::xml_node t; // null for a separator
    int start = 0;
    int length = 0;
};

struct ParagraphText
{
    QString text;
    QVector<Piece> pieces;
};

const QChar kSeparator = QChar(0x2029);

void collect(const pugi::xml_node &node, ParagraphText &p)
{
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        const std::string_view name = c.name();
        if (name == "w:t") {
            const QString t = u8(c.child_value());
            p.pieces.append({c, int(p.text.size()), int(t.size())});
            p.text += t;
        } else if (name == "w:br" || name == "w:cr" || name == "w:tab") {
            p.pieces.append({pugi::xml_node(), int(p.text.size()), 1});
            p.text += kSeparator;
        } else if (name == "w:p" || name == "w:txbxContent" || name == "w:del" || name == "w:rPr"
                   || name == "w:pPr") {
            // Text boxes are paragraphs of their own; deleted text is not shown.
        } else {
            collect(c, p);
        }
    }
}

ParagraphText paragraphText(const pugi::xml_node &p)
{
    ParagraphText out;
    collect(p, out);
    return out;
}

void setText(pugi::xml_node t, const QString &text)
{
    pugi::xml_node pc = t.first_child();
    while (pc && pc.type() != pugi::node_pcdata)
        pc = pc.next_sibling();
    if (!pc)
        pc = t.append_child(pugi::node_pcdata);
    pc.set_value(text.toUtf8().constData());
    setAttr(t, "xml:space", "preserve");
}

// Replaces [from, to) of the paragraph's text by `value`, which goes into the
// piece where the match starts. Returns that piece's w:t.
pugi::xml_node replaceRange(const ParagraphText &p, int from, int to, const QString &value)
{
    pugi::xml_node first;
    for (const Piece &piece : p.pieces) {
        const int end = piece.start + piece.length;
        if (!piece.t || end <= from || piece.start >= to)
            continue;
        const QString text = u8(piece.t.child_value());
        const int cutFrom = std::max(from, piece.start) - piece.start;
        const int cutTo = std::min(to, end) - piece.start;
        QString next = text.left(cutFrom);
        if (!first) {
            first = piece.t;
            next += value;
        }
        next += text.mid(cutTo);
        setText(piece.t, next);
    }
    return first;
}

QList<pugi::xml_node> paragraphs(const pugi::xml_document &doc)
{
    QList<pugi::xml_node> out;
    for (const pugi::xpath_node &x : doc.select_nodes("//w:p"))
        out << x.node();
    return out;
}

void replaceAll(const QList<pugi::xml_node> &paras, const QString &key, const QString &value)
{
    for (const pugi::xml_node &para : paras) {
        int from = 0;
        for (;;) {
            const ParagraphText p = paragraphText(para);
            const int at = int(p.text.indexOf(key, from));
            if (at < 0)
                break;
            replaceRange(p, at, at + int(key.size()), value);
            from = at + int(value.size()); // the value itself is not searched again
        }
    }
}

// ------------------------------------------------------------ pictures

constexpr double kEmuPerCm = 360000.0;

QString drawingXml(const QString &relId, int id, const QString &name, const QSizeF &cm)
{
    const qint64 cx = qint64(cm.width() * kEmuPerCm);
    const qint64 cy = qint64(cm.height() * kEmuPerCm);
    return QStringLiteral(
               "<w:r><w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\">"
               "<wp:extent cx=\"%1\" cy=\"%2\"/><wp:docPr id=\"%3\" name=\"%4\"/>"
               "<wp:cNvGraphicFramePr><a:graphicFrameLocks "
               "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" noChangeAspect=\"1\"/>"
               "</wp:cNvGraphicFramePr>"
               "<a:graphic xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
               "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
               "<pic:pic xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
               "<pic:nvPicPr><pic:cNvPr id=\"%3\" name=\"%4\"/><pic:cNvPicPr/></pic:nvPicPr>"
               "<pic:blipFill><a:blip r:embed=\"%5\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>"
               "<pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"%1\" cy=\"%2\"/></a:xfrm>"
               "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr>"
               "</pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r>")
        .arg(cx)
        .arg(cy)
        .arg(id)
        .arg(name, relId);
}

// Puts a picture run in place of the first occurrence of `key`; false when
// the document does not hold it.
bool placePicture(const QList<pugi::xml_node> &paras, const QString &key, const QString &drawing)
{
    for (const pugi::xml_node &para : paras) {
        const ParagraphText p = paragraphText(para);
        const int at = int(p.text.indexOf(key));
        if (at < 0)
            continue;
        // The match's first piece is split at the keyword: its run keeps the
        // text before, a copy of its formatting takes the text after, and
        // the picture's run goes between them.
        int offset = 0;
        for (const Piece &piece : p.pieces)
            if (piece.t && at >= piece.start && at < piece.start + piece.length)
                offset = at - piece.start;
        const pugi::xml_node t = replaceRange(p, at, at + int(key.size()), QString());
        pugi::xml_node run = t.parent();
        const QString text = u8(t.child_value());
        setText(t, text.left(offset));
        pugi::xml_node rest = run.parent().insert_child_after("w:r", run);
        if (pugi::xml_node rPr = run.child("w:rPr"))
            rest.append_copy(rPr);
        setText(rest.append_child("w:t"), text.mid(offset));
        for (pugi::xml_node n = t.next_sibling(); n;) {
            pugi::xml_node next = n.next_sibling();
            rest.append_move(n);
            n = next;
        }
        pugi::xml_document fragment;
        const QByteArray xml = QStringLiteral("<w:root xmlns:w=\"w\" xmlns:wp=\"wp\" xmlns:r=\"r\">%1</w:root>")
                                   .arg(drawing)
                                   .toUtf8();
        fragment.load_buffer(xml.constData(), size_t(xml.size()));
        run.parent().insert_copy_after(fragment.first_child().first_child(), run);
        return true;
    }
    return false;
}

QByteArray png(const QImage &image)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    image.save(&b, "PNG");
    return out;
}

int greatestDocPrId(const pugi::xml_document &doc)
{
    int max = 0;
    for (const pugi::xpath_node &x : doc.select_nodes("//wp:docPr"))
        max = std::max(max, x.node().attribute("id").as_int());
    return max;
}

} // namespace

QSizeF razmerKartinki(const QSize &pixels, const QSizeF &boxCm)
{
    if (pixels.isEmpty())
        return QSizeF();
    const QSizeF natural(pixels.width() * 2.54 / 96.0, pixels.height() * 2.54 / 96.0);
    if (boxCm.isEmpty())
        return natural;
    return natural.scaled(boxCm, Qt::KeepAspectRatio);
}

void ZapolnitDocx(const QString &path, const QList<QPair<QString, QString>> &teksty,
                  const QList<KartinkaShablona> &kartinki)
{
    const QFileInfo target(path);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(true);
    if (!temp.open())
        fail(QStringLiteral("Не удаётся создать файл в папке «%1»: %2")
                 .arg(QDir::toNativeSeparators(target.absolutePath()), temp.errorString()));
    {
        QFile source(path);
        if (!source.open(QIODevice::ReadOnly))
            fail(QStringLiteral("Документ «%1» не открывается: %2").arg(QDir::toNativeSeparators(path), source.errorString()));
        if (temp.write(source.readAll()) < 0 || !temp.flush())
            fail(QStringLiteral("Документ «%1» не записан: %2").arg(QDir::toNativeSeparators(path), temp.errorString()));
    }
    temp.close();

    int err = 0;
    std::unique_ptr<zip_t, ZipDiscard> zip(zip_open(QFile::encodeName(temp.fileName()).constData(), 0, &err));
    if (!zip)
        damaged(path);

    // The main document part, from the package's relationships.
    QString main = QStringLiteral("word/document.xml");
    {
        pugi::xml_document rels;
        const std::string bytes = readPart(zip.get(), QStringLiteral("_rels/.rels"), path, false);
        if (!bytes.empty()) {
            parse(rels, bytes, path);
            for (const auto &x : rels.select_nodes("//*[local-name()='Relationship']")) {
                if (u8(x.node().attribute("Type").value()).endsWith(QLatin1String("/officeDocument"))) {
                    QString t = u8(x.node().attribute("Target").value());
                    main = t.startsWith(QLatin1Char('/')) ? t.mid(1) : t;
                }
            }
        }
    }
    const QString mainDir = main.left(main.lastIndexOf(QLatin1Char('/')) + 1);
    const QString relsPart = mainDir + QStringLiteral("_rels/") + main.mid(mainDir.size()) + QStringLiteral(".rels");

    pugi::xml_document doc;
    parse(doc, readPart(zip.get(), main, path, true), path);
    if (!doc.child("w:document"))
        damaged(path);
    const QList<pugi::xml_node> paras = paragraphs(doc);

    for (const auto &[key, value] : teksty)
        replaceAll(paras, key, value);

    pugi::xml_document rels;
    pugi::xml_document types;
    QList<QPair<QString, QByteArray>> media;
    if (!kartinki.isEmpty()) {
        const std::string relBytes = readPart(zip.get(), relsPart, path, false);
        if (relBytes.empty())
            rels.append_child("Relationships")
                .append_attribute("xmlns")
                .set_value("http://schemas.openxmlformats.org/package/2006/relationships");
        else
            parse(rels, relBytes, path);
        parse(types, readPart(zip.get(), QStringLiteral("[Content_Types].xml"), path, true), path);

        pugi::xml_node root = doc.child("w:document");
        setAttr(root, "xmlns:wp", "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing");
        setAttr(root, "xmlns:r", "http://schemas.openxmlformats.org/officeDocument/2006/relationships");
        int docPr = greatestDocPrId(doc);
        int n = 0;
        for (const KartinkaShablona &k : kartinki) {
            const QString relId = QStringLiteral("rIdTrapezon%1").arg(++n);
            const QString name = QStringLiteral("trapezon%1.png").arg(n);
            if (!placePicture(paras, k.klyuch, drawingXml(relId, ++docPr, name, k.razmerSm)))
                continue;
            media.append({mainDir + QStringLiteral("media/") + name, png(k.image)});
            pugi::xml_node rel = rels.child("Relationships").append_child("Relationship");
            rel.append_attribute("Id").set_value(relId.toUtf8().constData());
            rel.append_attribute("Type").set_value(
                "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image");
            rel.append_attribute("Target").set_value((QStringLiteral("media/") + name).toUtf8().constData());
        }
        if (!media.isEmpty()) {
            pugi::xml_node typesRoot = types.child("Types");
            bool hasPng = false;
            for (pugi::xml_node d = typesRoot.child("Default"); d; d = d.next_sibling("Default"))
                hasPng = hasPng || QString::fromUtf8(d.attribute("Extension").value()).compare(QLatin1String("png"), Qt::CaseInsensitive) == 0;
            if (!hasPng) {
                pugi::xml_node d = typesRoot.prepend_child("Default");
                d.append_attribute("Extension").set_value("png");
                d.append_attribute("ContentType").set_value("image/png");
            }
        }
    }

    // The buffers stay alive until the archive is closed.
    QList<std::string> buffers;
    const auto put = [&](const QString &name, std::string bytes) {
        buffers.append(std::move(bytes));
        zip_source_t *s = zip_source_buffer(zip.get(), buffers.last().data(), buffers.last().size(), 0);
        if (!s || zip_file_add(zip.get(), name.toUtf8().constData(), s, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            if (s)
                zip_source_free(s);
            fail(QStringLiteral("Документ «%1» не записан.").arg(QDir::toNativeSeparators(path)));
        }
    };
    put(main, serialize(doc));
    if (!media.isEmpty()) {
        put(relsPart, serialize(rels));
        put(QStringLiteral("[Content_Types].xml"), serialize(types));
        for (const auto &[name, bytes] : media)
            put(name, bytes.toStdString());
    }
    zip_t *z = zip.release();
    if (zip_close(z) != 0) {
        zip_discard(z);
        fail(QStringLiteral("Документ «%1» не записан.").arg(QDir::toNativeSeparators(path)));
    }
    QFile::setPermissions(temp.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                               | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData(), ec);
    if (ec)
        fail(QStringLiteral("Документ «%1» не записан: %2")
                 .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(ec.message().c_str())));
}

} // namespace staff
