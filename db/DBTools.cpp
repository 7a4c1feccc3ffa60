#include "db/DBTools.h"
#include "db/Connection.h"
#include "core/Error.h"
#include "core/MessageService.h"
#include "core/TextUtil.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <memory>
#include <utility>

namespace DBTools {

namespace {

const QString kGenericClass = QStringLiteral("Exception");
const QString kParameterSeparator = QStringLiteral(" Ошибка: ");

// The one process-wide set of the routines' connection objects.
std::unique_ptr<db::Connection> &current()
{
    static std::unique_ptr<db::Connection> connection;
    return connection;
}

// Qt's own connection registry is gone by the time function statics are
// destroyed, so a connection nobody closed is released with the application.
void releaseAtExit()
{
    current().reset();
}

void ensureReleasedAtExit()
{
    // Once per application object: its post routines go with it.
    static const QCoreApplication *registeredWith = nullptr;
    const QCoreApplication *app = QCoreApplication::instance();
    if (app && app != registeredWith) {
        qAddPostRoutine(releaseAtExit);
        registeredWith = app;
    }
}

// Runs `body`; any error becomes class name + separator + message.
template <typename Body>
QString guarded(Body &&body, const QString &separator = QString())
{
    const auto text = [&](const QString &className, const QString &message) {
        return separator.isEmpty() ? core::errorText(className, message, false)
                                   : className + separator + message;
    };
    try {
        return body();
    } catch (const core::Error &e) {
        return text(e.className(), e.message());
    } catch (const std::exception &e) {
        return text(kGenericClass, QString::fromUtf8(e.what()));
    } catch (...) {
        return text(kGenericClass, QStringLiteral("Неизвестная ошибка"));
    }
}

QString columnDefinition(const QString &column, const QString &type, const QString &size,
                         bool nullsAllowed)
{
    QString sizePart;
    if (!core::trimCodes(size).isEmpty() && type != QLatin1String("Bool"))
        sizePart = QStringLiteral("(") + size + QStringLiteral(")");
    return QStringLiteral("[") + column + QStringLiteral("] ") + type + sizePart
           + (nullsAllowed ? QStringLiteral(" NULL") : QStringLiteral(" NOT NULL"));
}

QString quoted(const QString &value)
{
    return QStringLiteral("'") + core::sqlQuoted(value) + QStringLiteral("'");
}

bool isEmptyDate(const QString &date)
{
    return date.isEmpty() || date == QLatin1String("0") || date == QLatin1String("0.0")
           || date == QLatin1String("0,0");
}

bool isDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A period bound: the date's digits with the time appended, turned into the
// sort key. Anything but digits (a mistyped date) is put in quotes, where it
// matches no row instead of becoming part of the statement.
QString periodBound(const QString &date, const QString &time)
{
    QString digits = date;
    for (const QChar separator : {u'.', u',', u':', u';', u'-', u'_'})
        digits.remove(separator);
    const QString key = PerevorotDaty(core::trimCodes(digits) + time);
    return isDigits(key) ? key : quoted(key);
}

// The money filter is compared as a number and so stands without quotes;
// a price written with a decimal comma becomes a decimal point, and a text
// that is no number is quoted so that it cannot change the statement.
QString moneyOperand(const QString &value)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+([.,][0-9]+)?$"));
    const QString t = core::trimCodes(value);
    if (number.match(t).hasMatch())
        return QString(t).replace(',', '.');
    return quoted(value);
}

// One statement on the routines' connection: "ok" once it has run.
QString runStatement(const QString &accessSql)
{
    if (!BDPodkluchena())
        return kNetPodklucheniya;
    return guarded([&] {
        current()->exec(accessSql);
        return kOk;
    });
}

} // namespace

db::Connection *connection()
{
    return current().get();
}

namespace {
// A second OtkritBD replaces the first set; a failed one leaves none.
template <typename Open> QString openRoutines(Open &&openIt)
{
    return guarded([&] {
        current().reset();
        auto fresh = std::make_unique<db::Connection>();
        openIt(*fresh);
        current() = std::move(fresh);
        ensureReleasedAtExit();
        return kOk;
    });
}
} // namespace

QString OtkritBD(const QString &path, const QString &user, const QString &password)
{
    return openRoutines([&](db::Connection &c) { c.open(path, user, password); });
}

QString OtkritBD()
{
    return openRoutines([](db::Connection &c) { c.openConfigured(); });
}

QString ZakritBD()
{
    if (!BDPodkluchena())
        return kNetPodklucheniya;
    return guarded([] {
        current()->close();
        current().reset();
        return kOk;
    });
}

