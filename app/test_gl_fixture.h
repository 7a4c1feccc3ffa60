#pragma once
// What the tests of the real main window share: showing it and finding its
// controls by name.
#include "GL.h"

#include "core/AppPaths.h"
#include "core/ProcessValues.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"

#include <QFile>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>
#include <memory>

namespace gltest {

// The main window, shown and exposed as at a start.
inline std::unique_ptr<TGLForm> start()
{
    auto w = std::make_unique<TGLForm>();
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qWarning("main window not exposed");
    return w;
}

// A control of the window by its object name; a missing one stops the test
// program at once rather than crashing it on a null pointer later.
template <typename T> T *child(TGLForm &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// A program folder started afresh: the settings back to their defaults, `files`
// removed and an empty database beside the program brought up to the
// program's structure. Gives the database's path.
inline QString freshProgramDatabase(const QStringList &files)
{
    core::resetProcessValues();
    for (const QString &name : files)
        QFile::remove(core::programFile(name));
    const QString dbPath = core::defaultDbPath();
    QFile f(dbPath);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(dbPath));
    f.close();
    db::ProverkaStrukturiBD(dbPath, QString(), QString(), [](const QString &) {});
    return dbPath;
}

// The journal rows of the database beside the program that meet `where`,
// counted through a connection of its own.
inline int journalRows(const QString &where = QStringLiteral("1=1"))
{
    db::Connection c;
    c.open(core::defaultDbPath());
    QSqlQuery q = c.exec(QStringLiteral("SELECT COUNT(*) FROM SpisokDoc WHERE ") + where);
    q.next();
    return q.value(0).toInt();
}

} // namespace gltest
