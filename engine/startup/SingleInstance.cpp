#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace taviro {

SingleInstance::SingleInstance(QString lockPath) : m_path(std::move(lockPath)) {}

SingleInstance::~SingleInstance()
{
    release();
}

int SingleInstance::openLockFile()
{
    const QByteArray path = QFile::encodeName(m_path);
    // Close-on-exec: a service started by this console must not inherit the
    // lock and keep it after the console has gone.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0660);
    if (fd < 0 && errno == EACCES)
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); // another operator's lock file
    if (fd < 0 && (errno == EACCES || errno == ELOOP)) {
        // A file we may not even read (or a link) cannot be ours: whoever may
        // write this folder may replace it.
        if (::unlink(path.constData()) == 0)
            fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0660);
    }
    return fd;
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    m_error.clear();
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const int fd = openLockFile();
    if (fd < 0) {
        m_error = QStringLiteral("Kan het slot %1 niet openen: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void SingleInstance::release()
{
    if (m_fd < 0)
        return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

} // namespace taviro
