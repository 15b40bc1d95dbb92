// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserKey.h"

#include "platform/FolderFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UserKey {

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Every missing folder on the way, private to the user: the key's folder is nobody else's business.
int makeFolders(const QByteArray& folder)
{
    for (qsizetype at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder.at(at) != '/')
            continue;
        const QByteArray prefix = folder.left(at);
        if (::mkdir(prefix.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

// Puts the complete key file at its name only if nothing is there yet. link() is exclusive and
// atomic, so a second process racing us either wins (and we read its key) or finds ours whole; a
// file created in place with O_EXCL could be seen empty by the other one before we wrote it.
int placeExclusively(const QByteArray& temporary, const QByteArray& target)
{
    if (::link(temporary.constData(), target.constData()) == 0)
        return 0;
    const int error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS)
        return error;
    // A file system without hard links (a FUSE mount, say).
    return FolderFiles::renameNoReplace(AT_FDCWD, temporary, AT_FDCWD, target);
}

} // namespace

QString defaultPath()
{
    const QString suffix = QStringLiteral("/VemraNotes/tasks.key");
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is to be ignored, as every XDG-aware program does.
    if (!config.isEmpty() && QDir::isAbsolutePath(config))
        return QDir::cleanPath(config) + suffix;
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        return QString();
    return QDir::cleanPath(home) + QStringLiteral("/.config") + suffix;
}

Result read(const QString& path)
{
    if (path.isEmpty())
        return Result::failure(Result::Status::Missing, QStringLiteral("no place for a key"));
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return Result::failure(Result::Status::Missing, QStringLiteral("no key yet"));
        if (error == ELOOP)
            return Result::failure(Result::Status::Untrusted, QStringLiteral("a symbolic link"));
        return Result::failure(Result::Status::Failed, systemText(error));
    }
    FolderFiles::Fd file(fd);
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0)
        return Result::failure(Result::Status::Failed, systemText(errno));
    if (!S_ISREG(info.st_mode))
        return Result::failure(Result::Status::Untrusted, QStringLiteral("not a regular file"));
    if (info.st_uid != ::geteuid())
        return Result::failure(Result::Status::Untrusted,
                               QStringLiteral("belongs to user %1").arg(qulonglong(info.st_uid)));
    if ((info.st_mode & 07777) != 0600)
        return Result::failure(Result::Status::Untrusted,
                               QStringLiteral("mode %1, not 600").arg(info.st_mode & 07777, 0, 8));
    if (info.st_size != Bytes)
        return Result::failure(Result::Status::Untrusted,
                               QStringLiteral("%1 bytes, not %2").arg(qlonglong(info.st_size)).arg(Bytes));
    QByteArray key(Bytes, '\0');
    qsizetype got = 0;
    while (got < Bytes) {
        const ssize_t n = ::read(file.get(), key.data() + got, size_t(Bytes - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Result::failure(Result::Status::Failed, systemText(errno));
        if (n == 0)
            return Result::failure(Result::Status::Untrusted, QStringLiteral("shorter than it says"));
        got += n;
    }
    return Result::success(std::move(key));
}

Result obtain(const QString& path)
{
    Result existing = read(path);
    if (existing.status() != Result::Status::Missing || path.isEmpty())
        return existing;

    const QFileInfo target(path);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray targetName = QFile::encodeName(target.absoluteFilePath());
    if (const int error = makeFolders(folder); error != 0)
        return Result::failure(Result::Status::Failed, systemText(error));

    std::array<quint32, Bytes / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    const QByteArray key(reinterpret_cast<const char*>(words.data()), Bytes);

    const QByteArray temporary = folder + "/." + QFile::encodeName(target.fileName()) + '.' +
                                 QByteArray::number(QRandomGenerator::system()->generate(), 36);
    FolderFiles::Fd file(
        ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid())
        return Result::failure(Result::Status::Failed, systemText(errno));
    // The umask may have taken more than the group's and others' bits; the mode is checked exactly.
    int error = ::fchmod(file.get(), 0600) == 0 ? 0 : errno;
    if (error == 0 && !FolderFiles::writeAll(file.get(), key))
        error = errno;
    if (error == 0 && ::fsync(file.get()) != 0)
        error = errno;
    if (error == 0 && ::close(file.release()) != 0)
        error = errno;
    if (error == 0) {
        error = placeExclusively(temporary, targetName);
        if (error == EEXIST)
            error = 0; // another process was first: its key is the one
    }
    ::unlink(temporary.constData());
    if (error != 0)
        return Result::failure(Result::Status::Failed, systemText(error));
    (void)FolderFiles::syncFolder(folder);
    return read(path);
}

} // namespace UserKey
