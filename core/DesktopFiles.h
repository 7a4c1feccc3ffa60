#pragma once
#include <QString>
#include <functional>

namespace core {

// Hands a finished document (a report workbook, an employee card) to the
// desktop's default application for its type. False when none opened it.
// Tests install their own opener, so no test starts an office program.
bool openWithDesktop(const QString &path);
using DesktopOpener = std::function<bool(const QString &path)>;
void setDesktopOpener(DesktopOpener opener); // empty: the desktop's again

// A folder for documents the program writes for the user to look at: the
// user's documents folder when it can be written, else the temporary folder.
QString documentsFolder();

// `folder`/`stem` + `extension` ("Отчёт 2026-12-09 14-05" + ".xlsx"), or
// with " (2)", " (3)", ... when that file exists already.
QString freeFileName(const QString &folder, const QString &stem, const QString &extension);

} // namespace core
