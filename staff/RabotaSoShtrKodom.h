#pragma once
#include <QSet>
#include <QString>

namespace db { class Connection; }

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

// Barcodes for many new employees in a row (the import): the numbering of
// GeneratsiyaShtrKoda, but Users is read once, on the caller's connection,
// and each code continues from the last one handed out, so the cost does not
// grow with the table. The caller writes every code it takes before asking
// for the next through another connection's numbering.
class NumeratorShtrKodov
{
public:
    NumeratorShtrKodov(db::Connection &connection, QString prefix1, QString prefix2, int limit);
    // The next free code; raises core::Error as GeneratsiyaShtrKoda does.
    QString next();

private:
    db::Connection &m_connection;
    QString m_prefix1, m_prefix2;
    int m_limit;
    int m_max = 0;                 // greatest serial of the system's own form
    bool m_heldLoaded = false;     // read only once the limit is reached
    QSet<QString> m_held;
};

} // namespace RabotaSoShtrKodom
