// The shared record set on a journal of 10,000 and 100,000 rows, loaded
// whole and held by its filter field: the first load of the whole table, the
// sort by the journal key, one judging of every row by the journal's day
// filter, and one registration-sized insert with the filter and the sort in
// force.
#include "BenchStats.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "core/TextUtil.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QStringList kColumns = {"TechInfStlb", "NMZapisID", "NMDateVid", "NMTimeVid", "NMDateTimeTeh",
                              "NMAllTeh", "NMFIO", "NMTabNum", "NMCardNum", "NMDolj", "NMPodr",
                              "NMOrg", "NMITR", "NMVid", "NMUserGUID", "NMStoimost", "ShtrKod",
                              "NMDateTimeTeh_Obrat"};

void createJournal(db::Connection &c, int rows)
{
    QStringList defs;
    for (const QString &col : kColumns)
        defs << "[" + col + "] " + (col == "NMStoimost" ? "MONEY" : "NVARCHAR(255)");
    c.exec("CREATE TABLE SpisokDoc (" + defs.join(", ") + ")");
    QStringList marks;
    for (int i = 0; i < kColumns.size(); ++i)
        marks << "?";
    c.transaction();
    QSqlQuery q = c.prepare("INSERT INTO SpisokDoc VALUES (" + marks.join(", ") + ")");
    const QDate first(2024, 1, 1);
    const QStringList vids = {"Завтрак", "Обед", "Ужин", "Ночное"};
    for (int i = 0; i < rows; ++i) {
        const QDate day = first.addDays(i / 400);
        const QTime time = QTime(7, 0).addSecs(i % 400 * 90);
        const QString vid = vids[i % 4];
        const QString fio = QString("Сотрудник %1 Иванович").arg(i % 1000);
        const QString date = core::ruDate(day);
        const QString teh = day.toString("ddMMyyyy") + time.toString("HHmmss");
        const QString obrat = day.toString("yyyyMMdd") + time.toString("HHmmss");
        const QVariantList values = {QVariant(), core::newRecId(), date, core::ruTime(time), teh,
                                     date + "_" + vid + "_" + fio, fio, QString::number(i % 1000),
                                     QString("%1").arg(100000 + i % 1000), "Повар", "Кухня",
                                     "ООО Столовая", i % 7 ? "" : "Да", vid,
                                     QString("GUID%1").arg(i % 1000), 45.5,
                                     QString("2000%1").arg(i % 1000, 9, 10, QChar('0')), obrat};
        for (const QVariant &v : values)
            q.addBindValue(v);
        db::Connection::execPrepared(q);
    }
    c.commit();
}

void print(int rows, const char *what, bench::Figures f)
{
    std::printf("%8d rows  %-34s median %9.2f ms   p95 %9.2f ms\n", rows, what, f.median, f.p95);
    std::fflush(stdout);
}

// The measurements on one set: loaded whole, or held by NMAllTeh (the
// journal's filter field) with its rows read whole as shown.
void measureSet(db::Connection &c, int rows, bool held)
{
    db::RecordSet rs;
    rs.setConnection(&c);
    rs.setSql("SELECT * from SpisokDoc");
    if (held)
        rs.setHeldFields({"NMAllTeh"});
    const int allTeh = [&] { rs.open(); return rs.fieldIndex("NMAllTeh"); }();
    const QString key = QString("%1_Обед_").arg(core::ruDate(QDate(2024, 1, 1).addDays(rows / 800)))
                            .toUpper();
    rs.setFilter([allTeh, key](const db::RecordSet &, const db::RecordSet::Row &r) {
        return r[allTeh].toString().toUpper().contains(key);
    });
    std::printf("%s\n", held ? "held by NMAllTeh:" : "loaded whole:");

    print(rows, "load (open)", bench::measure(5, [&] { rs.open(); }));
    print(rows, "sort by NMDateTimeTeh_Obrat", bench::measure(5, [&] {
              rs.clearSort();
              rs.sortBy("NMDateTimeTeh_Obrat");
          }));
    if (held) {
        print(rows, "views fetch every row, by blocks", bench::measure(3, [&] {
                  rs.refilter();
                  while (rs.canFetchMore(QModelIndex()))
                      rs.fetchMore(QModelIndex());
              }));
    }
    print(rows, "filter off and on", bench::measure(5, [&] {
              rs.setFiltered(false);
              rs.setFiltered(true);
          }));
    print(rows, "sort again (in force)", bench::measure(50, [&] { rs.sortBy("NMDateTimeTeh_Obrat"); }));
    int n = 0;
    print(rows, "insert one row (filtered, sorted)", bench::measure(50, [&] {
              QVariantMap v;
              v["NMZapisID"] = core::newRecId();
              v["NMAllTeh"] = key + QString::number(n++);
              v["NMDateTimeTeh_Obrat"] = "20240101120000";
              v["NMStoimost"] = 45.5;
              rs.insertRecord(v);
          }));
    print(rows, "delete one row", bench::measure(20, [&] { rs.deleteRecords({0}); }));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    for (int rows : {10000, 100000}) {
        const QString path = dir.filePath(QString("journal-%1.db").arg(rows));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        db::Connection c;
        c.open(path);
        createJournal(c, rows);
        measureSet(c, rows, false);
        measureSet(c, rows, true);
    }
    return 0;
}
