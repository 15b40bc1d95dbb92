// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "notes/NoteFolder.h"
#include "notes/NoteWriter.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

/// The notes in memory: their texts, the entries the note list shows for them, the note the editor
/// is tied to, and the hits of the last search. Entry i always belongs to note i.
///
/// The store knows no widgets. The note list follows it through the entry signals, the editor through
/// editorTextReplaced; the store never keeps a copy of the editor's text between commits, so the
/// caller hands it over with commit(). Every removed text reaches the recovery folder before it
/// leaves the store.
class NoteStore : public QObject
{
    Q_OBJECT

public:
    /// Entry of a blank note and of every new one.
    static inline const QString kEmptyEntry = QStringLiteral("#无内容#");
    /// Entry of note 0 after the only note was removed (until the next commit).
    static inline const QString kUntitledEntry = QStringLiteral("#无标题#");

    /// Which note is current after a removal.
    enum class AfterRemoval
    {
        /// The note list's button: the editor stays with its note, wherever that note moves; when
        /// it is the one removed no note is current and the editor empties. Removing the last entry
        /// brings note 0 back.
        FollowCurrent,
        /// The editor key: note 0 is current and shown in every case.
        ShowFirstNote
    };
    Q_ENUM(AfterRemoval)

    /// What removeNote() did.
    enum class Removal
    {
        /// Nothing: the index is outside the store.
        None,
        /// The only note was emptied in place; its entry reads kUntitledEntry.
        OnlyNoteBlanked,
        /// The last entry is gone; note 0 is current.
        LastRemoved,
        /// An entry before the last is gone.
        Removed
    };
    Q_ENUM(Removal)

    /// Starts with one empty note, current; the store owns the folder it loads from and saves to.
    explicit NoteStore(std::unique_ptr<NoteFolder> folder, QObject* parent = nullptr);
    ~NoteStore() override;

    /// The note texts, index 0 … NoteCount() − 1, parallel to entries().
    const QStringList& NoteTexts() const
    {
        ensureLoaded();
        return m_texts;
    }
    int NoteCount() const
    {
        ensureLoaded();
        return int(m_texts.size());
    }
    /// Index of the note the editor is tied to; −1 when none.
    int CurrentNote() const { return m_current; }
    /// Needs no note of the folder: the notes a load brings come after those the store holds.
    bool hasCurrentNote() const { return m_current >= 0 && m_current < m_texts.size(); }
    /// What the note list shows for each note.
    const QStringList& entries() const
    {
        ensureLoaded();
        return m_entries;
    }
    /// The folder, once every write and look given to it is done and told.
    NoteFolder& folder()
    {
        waitForWrites();
        return *m_folder;
    }
    /// Where the note files are; known without waiting for the folder.
    QString notesPath() const { return m_notesPath; }

    /// The entry a commit gives a text: the placeholder for a blank text (spaces trimmed at both
    /// ends, then every CR LF pair removed), else its title.
    static QString entryFor(const QString& text);

    /// One empty note, current, with the entry kEmptyEntry. The folder is not touched.
    void reset();
    /// Appends every note of the folder after the notes held (one empty note after reset()), each
    /// with its plain title (a blank file keeps a blank entry), and shows note 0.
    void load();
    /// Shows note 0 now and leaves the reading of the folder for later: the first thing that asks
    /// the store anything about its notes, or loadNow(), appends them as load() does. What the
    /// store is told meanwhile (an edit of note 0, a new note) comes after the folder's notes, as
    /// it would have after a load().
    void loadWhenNeeded();
    /// Reads the folder now if loadWhenNeeded() put it off.
    void loadNow() { ensureLoaded(); }
    /// Has the folder read on the writer's thread if loadWhenNeeded() put it off, and returns at
    /// once: a slow disk (a save a crash cut short is finished first, with its flushes) never holds
    /// the window. Its notes come in when the disk answers, after the notes held then. Meanwhile
    /// the current note takes edits and an automatic save waits for the notes; whatever else needs
    /// the folder's notes waits for the load.
    void loadInBackground();
    bool isLoadPending() const { return m_loadPending; }
    /// Writes the notes to the folder and waits until it is done, after every write given before;
    /// false when it failed (told through folderFailed).
    bool save();
    /// Has the notes written as they are now on the writer's thread and returns at once: typing
    /// never waits for the disk. A save given while another runs waits its turn, and one still
    /// waiting takes the newest texts instead. A failure is told through folderFailed as save()
    /// tells it; a file changed outside meanwhile is taken in first (see followFolderLater()) and
    /// the notes are saved again.
    void saveLater();
    /// Waits until every write and look given is done and what it found is taken in.
    void waitForWrites() { m_writer->waitUntilIdle(); }
    /// Why the last save failed (kind None after a success).
    const NoteFolder::Failure& lastFailure() const { return m_lastFailure; }
    /// The non-blank texts the folder does not hold as they are: typed, changed or added since the
    /// last load or successful save.
    QStringList unsavedTexts() const;
    /// Appends the texts as notes at the end of the list; the current note stays.
    void appendNotes(const QStringList& texts);

