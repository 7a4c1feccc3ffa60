#include "db/CheckDbCommand.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "core/Error.h"
#include "core/MessageService.h"
#include "core/RegistryLogin.h"

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
        // A file has no login; a server is logged in to as the program does.
        const core::DbLogin login = isServerUrl(path) ? core::readDbLogin() : core::DbLogin{};
        const StructureReport report = ProverkaStrukturiBD(path, login.user, login.password, problem);
        for (const QString &line : report.added)
            out << line << Qt::endl;
        if (report.refused)
            problem(report.failure);
        else if (!report.failure.isEmpty())
            problem(QStringLiteral("Проверка структуры базы данных ") + shownPath(path)
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
