#pragma once
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace core {

// The one access to the program's INI files (CRIni.ini, CRCom.ini, ...).
// The file is plain text lines: "[section]" headers and "key=value" lines;
// a value is everything after the first "=" exactly as written (quotes,
// ";", ", " and further "=" included; only the blanks around it and the line
// ending are dropped), and section and key names are matched without regard
// to case. Lines the program does not know (comments, other keys) are kept
// as they are when the file is written.
//
// Every read passes a default; booleans are stored as 1/0 and read as
// integers (anything but 0 is true); an integer key holding no integer reads
// as its default. Writes go to the file on flush() or destruction; flush()
// applies them to the file as it is then, so two objects on one file do not
// undo each other's writes. A file that exists but cannot be read (no
// permission, UTF-16 or binary content) reads as defaults, is never written,
// and says why in problem().
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
    QString path() const { return m_path; }

    // Empty when the file could be read (or does not exist); otherwise the
    // Russian message that says the settings file cannot be read.
    QString problem() const { return m_problem; }

private:
    struct Lines
    {
        QStringList lines;
        QString eol = QStringLiteral("\n");
        QByteArray encoding = "UTF-8";
        bool bom = false;
    };
    struct Write
    {
        QString section, key, value;
    };

    static QString load(const QString &path, Lines &out);
    static void apply(Lines &file, const Write &w);
    static std::optional<QString> find(const Lines &file, const QString &section,
                                       const QString &key);

    QString m_path;
    QString m_problem;
    Lines m_file;
    std::vector<Write> m_pending;
};

// CRIni.ini in the program folder.
std::unique_ptr<IniFile> openMainIni();

} // namespace core
