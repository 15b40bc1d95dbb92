// SPDX-License-Identifier: GPL-3.0-or-later
// The main window follows the notes folder while a sync tool or another copy changes it.
#include "shell/FrmMain.h"

#include "platform/FolderWatcher.h"

#include <QEvent>
#include <QTimer>

namespace {
// A file found still changing is looked at again after this long: two looks that find it the same
// take it in, within a second of its last change.
constexpr int kSettleMs = 400;
} // namespace

void FrmMain::startFollowingNotesFolder()
{
    if (m_notesWatcher)
        return;
    m_notesWatcher = FolderWatcher::create().release();
    m_notesWatcher->setParent(this);
    connect(m_notesWatcher, &FolderWatcher::changed, this, &FrmMain::followNotesFolder);
    m_notesSettle = new QTimer(this);
    m_notesSettle->setSingleShot(true);
    m_notesSettle->setInterval(kSettleMs);
    connect(m_notesSettle, &QTimer::timeout, this, &FrmMain::followNotesFolder);
    // What the look found comes in later, over the note being typed: that is kept first.
    connect(m_notes.get(), &NoteStore::aboutToTakeOutsideChanges, this, &FrmMain::CommitEditor);
    connect(m_notes.get(), &NoteStore::folderUnsettled, m_notesSettle, qOverload<>(&QTimer::start));
}

void FrmMain::followNotesFolder()
{
    // After the close nothing may change the notes; before they were read (the start reads them
    // after the first picture) there is nothing to follow yet, but soon.
    if (!m_notesWatcher || m_closed)
        return;
    if (m_notes->isLoadPending()) {
        m_notesSettle->start();
        return;
    }
    m_notesWatcher->watch(m_notes->notesPath());
    m_notes->followFolderLater();
}

void FrmMain::followNotesFolderOn(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        QTimer::singleShot(0, this, &FrmMain::followNotesFolder);
}