    /// Stores the editor's text into the current note and gives that note the entry of its text.
    /// Without a text (the editor still holds the note as it was shown) only the entry is refreshed.
    /// Does nothing while no note is current.
    void commit(const std::optional<QString>& editedText);
    /// Makes note index current and shows it; false (nothing changed) for an index outside the store.
    /// The caller commits the editor before.
    bool open(int index);
    /// Appends an empty note with the entry kEmptyEntry, makes it current and empties the editor.
    void addNote();
    /// Something was typed while no note is current: an empty note at the end becomes current, so
    /// the next commit keeps what was typed. The editor keeps its text. False when a note is current.
    bool adoptEditor();
    /// Removes note index after keeping its text in the recovery folder. The only note is emptied
    /// in place instead.
    Removal removeNote(int index, AfterRemoval rule);
    /// Keeps every text in the recovery folder, then leaves one empty note, current, and empties
    /// the editor.
    void clearNotes();

    /// How many notes the last removal or clearing took and can still be put back; 0 when nothing
    /// can be undone. Any other change of the list (a note added, a text edited, one coming in from
    /// outside) ends the chance: only the list as the removal left it can take them back.
    int undoableCount() const { return int(m_undo.texts.size()); }
    bool undoableIsClearing() const { return m_undo.cleared; }
    /// Puts the notes of the last removal or clearing back at their places, with the current note
    /// of before. They are notes again like any other, written by the next save; their copies in
    /// the recovery folder stay. The caller commits the editor before. False when nothing could be
    /// undone.
    bool undoRemoval();
    /// Ends the chance to undo (the list changed otherwise, or the offer ran out): what was removed
    /// stays in the recovery folder only.
    void forgetUndo();

    /// Takes in what another program (a sync tool, another copy of the application) changed in the
    /// folder since the store last looked, matching notes by their text: a new file becomes a note
    /// at its place in folder order, a changed file's text replaces its note's (and the editor's,
    /// when that note is current and holds no edit of ours), a deleted file's note goes, its text
    /// kept in the recovery folder first. When the note had an edit of ours not yet saved, ours
    /// stays and the outside text becomes a new note right after it, its entry marked with
    /// kOutsideEntryPrefix. The caller commits the editor before. True when some file was still
    /// being written: look again shortly. Does nothing before the folder was read.
    bool followFolder();
    /// followFolder() without waiting: the folder is looked at on the writer's thread, and what it
    /// found is taken in later, after aboutToTakeOutsideChanges (the caller commits the editor
    /// then); folderUnsettled when some file was still being written. Saves given meanwhile wait
    /// for it, so no save writes over what the store has not seen.
    void followFolderLater();
    /// Marks the entry of a note that arrived from outside while its note was being edited here.
    static inline const QString kOutsideEntryPrefix = QStringLiteral("【外部修改】");

