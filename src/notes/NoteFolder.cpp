// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteFolder.h"

#include "notes/FolderLook.h"
#include "notes/NoteFiles.h"
#include "notes/NoteJournal.h"
#include "notes/SavePlan.h"
#include "platform/Clock.h"
#include "platform/FolderFiles.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace FolderFiles;

namespace {

const QByteArray kNotes("Notes");
const QByteArray kStaging(".Notes.saving");
// Used when staging beside Notes cannot work: a read-only application folder, or Notes on another
// file system or mount (a rename cannot cross either). load() ignores subfolders and hidden names.
const QByteArray kInnerStaging(".saving");

} // namespace

NoteFolder::NoteFolder(const QString& appFolder, const Clock* clock)
    : m_appFolder(QFile::encodeName(appFolder)), m_clock(clock), m_recycle(m_appFolder, clock)
{
}

QString NoteFolder::notesPath() const
{
    return QFile::decodeName(m_appFolder + '/' + kNotes);
}

QString NoteFolder::recyclePath() const
{
    return QFile::decodeName(m_recycle.path());
}

QString NoteFolder::stagingPath() const
{
    return QFile::decodeName(m_appFolder + '/' + kStaging);
}

bool NoteFolder::isBlankForSave(QStringView text)
{
    return SavePlan::isBlank(text);
}

bool NoteFolder::lessInFolderOrder(const QByteArray& a, const QByteArray& b)
{
    return FolderLook::lessInFolderOrder(a, b);
}

bool NoteFolder::fail(Failure::Kind kind, int error, const QByteArray& path)
{
    // The first failure of an operation is the one that explains it.
    if (m_failure.kind == Failure::None)
        m_failure = Failure{kind, error, QFile::decodeName(path)};
    return false;
}

int NoteFolder::openNotesFolder(bool create)
{
    const QByteArray notesDir = m_appFolder + '/' + kNotes;
    struct stat st;
    if (::stat(notesDir.constData(), &st) != 0) {
        // Missing at start, or removed while we ran: bring it back rather than lose the notes with
        // it. The application folder itself is not recreated.
        if (!create || errno != ENOENT || ::mkdir(notesDir.constData(), 0777) != 0) {
            fail(Failure::Folder, errno, notesDir);
            return -1;
        }
        m_notesRecreated = true;
    } else if (!S_ISDIR(st.st_mode)) {
        fail(Failure::Folder, ENOTDIR, notesDir); // a file named Notes is not ours to touch
        return -1;
    }
    const int fd = openDir(notesDir);
    if (fd < 0) {
        fail(Failure::Folder, errno, notesDir);
        return -1;
    }
    if (::fstat(fd, &st) == 0)
        m_notesMode = st.st_mode & 0777;
    m_recycle.setNotesMode(m_notesMode);
    return fd;
}

NoteFolder::LoadResult NoteFolder::load()
{
    LoadResult result;
    m_records.clear();
    m_kept.clear();
    m_vanished.clear();
    m_lastLook.clear();
    m_listed = false;
    m_failure = {};

    Fd notesFd(openNotesFolder(true));
    if (!notesFd.valid())
        return result;

    // A save that a crash interrupted is finished (or, when it had not started to change Notes,
    // dropped) before anything is read.
    {
        Fd appFd(openDir(m_appFolder));
        if (appFd.valid())
            recoverStaging(appFd.get(), kStaging, notesFd.get());
        recoverStaging(notesFd.get(), kInnerStaging, notesFd.get());
    }

    bool complete = false;
    const std::vector<QByteArray> files = listForLoad(notesFd.get(), &complete);
    result.texts.reserve(qsizetype(files.size()));
    m_records.reserve(qsizetype(files.size()));
    for (const QByteArray& name : files) {
        // A name that is not UTF-8 could never be shown or written back under the same name.
        FileRead read;
        if (SavePlan::isUtf8(name))
            read = readNote(notesFd.get(), name);
        if (read.outcome == ReadOutcome::Missing)
            continue;
        if (read.outcome == ReadOutcome::Failed) {
            m_kept.insert(name);
            complete = false;
            continue;
        }
        result.texts.append(read.file.text);
        m_records.insert(name, std::move(read.file));
    }
    result.complete = complete;
    return result;
}

