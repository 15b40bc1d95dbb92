// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

/// The file plumbing of the notes and recovery folders: descriptors and the *at calls on a folder
/// held open, so names are bytes (not UTF-8 perhaps) and a folder renamed meanwhile is still the one
/// meant. Errors come back as errno values or a typed outcome, never silently.
namespace FolderFiles {

/// A descriptor closed with its owner.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    /// Hands the descriptor back, for a close whose result matters.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

int openDir(const QByteArray& path);
/// A subfolder, never through a link.
int openDirAt(int dirFd, const QByteArray& name);

/// Names beginning with "." belong to sync tools, editors and ourselves: never notes.
bool isHidden(const QByteArray& name);

struct Entry
{
    QByteArray name;
    struct stat st;
    bool statOk;
    int statErrno;
};

/// Lists with readdir so that names which are not valid UTF-8 are seen as they are. With needStat the
/// status of what each name leads to (links followed) is taken; without it only entries whose type the
/// listing does not tell are looked at, and a plain file gets st_mode only. *ok is false when the
/// listing failed part-way.
std::vector<Entry> listFolder(int dirFd, bool* ok, bool needStat = true);

qint64 nanoseconds(const timespec& t);

enum class ReadOutcome
{
    Read,
    Missing,
    Failed
};

/// Reads a regular file of at most maxBytes whole; *st is its status when it was opened. A link, a
/// pipe or a device at the name, or a larger file, is Failed without waiting or following.
ReadOutcome readFileAt(int dirFd, const QByteArray& name, QByteArray* bytes, struct stat* st,
                       qint64 maxBytes);

bool writeAll(int fd, const QByteArray& bytes);

/// Above this many files one syncfs() is cheaper than an fsync() per file.
constexpr int kFsyncEachLimit = 16;

/// Returns 0 or the error; a file that could not be written completely is removed again. Never
/// follows a link at the name, so a link planted there cannot redirect the write, and never waits on
/// a pipe planted there.
int writeFileAt(int dirFd, const QByteArray& name, const QByteArray& bytes, int extraFlags, bool sync,
                mode_t mode);

/// Flushes a folder's entries (a rename into it, say) to the disk; 0 or the error.
int syncFolder(const QByteArray& path);

/// Renames without replacing what is at the target; 0, EEXIST when something is there, or the error.
int renameNoReplace(int fromDir, const QByteArray& from, int toDir, const QByteArray& to);

/// Removes everything in a folder but its subfolders.
void removeFilesIn(int dirFd);

} // namespace FolderFiles
