// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteFolder.h"

#include "notes/NoteFiles.h"
#include "notes/NoteJournal.h"
#include "platform/Clock.h"
#include "platform/FolderFiles.h"

#include <QDateTime>
#include <QFile>
#include <QStringDecoder>

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

bool isValidUtf8(const QByteArray& bytes)
{
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return quint8(c) < 0x80; }))
        return true;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // decode() is lazy: the conversion runs only when the result becomes a QString.
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

bool isNumberedName(const QByteArray& name, QByteArrayView* digits)
{
    if (!name.endsWith(".txt") || name.size() <= 4)
        return false;
    const QByteArrayView stem = QByteArrayView(name).chopped(4);
    for (char c : stem) {
        if (c < '0' || c > '9')
            return false;
    }
    *digits = stem;
    return true;
}

int compareNumbers(QByteArrayView a, QByteArrayView b)
{
    while (a.size() > 1 && a.front() == '0')
        a = a.sliced(1);
    while (b.size() > 1 && b.front() == '0')
        b = b.sliced(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

QByteArray numberedName(int n)
{
    return QByteArray::number(n) + ".txt";
}

} // namespace

enum class NoteFolder::Resolution : int
{
    Known,
    Vanished,
    Foreign
};

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
    // Spaces go first, then the CR LF pairs: what is left is empty exactly when the text without its
    // spaces is a run of CR LF pairs.
    bool expectLf = false;
    for (QChar c : text) {
        if (c == u' ')
            continue;
        if (!expectLf && c == u'\r')
            expectLf = true;
        else if (expectLf && c == u'\n')
            expectLf = false;
        else
            return false;
    }
    return !expectLf;
}

bool NoteFolder::lessInFolderOrder(const QByteArray& a, const QByteArray& b)
{
    QByteArrayView digitsA;
    QByteArrayView digitsB;
    const bool numberedA = isNumberedName(a, &digitsA);
    const bool numberedB = isNumberedName(b, &digitsB);
    if (numberedA != numberedB)
        return numberedA;
    if (numberedA) {
        const int byNumber = compareNumbers(digitsA, digitsB);
        if (byNumber != 0)
            return byNumber < 0;
    }
    return a < b;
}

NoteFolder::FileStamp NoteFolder::stampOf(const struct stat& st)
{
    FileStamp stamp;
    stamp.size = qint64(st.st_size);
    stamp.mtimeNs = nanoseconds(st.st_mtim);
    stamp.ctimeNs = nanoseconds(st.st_ctim);
    stamp.inode = quint64(st.st_ino);
    stamp.device = quint64(st.st_dev);
    stamp.mode = st.st_mode & 07777;
    return stamp;
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

    bool listed = false;
    std::vector<Entry> entries = listFolder(notesFd.get(), &listed, false);
    m_listed = listed;
    bool complete = listed;
    std::vector<QByteArray> files;
    for (const Entry& entry : entries) {
        if (isHidden(entry.name))
            continue;
        if (!entry.statOk) {
            // A dangling link holds nothing; anything else we cannot look at is a note we may miss.
            if (entry.statErrno != ENOENT) {
                m_kept.insert(entry.name);
                complete = false;
            }
            continue;
        }
        if (S_ISREG(entry.st.st_mode))
            files.push_back(entry.name);
    }
    std::sort(files.begin(), files.end(), &NoteFolder::lessInFolderOrder);

    result.texts.reserve(qsizetype(files.size()));
    m_records.reserve(qsizetype(files.size()));
    for (const QByteArray& name : files) {
        // A name that is not UTF-8 could never be shown or written back under the same name.
        if (!isValidUtf8(name)) {
            m_kept.insert(name);
            complete = false;
            continue;
        }
        QByteArray bytes;
        struct stat fileSt;
        switch (readFileAt(notesFd.get(), name, &bytes, &fileSt, kMaxNoteFileBytes)) {
        case ReadOutcome::Missing:
            continue;
        case ReadOutcome::Failed:
            m_kept.insert(name);
            complete = false;
            continue;
        case ReadOutcome::Read:
            break;
        }
        Record record;
        record.stamp = stampOf(fileSt);
        record.text = decodeNoteBytes(bytes, &record.canonical, &record.lossy);
        result.texts.append(record.text);
        m_records.insert(name, std::move(record));
    }
    result.complete = complete;
    return result;
}

