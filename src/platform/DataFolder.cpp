// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataFolder.h"

#include "platform/FolderFiles.h"
#include "platform/FolderHandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

/// How long the write probe waits for the disk to confirm its flush. The probe runs before the
/// window appears: a disk that answers later is slow, not refusing (it took the file), and the window
/// does not wait for it. A failure the flush would have told is told by the first save instead.
constexpr int kProbeFlushMs = 50;

/// Flushes and closes fd on a thread of its own; the error, or 0 when the disk has not answered
/// within kProbeFlushMs (the thread closes fd once it does).
int flushAndClose(int fd)
{
    std::promise<int> done;
    std::future<int> result = done.get_future();
    std::thread([fd, done = std::move(done)]() mutable {
        int error = ::fsync(fd) == 0 ? 0 : errno;
        if (::close(fd) != 0 && error == 0)
            error = errno;
        done.set_value(error);
    }).detach();
    if (result.wait_for(std::chrono::milliseconds(kProbeFlushMs)) != std::future_status::ready)
        return 0;
    return result.get();
}

const QString kConfig = QStringLiteral("Config.ini");
const QString kNotes = QStringLiteral("Notes");
const QString kSounds = QStringLiteral("Sounds");
const QString kHelpDocument = QStringLiteral("Vemra便笺使用帮助.pdf");

bool isDirectory(const QString& path)
{
    return QFileInfo(path).isDir();
}

/// Creates path and every missing parent with mode 0700; an existing folder keeps its mode. Returns 0
/// or the error that stopped it.
int makePrivatePath(const QString& path)
{
    if (path.isEmpty())
        return ENOENT;
    if (isDirectory(path))
        return 0;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !isDirectory(parent)) {
        if (const int error = makePrivatePath(parent))
            return error;
    }
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) == 0)
        return 0;
    const int error = errno;
    if (error == EEXIST)
        return isDirectory(path) ? 0 : ENOTDIR;
    return error;
}

int systemOpen(const char* path, int flags, unsigned mode)
{
    return ::open(path, flags, mode_t(mode));
}

int systemInodeFlags(int fd, int* flags)
{
    return ::ioctl(fd, FS_IOC_GETFLAGS, flags);
}

/// Removes the probes that an earlier process left when it crashed between creating and removing
/// one: those of processes no longer running, and any older than a day (the id may be in use again).
void removeStaleProbes(const QString& folder)
{
    const QStringList names =
        QDir(folder).entryList({DataFolder::kProbePrefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    const time_t now = ::time(nullptr);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(folder + u'/' + name);
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        bool number = false;
        const qint64 pid = name.mid(DataFolder::kProbePrefix.size()).toLongLong(&number);
        const bool gone =
            !number || pid <= 0 || pid == ::getpid() || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
        const bool old = now - st.st_mtime > 24 * 60 * 60;
        if (gone || old)
            ::unlink(path.constData());
    }
}

bool copyFileDurably(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return false;
    // Flushed to the disk, and private to the user.
    return FolderFiles::writeFileAt(AT_FDCWD, QFile::encodeName(to), data, O_TRUNC, true, 0600) == 0;
}

bool syncFolder(const QString& folder)
{
    return FolderFiles::syncFolder(QFile::encodeName(folder)) == 0;
}

bool renameInto(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

/// Copies the notes into a hidden folder first, so an interrupted copy never looks like a complete
/// Notes/ at the next start (which would then skip the copy and show half the notes).
bool copyNotes(const QString& fromNotes, const QString& dataFolder)
{
    const QString staging = dataFolder + QStringLiteral("/.Notes.copying");
    QDir(staging).removeRecursively(); // our own leftover of an interrupted copy
    if (::mkdir(QFile::encodeName(staging).constData(), 0700) != 0)
        return false;
    // Names beginning with "." belong to other programs (sync tools, editors), not to the notes.
    const QFileInfoList files = QDir(fromNotes).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files) {
        if (!copyFileDurably(file.filePath(), staging + u'/' + file.fileName())) {
            QDir(staging).removeRecursively();
            return false;
        }
    }
    if (!syncFolder(staging) || !renameInto(staging, dataFolder + u'/' + kNotes)) {
        QDir(staging).removeRecursively();
        return false;
    }
    return true;
}

bool copyConfig(const QString& fromConfig, const QString& dataFolder)
{
    const QString staging = dataFolder + QStringLiteral("/.Config.ini.copying");
    if (!copyFileDurably(fromConfig, staging) || !renameInto(staging, dataFolder + u'/' + kConfig)) {
        QFile::remove(staging);
        return false;
    }
    return true;
}

} // namespace

DataFolder::ProbeCalls& DataFolder::probeCalls()
{
    static ProbeCalls calls{systemOpen, systemInodeFlags};
    return calls;
}

