// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Keeps one running instance per data folder. Every instance locks (flock) the data folder itself,
/// through a descriptor of the folder, and also the lock file kept in it whenever that file can be
/// used. The folder's lock is the one every instance agrees on: nothing placed in the folder (a
/// link, a FIFO, a file of another user) can take it away. The file's lock keeps out an earlier
/// build, which knew only the file. Whatever way a second process finds the same folder (a copy of
/// the executable, a link, a different runtime folder or user session), it meets the same locks.
/// The file is never deleted, and the locks go with the process, so a crash never blocks a restart.
class SingleInstance
{
public:
    /// Name of the lock file in the data folder; hidden, as it is no business of the user's.
    static inline const QString kLockName = QStringLiteral(".VemraNotes.lock");

    enum class State
    {
        NotTried,
        /// This process holds the folder's lock, the file's, or both.
        Held,
        /// Another process holds one of them.
        HeldElsewhere,
        /// No lock can be had at all; failure() says why.
        Unavailable,
    };

    /// The flock() the locks are taken with. Tests put a failing one in its place: a file system
    /// without locks (NFS without its lock daemon) cannot be had on a test machine.
    using FlockCall = int (*)(int fd, int operation);
    static FlockCall flockCall;

    explicit SingleInstance(const QString& dataFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// True when this process holds the lock. The application never runs without it: false while
    /// another process holds it, and false (state() Unavailable) when no lock can be had.
    bool acquire();
    State state() const { return m_state; }
    /// Why no lock could be had, in words for the user; empty otherwise.
    QString failure() const { return m_failure; }
    bool holdsFolder() const { return m_folderFd >= 0; }
    bool holdsFile() const { return m_fileFd >= 0; }
    QString lockPath() const { return m_lockPath; }

private:
    void release();

    QString m_folder;
    QString m_lockPath;
    int m_folderFd = -1;
    int m_fileFd = -1;
    State m_state = State::NotTried;
    QString m_failure;
};
