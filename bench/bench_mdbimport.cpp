// Times the conversion of the public Northwind sample (about 4,000 rows in
// nine tables, pictures and memos among them) into a new database, and
// prints rows per second. Usage: bench_mdbimport [Access file]
#include "BenchStats.h"
#include "mdbimport/AccessImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString source = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral(TRAPEZON_SHARED_DATA "/nwind.mdb");
    QTemporaryDir dir;
    const QString target = QDir(dir.path()).filePath(QStringLiteral("bench.sqlite"));
    qint64 rows = 0;
    const bench::Figures f = bench::measure(7, [&] {
        QFile::remove(target);
        rows = 0;
        for (const auto &t : mdbimport::importAccess({source, target, false}).tables)
            rows += t.rows;
    });
    std::printf("%-40s %lld rows   median %8.1f ms   p95 %8.1f ms   %10.0f rows/s\n",
                "conversion of the Access file", static_cast<long long>(rows), f.median, f.p95,
                double(rows) / (f.median / 1000.0));
    return 0;
}