QString DataFolder::describeError(int error)
{
    switch (error) {
    case 0:
        return QString();
    case ENOENT:
        return QStringLiteral("文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("它或路径中的一项不是文件夹");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case EROFS:
        return QStringLiteral("所在的文件系统是只读的");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间已满");
    case ENOLCK:
        return QStringLiteral("文件系统不支持文件锁");
    case ELOOP:
        return QStringLiteral("路径中有符号链接");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString DataFolder::writeProblem(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat st = {};
    if (::stat(name.constData(), &st) != 0)
        return describeError(errno);
    if (!S_ISDIR(st.st_mode))
        return describeError(ENOTDIR);
    removeStaleProbes(folder);

    const ProbeCalls& calls = probeCalls();
    // An append-only folder takes the probe but would refuse every save, which replaces files.
    const int folderFd = calls.open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folderFd >= 0) {
        int flags = 0;
        const bool known = calls.inodeFlags(folderFd, &flags) == 0;
        ::close(folderFd);
        if (known && (flags & FS_IMMUTABLE_FL))
            return QStringLiteral("文件夹被设为不可改动（chattr +i）");
        if (known && (flags & FS_APPEND_FL))
            return QStringLiteral("文件夹被设为只能添加文件（chattr +a），保存时无法替换文件");
    }

    // No data is written: a disk that is full for the moment must not send the notes of a portable
    // copy elsewhere, where the user would find none of them. A file without a name is never left
    // behind, whatever happens to this process.
    int fd = calls.open(name.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0)
        return describeError(flushAndClose(fd));
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return describeError(errno);

    // The file system knows no unnamed files: a named probe, removed on every path.
    const QByteArray probe = QFile::encodeName(folder + u'/' + kProbePrefix + QString::number(::getpid()));
    fd = calls.open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return describeError(errno);
    // The name goes first: the flush may answer after the probe has stopped waiting for it.
    const int error = ::unlink(probe.constData()) == 0 ? 0 : errno;
    const int flushed = flushAndClose(fd);
    return describeError(error != 0 ? error : flushed);
}

bool DataFolder::claimsData(const QString& folder)
{
    return QFileInfo(folder + u'/' + kConfig).isFile() || isDirectory(folder + u'/' + kNotes) ||
           QFileInfo::exists(folder + u'/' + kPortableMarker);
}

QString DataFolder::perUserFolder(const QString& xdgDataHome, const QString& home)
{
    // A relative XDG_DATA_HOME is invalid and must be ignored.
    const QString dataHome =
        QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + QStringLiteral("/.local/share");
    return QDir::cleanPath(dataHome + u'/' + kPerUserName);
}

QString DataFolder::resourceFolder(const QString& executableFolder, const QString& installedShare)
{
    if (isDirectory(executableFolder + u'/' + kSounds) ||
        QFileInfo(executableFolder + u'/' + kHelpDocument).isFile())
        return executableFolder;
    if (!installedShare.isEmpty() && isDirectory(installedShare))
        return QDir::cleanPath(installedShare);
    return executableFolder;
}

AppFolders DataFolder::resolve(const QString& executableFolder, const QString& perUser,
                               const QString& installedShare)
{
    AppFolders folders;
    folders.resources = resourceFolder(executableFolder, installedShare);
    QString claimProblem;
    if (claimsData(executableFolder)) {
        claimProblem = writeProblem(executableFolder);
        if (claimProblem.isEmpty()) {
            folders.data = executableFolder;
            folders.portable = true;
            return folders;
        }
    }
    // Even when it cannot be created the data stays here: saving into a folder the user never looks
    // in would hide the notes as surely as failing does. The user is told instead.
    const int made = makePrivatePath(perUser);
    folders.data = perUser;
    folders.dataProblem = made != 0 ? describeError(made) : writeProblem(perUser);
    // Typing that goes elsewhere than the user's notes must never go there unsaid.
    if (!claimProblem.isEmpty())
        folders.notice = QStringLiteral("程序所在的文件夹“%1”存有便笺数据，但无法使用：%2。\r\n"
                                        "这次的便笺和设置改存在“%3”，以后也不会自动回到原处。")
                             .arg(FolderHandle::displayPath(executableFolder), claimProblem,
                                  FolderHandle::displayPath(perUser));
    return folders;
}

QStringList DataFolder::copyShippedData(const QString& executableFolder, const QString& dataFolder)
{
    QStringList copied;
    if (QDir(executableFolder) == QDir(dataFolder))
        return copied;
    // Each is copied on its own when it is missing here, so a first start cut short is completed by
    // the next one.
    const QString shippedNotes = executableFolder + u'/' + kNotes;
    if (isDirectory(shippedNotes) && !QFileInfo::exists(dataFolder + u'/' + kNotes) &&
        copyNotes(shippedNotes, dataFolder))
        copied << kNotes;
    const QString shippedConfig = executableFolder + u'/' + kConfig;
    if (QFileInfo(shippedConfig).isFile() && !QFileInfo::exists(dataFolder + u'/' + kConfig) &&
        copyConfig(shippedConfig, dataFolder))
        copied << kConfig;
    if (!copied.isEmpty())
        syncFolder(dataFolder);
    return copied;
}

QString DataFolder::copiedNotice(const QStringList& copied, const QString& executableFolder,
                                 const QString& dataFolder)
{
    if (copied.isEmpty())
        return QString();
    QStringList names;
    for (const QString& name : copied)
        names << (name == kNotes ? QStringLiteral("便笺（Notes 文件夹）")
                                 : QStringLiteral("设置（%1）").arg(name));
    return QStringLiteral("已把“%1”中的%2复制到“%3”；原来的文件保持不变，两处此后互不相干。")
        .arg(FolderHandle::displayPath(executableFolder), names.join(QStringLiteral("和")),
             FolderHandle::displayPath(dataFolder));
}
