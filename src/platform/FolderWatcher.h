// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

/// Tells when the files of one folder changed: created, written, renamed in or out, deleted. Names
/// beginning with "." (a sync tool's temporary file, our own staging) are not reported; their rename
/// to a real name is. Changes are reported once they have settled: after kQuietMs without another.
class FolderWatcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kQuietMs = 300;

    explicit FolderWatcher(QObject* parent = nullptr) : QObject(parent) {}
    ~FolderWatcher() override = default;

    /// Starts watching the folder (again, when it was removed and made anew); false when it cannot
    /// be watched now. Idempotent while the same folder is watched.
    virtual bool watch(const QString& folder) = 0;

    /// Makes the watcher of the application; tests replace it with a fake. Never returns null.
    using Factory = std::function<std::unique_ptr<FolderWatcher>()>;
    static std::unique_ptr<FolderWatcher> create();
    /// Replaces what create() makes; an empty function brings the system's back.
    static void setFactory(Factory factory);

signals:
    /// Something in the folder changed and then stayed quiet for kQuietMs.
    void changed();
};

/// The system's watcher, on inotify. Without inotify (limits reached) watch() returns false and
/// nothing is reported: the window's activation still brings the list up to date.
class InotifyFolderWatcher : public FolderWatcher
{
    Q_OBJECT

public:
    explicit InotifyFolderWatcher(QObject* parent = nullptr);
    ~InotifyFolderWatcher() override;
    bool watch(const QString& folder) override;

private:
    void readEvents();

    int m_fd = -1;
    int m_watch = -1;
    QString m_folder;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_quiet = nullptr;
};
