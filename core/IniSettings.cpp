#include "core/IniSettings.h"
#include "core/AppPaths.h"

namespace core {

namespace {
QString fullKey(const QString &section, const QString &key) { return section + '/' + key; }
}

IniFile::IniFile(const QString &path)
    : m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat))
{
}

IniFile::~IniFile()
{
    m_settings->sync();
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    const QVariant v = m_settings->value(fullKey(section, key));
    if (!v.isValid())
        return def;
    // QSettings splits a value with unquoted commas into a list; the program's
    // values are plain texts, so join them back.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(',');
    return v.toString();
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
    return m_settings->contains(fullKey(section, key));
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    m_settings->setValue(fullKey(section, key), value);
}

void IniFile::writeInt(const QString &section, const QString &key, int value)
{
    m_settings->setValue(fullKey(section, key), QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeInt(section, key, value ? 1 : 0);
}

bool IniFile::flush()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString IniFile::path() const { return m_settings->fileName(); }

std::unique_ptr<IniFile> openMainIni() { return std::make_unique<IniFile>(iniPath()); }

} // namespace core
