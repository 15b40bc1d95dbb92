#include "platform/SingleInstance.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstance::SingleInstance(const QString& dataFolder) : m_lockPath(dataFolder + u'/' + kLockName) {}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    const QByteArray path = QFile::encodeName(m_lockPath);
    // Close-on-exec: a program the application starts (a command action, a script) must not keep
    // holding the lock after the application has ended.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); // flock needs no write access
    if (fd < 0)
        return true;
    int locked;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int error = errno;
        ::close(fd);
        // Only a lock held elsewhere stops the start; a file system without locks does not.
        return error != EWOULDBLOCK;
    }
    m_fd = fd;
    return true;
}
