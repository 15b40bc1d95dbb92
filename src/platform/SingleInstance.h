#pragma once

#include <QString>

/// Keeps one running instance per executable: a lock file in the runtime folder keyed by the
/// executable's canonical path. The lock goes with the process, so a crash never blocks a restart.
class SingleInstance
{
public:
    explicit SingleInstance(const QString& executablePath);
    ~SingleInstance();
    /// True when this process holds the lock (no other instance of the same executable runs).
    bool acquire();
    QString lockPath() const { return m_lockPath; }

private:
    QString m_lockPath;
    int m_fd = -1;
};
