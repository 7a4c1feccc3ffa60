// Times a new employee barcode (once per employee of an import) among 10,000
// employees with the system's own codes and 1,000 foreign ones, the same at
// the serial limit, and the drawing of one symbol.
// Usage: bench_barcode [folder for the database file]
#include "BenchStats.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "staff/RabotaSoShtrKodom.h"
#include "staff/barcod.h"

#include <QFile>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kOwn = 10000;
constexpr int kForeign = 1000;

void print(const char *what, const bench::Figures &f)
{
    std::printf("%-58s median %8.3f ms   p95 %8.3f ms\n", what, f.median, f.p95);
    std::fflush(stdout);
}

void fillUsers(db::Connection &c, int firstSerial)
{
    db::Transaction transaction(c);
    QSqlQuery q = c.prepare(QStringLiteral("INSERT INTO Users (NM, RecID, ShtrKod) VALUES (?, ?, ?)"));
    for (int i = 0; i < kOwn + kForeign; ++i) {
        q.addBindValue(QStringLiteral("Сотрудник %1").arg(i));
        q.addBindValue(core::newRecId());
        q.addBindValue(i < kOwn ? RabotaSoShtrKodom::SborkaShtrKoda(firstSerial + i, "0", "00")
                                : QStringLiteral("46%1").arg(i, 11, 10, QLatin1Char('0')));
        db::Connection::execPrepared(q);
    }
    transaction.commit();
}

QString prepare(QTemporaryDir &tmp, const QString &name)
{
    const QString path = tmp.filePath(name);
    QFile(path).open(QIODevice::WriteOnly);
    const db::StructureReport report = db::ProverkaStrukturiBD(path, QString(), QString(), {});
    if (!report.failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", report.failure.toUtf8().constData());
        std::exit(1);
    }
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir tmp(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench_barcode-XXXXXX")
                               : QString());
    if (!tmp.isValid()) {
        std::fprintf(stderr, "Не удалось создать временную папку\n");
        return 1;
    }

    const QString path = prepare(tmp, QStringLiteral("CRDB.mdb"));
    {
        db::Connection c;
        c.open(path);
        fillUsers(c, 1);
    }
    core::pv().Nastroyki.PutKFayluBD = path;
    std::printf("next after %d own codes: %s\n", kOwn,
                RabotaSoShtrKodom::GeneratsiyaShtrKoda("0", "00", RabotaSoShtrKodom::kPredelNomera)
                    .toUtf8().constData());
    print("GeneratsiyaShtrKoda (11,000 employees)", bench::measure(200, [] {
              RabotaSoShtrKodom::GeneratsiyaShtrKoda("0", "00", RabotaSoShtrKodom::kPredelNomera);
          }));

    // The last 10,000 serials below the limit all held: the worst walk down.
    const QString full = prepare(tmp, QStringLiteral("CRDB-full.mdb"));
    {
        db::Connection c;
        c.open(full);
        fillUsers(c, RabotaSoShtrKodom::kPredelNomera - kOwn + 1);
    }
    core::pv().Nastroyki.PutKFayluBD = full;
    std::printf("next at the limit: %s\n",
                RabotaSoShtrKodom::GeneratsiyaShtrKoda("0", "00", RabotaSoShtrKodom::kPredelNomera)
                    .toUtf8().constData());
    print("GeneratsiyaShtrKoda at the limit, 10,000 serials held", bench::measure(50, [] {
              RabotaSoShtrKodom::GeneratsiyaShtrKoda("0", "00", RabotaSoShtrKodom::kPredelNomera);
          }));

    print("RisovanieEAN13", bench::measure(500, [] {
              barcod::RisovanieEAN13(QStringLiteral("2000000001234"), Qt::black, 10, false);
          }));
    return 0;
}
