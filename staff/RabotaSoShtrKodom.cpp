#include "staff/RabotaSoShtrKodom.h"

#include "core/Error.h"
#include "core/ProcessValues.h"
#include "db/Connection.h"
#include "db/DBTools.h"

#include <QSet>
#include <QSqlQuery>
#include <memory>

namespace RabotaSoShtrKodom {

namespace {

// The system's own form: 13 digits beginning with "2000". Such texts sort as
// text exactly as their numbers do, so MAX over them is the greatest serial.
const QString kSvoyShablon = QStringLiteral("ShtrKod GLOB '2000[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]'");

std::unique_ptr<db::Connection> otkrit()
{
    auto c = std::make_unique<db::Connection>();
    c->openConfigured();
    return c;
}

int maksSvoyNomer(db::Connection &c)
{
    QSqlQuery q = c.exec(QStringLiteral("SELECT MAX(ShtrKod) FROM Users WHERE ") + kSvoyShablon);
    if (!q.next())
        return 0;
    const QString max = q.value(0).toString();
    return max.isEmpty() ? 0 : max.mid(4, 8).toInt();
}

bool zanyat(db::Connection &c, const QString &code)
{
    QSqlQuery q = c.prepare(QStringLiteral("SELECT 1 FROM Users WHERE ShtrKod = ? LIMIT 1"));
    q.addBindValue(code);
    db::Connection::execPrepared(q);
    return q.next();
}

QSet<QString> vseSvoi(db::Connection &c)
{
    QSet<QString> out;
    QSqlQuery q = c.exec(QStringLiteral("SELECT ShtrKod FROM Users WHERE ") + kSvoyShablon);
    while (q.next())
        out.insert(q.value(0).toString());
    return out;
}

} // namespace

QString KontrolnayaTsifra(const QString &digits, int length)
{
    int sum = 0;
    const int n = std::min<int>(int(digits.size()), length - 1);
    for (int i = 0; i < n; ++i) {
        const QChar ch = digits.at(i);
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            throw core::Error(QStringLiteral("EConvertError"),
                              QStringLiteral("'%1' is not a valid integer value").arg(ch));
        // Counted from the check digit leftwards, the first data digit weighs 3.
        const int fromRight = length - 1 - i;
        sum += (ch.unicode() - '0') * (fromRight % 2 == 1 ? 3 : 1);
    }
    const int rest = sum % 10;
    return QString::number(rest == 0 ? 0 : 10 - rest);
}

QString SborkaShtrKoda(int serial, const QString &prefix1, const QString &prefix2)
{
    const QString body = QStringLiteral("2") + prefix1 + prefix2
                         + QStringLiteral("%1").arg(serial, 8, 10, QLatin1Char('0'));
    return body + KontrolnayaTsifra(body, 13);
}

QString MaksShtrKod()
{
    if (DBTools::OtkritBD() != DBTools::kOk) {
        DBTools::ZakritBD();
        return DBTools::kNo;
    }
    const QString max = DBTools::MaksimalnoyeZnacheniye(QStringLiteral("Users"),
                                                        QStringLiteral("ShtrKod"));
    DBTools::ZakritBD();
    return max;
}

int MaksNomerShtrKoda()
{
    try {
        auto c = otkrit();
        return maksSvoyNomer(*c);
    } catch (const core::Error &) {
        return 0; // unreadable: numbering starts again; the save check catches a repeat
    }
}

QString GeneratsiyaShtrKoda(const QString &prefix1, const QString &prefix2, int limit)
{
    std::unique_ptr<db::Connection> c;
    int max = 0;
    try {
        c = otkrit();
        max = maksSvoyNomer(*c);
    } catch (const core::Error &) {
        c.reset();
    }
    int serial = max + 1;
    if (serial >= limit)
        serial = limit;
    QString code = SborkaShtrKoda(serial, prefix1, prefix2);
    if (!c)
        return code;

    try {
        if (!zanyat(*c, code))
            return code;
        // Only at the limit can the next number already be held: take the
        // greatest free serial below it.
        const QSet<QString> held = vseSvoi(*c);
        for (int s = serial - 1; s >= 1; --s) {
            code = SborkaShtrKoda(s, prefix1, prefix2);
            if (!held.contains(code))
                return code;
        }
    } catch (const core::Error &) {
        return code;
    }
    throw core::Error(QStringLiteral("EBarcodeError"),
                      QStringLiteral("Все номера штрихкодов до %1 уже присвоены.").arg(limit));
}

} // namespace RabotaSoShtrKodom
