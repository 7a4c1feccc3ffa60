#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

namespace core {

// Removes leading and trailing characters with codes 0 to 32.
QString trimCodes(const QString &s);

// A value to put between single quotes in a statement: every ' doubled.
QString sqlQuoted(const QString &value);

// New record identifier: a GUID as 32 upper-case hexadecimal digits.
QString newRecId();

// The Russian forms the program always uses, whatever the system locale.
QString ruDate(const QDate &d);                 // dd.MM.yyyy
QString ruTime(const QTime &t);                 // HH:mm:ss
// A status bar line of the main window: "dd.MM.yyyy HH:mm:ss: message".
QString stampedLine(const QDateTime &t, const QString &message);
QDate parseRuDate(const QString &text);         // invalid when not dd.MM.yyyy
QString formatMoney(double value);              // "%.2f" with a decimal comma
// A price text with a comma or a point; nullopt when it is no number.
std::optional<double> parseMoney(const QString &text);

// Items 0..4 of every meal-type choice: "Все", "Завтрак", "Обед", "Ужин", "Ночное".
QString NazvanieVidaPitaniya(int index);

} // namespace core
