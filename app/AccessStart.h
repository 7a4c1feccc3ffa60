#pragma once
#include <QString>

class QWidget;

namespace core {
class IniFile;
}

namespace app {

inline const QString kAccessQuestion =
    QStringLiteral("Файл базы данных создан в Microsoft Access. Перенести данные в новую базу?");

// At start, when the configured database is an Access file: asks whether to
// bring its data over and, on Yes, converts it into a new database beside
// it (same name, ".sqlite") with a progress window, points CRIni.ini at it
// and returns its path. On No, or when the conversion fails (said in a
// message), returns `accessPath`; the Access file is never written.
QString offerAccessConversion(QWidget *parent, const QString &accessPath, core::IniFile &ini);

} // namespace app