    /// Notes whose text contains the needle (exact, case-sensitive), in note order; kept as the hits
    /// until the next search, whatever is added or removed meanwhile.
    const QList<int>& search(const QString& needle);
    const QList<int>& searchHits() const { return m_searchHits; }
    /// Note index of hit row; −1 when there is no such row.
    int searchHit(int row) const { return m_searchHits.value(row, -1); }

signals:
    /// Entries appended at the end of the list.
    void entriesAdded(const QStringList& entries);
    /// Entry index shows a new text.
    void entryChanged(int index, const QString& entry);
    /// Entry index is gone; later entries move up by one.
    void entryRemoved(int index);
    /// The list was replaced as a whole.
    void entriesReset(const QStringList& entries);
    /// Another note (or none, −1) is current.
    void currentChanged(int index);
    /// The editor is to show this text in place of what it holds: a note's own text, or nothing.
    void editorTextReplaced(const QString& text);
    /// The folder failed in a way not told since the last successful save: a failure that repeats
    /// at every automatic save is told once.
    void folderFailed(const NoteFolder::Failure& failure);
    /// What changed outside is about to come in (see followFolderLater()).
    void aboutToTakeOutsideChanges();
    /// A look found a file still being written: look again shortly.
    void folderUnsettled();
    /// undoableCount() changed: notes were removed (count > 0), or the chance to undo is over (0).
    void undoableChanged(int count, bool cleared);

private:
    void ensureLoaded() const;
    void appendFolderNotes(const NoteFolder::LoadResult& loaded);
    void tookLoad(const NoteFolder::LoadResult& loaded);
    void setEntry(int index, const QString& entry);
    void setCurrent(int index);
    void appendEmptyNote();
    /// Keeps the texts in the recovery folder; a copy that fails is kept for the next save, which
    /// leaves Notes alone until then.
    void recycle(const QStringList& texts);
    void tellFailure(const NoteFolder::Failure& failure);
    quint64 newId() { return ++m_lastId; }
    /// Gives the writer a save of the texts as they are now. chase: a file found changed outside
    /// brings a look and another save.
    void postSave(bool chase);
    /// Heavy when the save moves many files (see NoteWriter).
    NoteWriter::Weight saveWeight() const;
    void tookSave(const QList<quint64>& ids, const QStringList& texts, bool ok,
                  const NoteFolder::Failure& failure, bool outsideChange, bool chase);
    void tookLook(const NoteFolder::LookResult& look);
    /// Takes in what a look found; true when some file was still being written.
    bool applyLook(const NoteFolder::LookResult& look);
    /// Puts the notes with files into the folder's order (texts of its note files); true when any
    /// note moved.
    bool takeFolderOrder(const QStringList& order);
    /// The note that the folder held as text (as its file last read or saved), −1 when none; one
    /// still unedited first.
    int noteOnDisk(const QString& text) const;
    /// Puts a note that came from the folder at index; the list hears of it later (see followFolder).
    void insertFromFolder(int index, const QString& text, const QString& entry);
    /// Removes a note whose file was deleted from outside, keeping its text in the recovery folder.
    /// Signals only when signal is true.
    void removeFromFolder(int index, bool signal);

    /// What the last removal took, to put back (see undoRemoval()).
    struct Undo
    {
        /// The notes taken, with their entries; a removal takes one, from index.
        QStringList texts;
        QStringList entries;
        int index = 0;
        int current = -1;
        bool cleared = false;
        /// The only note was emptied in place rather than taken out.
        bool blanked = false;
    };
    void keepForUndo(Undo undo);

    std::unique_ptr<NoteFolder> m_folder;
    Undo m_undo;
    bool m_loadPending = false;
    /// The pending load runs on the writer's thread.
    bool m_loadPosted = false;
    QStringList m_texts;
    QStringList m_entries;
    int m_current = 0;
    QList<int> m_searchHits;
    QList<NoteFolder::Failure::Kind> m_toldFailures;
    /// Parallel to m_texts: what the folder held for each note when it was last read or saved (null
    /// for a note never saved). A note whose text differs holds an edit of ours.
    QStringList m_base;
    /// Parallel to m_texts: which note each is, so that a save finished on the writer's thread marks
    /// the right notes saved however the list changed meanwhile.
    QList<quint64> m_ids;
    /// The notes the last save (or the load) left in the folder, in its order.
    QList<quint64> m_savedOrder;
    quint64 m_lastId = 0;
    NoteFolder::Failure m_lastFailure;
    bool m_lastSaveOk = true;
    bool m_lastSaveSawOutside = false;
    /// A look is on the writer's thread or its findings not yet taken in; saves wait for it.
    bool m_lookPending = false;
    bool m_lookWanted = false;
    bool m_saveWanted = false;
    QString m_notesPath;
    /// Last: destroyed first, it finishes its writes while the folder is still there.
    std::unique_ptr<NoteWriter> m_writer;
};