bool BDPodkluchena()
{
    try {
        return current() && current()->isOpen();
    } catch (...) {
        return false;
    }
}

QString ProverkaNalichiyaTablitsy(const QString &table)
{
    if (core::trimCodes(table).isEmpty())
        return QStringLiteral("Проверка наличия таблицы: Не указано (Имя таблицы)");
    if (!BDPodkluchena())
        return kNetPodklucheniya;
    return guarded([&] {
        return current()->tables().contains(table, Qt::CaseInsensitive) ? kOk : kNo;
    });
}

QString ProverkaNalichiyaStolbtsa(const QString &table, const QString &column)
{
    if (!BDPodkluchena())
        return kNetPodklucheniya;
    return guarded([&] {
        // Only the field list is needed: no row is read (a server would
        // send every row of the table at once).
        const QSqlQuery q = current()->exec(QStringLiteral("SELECT * FROM ") + table
                                            + QStringLiteral(" WHERE 1 = 0"));
        const QSqlRecord fields = q.record();
        for (int i = 0; i < fields.count(); ++i)
            if (fields.fieldName(i).compare(column, Qt::CaseInsensitive) == 0)
                return kOk;
        return kNo;
    });
}

QString SozdanieTablitsy(const QString &table, const QString &column, const QString &type,
                         const QString &size, bool nullsAllowed)
{
    return runStatement(QStringLiteral("CREATE TABLE ") + table + QStringLiteral("(")
                        + columnDefinition(column, type, size, nullsAllowed) + QStringLiteral(")"));
}

QString DobavlenieStolbtsa(const QString &table, const QString &column, const QString &type,
                           const QString &size, bool nullsAllowed)
{
    return runStatement(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD ")
                        + columnDefinition(column, type, size, nullsAllowed));
}

QString MaksimalnoyeZnacheniye(const QString &table, const QString &column)
{
    if (!BDPodkluchena())
        return kNetPodklucheniya;
    try {
        QSqlQuery q = current()->exec(QStringLiteral("SELECT MAX(") + column
                                      + QStringLiteral(") FROM ") + table);
        if (!q.next())
            return kNo;
        const QString value = q.value(0).toString();
        return core::trimCodes(value).isEmpty() ? QStringLiteral("0") : value;
    } catch (...) {
        return kNo;
    }
}

namespace {
// The lookups' one statement; `also` narrows its WHERE clause further.
QString poisk(const QString &t, const QString &keyColumn, const QString &column1,
              const QString &column2, const QString &keyValue, const QString &also)
{
    if (!BDPodkluchena())
        return kNetPodklucheniya;
    try {
        QSqlQuery q = current()->exec(
            QStringLiteral("SELECT ") + t + QStringLiteral(".") + column1 + QStringLiteral(", ")
            + t + QStringLiteral(".") + column2 + QStringLiteral(" FROM ") + t
            + QStringLiteral(" WHERE ") + QStringLiteral("(") + t + QStringLiteral(".")
            + keyColumn + QStringLiteral(" = ") + quoted(keyValue) + QStringLiteral(")") + also
            + QStringLiteral(";"));
        if (!q.next())
            return kNo;
        return q.value(0).toString() + kRazd + q.value(1).toString();
    } catch (...) {
        return kNo;
    }
}
} // namespace

QString PoiskZapisi(const QString &table, const QString &keyColumn, const QString &column1,
                    const QString &column2, const QString &keyValue)
{
    return poisk(table, keyColumn, column1, column2, keyValue, QString());
}

QString PoiskDrugoyZapisi(const QString &table, const QString &keyColumn, const QString &column1,
                          const QString &column2, const QString &keyValue, const QString &krome)
{
    if (krome.isEmpty())
        return PoiskZapisi(table, keyColumn, column1, column2, keyValue);
    // A row without column2 is another row too.
    const QString c2 = table + QStringLiteral(".") + column2;
    return poisk(table, keyColumn, column1, column2, keyValue,
                 QStringLiteral(" AND (") + c2 + QStringLiteral(" IS NULL OR ") + c2
                     + QStringLiteral(" <> ") + quoted(krome) + QStringLiteral(")"));
}

