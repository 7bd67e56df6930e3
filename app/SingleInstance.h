#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace taviro {

// One console per workstation: a lock file that the operating system frees
// when the process ends, even after a crash (a stale lock is taken over).
class SingleInstance
{
public:
    // TAVIRO_INSTANCE_LOCK overrides the lock file's place (tests, or a
    // workstation that keeps /tmp elsewhere).
    static QString defaultLockPath();

    explicit SingleInstance(const QString& lockPath);
    bool acquire();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace taviro
