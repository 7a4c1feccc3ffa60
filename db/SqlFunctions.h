#pragma once
#include <QSqlDatabase>
#include <QVariant>
#include <optional>

struct sqlite3;

namespace db {

// The SQLite connection under an open Qt connection; raises core::Error
// ("EDatabaseError") when there is none.
sqlite3 *sqliteHandle(QSqlDatabase &db);

// Registers the Access functions CCur and Mid on an open SQLite connection.
// They belong to that one connection: call after every open.
void registerSqlFunctions(QSqlDatabase &db);

// The value CCur gives for a text: a whole number exactly (14-digit keys
// compare exactly), otherwise a number with at most four decimals; a comma
// is a decimal separator. nullopt for an empty or non-numeric text.
std::optional<QVariant> ccurValue(const QString &text);

} // namespace db
