#include "SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

namespace app {

const QString SingleInstance::kMutexName = QStringLiteral("и64ерм9со46к79826о");

QString SingleInstance::lockPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + '/' + kMutexName + QStringLiteral(".lock");
}

bool SingleInstance::acquire()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Age alone must never make a live program's lock look abandoned: only a
    // lock whose process is gone counts as stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    m_lock.reset();
    return false;
}

} // namespace app
