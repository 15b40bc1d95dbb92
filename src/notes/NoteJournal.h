// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <sys/types.h>

struct stat;

/// One file a save puts into Notes: a new text, or a known file's bytes moved from linkFrom.
struct NoteWrite
{
    QByteArray name;
    QString text;
    QByteArray linkFrom;
    bool canonical = true;
    bool lossy = false;
};

/// The staging folder of a save and the journal in it, the one place that changes Notes. A save
/// stages every new content and makes it durable, commits a journal naming every rename and removal
/// with the stamp of the file it saw at that name, and only then renames into Notes and removes from
/// it; the next start (or save) replays a committed journal that a crash interrupted and drops one
/// that was not committed. Nothing here knows what a note holds: the note folder hears of every
/// file placed, removed or kept aside through its Listener.
class NoteJournal
{
public:
    /// The stamp of a file at a name, as a journal records it.
    struct Stamp
    {
        enum class State
        {
            /// A version 1 journal: the save did not record it.
            Unknown,
            Absent,
            Present
        };
        State state = State::Unknown;
        bool deviceKnown = true;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 mtimeNs = 0;

        /// Whether the file now at the name (null: none) is the one recorded.
        bool matches(const struct stat* st) const;
    };

    /// What the note folder does around each step.
    class Listener
    {
    public:
        virtual ~Listener() = default;
        /// For tests: false stops the save there with EIO, as a crash would.
        virtual bool step() { return true; }
        /// Moves name out of dirFd into the recovery folder (asText: under a new removal name). False
        /// when it stayed where it was.
        virtual bool keepAside(int dirFd, const QByteArray& name, bool asText) = 0;
        /// The index-th rename of the journal put its file into Notes at name; st is its status now
        /// (null when it cannot be read).
        virtual void placed(qsizetype index, const QByteArray& name, const struct stat* st) = 0;
        /// The journal of a save is committed: from now on the next start finishes it.
        virtual void committed() {}
        /// The file at name left Notes.
        virtual void removed(const QByteArray& name) = 0;
        /// A replayed journal is done with (finished, dropped or kept aside).
        virtual void replayed() {}
    };

    /// How a save through the staging folder ended.
    struct Outcome
    {
        enum Where
        {
            Done,
            /// The staging folder could not be made or used.
            Staging,
            /// A file could not be staged, renamed into or removed from Notes.
            Notes,
            /// A staged text refused by Notes could not be kept in the recovery folder.
            Recycle
        };
        /// The first failure.
        Where where = Done;
        int error = 0;
        /// Staging here cannot work (another file system or mount): stage inside Notes instead.
        bool fallBack = false;
        /// A file changed since the listing was left as it was.
        bool outsideChange = false;
        /// Every rename and removal was tried (the failure, if any, is a removal).
        bool finished = false;
    };

    /// What a save listed at a name of Notes.
    using SeenStamp = std::function<Stamp(const QByteArray& name)>;

    /// A save staged in stagingName below parentFd (Notes itself, or the application folder).
    NoteJournal(int parentFd, const QByteArray& stagingName, int notesFd, Listener& listener);
    ~NoteJournal();
    NoteJournal(const NoteJournal&) = delete;
    NoteJournal& operator=(const NoteJournal&) = delete;

    /// Stages writes (new files with fileMode, or second links of linkFrom), commits the journal
    /// and carries it out: renames into Notes, then removals, each only over the file the save saw.
    Outcome save(const QList<NoteWrite>& writes, const QList<QByteArray>& removals, const SeenStamp& seen,
                 mode_t fileMode);

    /// Finishes or drops what a save that stopped part-way left in stagingName. 0, or why the folder
    /// stays: it is not a folder of ours (ELOOP for a link), or holds a text that could be put
    /// nowhere else (EBUSY).
    static int recover(int parentDir, const QByteArray& stagingName, int notesFd, Listener& listener);

private:
    struct Entry;
    struct Lists;
    bool fail(Outcome::Where where, int error);
    bool openStaging();
    bool beginJournal();
    bool stageWrites(const QList<NoteWrite>& writes, mode_t fileMode);
    bool commit(const Lists& journal);
    bool renameAll(const QList<NoteWrite>& writes, const Lists& journal);
    bool removeAll(const Lists& journal);
    void dropStaging();
    static bool finish(int stageFd, int notesFd, const Lists& journal, Listener& listener);
    /// The largest journal a save could have written for the files there now.
    static qint64 limit(int stageFd, int notesFd);

    int m_parentFd;
    QByteArray m_stagingName;
    int m_notesFd;
    Listener& m_listener;
    bool m_inside;
    int m_stageFd = -1;
    Outcome m_outcome;
};