NoteFolder::LookResult NoteFolder::look()
{
    LookResult result;
    if (!m_listed)
        return result; // nothing was read into the store: nothing here is a change of its notes
    m_notesRecreated = false;
    Fd notesFd(openNotesFolder(false));
    if (!notesFd.valid())
        return result; // a missing folder is made again by the next save, not a deletion of notes
    bool listed = false;
    const std::vector<Entry> entries = listFolder(notesFd.get(), &listed);
    if (!listed)
        return result;

    QList<Change> found;
    std::vector<QByteArray> present; // note files known after this look
    QSet<QByteArray> listedNames;
    for (const Entry& entry : entries) {
        if (isHidden(entry.name) || m_kept.contains(entry.name))
            continue;
        listedNames.insert(entry.name);
        if (!entry.statOk || !S_ISREG(entry.st.st_mode) || !isValidUtf8(entry.name))
            continue;
        const FileStamp stamp = stampOf(entry.st);
        const auto record = m_records.find(entry.name);
        if (record != m_records.end() && record->stamp == stamp) {
            present.push_back(entry.name);
            continue;
        }
        // A file still being written changes between two looks: it waits for the next one.
        const auto last = m_lastLook.constFind(entry.name);
        const qint64 nowMs = m_clock->monotonicMs();
        timespec wall{};
        ::clock_gettime(CLOCK_REALTIME, &wall);
        const bool settled = last != m_lastLook.cend() && last->stamp == stamp &&
                             (nowMs - last->atMs >= kSettleMs ||
                              nanoseconds(wall) - stamp.mtimeNs > qint64(1000) * 1000 * 1000);
        if (!settled) {
            if (last == m_lastLook.cend() || !(last->stamp == stamp))
                m_lastLook.insert(entry.name, Seen{stamp, nowMs});
            result.unsettled = true;
            if (record != m_records.end())
                present.push_back(entry.name);
            continue;
        }
        QByteArray bytes;
        struct stat st;
        const ReadOutcome outcome = readFileAt(notesFd.get(), entry.name, &bytes, &st, kMaxNoteFileBytes);
        if (outcome != ReadOutcome::Read || !(stampOf(st) == stamp)) {
            m_lastLook.remove(entry.name);
            result.unsettled = outcome != ReadOutcome::Failed;
            if (record != m_records.end())
                present.push_back(entry.name);
            continue;
        }
        m_lastLook.remove(entry.name);
        Record fresh;
        fresh.stamp = stamp;
        fresh.text = decodeNoteBytes(bytes, &fresh.canonical, &fresh.lossy);
        if (record == m_records.end())
            found.append({Change::Added, {}, fresh.text, {}});
        else if (record->text != fresh.text)
            found.append({Change::Changed, record->text, fresh.text, {}});
        m_records.insert(entry.name, std::move(fresh));
        present.push_back(entry.name);
    }
    for (auto it = m_records.begin(); it != m_records.end();) {
        if (listedNames.contains(it.key())) {
            ++it;
            continue;
        }
        found.append({Change::Removed, it->text, {}, {}});
        it = m_records.erase(it);
    }
    for (const QString& text : std::exchange(m_vanished, {}))
        found.append({Change::Removed, text, {}, {}});
    for (auto it = m_lastLook.begin(); it != m_lastLook.end();) {
        if (listedNames.contains(it.key()))
            ++it;
        else
            it = m_lastLook.erase(it);
    }

    // A text that left one name and arrived at another was moved, not changed: another copy of the
    // application renumbered its files.
    QHash<QString, int> gone;
    QHash<QString, int> came;
    for (const Change& change : found) {
        if (change.kind != Change::Added)
            ++gone[change.before];
        if (change.kind != Change::Removed)
            ++came[change.after];
    }
    QHash<QString, int> movedGone;
    for (auto it = gone.cbegin(); it != gone.cend(); ++it) {
        const int both = qMin(it.value(), came.value(it.key()));
        if (both > 0)
            movedGone.insert(it.key(), both);
    }
    QHash<QString, int> movedCame = movedGone;
    const auto take = [](QHash<QString, int>& counts, const QString& text) {
        const auto it = counts.find(text);
        if (it == counts.end() || it.value() == 0)
            return false;
        --it.value();
        return true;
    };
    QHash<QString, QString> previousOf;
    {
        std::sort(present.begin(), present.end(), &NoteFolder::lessInFolderOrder);
        QString previous;
        for (const QByteArray& name : present) {
            const QString& text = m_records[name].text;
            if (!previousOf.contains(text))
                previousOf.insert(text, previous);
            previous = text;
        }
    }
    for (Change change : found) {
        const bool leftAlone = change.kind != Change::Added && take(movedGone, change.before);
        const bool cameAlone = change.kind != Change::Removed && take(movedCame, change.after);
        if (change.kind == Change::Changed && leftAlone != cameAlone) {
            change.kind = leftAlone ? Change::Added : Change::Removed;
        } else if (leftAlone || cameAlone) {
            continue;
        }
        if (change.kind != Change::Removed)
            change.previous = previousOf.value(change.after);
        result.changes.append(change);
    }
    return result;
}

