#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace db {

// What the structure check did: one line per table or column it added.
struct StructureReport
{
    QStringList added;
};

// Brings the database at `path` up to the program's structure: creates
// missing tables and columns in their fixed order, upgrades an old journal,
// drops an obsolete column and creates the first protection row. Callable
// without any window; messages meant for the user (a failed journal upgrade)
// go to `showMessage` (the message service when not given).
// Raises core::Error when the obsolete column cannot be dropped.
StructureReport ProverkaStrukturiBD(const QString &path, const QString &user,
                                    const QString &password,
                                    const std::function<void(const QString &)> &showMessage = {});

} // namespace db
