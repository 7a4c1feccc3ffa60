#pragma once
#include <QString>

namespace reports {

// The text a spreadsheet shows for a cell, as an operator working in the
// Russian locale sees it: decimal comma, digit groups split by a no-break
// space, dates as dd.MM.yyyy. Covers the number formats workbooks carry in
// practice: General, digit placeholders (0 # ?), grouping and scaling commas,
// percent, scientific, literal and quoted text, text-prefixed zeros such as
// 000000, up to four ';' sections with conditions, colours and locale tags
// ignored, and dates and times by their codes.

// The format code of a built-in number format id (0 General, 1 "0", 14 the
// short date, ...); empty for an id without a built-in code.
QString builtinNumberFormat(int id);

// A number shown through a format code ("General" when empty). `date1904`
// selects the workbook's 1904 date system for date and time codes.
QString formatNumber(double value, const QString &formatCode, bool date1904 = false);

// The number in the General form (at most 11 characters, scientific beyond).
QString formatGeneral(double value);

// A text cell shown through a format code: its text section ('@') when the
// code has one, else the text itself.
QString formatText(const QString &text, const QString &formatCode);

} // namespace reports
