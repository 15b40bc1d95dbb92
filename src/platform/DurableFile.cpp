// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DurableFile.h"

#include "platform/FolderFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFile {

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString stepName(Step step)
{
    switch (step) {
    case Step::None:
        return QStringLiteral("none");
    case Step::Create:
        return QStringLiteral("create");
    case Step::Write:
        return QStringLiteral("write");
    case Step::Sync:
        return QStringLiteral("sync");
    case Step::Rename:
        return QStringLiteral("rename");
    case Step::SyncFolder:
        return QStringLiteral("sync folder");
    }
    return QString();
}

// A new ".<name>.<random>" beside the target, created exclusively so that nothing already there (a
// stale temporary file, a link planted by someone else) is ever opened or followed.
int createTemporary(const QByteArray& folder, const QByteArray& name, unsigned mode, QByteArray& tempPath)
{
    constexpr int Attempts = 16;
    int error = EEXIST;
    for (int attempt = 0; attempt < Attempts && error == EEXIST; ++attempt) {
        tempPath =
            folder + "/." + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd =
            ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0)
            return fd;
        error = errno;
    }
    errno = error;
    return -1;
}

// Writes the whole of the data, flushes it and closes the file: Step::None, or the step that failed
// with errno telling why.
Step writeSyncClose(FolderFiles::Fd& file, const QByteArray& data)
{
    if (!FolderFiles::writeAll(file.get(), data))
        return Step::Write;
    if (::fsync(file.get()) != 0)
        return Step::Sync;
    // A delayed write error (NFS, a full quota) can surface only at close.
    if (::close(file.release()) != 0)
        return Step::Sync;
    return Step::None;
}

// Some file systems cannot flush a folder at all; the rename or the new name is then as durable as it
// gets.
WriteResult syncFolderOf(const QByteArray& folder)
{
    if (const int error = FolderFiles::syncFolder(folder); error != 0 && error != EINVAL)
        return WriteResult::failure(Step::SyncFolder, error);
    return WriteResult::success();
}

} // namespace

QString WriteResult::describe() const
{
    if (ok())
        return QStringLiteral("ok");
    return stepName(m_step) + QStringLiteral(": ") + systemText(m_error);
}

WriteResult write(const QString& path, const QByteArray& data, unsigned mode)
{
    const QFileInfo target(path);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray targetPath = QFile::encodeName(target.absoluteFilePath());

    QByteArray tempPath;
    const int fd = createTemporary(folder, QFile::encodeName(target.fileName()), mode, tempPath);
    if (fd < 0)
        return WriteResult::failure(Step::Create, errno);
    FolderFiles::Fd file(fd);
    const auto fail = [&tempPath](Step step, int error) {
        ::unlink(tempPath.constData());
        return WriteResult::failure(step, error);
    };

    if (const Step failed = writeSyncClose(file, data); failed != Step::None)
        return fail(failed, errno);
    if (::rename(tempPath.constData(), targetPath.constData()) != 0)
        return fail(Step::Rename, errno);
    return syncFolderOf(folder);
}

WriteResult createNew(const QString& path, const QByteArray& data, unsigned mode)
{
    const QFileInfo target(path);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray targetPath = QFile::encodeName(target.absoluteFilePath());
    const int fd = ::open(targetPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return WriteResult::failure(Step::Create, errno);
    FolderFiles::Fd file(fd);
    // The name is ours alone from here on: what could not be written whole is taken back.
    const auto fail = [&targetPath](Step step, int error) {
        ::unlink(targetPath.constData());
        return WriteResult::failure(step, error);
    };
    if (const Step failed = writeSyncClose(file, data); failed != Step::None)
        return fail(failed, errno);
    return syncFolderOf(folder);
}

QString ReadResult::describe() const
{
    switch (m_status) {
    case Status::Ok:
        return QStringLiteral("ok");
    case Status::Missing:
        return QStringLiteral("missing");
    case Status::TooLarge:
        return QStringLiteral("too large");
    case Status::Failed:
        return QStringLiteral("failed: ") + systemText(m_error);
    }
    return QString();
}

namespace {

ReadResult readUpTo(const QString& path, qint64 maxBytes, bool refuseLarger)
{
    const QByteArray name = QFile::encodeName(path);
    // Whatever sits at the name is looked at before it is read: a link is not followed (ELOOP), and a
    // FIFO opens without waiting for a writer that may never come, then is refused like a device (and
    // a terminal planted there never becomes ours to be signalled through).
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return ReadResult::failure(error == ENOENT ? ReadResult::Status::Missing : ReadResult::Status::Failed,
                                   error);
    }
    FolderFiles::Fd file(fd);
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0)
        return ReadResult::failure(ReadResult::Status::Failed, errno);
    if (S_ISDIR(info.st_mode))
        return ReadResult::failure(ReadResult::Status::Failed, EISDIR);
    if (!S_ISREG(info.st_mode))
        return ReadResult::failure(ReadResult::Status::Failed, ENXIO);
    if (refuseLarger && info.st_size > maxBytes)
        return ReadResult::failure(ReadResult::Status::TooLarge, 0);

    // The size is only a hint: the file may grow while it is read, and must still stay in bounds.
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min<qint64>(info.st_size, maxBytes)));
    char buffer[64 * 1024];
    while (bytes.size() < maxBytes || refuseLarger) {
        const size_t wanted = refuseLarger
                                  ? sizeof buffer
                                  : size_t(std::min<qint64>(qint64(sizeof buffer), maxBytes - bytes.size()));
        const ssize_t n = ::read(file.get(), buffer, wanted);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::failure(ReadResult::Status::Failed, errno);
        }
        if (n == 0)
            break;
        if (bytes.size() + n > maxBytes)
            return ReadResult::failure(ReadResult::Status::TooLarge, 0);
        bytes.append(buffer, n);
    }
    return ReadResult::success(std::move(bytes), std::max<qint64>(info.st_size, 0), info.st_mode & 07777);
}

} // namespace

ReadResult read(const QString& path, qint64 maxBytes)
{
    return readUpTo(path, maxBytes, true);
}

ReadResult readHead(const QString& path, qint64 maxBytes)
{
    return readUpTo(path, maxBytes, false);
}

} // namespace DurableFile