std::vector<QByteArray> NoteFolder::listForLoad(int notesFd, bool* complete)
{
    bool listed = false;
    const std::vector<Entry> entries = listFolder(notesFd, &listed, false);
    m_listed = listed;
    *complete = listed;
    std::vector<QByteArray> files;
    for (const Entry& entry : entries) {
        if (isHidden(entry.name))
            continue;
        if (!entry.statOk) {
            // A dangling link holds nothing; anything else we cannot look at is a note we may miss.
            if (entry.statErrno != ENOENT) {
                m_kept.insert(entry.name);
                *complete = false;
            }
            continue;
        }
        if (S_ISREG(entry.st.st_mode))
            files.push_back(entry.name);
    }
    std::sort(files.begin(), files.end(), &FolderLook::lessInFolderOrder);
    return files;
}

NoteFolder::LookResult NoteFolder::look()
{
    if (!m_listed)
        return {}; // nothing was read into the store: nothing here is a change of its notes
    m_notesRecreated = false;
    Fd notesFd(openNotesFolder(false));
    if (!notesFd.valid())
        return {}; // a missing folder is made again by the next save, not a deletion of notes
    bool listed = false;
    const std::vector<Entry> entries = listFolder(notesFd.get(), &listed);
    if (!listed)
        return {};
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    return FolderLook::compare(entries, m_kept, &m_records, &m_lastLook, std::exchange(m_vanished, {}),
                               m_clock->monotonicMs(), nanoseconds(wall),
                               [&](const QByteArray& name) { return readNote(notesFd.get(), name); });
}

bool NoteFolder::save(const QStringList& noteTexts)
{
    m_failure = {};
    m_outsideChange = false;
    m_notesRecreated = false;
    Fd notesFd(openNotesFolder(true));
    if (!notesFd.valid() || !finishStoppedSave(notesFd.get()) || !keepPendingRemovalsSafe())
        return false;
    std::vector<Entry> entries;
    if (!listForSave(notesFd.get(), &entries))
        return false;
    SavePlan plan = SavePlan::make(entries, m_kept, std::exchange(m_records, {}), m_notesRecreated, noteTexts,
                                   [&](const QByteArray& name) { return readNote(notesFd.get(), name); });
    m_records = std::move(plan.records);
    m_vanished += plan.vanished;
    m_outsideChange = plan.outsideChange;
    for (const QByteArray& name : std::as_const(plan.lossyOriginals)) {
        if (!preserveOriginal(notesFd.get(), name))
            return false;
    }
    if (!plan.writes.isEmpty())
        return writeThroughStaging(notesFd.get(), plan.writes, plan.removals, plan.seen);
    return removeOnly(notesFd.get(), plan.removals, plan.seen);
}

bool NoteFolder::finishStoppedSave(int notesFd)
{
    // A save that stopped part-way (of this run, or one the start could not finish) is finished
    // first, so the folder is in a known state. While its staging folder cannot be cleared, nothing
    // is staged: it may hold the only copy of a text.
    Fd appFd(openDir(m_appFolder));
    int error = appFd.valid() ? recoverStaging(appFd.get(), kStaging, notesFd) : 0;
    if (error != 0)
        return fail(Failure::Write, error, m_appFolder + '/' + kStaging);
    error = recoverStaging(notesFd, kInnerStaging, notesFd);
    if (error != 0)
        return fail(Failure::Write, error, m_appFolder + '/' + kNotes + '/' + kInnerStaging);
    m_stagingLeft = false;
    return true;
}

bool NoteFolder::keepPendingRemovalsSafe()
{
    // Removed notes whose recovery copy is not yet written still have their files here: Notes must
    // not change before they are safe.
    if (m_pendingRecycle.isEmpty())
        return true;
    const QStringList pending = std::exchange(m_pendingRecycle, {});
    return writeRecycled(pending);
}

