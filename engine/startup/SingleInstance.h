#pragma once

#include <QString>

namespace taviro {

// One console per installation: an exclusive flock on a file in the
// installation's data folder. The kernel lets go of the lock the moment the
// process ends, even after a crash or in another PID namespace, so a lock
// never goes stale; what the file holds, and who made it, does not matter.
class SingleInstance
{
public:
    explicit SingleInstance(QString lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another console holds the lock, or the lock cannot be had at
    // all (error() says why).
    bool acquire();
    void release();
    const QString& error() const { return m_error; }

private:
    int openLockFile();

    QString m_path;
    QString m_error;
    int m_fd = -1;
};

} // namespace taviro
