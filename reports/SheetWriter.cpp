#include "reports/SheetWriter.h"

#include "core/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <filesystem>
#include <system_error>

namespace reports {

namespace {

[[noreturn]] void fail(const QString &message) { throw core::Error(QStringLiteral("EOfficeError"), message); }

void check(lxw_error e, const QString &path)
{
    if (e != LXW_NO_ERROR)
        fail(QStringLiteral("Книга Excel «%1» не записана: %2")
                 .arg(QDir::toNativeSeparators(path), QString::fromUtf8(lxw_strerror(e))));
}

// Texts keep their line breaks as a cell shows them: a line feed alone.
QByteArray cellText(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.toUtf8();
}

} // namespace

SheetWriter::SheetWriter(const QString &path, const QString &sheetName) : m_path(path)
{
    const QFileInfo target(path);
    // The temporary file beside the target, so the final rename stays on one
    // file system and is atomic.
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                        + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open())
        fail(QStringLiteral("Не удаётся создать файл в папке «%1»: %2")
                 .arg(QDir::toNativeSeparators(target.absolutePath()), temp.errorString()));
    m_temp = temp.fileName();
    temp.close();

    const QByteArray tmpDir = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(tmpDir.constData());
    m_workbook = workbook_new_opt(QFile::encodeName(m_temp).constData(), &options);
    if (!m_workbook) {
        QFile::remove(m_temp);
        fail(QStringLiteral("Не удаётся создать книгу Excel «%1».").arg(QDir::toNativeSeparators(path)));
    }
    m_sheet = workbook_add_worksheet(m_workbook, sheetName.toUtf8().constData());
    if (!m_sheet) {
        workbook_close(m_workbook);
        m_workbook = nullptr;
        QFile::remove(m_temp);
        fail(QStringLiteral("Лист «%1» не создан.").arg(sheetName));
    }
}

SheetWriter::~SheetWriter()
{
    if (!m_saved) {
        if (m_workbook)
            workbook_close(m_workbook); // frees it; the file is thrown away below
        QFile::remove(m_temp);
    }
}

quint32 SheetWriter::rgbOf(quint32 n)
{
    return ((n & 0xFF) << 16) | (n & 0xFF00) | ((n >> 16) & 0xFF);
}

lxw_format *SheetWriter::format(const CellLook &look)
{
    if (!look.fill && !look.aligned && !look.wrap)
        return nullptr;
    const auto key = std::make_pair(look.fill ? qint64(*look.fill) : -1,
                                    (look.aligned ? 1 : 0) | (look.wrap ? 2 : 0));
    auto it = m_formats.find(key);
    if (it != m_formats.end())
        return it->second;
    lxw_format *f = workbook_add_format(m_workbook);
    if (look.fill) {
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, rgbOf(*look.fill));
    }
    if (look.aligned) {
        // Horizontal 2 and vertical 2 of the spreadsheet's alignment codes.
        format_set_align(f, LXW_ALIGN_LEFT);
        format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    }
    if (look.wrap)
        format_set_text_wrap(f);
    m_formats.emplace(key, f);
    return f;
}

void SheetWriter::setColumnWidth(int column, double width)
{
    check(worksheet_set_column(m_sheet, lxw_col_t(column - 1), lxw_col_t(column - 1), width, nullptr), m_path);
}

void SheetWriter::merge(int firstRow, int firstColumn, int lastRow, int lastColumn, const QString &text,
                        const CellLook &look)
{
    check(worksheet_merge_range(m_sheet, lxw_row_t(firstRow - 1), lxw_col_t(firstColumn - 1),
                                lxw_row_t(lastRow - 1), lxw_col_t(lastColumn - 1),
                                cellText(text).constData(), format(look)),
          m_path);
}

void SheetWriter::write(int row, int column, const QString &text, const CellLook &look)
{
    lxw_format *f = format(look);
    if (text.isEmpty()) {
        if (f)
            check(worksheet_write_blank(m_sheet, lxw_row_t(row - 1), lxw_col_t(column - 1), f), m_path);
        return;
    }
    check(worksheet_write_string(m_sheet, lxw_row_t(row - 1), lxw_col_t(column - 1),
                                 cellText(text).constData(), f),
          m_path);
}

void SheetWriter::save()
{
    const lxw_error e = workbook_close(m_workbook);
    m_workbook = nullptr;
    check(e, m_path);
    // A report is an ordinary document: readable like any other the user saves.
    QFile::setPermissions(m_temp, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                      | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(m_temp).constData(), QFile::encodeName(m_path).constData(), ec);
    if (ec)
        fail(QStringLiteral("Книга Excel «%1» не записана: %2")
                 .arg(QDir::toNativeSeparators(m_path), QString::fromLocal8Bit(ec.message().c_str())));
    m_saved = true;
}

} // namespace reports
