#pragma once
#include <QLockFile>
#include <QString>
#include <memory>

namespace app {

// One running program per user session: a lock file named after the
// program's mutex text in the user's runtime folder. A lock left by a
// crashed run is taken over; a live one is not, however old it is.
class SingleInstance
{
public:
    static const QString kMutexName;

    // Tries to take the lock; false when another running program holds it.
    bool acquire();
    static QString lockPath();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace app
