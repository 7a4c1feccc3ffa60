#include "core/IniSettings.h"
#include "core/AppPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace core {

namespace {

// "[name]" gives the name; anything else gives nothing.
std::optional<QString> sectionName(const QString &line)
{
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return std::nullopt;
}

bool isComment(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// The key of a "key=value" line; nothing for any other line.
std::optional<QString> keyOf(const QString &line)
{
    if (isComment(line) || sectionName(line))
        return std::nullopt;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return std::nullopt;
    return line.left(eq).trimmed();
}

QString valueOf(const QString &line)
{
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

bool same(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Lines [first, end) of a section, the header excluded; first == -1 when the
// section is missing.
std::pair<qsizetype, qsizetype> sectionRange(const QStringList &lines, const QString &section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name || !same(*name, section))
            continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionName(lines[end]))
            ++end;
        return {i + 1, end};
    }
    return {-1, -1};
}

QString unreadable(const QString &path, const QString &why)
{
    return QStringLiteral("Файл настроек ") + path + QStringLiteral(" не удаётся прочитать (")
           + why
           + QStringLiteral("). Программа не будет его изменять. Исправьте файл (текст в "
                            "кодировке UTF-8 или Windows-1251, строки «ключ=значение») или "
                            "удалите его, и перезапустите программу.");
}

} // namespace

IniFile::IniFile(const QString &path) : m_path(path)
{
    m_problem = load(path, m_file);
}

IniFile::~IniFile()
{
    flush();
}

QString IniFile::load(const QString &path, Lines &out)
{
    out = Lines();
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    QFile f(path);
    if (info.isDir() || !f.open(QIODevice::ReadOnly))
        return unreadable(path, info.isDir() ? QStringLiteral("на его месте папка")
                                             : f.errorString());
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return unreadable(path, f.errorString());
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") || bytes.contains('\0'))
        return unreadable(path, QStringLiteral("файл записан в кодировке UTF-16 или не является "
                                               "текстом"));
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        out.bom = true;
        bytes.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        // Files carried over from a Windows installation are in its code page.
        QStringDecoder cp1251("windows-1251");
        if (!cp1251.isValid())
            return unreadable(path, QStringLiteral("текст не в кодировке UTF-8"));
        text = cp1251.decode(bytes);
        out.encoding = "windows-1251";
    }
    if (text.contains(QLatin1String("\r\n")))
        out.eol = QStringLiteral("\r\n");
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.lines = text.split(QLatin1Char('\n'));
    // The final line ending gives no line of its own.
    if (!out.lines.isEmpty() && out.lines.last().isEmpty())
        out.lines.removeLast();
    return QString();
}

std::optional<QString> IniFile::find(const Lines &file, const QString &section,
                                     const QString &key)
{
    const auto [first, end] = sectionRange(file.lines, section);
    for (qsizetype i = first; first >= 0 && i < end; ++i)
        if (const auto k = keyOf(file.lines[i]); k && same(*k, key))
            return valueOf(file.lines[i]);
    return std::nullopt;
}

void IniFile::apply(Lines &file, const Write &w)
{
    QStringList &lines = file.lines;
    // A line break in a value would start a line of its own.
    QString value = w.value;
    value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    auto [first, end] = sectionRange(lines, w.section);
    if (first < 0) {
        lines << QLatin1Char('[') + w.section + QLatin1Char(']');
        lines << w.key + QLatin1Char('=') + value;
        return;
    }
    qsizetype lastKey = first - 1;
    for (qsizetype i = first; i < end; ++i) {
        const auto k = keyOf(lines[i]);
        if (!k)
            continue;
        if (same(*k, w.key)) {
            // The key keeps its spelling and what stood before the "=".
            lines[i] = lines[i].left(lines[i].indexOf(QLatin1Char('=')) + 1) + value;
            return;
        }
        lastKey = i;
    }
    lines.insert(lastKey + 1, w.key + QLatin1Char('=') + value);
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    return find(m_file, section, key).value_or(def);
}

int IniFile::readInt(const QString &section, const QString &key, int def) const
{
    const QString text = readString(section, key, QString());
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : def;
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInt(section, key, def ? 1 : 0) != 0;
}

bool IniFile::hasKey(const QString &section, const QString &key) const
{
    return find(m_file, section, key).has_value();
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const Write w{section, key, value};
    apply(m_file, w);
    m_pending.push_back(w);
}

void IniFile::writeInt(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeInt(section, key, value ? 1 : 0);
}

bool IniFile::flush()
{
    if (m_pending.empty())
        return true;
    if (!m_problem.isEmpty())
        return false;
    // The writes go onto the file as it is now, whatever another object or
    // program changed in it since this one read it.
    Lines current;
    if (!load(m_path, current).isEmpty())
        return false;
    for (const Write &w : m_pending)
        apply(current, w);
    QString text = current.lines.join(current.eol);
    if (!current.lines.isEmpty())
        text += current.eol;
    QStringEncoder encoder(current.encoding.constData());
    QByteArray bytes = encoder.encode(text);
    if (current.bom)
        bytes.prepend("\xEF\xBB\xBF");
    // Written whole or not at all: a full disk leaves the old file.
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return false;
    m_pending.clear();
    m_file = current;
    return true;
}

std::unique_ptr<IniFile> openMainIni() { return std::make_unique<IniFile>(iniPath()); }

} // namespace core
