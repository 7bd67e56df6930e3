#include "SingleInstance.h"

#include <QDir>

namespace taviro {

QString SingleInstance::defaultLockPath()
{
    const QString fromEnv = qEnvironmentVariable("TAVIRO_INSTANCE_LOCK");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir::tempPath() + QStringLiteral("/taviro-console.lock");
}

SingleInstance::SingleInstance(const QString& lockPath) : m_lock(std::make_unique<QLockFile>(lockPath))
{
    m_lock->setStaleLockTime(0); // only a dead owner makes a lock stale, never its age
}

bool SingleInstance::acquire()
{
    return m_lock->tryLock(0);
}

} // namespace taviro
