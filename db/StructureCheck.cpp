#include "db/StructureCheck.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "core/Error.h"
#include "core/MessageService.h"

#include <QHash>

namespace db {

namespace {

const QString kNvarchar = QStringLiteral("NVARCHAR");
const QString kSize255 = QStringLiteral("255");

struct ColumnSpec
{
    const char *table;
    const char *column;
    const char *type = "NVARCHAR";
    const char *size = "255";
};

// The order in which tables and columns are added is the order of the
// columns in a new database; it must not change.
const char *const kTables[] = {"CRLogString", "Dolj",      "MenuPit", "Org",
                               "Podr",        "SpisokDoc", "Users",   "BPTools"};

const ColumnSpec kColumns[] = {
    {"CRLogString", "Count", "INT", ""},
    {"CRLogString", "DateTime"},
    {"CRLogString", "Rec"},
    {"Dolj", "RecID"},
    {"Dolj", "NM"},
    {"MenuPit", "RecID"},
    {"MenuPit", "NMBl"},
    {"MenuPit", "Stoimost", "MONEY", ""},
    {"Org", "RecID"},
    {"Org", "NM"},
    {"Podr", "RecID"},
    {"Podr", "NM"},
    {"SpisokDoc", "NMZapisID"},
    {"SpisokDoc", "NMDateVid"},
    {"SpisokDoc", "NMTimeVid"},
    {"SpisokDoc", "NMDateTimeTeh"},
    {"SpisokDoc", "NMAllTeh"},
    {"SpisokDoc", "NMFIO"},
    {"SpisokDoc", "NMTabNum"},
    {"SpisokDoc", "NMCardNum"},
    {"SpisokDoc", "NMDolj"},
    {"SpisokDoc", "NMPodr"},
    {"SpisokDoc", "NMOrg"},
    {"SpisokDoc", "NMITR"},
    {"SpisokDoc", "NMVid"},
    {"SpisokDoc", "NMUserGUID"},
    {"SpisokDoc", "NMStoimost", "MONEY", ""},
    {"Users", "NM"},
    {"Users", "NMOrg"},
    {"Users", "NMPodr"},
    {"Users", "NMDolj"},
    {"Users", "NMTabNum"},
    {"Users", "NMCardNum"},
    {"Users", "NMITR"},
    {"Users", "RecID"},
    {"Users", "ShtrKod"},
    {"SpisokDoc", "ShtrKod"},
    {"BPTools", "NMNam"},
    {"BPTools", "NMVal"},
    {"BPTools", "RecID"},
};

// Indexes for the journal's period selections (the sort key compared as a
// number, as the journal query does), the duplicate rule (day, meal type,
// employee) and the employee look-ups. They use only SQLite's own
// functions, so any SQLite tool can still open the file; they are not part
// of the table structure and are not reported.
const char *const kIndexes[] = {
    "CREATE INDEX IF NOT EXISTS IX_SpisokDoc_Obrat_Vid"
    " ON SpisokDoc(CAST(NMDateTimeTeh_Obrat AS REAL), NMVid)",
    "CREATE INDEX IF NOT EXISTS IX_SpisokDoc_Povtor ON SpisokDoc(NMDateVid, NMVid, NMUserGUID)",
    "CREATE INDEX IF NOT EXISTS IX_Users_ShtrKod ON Users(ShtrKod)",
    "CREATE INDEX IF NOT EXISTS IX_Users_NMCardNum ON Users(NMCardNum)",
};

// The same indexes on a server. The journal's period selection compares
// CCur of the sort key, and the index is made on the very expression the
// adapter writes for it, so that the server can use it.
const char *const kServerIndexes[] = {
    "CREATE INDEX IF NOT EXISTS IX_SpisokDoc_Obrat_Vid"
    " ON SpisokDoc(CCur(NMDateTimeTeh_Obrat), NMVid)",
    "CREATE INDEX IF NOT EXISTS IX_SpisokDoc_Povtor ON SpisokDoc(NMDateVid, NMVid, NMUserGUID)",
    "CREATE INDEX IF NOT EXISTS IX_Users_ShtrKod ON Users(ShtrKod)",
    "CREATE INDEX IF NOT EXISTS IX_Users_NMCardNum ON Users(NMCardNum)",
};

// The stored form of the empty password: the protection prefix with every
// character code complemented.
QString emptyPasswordForm()
{
    QString form = QStringLiteral("KontrolnayaVstavkaZ");
    for (QChar &c : form)
        c = QChar(char16_t(0xFFFF - c.unicode()));
    return form;
}

QString tableAdded(const QString &table)
{
    return QStringLiteral("Создана таблица ") + table;
}

QString columnAdded(const QString &table, const QString &column)
{
    return QStringLiteral("Добавлен столбец ") + table + QStringLiteral(".") + column;
}

// The routines' connection is closed however the check ends.
struct RoutinesCloser
{
    ~RoutinesCloser() { DBTools::ZakritBD(); }
};

void createIndexes(Connection &c)
{
    const auto &list = c.isServer() ? kServerIndexes : kIndexes;
    for (const char *statement : list) {
        try {
            c.exec(QString::fromLatin1(statement));
        } catch (const core::Error &) {
            // Only speed depends on them; the next check tries again.
        }
    }
}

} // namespace

QStringList programTables()
{
    QStringList out;
    for (const char *name : kTables)
        out << QString::fromLatin1(name);
    return out;
}

QStringList programColumns(const QString &table)
{
    if (!programTables().contains(table))
        return {};
    QStringList out{QStringLiteral("TechInfStlb")};
    for (const ColumnSpec &spec : kColumns)
        if (table == QLatin1String(spec.table))
            out << QString::fromLatin1(spec.column);
    if (table == QLatin1String("SpisokDoc"))
        out << QStringLiteral("NMDateTimeTeh_Obrat");
    return out;
}

QString programSpelling(const QString &name)
{
    static const QHash<QString, QString> spelling = [] {
        QHash<QString, QString> out;
        for (const QString &table : programTables()) {
            out.insert(table.toLower(), table);
            for (const QString &column : programColumns(table))
                out.insert(column.toLower(), column);
        }
        return out;
    }();
    return spelling.value(name.toLower(), name);
}

void addServerRowId(Connection &connection, const QString &table)
{
    if (!connection.isServer() || connection.hasRowIds(table))
        return;
    // Numbered by the server alone: no statement of the program ever gives
    // it a value, so two points never hand out the same one.
    connection.exec(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD COLUMN ")
                    + QString::fromLatin1(Connection::kServerRowId)
                    + QStringLiteral(" BIGINT GENERATED ALWAYS AS IDENTITY UNIQUE"));
}

QString programColumnType(const QString &table, const QString &column)
{
    if (!programTables().contains(table))
        return QString();
    if (column == QLatin1String("TechInfStlb")
        || (table == QLatin1String("SpisokDoc") && column == QLatin1String("NMDateTimeTeh_Obrat")))
        return kNvarchar + QStringLiteral("(") + kSize255 + QStringLiteral(")");
    for (const ColumnSpec &spec : kColumns) {
        if (table != QLatin1String(spec.table) || column != QLatin1String(spec.column))
            continue;
        const QString type = QString::fromLatin1(spec.type);
        return *spec.size ? type + QStringLiteral("(") + QString::fromLatin1(spec.size)
                                + QStringLiteral(")")
                          : type;
    }
    return QString();
}

StructureReport ProverkaStrukturiBD(const QString &path, const QString &user,
                                    const QString &password,
                                    const std::function<void(const QString &)> &showMessage)
{
    using namespace DBTools;
    StructureReport report;
    const auto show = [&](const QString &text) {
        if (showMessage)
            showMessage(text);
        else
            core::showMessage(text, core::Icon::Error);
    };

    // A damaged file is refused before anything is written to it: adding
    // columns or switching the journal mode could only damage it further.
    if (const QString problem = verifyDatabaseFile(path); !problem.isEmpty()) {
        report.failure = problem;
        report.refused = true;
        return report;
    }

    const QString opened = OtkritBD(path, user, password);
    const RoutinesCloser closer;
    if (opened != kOk) {
        report.failure = opened;
        return report;
    }

    for (const char *name : kTables) {
        const QString table = QString::fromLatin1(name);
        const QString exists = ProverkaNalichiyaTablitsy(table);
        if (exists == kOk)
            continue;
        if (exists != kNo) {
            report.failure = exists;
            return report;
        }
        const QString created =
            SozdanieTablitsy(table, QStringLiteral("TechInfStlb"), kNvarchar, kSize255, true);
        if (created != kOk) {
            report.failure = created;
            return report;
        }
        report.added << tableAdded(table);
    }

    for (const ColumnSpec &spec : kColumns) {
        const QString table = QString::fromLatin1(spec.table);
        const QString column = QString::fromLatin1(spec.column);
        const QString exists = ProverkaNalichiyaStolbtsa(table, column);
        if (exists == kOk)
            continue;
        // Only a column known to be missing is added; a read error is no answer.
        if (exists != kNo) {
            report.failure = exists;
            return report;
        }
        const QString added = DobavlenieStolbtsa(table, column, QString::fromLatin1(spec.type),
                                                 QString::fromLatin1(spec.size), true);
        if (added != kOk) {
            report.failure = added;
            return report;
        }
        report.added << columnAdded(table, column);
    }

    ZnacheniyeParametra(QStringLiteral("BPTools"), QStringLiteral("NMNam"),
                        QStringLiteral("NMVal"), QStringLiteral("SppS"), emptyPasswordForm(),
                        false);

    const QString sortKey = QStringLiteral("NMDateTimeTeh_Obrat");
    if (ProverkaNalichiyaStolbtsa(QStringLiteral("SpisokDoc"), sortKey) != kOk) {
        const QString added =
            DobavlenieStolbtsa(QStringLiteral("SpisokDoc"), sortKey, kNvarchar, kSize255, true);
        if (added != kOk) {
            report.failure = added;
            return report;
        }
        report.added << columnAdded(QStringLiteral("SpisokDoc"), sortKey);
        try {
            connection()->exec(QStringLiteral(
                "UPDATE SpisokDoc SET NMDateTimeTeh_Obrat = Mid(NMDateTimeTeh, 5, 4) + "
                "Mid(NMDateTimeTeh, 3, 2) + Mid(NMDateTimeTeh, 1, 2) + Mid(NMDateTimeTeh, 9, 6)"));
        } catch (const core::Error &e) {
            show(core::errorText(e.className(), e.message(), false));
        }
    }

    if (ProverkaNalichiyaStolbtsa(QStringLiteral("SpisokDoc"), QStringLiteral("NMNoCard")) == kOk)
        connection()->exec(QStringLiteral("ALTER TABLE SpisokDoc DROP NMNoCard"));

    // A server has no rowid: the grids need the key column before any row is shown.
    for (const char *name : kTables) {
        try {
            addServerRowId(*connection(), QString::fromLatin1(name));
        } catch (const core::Error &e) {
            report.failure = core::errorText(e.className(), e.message(), false);
            return report;
        }
    }

    createIndexes(*connection());
    return report;
}

} // namespace db
