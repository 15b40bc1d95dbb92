// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

/// The two folders the application works from. A portable copy keeps both beside the executable;
/// an installed copy keeps its data per user and finds its read-only files under share/.
struct AppFolders
{
    /// Config.ini, Notes/, Notes.recycle/ and the lock file.
    QString data;
    /// Sounds/ and the help document.
    QString resources;
    /// True when the data lives beside the executable.
    bool portable = false;
    /// What the user must be told at start about where the data is kept: the folder beside the
    /// executable holds data but cannot be used, so the data is elsewhere. Empty when all is well.
    QString notice;
    /// Why the data folder cannot be written, in words for the user; empty when it can.
    QString dataProblem;
};

/// Where the data and the read-only files of the application are. Every function takes the folders
/// it decides about as arguments, so it can be tried on temporary folders.
namespace DataFolder {

/// Name of the marker file that keeps the data beside the executable even before it holds any.
inline const QString kPortableMarker = QStringLiteral("portable");
/// Name of the per-user data folder below the user's data home.
inline const QString kPerUserName = QStringLiteral("VemraNotes");

/// Name prefix of the probe files of canWrite(), followed by the id of the process.
inline const QString kProbePrefix = QStringLiteral(".VemraNotes-probe-");

/// The calls the write probe makes, which tests replace: an append-only folder (chattr +a) needs
/// root and ext4, a file system without O_TMPFILE another machine.
struct ProbeCalls
{
    /// open(2).
    int (*open)(const char* path, int flags, unsigned mode);
    /// The folder's inode flags (FS_IOC_GETFLAGS); -1 with errno when the file system has none.
    int (*inodeFlags)(int fd, int* flags);
};
ProbeCalls& probeCalls();

/// Why folder cannot be used for the data, in words for the user; empty when a file can really be
/// created and flushed to the disk there (or the disk is still flushing it a moment later: slow is
/// not refusing), and names can be removed again. Permission bits say
/// little here: root writes into a 0555 folder, nobody writes on a read-only mount or through a
/// server that maps root to nobody, and an append-only folder takes new files but never lets a
/// save replace one. The probe leaves nothing behind, and removes what a crashed earlier probe left.
QString writeProblem(const QString& folder);
inline bool canWrite(const QString& folder)
{
    return writeProblem(folder).isEmpty();
}

/// A system error (errno) in words for the user.
QString describeError(int error);

/// True when folder already claims the data: it holds Config.ini, Notes/ or the portable marker.
bool claimsData(const QString& folder);

/// The per-user data folder: $XDG_DATA_HOME/VemraNotes when that is an absolute path, else
/// home/.local/share/VemraNotes.
QString perUserFolder(const QString& xdgDataHome, const QString& home);

/// The read-only files: beside the executable when Sounds/ or the help document is there, else
/// installedShare when it exists, else beside the executable all the same.
QString resourceFolder(const QString& executableFolder, const QString& installedShare);

/// Chooses the data folder: the executable's folder when it claims the data and can be written,
/// else perUser, created (with missing parents) with mode 0700. The notice tells when the
/// executable's folder claims the data but cannot be used; dataProblem when perUser cannot be
/// written either.
AppFolders resolve(const QString& executableFolder, const QString& perUser, const QString& installedShare);

/// On the first start with a per-user folder, copies (never moves) the Notes/ folder and Config.ini
/// that lie beside the executable into it, each only when the data folder does not have it yet.
/// Notes arrive whole or not at all: they are copied into a hidden folder and renamed into place.
/// Returns what was copied, as names relative to the data folder.
QStringList copyShippedData(const QString& executableFolder, const QString& dataFolder);

/// The sentence that tells the user what copyShippedData() copied from where to where; empty when
/// nothing was.
QString copiedNotice(const QStringList& copied, const QString& executableFolder, const QString& dataFolder);

} // namespace DataFolder
