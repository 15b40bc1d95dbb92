// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FolderWatcher.h"

#include <QStringList>

/// A watcher the test drives: it records what it was asked to watch and reports a change when told.
class FakeFolderWatcher : public FolderWatcher
{
    Q_OBJECT

public:
    bool watch(const QString& folder) override
    {
        watched.append(folder);
        return true;
    }
    void fire() { emit changed(); }

    QStringList watched;
    /// The watcher the factory made last (owned by whoever asked for it).
    static inline FakeFolderWatcher* last = nullptr;

    /// Makes FolderWatcher::create() hand out fakes until the returned guard goes.
    struct Installed
    {
        Installed()
        {
            FolderWatcher::setFactory([] {
                auto made = std::make_unique<FakeFolderWatcher>();
                last = made.get();
                return made;
            });
        }
        ~Installed()
        {
            FolderWatcher::setFactory({});
            last = nullptr;
        }
    };
};
