#include "reports/ZagruzkaIzExcel.h"

#include "core/Error.h"
#include "core/MessageService.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "reports/SheetReader.h"
#include "staff/RabotaSoShtrKodom.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace reports {

namespace {

// Rows per transaction: one commit (and one disk synchronisation) per batch
// instead of per employee keeps 5,000 rows within seconds.
constexpr int kStrokVPartii = 500;

enum Kolonka { kFIO = 1, kTabNum = 2, kCardNum = 3, kDolj = 4, kPodr = 5, kOrg = 6, kITR = 7 };

QSet<QString> naimenovaniya(db::Connection &c, const QString &table)
{
    QSet<QString> out;
    QSqlQuery q = c.exec(QStringLiteral("SELECT NM FROM ") + table);
    while (q.next())
        if (!q.isNull(0))
            out.insert(q.value(0).toString());
    return out;
}

// An empty text leaves the column empty (NULL), as a field never assigned.
QVariant znachenie(const QString &s)
{
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

QString tekstOshibki(const std::exception &e)
{
    if (const auto *err = dynamic_cast<const core::Error *>(&e))
        return core::errorText(err->className(), err->message(), true);
    return core::errorText(QStringLiteral("Exception"), QString::fromLocal8Bit(e.what()), true);
}

[[noreturn]] void oshibkaBD(db::Connection &c)
{
    throw core::Error(QStringLiteral("EDatabaseError"), c.database().lastError().text());
}

struct Spravochnik
{
    QString table;
    QSet<QString> names;
    QSqlQuery insert;
};

} // namespace

QStringList ItogZagruzki::soobshcheniya() const
{
    QStringList out;
    if (!oshibka.isEmpty())
        out << oshibka;
    if (netDannyh)
        out << QStringLiteral("В файле Excel нет данных.");
    else
        out << QStringLiteral("Загружено %1 физ. лиц.").arg(zagruzheno);
    return out;
}

ItogZagruzki ZagruzitSotrudnikov(const QString &path, db::Connection &connection,
                                 const std::function<void(int)> &progress)
{
    SheetData sheet;
    try {
        sheet = readFirstSheet(path);
    } catch (const std::exception &e) {
        ItogZagruzki itog;
        itog.oshibka = tekstOshibki(e);
        return itog;
    }
    return ZagruzitSotrudnikov(sheet, connection, progress);
}

ItogZagruzki ZagruzitSotrudnikov(const SheetData &sheet, db::Connection &c,
                                 const std::function<void(int)> &progress)
{
    ItogZagruzki itog;
    const int used = sheet.usedRows();
    if (used == 0) {
        itog.netDannyh = true;
        return itog;
    }

    int committed = 0; // rows whose transaction has been committed
    int pending = 0;   // rows written in the open transaction
    bool open = false;
    const QString savepoint = QStringLiteral("SAVEPOINT stroka");
    try {
        QSet<QString> users = naimenovaniya(c, QStringLiteral("Users"));
        // In the order the rows' texts are looked up and added.
        Spravochnik dirs[3];
        dirs[0].table = QStringLiteral("Org");
        dirs[1].table = QStringLiteral("Podr");
        dirs[2].table = QStringLiteral("Dolj");
        for (Spravochnik &d : dirs) {
            d.names = naimenovaniya(c, d.table);
            d.insert = c.prepare(QStringLiteral("INSERT INTO %1 (NM, RecID) VALUES (?, ?)").arg(d.table));
        }
        QSqlQuery insertUser = c.prepare(QStringLiteral(
            "INSERT INTO Users (NM, ShtrKod, NMOrg, NMPodr, NMDolj, NMTabNum, NMCardNum, NMITR, RecID) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        RabotaSoShtrKodom::NumeratorShtrKodov shtrKody(c, QStringLiteral("0"), QStringLiteral("00"),
                                                      RabotaSoShtrKodom::kPredelNomera);
        int shown = 0;
        if (progress)
            progress(0);

        for (int row = 1;; ++row) {
            const QString name = core::trimCodes(sheet.text(row, kFIO));
            if (name.isEmpty())
                break;
            const int percent = std::min(100, int(qint64(row) * 100 / used));
            if (progress && percent != shown)
                progress(shown = percent);
            if (users.contains(name))
                continue;

            auto cell = [&](int column) { return core::trimCodes(sheet.text(row, column)); };
            const QString texts[3] = {cell(kOrg), cell(kPodr), cell(kDolj)};
            const QString tabNum = cell(kTabNum);
            const QString cardNum = cell(kCardNum);
            const QString itr = cell(kITR) == QLatin1String("1") ? QStringLiteral("Да") : QString();

            if (!open) {
                if (!c.transaction())
                    oshibkaBD(c);
                open = true;
            }
            // A row is written whole or not at all: its employee and its
            // directory names share one savepoint.
            c.exec(savepoint);
            try {
                insertUser.addBindValue(name);
                insertUser.addBindValue(shtrKody.next());
                insertUser.addBindValue(znachenie(texts[0]));
                insertUser.addBindValue(znachenie(texts[1]));
                insertUser.addBindValue(znachenie(texts[2]));
                insertUser.addBindValue(znachenie(tabNum));
                insertUser.addBindValue(znachenie(cardNum));
                insertUser.addBindValue(znachenie(itr));
                insertUser.addBindValue(core::newRecId());
                db::Connection::execPrepared(insertUser);
                for (int i = 0; i < 3; ++i) {
                    if (texts[i].isEmpty() || dirs[i].names.contains(texts[i]))
                        continue;
                    dirs[i].insert.addBindValue(texts[i]);
                    dirs[i].insert.addBindValue(core::newRecId());
                    db::Connection::execPrepared(dirs[i].insert);
                }
                c.exec(QStringLiteral("RELEASE stroka"));
            } catch (...) {
                try {
                    c.exec(QStringLiteral("ROLLBACK TO stroka"));
                    c.exec(QStringLiteral("RELEASE stroka"));
                } catch (const core::Error &) {
                    // The transaction is gone with the error; the commit below tells.
                }
                throw;
            }
            users.insert(name);
            for (int i = 0; i < 3; ++i)
                if (!texts[i].isEmpty())
                    dirs[i].names.insert(texts[i]);

            if (++pending == kStrokVPartii) {
                if (!c.commit())
                    oshibkaBD(c);
                committed += pending;
                pending = 0;
                open = false;
            }
        }
        if (open) {
            if (!c.commit())
                oshibkaBD(c);
            committed += pending;
            pending = 0;
            open = false;
        }
    } catch (const std::exception &e) {
        itog.oshibka = tekstOshibki(e);
    }
    if (open) {
        // A row failed: the rows before it are kept, as if each had been
        // committed on its own.
        if (c.commit()) {
            committed += pending;
        } else {
            c.rollback();
        }
    }
    itog.zagruzheno = committed;
    return itog;
}

} // namespace reports
