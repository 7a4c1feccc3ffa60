#include "reports/OfficeCommands.h"

#include "core/Error.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/RegistryLogin.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "reports/SheetReader.h"
#include "reports/ZagruzkaIzExcel.h"

#include <QHash>
#include <QTextStream>

namespace reports {

namespace {

const QString kImport = QStringLiteral("--import-employees");

struct Options
{
    QString command;           // kImport
    QString target;            // the file the command reads
    QHash<QString, QString> values; // --db and the other named options
};

// Parses "COMMAND VALUE [--name VALUE]..."; an empty text when it parsed,
// else what is wrong.
QString parse(const QStringList &args, const QStringList &names, Options &o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == kImport) {
            if (!o.command.isEmpty())
                return QStringLiteral("Задано больше одной команды.");
            o.command = a;
            if (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--")))
                return QStringLiteral("После %1 нужно имя файла.").arg(a);
            o.target = args[++i];
        } else if (names.contains(a)) {
            if (i + 1 >= args.size())
                return QStringLiteral("После %1 нужно значение.").arg(a);
            o.values.insert(a, args[++i]);
        } else {
            return QStringLiteral("Неизвестный параметр: %1").arg(a);
        }
    }
    return QString();
}

// Opens the database as the main window would at start: the file checked,
// its structure brought up to date, the in-memory settings pointing at it.
bool openDatabase(const QString &path, db::Connection &c, QTextStream &err)
{
    if (const QString problem = db::checkDatabaseFile(path); !problem.isEmpty()) {
        err << problem << Qt::endl;
        return false;
    }
    const core::DbLogin login = core::readDbLogin();
    auto &n = core::pv().Nastroyki;
    n.PutKFayluBD = path;
    n.BDLogin = login.user;
    n.BDPass = login.password;
    bool ok = true;
    try {
        const db::StructureReport report = db::ProverkaStrukturiBD(
            path, login.user, login.password, [&](const QString &text) {
                err << text << Qt::endl;
                ok = false;
            });
        if (!report.failure.isEmpty()) {
            err << QStringLiteral("Проверка структуры базы данных %1 прервана: %2").arg(path, report.failure)
                << Qt::endl;
            return false;
        }
        c.open(path, login.user, login.password);
    } catch (const core::Error &e) {
        err << core::errorText(e.className(), e.message(), true) << Qt::endl;
        return false;
    }
    return ok;
}

int runImport(const Options &o, QTextStream &out, QTextStream &err)
{
    // The file first: a missing, damaged or foreign one leaves the database untouched.
    SheetData sheet;
    try {
        sheet = readFirstSheet(o.target);
    } catch (const core::Error &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    db::Connection c;
    if (!openDatabase(o.values.value(QStringLiteral("--db")), c, err))
        return 1;
    const ItogZagruzki itog = ZagruzitSotrudnikov(sheet, c);
    if (!itog.oshibka.isEmpty())
        err << itog.oshibka << Qt::endl;
    if (itog.netDannyh) {
        err << itog.soobshcheniya().constLast() << Qt::endl;
        return 1;
    }
    out << itog.soobshcheniya().constLast() << Qt::endl;
    return itog.oshibka.isEmpty() ? 0 : 1;
}

} // namespace

bool isOfficeCommand(const QStringList &args)
{
    return args.contains(kImport);
}

int runOfficeCommand(const QStringList &args, const std::function<QString()> &defaultDbPath,
                     QTextStream &out, QTextStream &err)
{
    Options o;
    const QString problem = parse(args, {QStringLiteral("--db")}, o);
    int rc = 1;
    if (!problem.isEmpty()) {
        err << problem << Qt::endl
            << QStringLiteral("Использование: trapezon --import-employees ФАЙЛ [--db ПУТЬ]") << Qt::endl;
    } else {
        if (!o.values.contains(QStringLiteral("--db")) || o.values.value(QStringLiteral("--db")).isEmpty())
            o.values.insert(QStringLiteral("--db"), defaultDbPath());
        rc = runImport(o, out, err);
    }
    out.flush();
    err.flush();
    return rc;
}

} // namespace reports
