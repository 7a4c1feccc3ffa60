#pragma once
#include <QDateTime>
#include <QString>
#include <functional>

namespace db {

class Connection;

// Writes a consistent copy of the open database into the new file `target`,
// committed rows of the write-ahead journal included, a batch of pages at a
// time: `progress(done, total)` is called after each batch so that a window
// can show how far it got. Raises core::Error ("EDatabaseError") when the
// copy cannot be made; no partial file is left then. An existing `target` is
// never overwritten.
// On a server the copy is a schema of that name on the same server holding
// a copy of every table, made from one snapshot in one transaction; an
// existing schema is never written to.
void kopiyaBazy(Connection &connection, const QString &target,
                const std::function<void(int done, int total)> &progress = {});

// A name for a copy of `dbPath` made at `when`, beside it and not taken yet:
// "CRDB.mdb" gives "CRDB_копия_2026-12-10_09-55-00.mdb" (then "..._2.mdb").
// For a server: the schema name "kopiya_2026_12_10_09_55_00".
QString imyaKopiiBazy(const QString &dbPath, const QDateTime &when);

// The same for the database `connection` has open: on a server the first
// schema name not taken there yet ("kopiya_2026_12_10_09_55_00", then
// "..._2"), so that two cleanups within one second each get a copy.
QString imyaKopiiBazy(Connection &connection, const QDateTime &when);

} // namespace db
