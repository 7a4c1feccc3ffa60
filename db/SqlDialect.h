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

} // namespace db
