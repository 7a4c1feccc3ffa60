#include "db/SqlFunctions.h"
#include "db/Money.h"
#include "core/Error.h"
#include "core/TextUtil.h"

#include <QSqlDriver>
#include <cmath>
#include <sqlite3.h>

namespace db {

namespace {

// A real as CCur gives it: a whole value exactly as an integer (14-digit
// keys stored as reals must still compare equal), else rounded to the four
// decimals of a currency amount.
void resultFromReal(sqlite3_context *ctx, double d)
{
    if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9223372036854775808.0)
        return sqlite3_result_int64(ctx, sqlite3_int64(d));
    // From 2^40 on a double has no four exact decimals left to round.
    if (std::fabs(d) >= 1099511627776.0)
        return sqlite3_result_double(ctx, d);
    if (const auto money = Money::fromDouble(d))
        return sqlite3_result_double(ctx, money->toDouble());
    sqlite3_result_double(ctx, d);
}

void ccur(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (argc != 1)
        return sqlite3_result_null(ctx);
    sqlite3_value *v = argv[0];
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return sqlite3_result_int64(ctx, sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return resultFromReal(ctx, sqlite3_value_double(v));
    case SQLITE_NULL:
        return sqlite3_result_null(ctx);
    default: {
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(v));
        const QString text = QString::fromUtf8(bytes, sqlite3_value_bytes(v));
        const auto value = ccurValue(text);
        if (!value)
            return sqlite3_result_null(ctx);
        if (value->typeId() == QMetaType::LongLong)
            return sqlite3_result_int64(ctx, value->toLongLong());
        return sqlite3_result_double(ctx, value->toDouble());
    }
    }
}

// Mid(text, start[, length]) with a 1-based start, counted in characters.
void mid(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (argc < 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QString text = QString::fromUtf8(bytes, sqlite3_value_bytes(argv[0]));
    const qint64 start = sqlite3_value_int64(argv[1]);
    if (start < 1)
        return sqlite3_result_error(ctx, "Mid: invalid start", -1);
    qsizetype length = -1;
    if (argc >= 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
        const qint64 l = sqlite3_value_int64(argv[2]);
        if (l < 0)
            return sqlite3_result_error(ctx, "Mid: invalid length", -1);
        length = qsizetype(l);
    }
    const QByteArray out = text.mid(qsizetype(start - 1), length).toUtf8();
    sqlite3_result_text(ctx, out.constData(), int(out.size()), SQLITE_TRANSIENT);
}

} // namespace

std::optional<QVariant> ccurValue(const QString &input)
{
    const QString t = core::trimCodes(input);
    bool ok = false;
    const qlonglong whole = t.toLongLong(&ok);
    if (ok)
        return QVariant(whole);
    const auto money = Money::fromText(t);
    if (!money)
        return std::nullopt;
    if (money->isWhole())
        return QVariant(qlonglong(money->units() / Money::kScale));
    return QVariant(money->toDouble());
}

sqlite3 *sqliteHandle(QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    sqlite3 *h = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
                     ? *static_cast<sqlite3 *const *>(handle.data())
                     : nullptr;
    if (!h)
        throw core::Error(QStringLiteral("EDatabaseError"),
                          QStringLiteral("Не удалось получить соединение SQLite"));
    return h;
}

void registerSqlFunctions(QSqlDatabase &db)
{
    sqlite3 *h = sqliteHandle(db);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    if (sqlite3_create_function_v2(h, "CCur", 1, flags, nullptr, ccur, nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_create_function_v2(h, "Mid", 2, flags, nullptr, mid, nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_create_function_v2(h, "Mid", 3, flags, nullptr, mid, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw core::Error(QStringLiteral("EDatabaseError"),
                          QString::fromUtf8(sqlite3_errmsg(h)));
}

} // namespace db