NoteFolder::Resolution NoteFolder::resolveUnknown(int notesFd, const QByteArray& name,
                                                  const QHash<QByteArray, QString>& wantedByName)
{
    QByteArray bytes;
    struct stat st;
    const ReadOutcome outcome = readFileAt(notesFd, name, &bytes, &st, kMaxNoteFileBytes);
    if (outcome == ReadOutcome::Missing)
        return Resolution::Vanished;
    if (outcome == ReadOutcome::Read) {
        bool canonical = false;
        bool lossy = false;
        const QString text = decodeNoteBytes(bytes, &canonical, &lossy);
        const auto record = m_records.find(name);
        // Touched, copied back or re-linked, but still holding what we know it holds.
        if (record != m_records.end() && text == record->text) {
            *record = Record{stampOf(st), text, canonical, lossy};
            return Resolution::Known;
        }
        // Put there from outside, holding exactly what this save is about to write there.
        const auto wanted = wantedByName.find(name);
        if (record == m_records.end() && wanted != wantedByName.end() && canonical && text == *wanted) {
            m_records.insert(name, Record{stampOf(st), text, true, false});
            return Resolution::Known;
        }
    }
    // What the last look recorded stays: the next look reports the change to the store.
    return Resolution::Foreign;
}

bool NoteFolder::save(const QStringList& noteTexts)
{
    m_failure = {};
    m_outsideChange = false;
    m_notesRecreated = false;
    Fd notesFd(openNotesFolder(true));
    if (!notesFd.valid())
        return false;

    // A save that stopped part-way (of this run, or one the start could not finish) is finished
    // first, so the folder is in a known state. While its staging folder cannot be cleared, nothing
    // is staged: it may hold the only copy of a text.
    {
        Fd appFd(openDir(m_appFolder));
        int error = appFd.valid() ? recoverStaging(appFd.get(), kStaging, notesFd.get()) : 0;
        if (error != 0)
            return fail(Failure::Write, error, m_appFolder + '/' + kStaging);
        error = recoverStaging(notesFd.get(), kInnerStaging, notesFd.get());
        if (error != 0)
            return fail(Failure::Write, error, m_appFolder + '/' + kNotes + '/' + kInnerStaging);
        m_stagingLeft = false;
    }

    // Removed notes whose recovery copy is not yet written still have their files here: Notes must
    // not change before they are safe.
    if (!m_pendingRecycle.isEmpty()) {
        const QStringList pending = std::exchange(m_pendingRecycle, {});
        if (!writeRecycled(pending))
            return false;
    }

    bool listed = false;
    const std::vector<Entry> entries = listFolder(notesFd.get(), &listed);
    if (!listed)
        return fail(Failure::Folder, errno ? errno : EIO, m_appFolder + '/' + kNotes);

    if (!m_listed) {
        // Without a load nothing here was read into the store: keep it all as it is, and treat only
        // what appears from now on as foreign.
        for (const Entry& entry : entries)
            m_kept.insert(entry.name);
        m_listed = true;
    }

    QHash<QByteArray, FileStamp> onDisk; // files this save knows: it may keep, reuse or remove them
    QSet<QByteArray> blocked;            // names it must leave as they are
    onDisk.reserve(qsizetype(entries.size()));
    for (const Entry& entry : entries) {
        if (isHidden(entry.name))
            continue; // a sync tool's or an editor's file, being written right now perhaps
        if (!entry.statOk || !S_ISREG(entry.st.st_mode) || m_kept.contains(entry.name) ||
            !isValidUtf8(entry.name))
            blocked.insert(entry.name);
        else
            onDisk.insert(entry.name, stampOf(entry.st));
    }
    for (auto it = m_records.begin(); it != m_records.end();) {
        if (onDisk.contains(it.key()) || blocked.contains(it.key())) {
            ++it;
            continue;
        }
        // Deleted from outside since we last looked: the store hears of it at its next look, unless
        // the whole folder went (then nothing of it is a deletion of a note).
        if (!m_notesRecreated)
            m_vanished.append(it->text);
        it = m_records.erase(it);
    }

    QStringList wanted;
    for (const QString& text : noteTexts) {
        if (!isBlankForSave(text))
            wanted.append(text);
    }
    QList<QByteArray> names;
    QHash<QByteArray, QString> wantedByName;
    const auto assignNames = [&] {
        names.clear();
        wantedByName.clear();
        names.reserve(wanted.size());
        wantedByName.reserve(wanted.size());
        int n = 1;
        for (const QString& text : wanted) {
            while (!blocked.isEmpty() && blocked.contains(numberedName(n)))
                ++n;
            names.append(numberedName(n++));
            wantedByName.insert(names.last(), text);
        }
    };
    assignNames();

    // A file whose stamp is not the one we recorded was changed or put there by someone else. Unless
    // it still holds what we know, this save leaves it exactly as it is and does not use its name:
    // the store takes it in at its next look, and only then may a save replace or move it.
    bool blockedMore = false;
    for (auto it = onDisk.begin(); it != onDisk.end();) {
        const auto record = m_records.constFind(it.key());
        if (record != m_records.cend() && record->stamp == it.value()) {
            ++it;
            continue;
        }
        const Resolution resolution = resolveUnknown(notesFd.get(), it.key(), wantedByName);
        if (resolution == Resolution::Known) {
            it.value() = m_records.value(it.key()).stamp;
            ++it;
            continue;
        }
        if (resolution == Resolution::Vanished) {
            const auto gone = m_records.constFind(it.key());
            if (gone != m_records.cend()) {
                m_vanished.append(gone->text);
                m_records.erase(gone);
            }
        } else {
            blocked.insert(it.key());
            blockedMore = true;
        }
        m_outsideChange = true;
        it = onDisk.erase(it);
    }
    if (blockedMore)
        assignNames();

    // A text already in a file keeps that file: in place, or renamed to its new number (a second
    // link staged, so the bytes are never rewritten, whatever their encoding).
    QSet<QByteArray> inPlace;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const auto record = m_records.constFind(names.at(i));
        if (record != m_records.cend() && onDisk.contains(names.at(i)) &&
            (record->text.isSharedWith(wanted.at(i)) || record->text == wanted.at(i)))
            inPlace.insert(names.at(i));
    }
    QHash<QString, QList<QByteArray>> movable;
    for (auto it = onDisk.cbegin(); it != onDisk.cend(); ++it) {
        if (!inPlace.contains(it.key()))
            movable[m_records.value(it.key()).text].append(it.key());
    }
    QList<Write> writes;
    QSet<QByteArray> moved;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (inPlace.contains(names.at(i)))
            continue;
        Write write{names.at(i), wanted.at(i), {}, true, false};
        const auto source = movable.find(wanted.at(i));
        if (source != movable.end() && !source->isEmpty()) {
            write.linkFrom = source->takeLast();
            const Record& record = m_records[write.linkFrom];
            write.canonical = record.canonical;
            write.lossy = record.lossy;
            moved.insert(write.linkFrom);
        }
        writes.append(write);
    }
    QList<QByteArray> removals;
    for (auto it = onDisk.cbegin(); it != onDisk.cend(); ++it) {
        if (!wantedByName.contains(it.key()))
            removals.append(it.key());
    }

    // What decoding could not represent exists only in the file itself: keep its bytes before the
    // file is replaced or removed, unless it lives on under another number.
    QList<QByteArray> touched = removals;
    for (const Write& write : writes)
        touched.append(write.name);
    for (const QByteArray& name : touched) {
        const auto record = m_records.constFind(name);
        if (record != m_records.cend() && record->lossy && !moved.contains(name) &&
            !preserveOriginal(notesFd.get(), name))
            return false;
    }

    if (!writes.isEmpty())
        return writeThroughStaging(notesFd.get(), writes, removals, onDisk);

    // Nothing to write: only removals, which leave the other files where they are.
    bool ok = true;
    for (const QByteArray& name : removals) {
        if (!step())
            return fail(Failure::Write, EIO, m_appFolder + '/' + kNotes);
        struct stat st;
        if (::fstatat(notesFd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            stampOf(st) != onDisk.value(name)) {
            m_outsideChange = true; // changed since the listing: not ours to remove
            continue;
        }
        if (::unlinkat(notesFd.get(), name.constData(), 0) == 0 || errno == ENOENT)
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
                m_folder.m_records.insert(name,
                                          Record{stampOf(*st), write.text, write.canonical, write.lossy});
            else
                m_folder.m_records.remove(name);
            return;
        }
        // Within the run that staged it, the text of the file is known.
        const auto committed = m_folder.m_committed.constFind(name);
        if (committed != m_folder.m_committed.cend() && st)
            m_folder.m_records.insert(name, Record{stampOf(*st), *committed, true, false});
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
        FileStamp now = stampOf(st);
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
