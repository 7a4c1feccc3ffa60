#pragma once
#include <QString>

namespace db {

// Turns a statement written in the MS Access dialect into SQLite. It works
// on tokens, so nothing inside a quoted literal or a bracketed name is ever
// rewritten:
//   DELETE * FROM t            -> DELETE FROM t
//   ALTER TABLE t DROP c       -> ALTER TABLE t DROP COLUMN c
//   a + b (texts)              -> a || b
//   "text"                     -> 'text'
//   CCur(x.NMDateTimeTeh_Obrat) -> CAST(x.NMDateTimeTeh_Obrat AS REAL)
// The last one lets the journal's period selections use the index on the
// sort key; the key always holds 14 digits, where both forms agree.
QString accessToSqlite(const QString &accessSql);

// The same statement for a PostgreSQL server, on the same tokens:
//   DELETE * FROM, ALTER TABLE t DROP c and "text" as for SQLite
//   a + b (texts)              -> a || b
//   [Name]                     -> "name" (folded as the server folds unquoted names)
//   CCur(x)                    -> x as NUMERIC, four decimals; NULL for a text
//                                 that is no number (a literal is worked out here)
//   Mid(x, s[, n])             -> substr(CAST(x AS TEXT), s[, n])
//   a IS b / a IS NOT b        -> IS [NOT] DISTINCT FROM (NULLs compare equal)
//   a GLOB 'p'                 -> a ~ '^regex$'
//   FROM (SELECT ...)          -> FROM (SELECT ...) AS subquery_N
//   MONEY, CURRENCY            -> NUMERIC(19,4); NVARCHAR(n) -> VARCHAR(n), Bool -> BOOLEAN
//                                 (types in CREATE TABLE and ALTER TABLE ... ADD only)
QString accessToPostgres(const QString &accessSql);

// A table or column name as the server keeps it: ASCII letters in lower case.
QString postgresName(const QString &name);

} // namespace db
