#include "reports/OfficeCommands.h"

#include "core/Error.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/RegistryLogin.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "reports/OtchetExcel.h"
#include "reports/OtchetViborka.h"
#include "reports/SheetReader.h"
#include "reports/ZagruzkaIzExcel.h"

#include <QDate>
#include <QHash>
#include <QTextStream>

namespace reports {

namespace {

const QString kImport = QStringLiteral("--import-employees");
const QString kExport = QStringLiteral("--export-report");
const QString kUsage = QStringLiteral(
    "Использование:\n"
    "  trapezon --import-employees ФАЙЛ [--db ПУТЬ]\n"
    "  trapezon --export-report ФАЙЛ.xlsx [--from ДД.ММ.ГГГГ] [--to ДД.ММ.ГГГГ] [--org НАЗВАНИЕ]\n"
    "           [--employee Ф.И.О.] [--vid 0..4] [--db ПУТЬ]");

struct Options
{
    QString command;           // kImport or kExport
    QString target;            // the file the command reads or writes
    QHash<QString, QString> values; // --db and the other named options
};

// Parses "COMMAND VALUE [--name VALUE]..."; an empty text when it parsed,
// else what is wrong.
QString parse(const QStringList &args, const QStringList &names, Options &o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == kImport || a == kExport) {
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
            err << QStringLiteral("Проверка структуры базы данных %1 прервана: %2").arg(db::shownPath(path), report.failure)
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

int runExport(const Options &o, QTextStream &out, QTextStream &err)
{
    // The bounds and filters of the report window; an absent bound is open.
    Otbor otbor;
    for (const auto &[name, bound] : {std::pair{QStringLiteral("--from"), &otbor.nachalo},
                                      std::pair{QStringLiteral("--to"), &otbor.konets}}) {
        if (!o.values.contains(name))
            continue;
        const QDate d = core::parseRuDate(o.values.value(name));
        if (!d.isValid()) {
            err << QStringLiteral("Дата после %1 указана неверно: «%2» (нужно ДД.ММ.ГГГГ).")
                       .arg(name, o.values.value(name))
                << Qt::endl;
            return 1;
        }
        *bound = d;
    }
    if (o.values.contains(QStringLiteral("--vid"))) {
        bool ok = false;
        otbor.vidPitaniya = o.values.value(QStringLiteral("--vid")).toInt(&ok);
        if (!ok || otbor.vidPitaniya < 0 || otbor.vidPitaniya > 4) {
            err << QStringLiteral("Вид питания после --vid: число от 0 (\"Все\") до 4 (\"Ночное\").") << Qt::endl;
            return 1;
        }
    }
    otbor.org = o.values.value(QStringLiteral("--org"));
    otbor.sotr = o.values.value(QStringLiteral("--employee"));
    if (!PeriodiVerni(otbor)) {
        err << kNepravilnoUkazaniPeriodi << Qt::endl;
        return 1;
    }

    const QString dbPath = o.values.value(QStringLiteral("--db"));
    if (const QString problem = db::checkDatabaseFile(dbPath); !problem.isEmpty()) {
        err << problem << Qt::endl;
        return 1;
    }
    const core::DbLogin login = core::readDbLogin();
    auto &n = core::pv().Nastroyki;
    n.PutKFayluBD = dbPath;
    n.BDLogin = login.user;
    n.BDPass = login.password;

    // The report only reads: the database is not brought up to date here.
    DannieOtcheta dannie;
    bool failed = false;
    const Otchet otchet = Sformirovat(dannie, otbor, [&](const std::exception &e) {
        const auto *own = dynamic_cast<const core::Error *>(&e);
        err << (own ? core::errorText(own->className(), own->message(), true)
                    : QString::fromLocal8Bit(e.what()))
            << Qt::endl;
        failed = true;
    });
    if (failed)
        return 1;
    QStringList polya;
    for (const auto &k : KolonkiOtcheta())
        polya << k.field;
    try {
        ZapisatOtchetVExcel(OtchetIzZapisey(otchet.stroka, *dannie.zapisi(), polya, otchet.itogi), o.target);
    } catch (const core::Error &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    out << QStringLiteral("Отчёт записан в %1: %2 записей.").arg(o.target).arg(dannie.kolichestvo()) << Qt::endl;
    return 0;
}

} // namespace

bool isOfficeCommand(const QStringList &args)
{
    return args.contains(kImport) || args.contains(kExport);
}

int runOfficeCommand(const QStringList &args, const std::function<QString()> &defaultDbPath,
                     QTextStream &out, QTextStream &err)
{
    Options o;
    QStringList names = {QStringLiteral("--db")};
    if (args.contains(kExport))
        names << QStringLiteral("--from") << QStringLiteral("--to") << QStringLiteral("--org")
              << QStringLiteral("--employee") << QStringLiteral("--vid");
    QString problem = parse(args, names, o);
    if (problem.isEmpty() && o.command.isEmpty())
        problem = QStringLiteral("Не задана команда.");
    int rc = 1;
    if (!problem.isEmpty()) {
        err << problem << Qt::endl << kUsage << Qt::endl;
    } else {
        if (o.values.value(QStringLiteral("--db")).isEmpty())
            o.values.insert(QStringLiteral("--db"), defaultDbPath());
        rc = o.command == kImport ? runImport(o, out, err) : runExport(o, out, err);
    }
    out.flush();
    err.flush();
    return rc;
}

} // namespace reports
