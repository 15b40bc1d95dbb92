#include "platform/DataFolder.h"

#include "platform/FolderFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kConfig = QStringLiteral("Config.ini");
const QString kNotes = QStringLiteral("Notes");
const QString kSounds = QStringLiteral("Sounds");
const QString kHelpDocument = QStringLiteral("Vemra便笺使用帮助.pdf");

bool isDirectory(const QString& path)
{
    return QFileInfo(path).isDir();
}

/// Creates path and every missing parent with mode 0700; an existing folder keeps its mode.
bool makePrivatePath(const QString& path)
{
    if (path.isEmpty())
        return false;
    if (isDirectory(path))
        return true;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !isDirectory(parent) && !makePrivatePath(parent))
        return false;
    const QByteArray name = QFile::encodeName(path);
    return ::mkdir(name.constData(), 0700) == 0 || (errno == EEXIST && isDirectory(path));
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

bool DataFolder::canWrite(const QString& folder)
{
    if (!isDirectory(folder))
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString probe = folder + QStringLiteral("/.VemraNotes-probe-%1").arg(::getpid());
        const QByteArray name = QFile::encodeName(probe);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            // A probe left by an earlier process with the same id: remove it and try once more.
            if (errno == EEXIST && attempt == 0 && ::unlink(name.constData()) == 0)
                continue;
            return false;
        }
        // No data is written: a disk that is full for the moment must not send the notes of a
        // portable copy elsewhere, where the user would find none of them.
        const bool synced = ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        const bool removed = ::unlink(name.constData()) == 0;
        return synced && closed && removed;
    }
    return false;
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
    if (claimsData(executableFolder) && canWrite(executableFolder)) {
        folders.data = executableFolder;
        folders.portable = true;
        return folders;
    }
    // Even when it cannot be created the data stays here: saving into a folder the user never looks
    // in would hide the notes as surely as failing does.
    makePrivatePath(perUser);
    folders.data = perUser;
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
