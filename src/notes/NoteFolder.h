#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>

class Clock;
struct stat;

/// The folder Notes beside the executable, one file per note, and the recovery folder Notes.recycle.
///
/// A save never empties the folder first: new contents are staged outside it and made durable, then
/// renamed into place, and only then are the files that are no longer needed removed, so a crash at any
/// moment leaves every note in at least one file. Files this store did not load (unreadable, or named
/// in bytes that are not UTF-8) are never removed, and files that appeared while the application ran
/// are moved to the recovery folder rather than deleted. A save that changes nothing writes nothing.
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

    /// Folder of the executable; the clock names recovery files (the system clock when null).
    explicit NoteFolder(const QString& appFolder, const Clock* clock = nullptr);

    /// Creates Notes when missing and reads every file in it: numbered files (1.txt, 2.txt, ... 10.txt)
    /// in numeric order first, then the others in byte order of their names; subfolders are ignored.
    LoadResult load();

    /// Makes the folder hold 1.txt ... k.txt for the k non-blank notes (plus the files kept aside).
    /// Without a load before, the files already there are kept untouched. Errors are silent; false when
    /// the folder could not be brought to that state.
    bool save(const QStringList& noteTexts);

    /// Writes the non-blank texts into the recovery folder under new names before they leave the
    /// store; only the newest files of that kind are kept. False when one could not be written.
    bool recycle(const QStringList& removedTexts);

    /// Number of note files written into Notes by saves since construction.
    int filesWritten() const { return m_filesWritten; }

    /// Application folder + "/Notes".
    QString notesPath() const;
    /// Application folder + "/Notes.recycle": removed notes and files a save moved out of Notes.
    QString recyclePath() const;
    /// Where a save prepares its files before they are renamed into Notes.
    QString stagingPath() const;

    /// Blank test of the save: nothing left after removing every space and then every CR LF pair.
    static bool isBlankForSave(QStringView text);
    /// Folder order of two file names (see load()).
    static bool lessInFolderOrder(const QByteArray& a, const QByteArray& b);

    /// For tests: called before each rename into and removal from Notes; returning false stops the save
    /// at that point, leaving the folder as a crash there would.
    void setStepHook(std::function<bool()> hook) { m_stepHook = std::move(hook); }

    /// Recovery files written by recycle() that are kept.
    static constexpr int kRecycleKeep = 200;

private:
    struct FileStamp
    {
        qint64 size = -1;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        quint64 inode = 0;
        quint64 device = 0;
        bool operator==(const FileStamp&) const = default;
    };
    /// What this store knows a file of Notes holds.
    struct Record
    {
        FileStamp stamp;
        QString text;
        /// The bytes are exactly what a save writes for the text.
        bool canonical = false;
    };
    bool step() const { return !m_stepHook || m_stepHook(); }
    static FileStamp stampOf(const struct stat& st);
    int openRecycleFolder() const;
    QByteArray nextRecycleName();
    bool moveToRecycle(int fromDir, const QByteArray& name, bool renameAsText);
    void recoverStaging(int parentDir, const QByteArray& stagingName);
    void pruneRecycle() const;
    enum class Resolution : int;
    Resolution resolveUnknown(int notesFd, const QByteArray& name,
                              const QHash<QByteArray, QString>& wantedByName);
    bool writeThroughStaging(int notesFd, const QList<QPair<QByteArray, QString>>& writes);

    QByteArray m_appFolder;
    const Clock* m_clock;
    QHash<QByteArray, Record> m_records;
    /// Files of the folder that were not read into the store; a save leaves them alone.
    QSet<QByteArray> m_kept;
    /// The folder's content is known: load() listed it, or a save found it and kept it.
    bool m_listed = false;
    int m_filesWritten = 0;
    QByteArray m_lastRecycleStamp;
    int m_lastRecycleCounter = 0;
    std::function<bool()> m_stepHook;
};