QString ZnacheniyeParametra(const QString &table, const QString &nameColumn,
                            const QString &valueColumn, const QString &name,
                            const QString &value, bool write)
{
    if (!BDPodkluchena())
        return kNo;
    return guarded(
        [&] {
            db::Connection &c = *current();
            const QString &t = table;
            const QString where = QStringLiteral(" WHERE ") + QStringLiteral("(") + t
                                  + QStringLiteral(".") + nameColumn + QStringLiteral(" = ")
                                  + quoted(name) + QStringLiteral(");");
            int rows = 0;
            QString stored;
            {
                QSqlQuery q = c.exec(QStringLiteral("SELECT ") + t + QStringLiteral(".")
                                     + nameColumn + QStringLiteral(", ") + t
                                     + QStringLiteral(".") + valueColumn + QStringLiteral(", ")
                                     + t + QStringLiteral(".") + QStringLiteral("RecID")
                                     + QStringLiteral(" FROM ") + t + where);
                while (rows < 2 && q.next()) {
                    if (rows == 0)
                        stored = q.value(1).toString();
                    ++rows;
                }
            }
            if (rows == 1) {
                if (!write)
                    return stored;
                QSqlQuery update = c.prepare(QStringLiteral("UPDATE ") + t
                                             + QStringLiteral(" SET ") + valueColumn
                                             + QStringLiteral(" = ?") + where);
                update.addBindValue(value);
                db::Connection::execPrepared(update);
                return value;
            }
            // Missing or repeated: one fresh row, the old ones gone in the
            // same transaction so that a failure keeps what was there.
            db::Transaction transaction(c);
            if (rows > 1)
                c.exec(QStringLiteral("DELETE FROM ") + t + where);
            QSqlQuery insert = c.prepare(QStringLiteral("INSERT INTO ") + t + QStringLiteral(" (")
                                         + nameColumn + QStringLiteral(", ") + valueColumn
                                         + QStringLiteral(", RecID) VALUES (?, ?, ?)"));
            insert.addBindValue(name);
            insert.addBindValue(value);
            insert.addBindValue(core::newRecId());
            db::Connection::execPrepared(insert);
            transaction.commit();
            return value;
        },
        kParameterSeparator);
}

QString ZaprosSpisokDoc(const QString &table, const QString &dateFrom, const QString &dateTo,
                        const SpisokDocFilters &f)
{
    const QString &t = table;
    // The day starts at 00:00:00 itself: a row stamped at midnight belongs to
    // the day, or the duplicate rule would never see a midnight meal.
    const QString lower = isEmptyDate(dateFrom) ? QStringLiteral("0")
                                                : periodBound(dateFrom, QStringLiteral("000000"));
    const QString upper = isEmptyDate(dateTo) ? QStringLiteral("99999999999999")
                                              : periodBound(dateTo, QStringLiteral("595959"));
    QString sql = QStringLiteral("SELECT * FROM ") + t + QStringLiteral(" WHERE") + QStringLiteral(" ")
                  + QStringLiteral("(") + QStringLiteral("(CCur(") + t
                  + QStringLiteral(".NMDateTimeTeh_Obrat) >= CCur(") + lower
                  + QStringLiteral(")) AND (CCur(") + t
                  + QStringLiteral(".NMDateTimeTeh_Obrat) < CCur(") + upper + QStringLiteral("))");

    const std::pair<const char *, const QString *> filters[] = {
        {"NMZapisID", &f.NMZapisID},   {"NMDateVid", &f.NMDateVid},
        {"NMTimeVid", &f.NMTimeVid},   {"NMDateTimeTeh", &f.NMDateTimeTeh},
        {"NMAllTeh", &f.NMAllTeh},     {"NMFIO", &f.NMFIO},
        {"NMTabNum", &f.NMTabNum},     {"NMCardNum", &f.NMCardNum},
        {"NMDolj", &f.NMDolj},         {"NMPodr", &f.NMPodr},
        {"NMOrg", &f.NMOrg},           {"NMITR", &f.NMITR},
        {"NMVid", &f.NMVid},           {"NMUserGUID", &f.NMUserGUID},
        {"NMStoimost", &f.NMStoimost}, {"NMDateTimeTeh_Obrat", &f.NMDateTimeTeh_Obrat},
    };
    for (const auto &[column, value] : filters) {
        if (value->isEmpty() || *value == QStringLiteral("Все"))
            continue;
        const QString name = QString::fromLatin1(column);
        if (name == QLatin1String("NMStoimost"))
            sql += QStringLiteral(" AND ") + QStringLiteral("(CCur(") + t
                   + QStringLiteral(".NMStoimost) = CCur(") + moneyOperand(*value)
                   + QStringLiteral("))");
        else
            sql += QStringLiteral(" AND ") + QStringLiteral("((") + t + QStringLiteral(".")
                   + name + QStringLiteral(") = ") + quoted(*value) + QStringLiteral(")");
    }
    return sql + QStringLiteral(");");
}

QString PerevorotDaty(const QString &s)
{
    return s.mid(4, 4) + s.mid(2, 2) + s.mid(0, 2) + s.mid(8, 6);
}

} // namespace DBTools
