// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>

#include "notes/FolderLook.h"
#include "notes/NoteJournal.h"
#include "notes/RecycleFolder.h"
#include "notes/SavePlan.h"
#include "platform/NoServices.h"

#include <functional>
#include <sys/types.h>

class Clock;
struct stat;

/// The folder Notes of the application folder, one file per note, and the recovery folder Notes.recycle.
///
/// A save never empties the folder first: new contents are staged and made durable, a journal naming
/// every rename and removal is committed, and only then is Notes changed; the next start finishes a
/// committed save that a crash interrupted, and drops one that was not committed, so every note is back
/// in Notes in its order. Files this store did not load (unreadable, named in bytes that are not UTF-8,
/// or hidden: names beginning with "." belong to sync tools and editors) are never touched; files that
/// appeared or changed outside are left as they are until look() has told the store about them; a
/// note that only moves to another number is renamed, never rewritten. A save
/// that changes nothing writes nothing. A note leaves Notes only after its recovery copy is durable.
class NoteFolder
{
public:
    struct LoadResult
    {
        /// The notes read, in folder order.
        QStringList texts;
        /// False when some file of the folder was not read (it is kept on disk untouched) or the
        /// folder could not be listed.
        bool complete = false;
    };

    /// Why the last save or recycle() failed.
    struct Failure
    {
        enum Kind
        {
            None,
            /// Notes could not be created, opened or listed.
            Folder,
            /// A note file could not be written or renamed into Notes.
            Write,
            /// A removed note could not be kept in the recovery folder.
            Recycle
        };
        Kind kind = None;
        /// The system's error number.
        int error = 0;
        /// The folder concerned.
        QString path;
    };

    /// Application folder; the clock names and dates recovery files.
    explicit NoteFolder(const QString& appFolder, const Clock* clock = NoServices::clock());

    /// Creates Notes when missing and reads every file in it: numbered files (1.txt, 2.txt, ... 10.txt)
    /// in numeric order first, then the others in byte order of their names; subfolders are ignored.
    LoadResult load();

    /// Makes the folder hold 1.txt ... k.txt for the k non-blank notes (plus the files kept aside).
    /// Without a load before, the files already there are kept untouched. False when the folder could
    /// not be brought to that state (lastFailure() says why); nothing is lost then and the next save
    /// tries again. While removed texts wait for their recovery copy, no save changes Notes.
    bool save(const QStringList& noteTexts);

    /// What changed in the folder since this store last looked, as texts of notes.
    using Change = FolderLook::Change;
    using LookResult = FolderLook::Result;

    /// Compares the folder with what this store last saw or wrote there and records what it finds:
    /// the changes another program made, by text. A file that only moved to another name is no
    /// change (another copy renumbering its files); a file is taken in only once two looks found
    /// it the same, kSettleMs or more apart (or last modified over a second ago). Hidden files are
    /// never read. Nothing without a load before.
    LookResult look();
    static constexpr int kSettleMs = FolderLook::kSettleMs;

    /// The last save left files alone that changed outside while it ran (or that were changed
    /// outside before it and not looked at yet): the caller looks and saves again.
    bool sawOutsideChange() const { return m_outsideChange; }

    /// Writes the non-blank texts into the recovery folder under new names before they leave the
    /// store. Texts that could not be written are kept and written by the next save, which changes
    /// nothing in Notes until they are. False when one could not be written.
    bool recycle(const QStringList& removedTexts);

    /// Why the last save() or recycle() failed (kind None after a success).
    const Failure& lastFailure() const { return m_failure; }

    /// Number of note files written into Notes by saves since construction.
    int filesWritten() const { return m_filesWritten; }

    /// Application folder + "/Notes".
    QString notesPath() const;
    /// Application folder + "/Notes.recycle" (inside Notes as ".recycle" when the application folder
    /// is read-only): removed notes and files a save moved out of Notes.
    QString recyclePath() const;
    /// Where a save prepares its files before they are renamed into Notes.
    QString stagingPath() const;

