// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderFiles.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace FolderFiles {

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int openDir(const QByteArray& path)
{
    return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int openDirAt(int dirFd, const QByteArray& name)
{
    return ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool isHidden(const QByteArray& name)
{
    return name.startsWith('.');
}

std::vector<Entry> listFolder(int dirFd, bool* ok, bool needStat)
{
    std::vector<Entry> entries;
    *ok = false;
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0)
        return entries;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return entries;
    }
    ::rewinddir(dir);
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir);
        if (!d) {
            *ok = errno == 0;
            break;
        }
        const QByteArray name(d->d_name);
        if (name == "." || name == "..")
            continue;
        Entry entry{name, {}, false, 0};
        if (!needStat && (d->d_type == DT_REG || d->d_type == DT_DIR)) {
            entry.st.st_mode = d->d_type == DT_REG ? S_IFREG : S_IFDIR;
            entry.statOk = true;
            entries.push_back(std::move(entry));
            continue;
        }
        entry.statOk = ::fstatat(dirFd, d->d_name, &entry.st, 0) == 0;
        if (!entry.statOk) {
            entry.statErrno = errno;
            struct stat linkSt;
            if (::fstatat(dirFd, d->d_name, &linkSt, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // vanished meanwhile
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return entries;
}

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

ReadOutcome readFileAt(int dirFd, const QByteArray& name, QByteArray* bytes, struct stat* st, qint64 maxBytes)
{
    // Non-blocking, so that a pipe put into the folder cannot hang the start-up, and never through a
    // link, which could lead anywhere on the machine.
    Fd fd(::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
    if (::fstat(fd.get(), st) != 0 || !S_ISREG(st->st_mode) || st->st_size > maxBytes)
        return ReadOutcome::Failed;
    QByteArray data;
    data.resize(qsizetype(st->st_size));
    qsizetype done = 0;
    for (;;) {
        if (done == data.size()) {
            // What fstat promised has arrived: that is the note as it was when it was opened. A file
            // that reads short of it (it shrank) ends below; asking for more would cost a call per
            // note at every start.
            if (done == qsizetype(st->st_size))
                break;
            if (data.size() >= maxBytes)
                break;
            data.resize(qMin<qsizetype>(data.size() + 65536, maxBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), data.data() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadOutcome::Failed;
        }
        if (n == 0)
            break;
        done += n;
    }
    if (done > maxBytes)
        return ReadOutcome::Failed;
    data.truncate(done);
    *bytes = std::move(data);
    return ReadOutcome::Read;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

int writeFileAt(int dirFd, const QByteArray& name, const QByteArray& bytes, int extraFlags, bool sync,
                mode_t mode)
{
    // Non-blocking: opening a pipe that sits at the name would otherwise wait for a reader for good.
    const int fd = ::openat(dirFd, name.constData(),
                            O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | extraFlags, mode);
    if (fd < 0)
        return errno;
    struct stat st;
    const int statError = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (statError != 0) {
        ::close(fd);
        return statError; // not ours to remove
    }
    int error = writeAll(fd, bytes) ? 0 : errno;
    if (error == 0 && sync && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlinkat(dirFd, name.constData(), 0);
    return error;
}

int syncFolder(const QByteArray& path)
{
    Fd folder(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        return errno;
    return ::fsync(folder.get()) == 0 ? 0 : errno;
}

int renameNoReplace(int fromDir, const QByteArray& from, int toDir, const QByteArray& to)
{
    if (::renameat2(fromDir, from.constData(), toDir, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot promise it; the application is a single instance, so look then rename.
    struct stat st;
    if (::fstatat(toDir, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from.constData(), toDir, to.constData()) == 0 ? 0 : errno;
}

void removeFilesIn(int dirFd)
{
    bool listed = false;
    for (const Entry& entry : listFolder(dirFd, &listed, false)) {
        // Links and pipes go too; only subfolders stay.
        if (!entry.statOk || !S_ISDIR(entry.st.st_mode))
            ::unlinkat(dirFd, entry.name.constData(), 0);
    }
}

} // namespace FolderFiles
