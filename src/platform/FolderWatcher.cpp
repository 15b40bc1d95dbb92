// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderWatcher.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
FolderWatcher::Factory& factory()
{
    static FolderWatcher::Factory f;
    return f;
}

// What a sync tool or an editor does to a note file, and the folder going away.
constexpr uint32_t kEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                             IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
} // namespace

std::unique_ptr<FolderWatcher> FolderWatcher::create()
{
    if (factory())
        if (std::unique_ptr<FolderWatcher> made = factory()())
            return made;
    return std::make_unique<InotifyFolderWatcher>();
}

void FolderWatcher::setFactory(Factory f)
{
    factory() = std::move(f);
}

InotifyFolderWatcher::InotifyFolderWatcher(QObject* parent) : FolderWatcher(parent)
{
    m_quiet = new QTimer(this);
    m_quiet->setSingleShot(true);
    m_quiet->setInterval(kQuietMs);
    connect(m_quiet, &QTimer::timeout, this, &FolderWatcher::changed);
}

InotifyFolderWatcher::~InotifyFolderWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InotifyFolderWatcher::watch(const QString& folder)
{
    if (m_fd < 0) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0)
            return false;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &InotifyFolderWatcher::readEvents);
    }
    if (m_watch >= 0 && folder == m_folder)
        return true;
    if (m_watch >= 0)
        ::inotify_rm_watch(m_fd, m_watch);
    m_folder = folder;
    m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), kEvents);
    return m_watch >= 0;
}

void InotifyFolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool relevant = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                // The folder itself went: the next watch() finds the new one.
                if (event->mask & IN_IGNORED)
                    m_watch = -1;
                relevant = true;
                continue;
            }
            if (event->mask & IN_Q_OVERFLOW) {
                relevant = true;
                continue;
            }
            if (event->len > 0 && event->name[0] != '.')
                relevant = true;
        }
    }
    if (relevant)
        m_quiet->start();
}
