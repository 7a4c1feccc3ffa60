#include "ImportMdbCommand.h"
#include "AccessFile.h"
#include "AccessImport.h"

#include "core/Error.h"

#include <QTextStream>
#include <functional>

namespace mdbimport {

namespace {

const QString kUsage = QStringLiteral(
    "Использование: trapezon --import-mdb ФАЙЛ.mdb [--db НОВАЯ_БАЗА] [--append]");

} // namespace

int runImportMdbCommand(const QStringList &arguments, const QString &configuredTarget,
                        const std::function<void(const QString &)> &repoint, QTextStream &out,
                        QTextStream &err)
{
    ImportRequest request;
    bool explicitTarget = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--db")) {
            if (i + 1 >= arguments.size()) {
                err << QStringLiteral("После --db не указан файл базы данных") << Qt::endl
                    << kUsage << Qt::endl;
                return 1;
            }
            request.target = arguments[++i];
            explicitTarget = true;
        } else if (a == QLatin1String("--append")) {
            request.append = true;
        } else if (a.startsWith(QLatin1String("--")) || !request.source.isEmpty()) {
            err << QStringLiteral("Непонятный параметр: ") << a << Qt::endl << kUsage << Qt::endl;
            return 1;
        } else {
            request.source = a;
        }
    }
    if (request.source.isEmpty()) {
        err << QStringLiteral("Не указан файл Microsoft Access") << Qt::endl << kUsage << Qt::endl;
        return 1;
    }
    bool repointing = false;
    if (!explicitTarget) {
        request.target = configuredTarget;
        if (AccessFile::isAccessFile(configuredTarget)) {
            request.target = convertedDatabasePath(configuredTarget);
            repointing = true;
        }
    }

    try {
        const auto progress = [&](const ImportProgress &p) {
            if (p.tableDone > 0)
                out << QStringLiteral("  ") << p.table << QStringLiteral(": ") << p.tableDone
                    << QStringLiteral(" из ") << p.tableRows << Qt::endl;
            return true;
        };
        const ImportOutcome outcome = importAccess(request, progress);
        for (const QString &line : outcomeLines(outcome))
            out << line << Qt::endl;
        for (const QString &line : outcome.structureAdded)
            out << line << Qt::endl;
        out << QStringLiteral("Данные перенесены в ") << request.target << Qt::endl;
        if (repointing && repoint) {
            repoint(request.target);
            out << QStringLiteral("В CRIni.ini указана новая база данных ") << request.target
                << Qt::endl;
        }
    } catch (const core::Error &e) {
        err << e.message() << Qt::endl;
        return 1;
    } catch (const std::exception &e) {
        err << QStringLiteral("Ошибка переноса данных: ") << QString::fromUtf8(e.what())
            << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace mdbimport
