#pragma once
#include <QSettings>
#include <QString>
#include <memory>

namespace core {

// The one access to the program's INI files (CRIni.ini, CRCom.ini, ...).
// Every read passes a default; booleans are stored as 1/0 and read as
// integers (anything but 0 is true); an integer key holding no integer reads
// as its default. Writes go to the file on flush() or destruction.
class IniFile
{
public:
    explicit IniFile(const QString &path);
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    QString readString(const QString &section, const QString &key, const QString &def) const;
    int readInt(const QString &section, const QString &key, int def) const;
    bool readBool(const QString &section, const QString &key, bool def) const;
    bool hasKey(const QString &section, const QString &key) const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInt(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);

    // Writes pending changes to disk; false when the file could not be written.
    bool flush();
    QString path() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

// CRIni.ini in the program folder.
std::unique_ptr<IniFile> openMainIni();

} // namespace core
