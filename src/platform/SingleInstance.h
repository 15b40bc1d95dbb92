#pragma once

#include <QString>

/// Keeps one running instance per data folder: an flock on a lock file kept in the data folder
/// itself. Whatever way a second process finds the same folder (a copy of the executable, a link, a
/// different runtime folder or user session), it finds the same file. The file is never deleted, so
/// two processes can never hold locks on two different files of the same name; the lock itself
/// goes with the process, so a crash never blocks a restart.
class SingleInstance
{
public:
    /// Name of the lock file in the data folder; hidden, as it is no business of the user's.
    static inline const QString kLockName = QStringLiteral(".VemraNotes.lock");

    explicit SingleInstance(const QString& dataFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// True when this process holds the lock, or when no lock file can be opened at all (a folder
    /// that cannot hold the lock must not keep the application from starting); false while
    /// another process holds it.
    bool acquire();
    QString lockPath() const { return m_lockPath; }

private:
    QString m_lockPath;
    int m_fd = -1;
};