bool NoteFolder::listForSave(int notesFd, std::vector<Entry>* entries)
{
    bool listed = false;
    *entries = listFolder(notesFd, &listed);
    if (!listed)
        return fail(Failure::Folder, errno ? errno : EIO, m_appFolder + '/' + kNotes);
    if (!m_listed) {
        // Without a load nothing here was read into the store: keep it all as it is, and treat only
        // what appears from now on as foreign.
        for (const Entry& entry : *entries)
            m_kept.insert(entry.name);
        m_listed = true;
    }
    return true;
}

FileRead NoteFolder::readNote(int notesFd, const QByteArray& name)
{
    FileRead read;
    QByteArray bytes;
    struct stat st;
    read.outcome = readFileAt(notesFd, name, &bytes, &st, kMaxNoteFileBytes);
    if (read.outcome == ReadOutcome::Read) {
        read.file.stamp = FileStamp::of(st);
        read.file.text = decodeNoteBytes(bytes, &read.file.canonical, &read.file.lossy);
    }
    return read;
}

bool NoteFolder::removeOnly(int notesFd, const QList<QByteArray>& removals,
                            const QHash<QByteArray, FileStamp>& seen)
{
    // Nothing to write: only removals, which leave the other files where they are.
    bool ok = true;
    for (const QByteArray& name : removals) {
        if (!step())
            return fail(Failure::Write, EIO, m_appFolder + '/' + kNotes);
        struct stat st;
        if (::fstatat(notesFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            FileStamp::of(st) != seen.value(name)) {
            m_outsideChange = true; // changed since the listing: not ours to remove
            continue;
        }
        if (::unlinkat(notesFd, name.constData(), 0) == 0 || errno == ENOENT)
            m_records.remove(name);
        else
            ok = fail(Failure::Write, errno, m_appFolder + '/' + kNotes);
    }
    return ok;
}

bool NoteFolder::writeThroughStaging(int notesFd, const QList<Write>& writes,
                                     const QList<QByteArray>& removals,
                                     const QHash<QByteArray, FileStamp>& seen)
{
    bool fallBack = false;
    if (!m_stageInside) {
        Fd appFd(openDir(m_appFolder));
        if (appFd.valid()) {
            if (stageAndCommit(appFd.get(), kStaging, notesFd, writes, removals, seen, &fallBack))
                return true;
            if (!fallBack)
                return false;
        }
        // Staging beside Notes cannot work here; inside Notes it can.
        m_stageInside = true;
        m_failure = {};
    }
    return stageAndCommit(notesFd, kInnerStaging, notesFd, writes, removals, seen, &fallBack);
}

// What the journal of a save, or of one replayed, does to what this store knows of Notes.
class NoteFolder::JournalListener final : public NoteJournal::Listener
{
public:
    /// writes: those of the save being made; null while a journal left behind is replayed.
    JournalListener(NoteFolder& folder, const QList<Write>* writes) : m_folder(folder), m_writes(writes) {}

    bool step() override { return m_folder.step(); }
    bool keepAside(int dirFd, const QByteArray& name, bool asText) override
    {
        return m_folder.m_recycle.moveIn(dirFd, name, asText);
    }
    void committed() override
    {
        m_folder.m_committed.clear();
        for (const Write& write : *m_writes)
            m_folder.m_committed.insert(write.name, write.text);
    }
    void placed(qsizetype index, const QByteArray& name, const struct stat* st) override
    {
        if (m_writes) {
            const Write& write = m_writes->at(index);
            if (write.linkFrom.isEmpty())
                ++m_folder.m_filesWritten;
            if (st)
                m_folder.m_records.insert(
                    name, Record{FileStamp::of(*st), write.text, write.canonical, write.lossy});
            else
                m_folder.m_records.remove(name);
            return;
        }
        // Within the run that staged it, the text of the file is known.
        const auto committed = m_folder.m_committed.constFind(name);
        if (committed != m_folder.m_committed.cend() && st)
            m_folder.m_records.insert(name, Record{FileStamp::of(*st), *committed, true, false});
        else
            m_folder.m_records.remove(name);
    }
    void removed(const QByteArray& name) override { m_folder.m_records.remove(name); }
    void replayed() override { m_folder.m_committed.clear(); }

private:
    NoteFolder& m_folder;
    const QList<Write>* m_writes;
};

bool NoteFolder::stageAndCommit(int parentFd, const QByteArray& stagingName, int notesFd,
                                const QList<Write>& writes, const QList<QByteArray>& removals,
                                const QHash<QByteArray, FileStamp>& seen, bool* fallBack)
{
    // Until this save ends well, the next one looks for what it left.
    m_stagingLeft = true;
    const auto seenStamp = [&](const QByteArray& name) {
        NoteJournal::Stamp stamp;
        stamp.state = NoteJournal::Stamp::State::Absent;
        const auto it = seen.constFind(name);
        if (it != seen.cend()) {
            stamp.state = NoteJournal::Stamp::State::Present;
            stamp.device = it->device;
            stamp.inode = it->inode;
            stamp.size = it->size;
            stamp.mtimeNs = it->mtimeNs;
        }
        return stamp;
    };
    JournalListener listener(*this, &writes);
    NoteJournal journal(parentFd, stagingName, notesFd, listener);
    const NoteJournal::Outcome outcome =
        journal.save(writes, removals, seenStamp, (m_notesMode & 0666) | S_IRUSR | S_IWUSR);
    m_outsideChange = m_outsideChange || outcome.outsideChange;
    *fallBack = *fallBack || outcome.fallBack;
    if (outcome.finished) {
        keepMovedStamps(notesFd, writes);
        m_committed.clear();
        m_stagingLeft = false;
    }
    const QByteArray notesPath = m_appFolder + '/' + kNotes;
    switch (outcome.where) {
    case NoteJournal::Outcome::Done:
        return true;
    case NoteJournal::Outcome::Staging:
        return fail(Failure::Write, outcome.error,
                    parentFd == notesFd ? notesPath + '/' + stagingName : m_appFolder + '/' + stagingName);
    case NoteJournal::Outcome::Notes:
        return fail(Failure::Write, outcome.error, notesPath);
    case NoteJournal::Outcome::Recycle:
        return fail(Failure::Recycle, outcome.error, m_recycle.path());
    }
    return false;
}

void NoteFolder::keepMovedStamps(int notesFd, const QList<Write>& writes)
{
    // Renames and removals of its other name changed a moved file's status time: the file itself
    // is the same, unless something else was put there meanwhile (then the next look sees it).
    for (const Write& write : writes) {
        const auto record = m_records.find(write.name);
        struct stat st;
        if (write.linkFrom.isEmpty() || record == m_records.end() ||
            ::fstatat(notesFd, write.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        FileStamp now = FileStamp::of(st);
        const qint64 ctimeNs = now.ctimeNs;
        now.ctimeNs = record->stamp.ctimeNs;
        if (now == record->stamp)
            record->stamp.ctimeNs = ctimeNs;
    }
}

int NoteFolder::recoverStaging(int parentDir, const QByteArray& stagingName, int notesFd)
{
    JournalListener listener(*this, nullptr);
    return NoteJournal::recover(parentDir, stagingName, notesFd, listener);
}
bool NoteFolder::preserveOriginal(int notesFd, const QByteArray& name)
{
    const int error = m_recycle.keepOriginal(notesFd, name);
    if (error != 0)
        return fail(Failure::Recycle, error, m_recycle.path());
    m_records[name].lossy = false;
    return true;
}

bool NoteFolder::recycle(const QStringList& removedTexts)
{
    m_failure = {};
    QStringList texts;
    for (const QString& text : removedTexts) {
        if (!isBlankForSave(text))
            texts.append(text);
    }
    if (texts.isEmpty())
        return true;
    return writeRecycled(texts);
}

bool NoteFolder::writeRecycled(const QStringList& texts)
{
    int error = 0;
    const QStringList failed = m_recycle.writeTexts(texts, &error);
    m_pendingRecycle += failed;
    if (failed.isEmpty())
        return true;
    return fail(Failure::Recycle, error, m_recycle.path());
}
