#include "ColumnMapping.h"
#include "db/Money.h"
#include "db/StructureCheck.h"

#include <QDateTime>
#include <QLocale>

namespace mdbimport {

namespace {

QString fromMoneyUnits(qlonglong units)
{
    const db::Money m = db::Money::fromUnits(units);
    // The price form when it says it all, else every decimal there is.
    if (m.units() % 100 == 0)
        return m.text();
    return m.sqlLiteral().replace(QLatin1Char('.'), QLatin1Char(','));
}

// The text forms the program's own text columns keep dates and times in.
QString dateText(const QDateTime &dt, const QString &column)
{
    if (column == QLatin1String("NMDateVid"))
        return dt.toString(QStringLiteral("dd.MM.yyyy"));
    if (column == QLatin1String("NMTimeVid"))
        return dt.toString(QStringLiteral("HH:mm:ss"));
    if (column == QLatin1String("NMDateTimeTeh"))
        return dt.toString(QStringLiteral("ddMMyyyyHHmmss"));
    if (column == QLatin1String("NMDateTimeTeh_Obrat"))
        return dt.toString(QStringLiteral("yyyyMMddHHmmss"));
    // Elsewhere as Access shows a date in the Russian locale: without the
    // time when it is midnight.
    if (dt.time() == QTime(0, 0))
        return dt.toString(QStringLiteral("dd.MM.yyyy"));
    return dt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString numberText(double d)
{
    return QString::number(d, 'g', QLocale::FloatingPointShortest)
        .replace(QLatin1Char('.'), QLatin1Char(','));
}

QVariant asText(const QVariant &v, const TargetColumn &c)
{
    switch (c.sourceType) {
    case SourceType::Text:
    case SourceType::Memo:
    case SourceType::RepId:
        return v;
    case SourceType::Bool:
        // The program's marks are "Да" or nothing (И.Т.Р.).
        return v.toBool() ? QStringLiteral("Да") : QString();
    case SourceType::Byte:
    case SourceType::Int:
    case SourceType::LongInt:
    case SourceType::Complex:
        return QString::number(v.toLongLong());
    case SourceType::Money:
        return fromMoneyUnits(v.toLongLong());
    case SourceType::Float:
    case SourceType::Double:
        return numberText(v.toDouble());
    case SourceType::Numeric:
        return v.toString().replace(QLatin1Char('.'), QLatin1Char(','));
    case SourceType::DateTime:
        if (v.typeId() == QMetaType::QDateTime)
            return dateText(v.toDateTime(), c.name);
        return v;
    default:
        return v; // bytes stay bytes
    }
}

QVariant asMoney(const QVariant &v, const TargetColumn &c)
{
    std::optional<db::Money> m;
    switch (c.sourceType) {
    case SourceType::Money: m = db::Money::fromUnits(v.toLongLong()); break;
    case SourceType::Bool: m = db::Money::fromUnits(v.toBool() ? db::Money::kScale : 0); break;
    case SourceType::Byte:
    case SourceType::Int:
    case SourceType::LongInt:
    case SourceType::Float:
    case SourceType::Double:
    case SourceType::Text:
    case SourceType::Memo:
    case SourceType::Numeric: m = db::Money::fromVariant(v); break;
    default: break;
    }
    return m ? m->toVariant() : v;
}

QVariant asInteger(const QVariant &v, const TargetColumn &c)
{
    switch (c.sourceType) {
    case SourceType::Bool: return qlonglong(v.toBool() ? 1 : 0);
    case SourceType::Byte:
    case SourceType::Int:
    case SourceType::LongInt:
    case SourceType::Complex: return v;
    case SourceType::Text:
    case SourceType::Memo:
    case SourceType::Numeric: {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        return ok ? QVariant(n) : v;
    }
    case SourceType::Money: return asMoney(v, c);
    default: return v;
    }
}

QVariant asRead(const QVariant &v, const TargetColumn &c)
{
    switch (c.sourceType) {
    case SourceType::Bool: return qlonglong(v.toBool() ? 1 : 0);
    case SourceType::Money: return db::Money::fromUnits(v.toLongLong()).toVariant();
    case SourceType::DateTime:
        // SQLite's own date form, which its date functions read.
        if (v.typeId() == QMetaType::QDateTime)
            return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return v;
    default: return v;
    }
}

} // namespace

QString programTableName(const QString &accessName)
{
    for (const QString &t : db::programTables())
        if (t.compare(accessName, Qt::CaseInsensitive) == 0)
            return t;
    return QString();
}

QString sqliteType(const SourceColumn &column)
{
    switch (column.type) {
    case SourceType::Bool: return QStringLiteral("BOOLEAN");
    case SourceType::Byte: return QStringLiteral("TINYINT");
    case SourceType::Int: return QStringLiteral("SMALLINT");
    case SourceType::LongInt:
    case SourceType::Complex: return QStringLiteral("INTEGER");
    case SourceType::Money: return QStringLiteral("MONEY");
    case SourceType::Float: return QStringLiteral("REAL");
    case SourceType::Double: return QStringLiteral("DOUBLE");
    case SourceType::DateTime: return QStringLiteral("DATETIME");
    case SourceType::Text:
        return QStringLiteral("NVARCHAR(%1)").arg(column.size > 0 ? column.size : 255);
    // A type with TEXT affinity: a memo of digits must stay text.
    case SourceType::Memo: return QStringLiteral("TEXT");
    case SourceType::RepId: return QStringLiteral("VARCHAR(38)");
    case SourceType::Numeric:
        return QStringLiteral("DECIMAL(%1,%2)").arg(column.precision).arg(column.scale);
    case SourceType::Binary:
    case SourceType::Ole:
    case SourceType::Other: return QStringLiteral("BLOB");
    }
    return QStringLiteral("BLOB");
}

QList<TargetColumn> planColumns(const QString &programTable, const QList<SourceColumn> &columns)
{
    const QStringList known = db::programColumns(programTable);

    QList<TargetColumn> out;
    for (int i = 0; i < columns.size(); ++i) {
        const SourceColumn &s = columns[i];
        TargetColumn t;
        t.sourceIndex = i;
        t.sourceType = s.type;
        t.name = s.name;
        for (const QString &k : known) {
            if (k.compare(s.name, Qt::CaseInsensitive) == 0) {
                t.name = k;
                t.declaredType = db::programColumnType(programTable, k);
                break;
            }
        }
        if (t.declaredType.isEmpty()) {
            t.declaredType = sqliteType(s);
            t.form = TargetForm::AsRead;
        } else if (t.declaredType == QLatin1String("MONEY")) {
            t.form = TargetForm::Money;
        } else if (t.declaredType == QLatin1String("INT")) {
            t.form = TargetForm::Integer;
        } else {
            t.form = TargetForm::Text;
        }
        out << t;
    }
    return out;
}

QVariant targetValue(const QVariant &value, const TargetColumn &column)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (column.form) {
    case TargetForm::Text: return asText(value, column);
    case TargetForm::Money: return asMoney(value, column);
    case TargetForm::Integer: return asInteger(value, column);
    case TargetForm::AsRead: return asRead(value, column);
    }
    return value;
}

} // namespace mdbimport
