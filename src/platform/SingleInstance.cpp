// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SingleInstance.h"

#include "platform/DataFolder.h"
#include "platform/FolderHandle.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

SingleInstance::FlockCall SingleInstance::flockCall = ::flock;

namespace {

/// 0 when locked, else the error: EWOULDBLOCK when another holds it.
int lockExclusive(int fd)
{
    int locked;
    do
        locked = SingleInstance::flockCall(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    return locked == 0 ? 0 : errno;
}

/// Opens the lock file: never through a link, never blocking on a FIFO, and never handed to a
/// program the application starts (close-on-exec), which would keep holding the lock after the
/// application has ended. Returns the descriptor or -1 with error set.
int openLockFile(const QByteArray& path, int& error)
{
    const int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | common, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(path.constData(), O_RDONLY | common); // flock needs no write access
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = EINVAL;
        return -1;
    }
    return fd;
}

QString lockFileProblem(int error)
{
    if (error == EINVAL)
        return QStringLiteral("锁文件不是普通文件");
    if (error == ELOOP)
        return QStringLiteral("锁文件是符号链接");
    return DataFolder::describeError(error);
}

} // namespace

SingleInstance::SingleInstance(const QString& dataFolder)
    : m_folder(dataFolder), m_lockPath(dataFolder + u'/' + kLockName)
{
}

SingleInstance::~SingleInstance()
{
    release();
}

void SingleInstance::release()
{
    for (int* fd : {&m_folderFd, &m_fileFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool SingleInstance::acquire()
{
    if (m_state == State::Held)
        return true;
    release();
    m_failure.clear();

    // The folder first: it is the lock every instance takes.
    int folderError = 0;
    const int folderFd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        folderError = errno;
    } else if ((folderError = lockExclusive(folderFd)) == 0) {
        m_folderFd = folderFd;
    } else {
        ::close(folderFd);
        if (folderError == EWOULDBLOCK) {
            m_state = State::HeldElsewhere;
            return false;
        }
    }

    int fileError = 0;
    const int fileFd = openLockFile(QFile::encodeName(m_lockPath), fileError);
    if (fileFd >= 0) {
        if ((fileError = lockExclusive(fileFd)) == 0) {
            m_fileFd = fileFd;
        } else {
            ::close(fileFd);
            if (fileError == EWOULDBLOCK) {
                release();
                m_state = State::HeldElsewhere;
                return false;
            }
        }
    }

    if (m_folderFd >= 0 || m_fileFd >= 0) {
        m_state = State::Held;
        return true;
    }
    // Running without a lock would let a second instance overwrite what this one saves.
    m_state = State::Unavailable;
    m_failure = QStringLiteral("文件夹：%1；锁文件 %2：%3")
                    .arg(DataFolder::describeError(folderError), kLockName, lockFileProblem(fileError));
    return false;
}
