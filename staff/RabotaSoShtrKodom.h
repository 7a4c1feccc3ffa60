#pragma once
#include <QString>

// Numbering of the employees' EAN-13 barcodes: "2" + two prefix texts + an
// 8-digit serial + the check digit. The employee editor and the import both
// number with the prefixes "0" and "00" and the serial limit 99999999.
namespace RabotaSoShtrKodom {

// The serial limit both callers pass.
inline constexpr int kPredelNomera = 99999999;

// A new barcode continuing the greatest barcode of the system's own form
// (13 digits beginning with "2000"); codes of other origin in Users take no
// part in the numbering, and the result is never a code Users already holds.
// When the limit is reached the limit's serial is used while it is free,
// else the greatest free serial below it. Raises core::Error only when every
// serial up to the limit is taken.
QString GeneratsiyaShtrKoda(const QString &prefix1, const QString &prefix2, int limit);

// "2" + prefix1 + prefix2 + the serial with at least 8 digits + check digit.
QString SborkaShtrKoda(int serial, const QString &prefix1, const QString &prefix2);

// The check digit of a code of `length` digits whose first length-1 digits
// are given (EAN weights 1 and 3, the weight 3 next to the check digit).
// Raises core::Error "EConvertError" for a character that is not a digit.
QString KontrolnayaTsifra(const QString &digits, int length);

// The serial of the greatest barcode of the system's own form in Users; 0
// when there is none or the database cannot be read.
int MaksNomerShtrKoda();

// The greatest Users.ShtrKod by the database's text order, "0" when the
// table holds no barcode, "no" when it cannot be read.
QString MaksShtrKod();

} // namespace RabotaSoShtrKodom
