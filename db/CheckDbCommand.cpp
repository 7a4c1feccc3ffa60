#include "db/CheckDbCommand.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "core/Error.h"
#include "core/MessageService.h"

#include <QTextStream>
#include <cstdio>

namespace db {

int runCheckDbCommand(const QString &path)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCheckDbCommand(path, out, err);
}

int runCheckDbCommand(const QString &path, QTextStream &out, QTextStream &err)
{
    bool failed = false;
    const auto problem = [&](const QString &text) {
        err << text << Qt::endl;
        failed = true;
    };
    try {
        const StructureReport report = ProverkaStrukturiBD(path, QString(), QString(), problem);
        for (const QString &line : report.added)
            out << line << Qt::endl;
        if (report.refused)
            problem(report.failure);
        else if (!report.failure.isEmpty())
            problem(QStringLiteral("Проверка структуры базы данных ") + path
                    + QStringLiteral(" прервана: ") + report.failure);
    } catch (const core::Error &e) {
        problem(core::errorText(e.className(), e.message(), true));
    } catch (const std::exception &e) {
        problem(QStringLiteral("Ошибка проверки структуры базы данных: ")
                + QString::fromUtf8(e.what()));
    }
    out.flush();
    err.flush();
    return failed ? 1 : 0;
}

} // namespace db