    /// Blank test of the save: nothing left after removing every space and then every CR LF pair.
    static bool isBlankForSave(QStringView text);
    /// Folder order of two file names (see load()).
    static bool lessInFolderOrder(const QByteArray& a, const QByteArray& b);

    /// For tests: called before the journal of a save is committed and before each rename into and
    /// removal from Notes; returning false stops the save there with EIO, leaving the folders as a
    /// crash at that point would.
    void setStepHook(std::function<bool()> hook) { m_stepHook = std::move(hook); }

    /// Files of the recovery folder kept whatever their age; older ones beyond them go once they are
    /// kRecycleMinDays old.
    static constexpr int kRecycleKeep = RecycleFolder::kKeep;
    static constexpr int kRecycleMinDays = RecycleFolder::kMinDays;

private:
    using Record = KnownFile;
    using Write = NoteWrite;
    bool step() const { return !m_stepHook || m_stepHook(); }
    bool fail(Failure::Kind kind, int error, const QByteArray& path);
    int openNotesFolder(bool create);
    bool preserveOriginal(int notesFd, const QByteArray& name);
    bool writeRecycled(const QStringList& texts);
    class JournalListener;
    /// Finishes or drops what a save that stopped part-way left in a staging folder (see
    /// NoteJournal::recover()).
    int recoverStaging(int parentDir, const QByteArray& stagingName, int notesFd);
    /// The files of Notes a load reads, in folder order.
    std::vector<QByteArray> listForLoad(int notesFd, bool* complete);
    /// The steps of a save, in their order.
    bool finishStoppedSave(int notesFd);
    bool keepPendingRemovalsSafe();
    bool listForSave(int notesFd, std::vector<FolderFiles::Entry>* entries);
    static FileRead readNote(int notesFd, const QByteArray& name);
    bool removeOnly(int notesFd, const QList<QByteArray>& removals, const QHash<QByteArray, FileStamp>& seen);
    bool writeThroughStaging(int notesFd, const QList<Write>& writes, const QList<QByteArray>& removals,
                             const QHash<QByteArray, FileStamp>& seen);
    bool stageAndCommit(int parentFd, const QByteArray& stagingName, int notesFd, const QList<Write>& writes,
                        const QList<QByteArray>& removals, const QHash<QByteArray, FileStamp>& seen,
                        bool* fallBack);
    void keepMovedStamps(int notesFd, const QList<Write>& writes);

    QByteArray m_appFolder;
    const Clock* m_clock;
    QHash<QByteArray, Record> m_records;
    /// Files of the folder that were not read into the store; a save leaves them alone.
    QSet<QByteArray> m_kept;
    /// The folder's content is known: load() listed it, or a save found it and kept it.
    bool m_listed = false;
    int m_filesWritten = 0;
    RecycleFolder m_recycle;
    /// Texts of the files a committed save renames into Notes, until it is finished.
    QHash<QByteArray, QString> m_committed;
    /// A save of this run may have left a staging folder behind (it stopped part-way).
    bool m_stagingLeft = false;
    /// Removed texts whose recovery copy could not be written yet.
    QStringList m_pendingRecycle;
    /// Mode bits of Notes; files and folders we create are never more open than it.
    mode_t m_notesMode = 0700;
    /// Staging beside Notes failed (read-only application folder, Notes on another mount): stage
    /// inside Notes for the rest of the run.
    bool m_stageInside = false;
    Failure m_failure;
    std::function<bool()> m_stepHook;
    /// Texts of files deleted from outside that a save noticed before a look did.
    QStringList m_vanished;
    /// Files found changing at a look: their stamp then and when (monotonic ms). Taken in once a
    /// look at least kSettleMs later finds them the same, or finds them the same and last modified
    /// more than a second ago.
    FolderLook::Sightings m_lastLook;
    bool m_outsideChange = false;
    /// Notes itself was gone and had to be made again: its files were not deleted one by one.
    bool m_notesRecreated = false;
};
