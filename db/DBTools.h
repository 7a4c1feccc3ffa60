#pragma once
#include <QString>

namespace db { class Connection; }

// The database routines every window uses for short actions. They run on one
// process-wide connection that a caller opens (OtkritBD) and closes
// (ZakritBD) around one action; every routine answers with a result text and
// never lets an error escape.
namespace DBTools {

inline const QString kOk = QStringLiteral("ok");
inline const QString kNo = QStringLiteral("no");
inline const QString kNetPodklucheniya = QStringLiteral("Подключение к серверу баз данных отсутствует.");
inline const QString kRazd = QStringLiteral("$@&razd&@$");

QString OtkritBD(const QString &path, const QString &user, const QString &password);
// OtkritBD with the database path, user name and password of the in-memory settings.
QString OtkritBD();
QString ZakritBD();
bool BDPodkluchena();
QString ProverkaNalichiyaTablitsy(const QString &table);
QString ProverkaNalichiyaStolbtsa(const QString &table, const QString &column);
QString SozdanieTablitsy(const QString &table, const QString &column, const QString &type,
                         const QString &size, bool nullsAllowed);
QString DobavlenieStolbtsa(const QString &table, const QString &column, const QString &type,
                           const QString &size, bool nullsAllowed);
QString MaksimalnoyeZnacheniye(const QString &table, const QString &column);
QString PoiskZapisi(const QString &table, const QString &keyColumn, const QString &column1,
                    const QString &column2, const QString &keyValue);
// As PoiskZapisi, but passing over the rows whose column2 holds `krome` (an
// empty `krome` passes over nothing): the first OTHER row with the key value,
// such as another employee holding a card number besides the one edited.
QString PoiskDrugoyZapisi(const QString &table, const QString &keyColumn, const QString &column1,
                          const QString &column2, const QString &keyValue, const QString &krome);
QString ZnacheniyeParametra(const QString &table, const QString &nameColumn,
                            const QString &valueColumn, const QString &name,
                            const QString &value, bool write);

// The sixteen equality filters of the journal selection, in their order.
struct SpisokDocFilters
{
    QString NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMAllTeh, NMFIO, NMTabNum,
        NMCardNum, NMDolj, NMPodr, NMOrg, NMITR, NMVid, NMUserGUID, NMStoimost,
        NMDateTimeTeh_Obrat;
};
QString ZaprosSpisokDoc(const QString &table, const QString &dateFrom, const QString &dateTo,
                        const SpisokDocFilters &filters);
QString PerevorotDaty(const QString &ddmmyyyyhhmmss);

// The routines' own connection between OtkritBD and ZakritBD, nullptr
// otherwise; for the few statements no routine covers (the structure check's
// upgrade steps). Raises core::Error like any db::Connection.
db::Connection *connection();

} // namespace DBTools
