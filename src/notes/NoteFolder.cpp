// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteFolder.h"

#include "notes/NoteFiles.h"
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

// The journal of a save: what is renamed into Notes and what is removed from it, each with the stamp
// of the file the save saw at that name. Only a journal that ends with its end line was committed; the
// renames start after that. Version 1 journals carried no stamp of the rename targets.
const QByteArray kJournal("journal");
const QByteArray kJournalNext("journal.next");
const QByteArray kJournalHeaderV1("VemraNotes save journal 1\n");
const QByteArray kJournalHeader("VemraNotes save journal 2\n");
const QByteArray kJournalEnd("end\n");
// What our writer can put into a journal: a line per file of Notes or of the staging folder (a name
// of at most 255 bytes, percent-encoded, and four numbers) and the header. Anything larger was not
// written by a save, and is not read.
constexpr qint64 kJournalBytesPerFile = 1024;
constexpr qint64 kJournalFixedBytes = 4096;
constexpr qint64 kJournalMaxBytes = qint64(4) * 1024 * 1024;

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

// ---- The journal of a save -------------------------------------------------------------------------

// The stamp of a file at a name, as a journal records it.
struct JournalStamp
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

    static JournalStamp of(const struct stat* st)
    {
        JournalStamp stamp;
        stamp.state = st ? State::Present : State::Absent;
        if (st) {
            stamp.device = quint64(st->st_dev);
            stamp.inode = quint64(st->st_ino);
            stamp.size = qint64(st->st_size);
            stamp.mtimeNs = nanoseconds(st->st_mtim);
        }
        return stamp;
    }
    /// Whether the file now at the name (null: none) is the one recorded.
    bool matches(const struct stat* st) const
    {
        if (state != State::Present || !st)
            return state == State::Absent && !st;
        return (!deviceKnown || quint64(st->st_dev) == device) && quint64(st->st_ino) == inode &&
               qint64(st->st_size) == size && nanoseconds(st->st_mtim) == mtimeNs;
    }
    QByteArray text() const
    {
        if (state != State::Present)
            return "-";
        return QByteArray::number(device) + ' ' + QByteArray::number(inode) + ' ' + QByteArray::number(size) +
               ' ' + QByteArray::number(mtimeNs);
    }
};

struct JournalEntry
{
    QByteArray name;
    JournalStamp stamp;
};

struct JournalLists
{
    QList<JournalEntry> renames;
    QList<JournalEntry> removals;
};

enum class JournalState
{
    /// Header only, or cut short before it: the save had not begun to change Notes.
    Uncommitted,
    Committed,
    /// Anything our writer does not produce: never acted on.
    Foreign
};

// The single door of every name read from a journal: a renamed file is one a save writes ("N.txt",
// digits without a leading zero), a removed one a plain file name of Notes that a save may remove.
// Nothing with a "/", nothing hidden (so neither "." nor ".."), nothing empty or beyond a file name's
// length passes, so no journal can reach outside Notes or its staging folder.
bool isJournalName(QByteArrayView name, bool renamed)
{
    if (name.isEmpty() || name.size() > 255 || name.front() == '.')
        return false;
    if (renamed) {
        if (!name.endsWith(".txt") || name.size() <= 4 || name.size() > 24 || name.front() == '0')
            return false;
        const QByteArrayView digits = name.chopped(4);
        return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    return !name.contains('/') && !name.contains('\0');
}

QByteArray journalText(const JournalLists& journal)
{
    QByteArray text = kJournalHeader;
    for (const JournalEntry& r : journal.renames)
        text += "R " + r.name + ' ' + r.stamp.text() + '\n';
    for (const JournalEntry& r : journal.removals)
        text += "D " + r.name.toPercentEncoding() + ' ' + r.stamp.text() + '\n';
    return text + kJournalEnd;
}

bool parseNumbers(const QList<QByteArray>& fields, qsizetype first, JournalStamp* stamp)
{
    bool ok[4] = {false, false, false, false};
    stamp->state = JournalStamp::State::Present;
    stamp->device = fields[first].toULongLong(&ok[0]);
    stamp->inode = fields[first + 1].toULongLong(&ok[1]);
    stamp->size = fields[first + 2].toLongLong(&ok[2]);
    stamp->mtimeNs = fields[first + 3].toLongLong(&ok[3]);
    return ok[0] && ok[1] && ok[2] && ok[3];
}

JournalState parseJournal(const QByteArray& text, JournalLists* journal)
{
    // The first journal of a save is its header alone, written without a sync: a power cut may leave
    // any beginning of it.
    if (kJournalHeader.startsWith(text))
        return JournalState::Uncommitted;
    const bool v1 = text.startsWith(kJournalHeaderV1);
    const QByteArray& header = v1 ? kJournalHeaderV1 : kJournalHeader;
    if (!text.startsWith(header) || !text.endsWith(kJournalEnd))
        return JournalState::Foreign;
    const QList<QByteArray> lines =
        text.mid(header.size(), text.size() - header.size() - kJournalEnd.size()).split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        JournalEntry entry;
        bool ok = false;
        if (fields[0] == "R" && v1 && fields.size() == 2) {
            entry.name = QByteArray::fromPercentEncoding(fields[1]);
            ok = true;
        } else if (fields[0] == "R" && !v1 && (fields.size() == 3 || fields.size() == 6)) {
            entry.name = fields[1];
            entry.stamp.state = JournalStamp::State::Absent;
            ok = fields.size() == 6 ? parseNumbers(fields, 2, &entry.stamp) : fields[2] == "-";
        } else if (fields[0] == "D" && v1 && fields.size() == 5) {
            // Size, modification time, inode, name.
            entry.name = QByteArray::fromPercentEncoding(fields[4]);
            bool sizeOk = false;
            bool timeOk = false;
            bool inodeOk = false;
            entry.stamp.state = JournalStamp::State::Present;
            entry.stamp.deviceKnown = false;
            entry.stamp.size = fields[1].toLongLong(&sizeOk);
            entry.stamp.mtimeNs = fields[2].toLongLong(&timeOk);
            entry.stamp.inode = fields[3].toULongLong(&inodeOk);
            ok = sizeOk && timeOk && inodeOk;
        } else if (fields[0] == "D" && !v1 && fields.size() == 6) {
            entry.name = QByteArray::fromPercentEncoding(fields[1]);
            ok = parseNumbers(fields, 2, &entry.stamp);
        }
        const bool renamed = fields[0] == "R";
        if (!ok || !isJournalName(entry.name, renamed))
            return JournalState::Foreign;
        (renamed ? journal->renames : journal->removals).append(entry);
    }
    return JournalState::Committed;
}

} // namespace

struct NoteFolder::Journal : JournalLists
{
};

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

bool NoteFolder::stageAndCommit(int parentFd, const QByteArray& stagingName, int notesFd,
                                const QList<Write>& writes, const QList<QByteArray>& removals,
                                const QHash<QByteArray, FileStamp>& seen, bool* fallBack)
{
    const bool inside = parentFd == notesFd;
    // Until this save ends well, the next one looks for what it left.
    m_stagingLeft = true;
    const QByteArray notesPath = m_appFolder + '/' + kNotes;
    const QByteArray stagingPath = inside ? notesPath + '/' + stagingName : m_appFolder + '/' + stagingName;
    if (::mkdirat(parentFd, stagingName.constData(), 0700) != 0 && errno != EEXIST) {
        *fallBack = !inside;
        return fail(Failure::Write, errno, stagingPath);
    }
    struct stat linkSt;
    if (::fstatat(parentFd, stagingName.constData(), &linkSt, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(Failure::Write, errno, stagingPath);
    // Whoever put a link or a file there wants our files elsewhere: refused, never followed.
    if (!S_ISDIR(linkSt.st_mode))
        return fail(Failure::Write, S_ISLNK(linkSt.st_mode) ? ELOOP : ENOTDIR, stagingPath);
    // The folder's own entry must be on disk before anything in it is relied on: without it a power
    // cut can take the committed journal away while renames into Notes stay.
    if (::fsync(parentFd) != 0)
        return fail(Failure::Write, errno, stagingPath);
    Fd stage(openDirAt(parentFd, stagingName));
    struct stat stagingSt;
    struct stat notesSt;
    if (!stage.valid() || ::fstat(stage.get(), &stagingSt) != 0 || ::fstat(notesFd, &notesSt) != 0) {
        *fallBack = !inside;
        return fail(Failure::Write, errno, stagingPath);
    }
    const auto dropStaging = [&] {
        ::unlinkat(stage.get(), kJournal.constData(), 0);
        ::fsync(stage.get());
        removeFilesIn(stage.get());
        ::unlinkat(parentFd, stagingName.constData(), AT_REMOVEDIR);
    };
    if (stagingSt.st_dev != notesSt.st_dev) {
        dropStaging();
        *fallBack = !inside;
        return fail(Failure::Write, EXDEV, stagingPath);
    }
    // A journal left now belongs to a save that could not be finished: never cleared here.
    if (::fstatat(stage.get(), kJournal.constData(), &linkSt, AT_SYMLINK_NOFOLLOW) == 0)
        return fail(Failure::Write, EBUSY, stagingPath);
    // Leftovers of a save that failed before its journal was committed.
    removeFilesIn(stage.get());
    // An uncommitted journal marks the folder as ours before anything is staged: the next start
    // then knows that these files may be dropped.
    int error = writeFileAt(stage.get(), kJournal, kJournalHeader, O_TRUNC, false, 0600);
    if (error == 0 && ::fsync(stage.get()) != 0)
        error = errno;
    if (error != 0) {
        dropStaging();
        return fail(Failure::Write, error, notesPath);
    }

    // Every new content is on disk before anything in Notes is replaced. A text that only moves to
    // another number is staged as a second link of its file: nothing is rewritten.
    qsizetype contentWrites = 0;
    for (const Write& write : writes)
        contentWrites += write.linkFrom.isEmpty() ? 1 : 0;
    const bool syncEach = contentWrites <= kFsyncEachLimit;
    const mode_t fileMode = (m_notesMode & 0666) | S_IRUSR | S_IWUSR;
    for (const Write& write : writes) {
        int error = 0;
        if (write.linkFrom.isEmpty()) {
            error = writeFileAt(stage.get(), write.name, encodeNoteBytes(write.text), O_TRUNC, syncEach,
                                fileMode);
        } else if (::linkat(notesFd, write.linkFrom.constData(), stage.get(), write.name.constData(), 0) !=
                   0) {
            // A file system without hard links: the same bytes, copied.
            QByteArray bytes;
            struct stat st;
            error = readFileAt(notesFd, write.linkFrom, &bytes, &st, kMaxNoteFileBytes) == ReadOutcome::Read
                        ? writeFileAt(stage.get(), write.name, bytes, O_TRUNC, true, fileMode)
                        : (errno ? errno : EIO);
        }
        if (error != 0) {
            dropStaging();
            return fail(Failure::Write, error, notesPath);
        }
    }
    if ((!syncEach && ::syncfs(stage.get()) != 0) || ::fsync(stage.get()) != 0) {
        const int error = errno;
        dropStaging();
        return fail(Failure::Write, error, notesPath);
    }
    if (!step())
        return fail(Failure::Write, EIO, notesPath);

    // The commit point: from here on the next start finishes this save. Each target is recorded as
    // this save listed it, so neither the save nor the next start replaces anything it has not seen.
    const auto seenStamp = [&](const QByteArray& name) {
        JournalStamp stamp;
        stamp.state = JournalStamp::State::Absent;
        const auto it = seen.constFind(name);
        if (it != seen.cend()) {
            stamp.state = JournalStamp::State::Present;
            stamp.device = it->device;
            stamp.inode = it->inode;
            stamp.size = it->size;
            stamp.mtimeNs = it->mtimeNs;
        }
        return stamp;
    };
    Journal journal;
    for (const Write& write : writes)
        journal.renames.append({write.name, seenStamp(write.name)});
    for (const QByteArray& name : removals)
        journal.removals.append({name, seenStamp(name)});
    error = writeFileAt(stage.get(), kJournalNext, journalText(journal), O_TRUNC, true, 0600);
    if (error == 0 &&
        ::renameat(stage.get(), kJournalNext.constData(), stage.get(), kJournal.constData()) != 0)
        error = errno;
    if (error == 0 && ::fsync(stage.get()) != 0)
        error = errno;
    if (error != 0) {
        dropStaging();
        return fail(Failure::Write, error, notesPath);
    }
    m_committed.clear();
    for (const Write& write : writes)
        m_committed.insert(write.name, write.text);

    for (qsizetype i = 0; i < writes.size(); ++i) {
        const Write& write = writes.at(i);
        if (!step())
            return fail(Failure::Write, EIO, notesPath);
        // Right before the rename: a file written there since the listing is not replaced. It stays
        // for the store to take in; this text is kept in the recovery folder meanwhile, and the store
        // still holds it for the next save.
        struct stat target;
        const bool present = ::fstatat(notesFd, write.name.constData(), &target, AT_SYMLINK_NOFOLLOW) == 0;
        int renameError = EEXIST;
        if (journal.renames.at(i).stamp.matches(present ? &target : nullptr))
            renameError =
                present
                    ? (::renameat(stage.get(), write.name.constData(), notesFd, write.name.constData()) == 0
                           ? 0
                           : errno)
                    : renameNoReplace(stage.get(), write.name, notesFd, write.name);
        if (renameError == EEXIST) {
            m_outsideChange = true;
            if (!m_recycle.moveIn(stage.get(), write.name, true))
                return fail(Failure::Recycle, errno ? errno : EIO, m_recycle.path());
            continue;
        }
        if (renameError != 0) {
            if (i == 0 && renameError == EXDEV) {
                // Same file system, other mount (a bind mount of Notes): nothing has moved yet.
                dropStaging();
                *fallBack = !inside;
            }
            // Otherwise the journal stays: the next save or start finishes what was begun.
            return fail(Failure::Write, renameError, notesPath);
        }
        if (write.linkFrom.isEmpty())
            ++m_filesWritten;
        struct stat st;
        if (::fstatat(notesFd, write.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            m_records.insert(write.name, Record{stampOf(st), write.text, write.canonical, write.lossy});
        else
            m_records.remove(write.name);
    }
    // The renames must be durable before the files they make redundant are removed: one flush of
    // the folder for all of them.
    ::fsync(notesFd);
    bool ok = true;
    for (const JournalEntry& removal : journal.removals) {
        if (!step())
            return fail(Failure::Write, EIO, notesPath);
        struct stat st;
        const bool present = ::fstatat(notesFd, removal.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (present && !removal.stamp.matches(&st)) {
            m_outsideChange = true; // changed since the listing: somebody's text, not ours to remove
            continue;
        }
        if (!present || ::unlinkat(notesFd, removal.name.constData(), 0) == 0 || errno == ENOENT)
            m_records.remove(removal.name);
        else
            ok = fail(Failure::Write, errno, notesPath);
    }
    if (!journal.removals.isEmpty())
        ::fsync(notesFd);
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
    ::unlinkat(stage.get(), kJournal.constData(), 0);
    ::unlinkat(parentFd, stagingName.constData(), AT_REMOVEDIR);
    m_committed.clear();
    m_stagingLeft = false;
    return ok;
}

int NoteFolder::recoverStaging(int parentDir, const QByteArray& stagingName, int notesFd)
{
    struct stat st;
    if (::fstatat(parentDir, stagingName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    // A link or a file where our folder would be is never followed nor removed: it is not ours.
    if (!S_ISDIR(st.st_mode))
        return S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
    Fd stage(openDirAt(parentDir, stagingName));
    if (!stage.valid())
        return errno;
    QByteArray text;
    const ReadOutcome outcome =
        readFileAt(stage.get(), kJournal, &text, &st, journalLimit(stage.get(), notesFd));
    Journal journal;
    const JournalState state =
        outcome == ReadOutcome::Read ? parseJournal(text, &journal) : JournalState::Foreign;
    bool kept = true;
    if (state == JournalState::Committed) {
        // Committed: finish it. The staged files are the newest texts of their notes.
        kept = finishJournal(stage.get(), notesFd, journal);
    } else if (state == JournalState::Foreign) {
        // No journal (staged by a version that kept none), or one our writer did not write, or that
        // cannot be read: whether renames began is unknown, and nothing it names is trusted. Its
        // staged files are kept in reach rather than renamed anywhere or dropped.
        bool listed = false;
        for (const Entry& entry : listFolder(stage.get(), &listed, false)) {
            if (entry.statOk && S_ISREG(entry.st.st_mode) && entry.name != kJournal &&
                entry.name != kJournalNext)
                kept = m_recycle.moveIn(stage.get(), entry.name, true) && kept;
        }
        kept = kept && listed;
    }
    // Not committed: Notes was not changed yet, and the staged copies are dropped.
    m_committed.clear();
    if (!kept)
        return EBUSY; // a staged text that exists nowhere else stays where it is
    ::unlinkat(stage.get(), kJournal.constData(), 0);
    ::fsync(stage.get());
    removeFilesIn(stage.get());
    ::unlinkat(parentDir, stagingName.constData(), AT_REMOVEDIR);
    return 0;
}

bool NoteFolder::finishJournal(int stageFd, int notesFd, const Journal& journal)
{
    bool kept = true;
    for (const JournalEntry& rename : journal.renames) {
        const char* name = rename.name.constData();
        struct stat staged;
        if (::fstatat(stageFd, name, &staged, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(staged.st_mode))
            continue; // renamed before the stop
        struct stat target;
        bool present = ::fstatat(notesFd, name, &target, AT_SYMLINK_NOFOLLOW) == 0;
        if (!present && errno != ENOENT) {
            kept = false;
            continue;
        }
        bool replace = rename.stamp.matches(present ? &target : nullptr);
        if (!replace && present && rename.stamp.state == JournalStamp::State::Unknown) {
            // An older journal did not say what the save saw there: what is there now is kept in the
            // recovery folder before the save's text takes its place.
            replace = m_recycle.moveIn(notesFd, rename.name, false);
            present = false;
        }
        int error = EEXIST;
        if (replace)
            error = present ? (::renameat(stageFd, name, notesFd, name) == 0 ? 0 : errno)
                            : renameNoReplace(stageFd, rename.name, notesFd, rename.name);
        if (error == 0) {
            // Within the run that staged it, the text of the file is known.
            struct stat fileSt;
            const auto committed = m_committed.constFind(rename.name);
            if (committed != m_committed.cend() && ::fstatat(notesFd, name, &fileSt, 0) == 0)
                m_records.insert(rename.name, Record{stampOf(fileSt), *committed, true, false});
            else
                m_records.remove(rename.name);
            continue;
        }
        // Somebody put another file there since the save looked (a note restored by hand): it stays,
        // and the staged text goes to the recovery folder instead.
        if (!m_recycle.moveIn(stageFd, rename.name, true))
            kept = false;
    }
    ::fsync(notesFd);
    for (const JournalEntry& removal : journal.removals) {
        struct stat fileSt;
        // Only the file the save meant: whatever took its name since is somebody's note.
        if (::fstatat(notesFd, removal.name.constData(), &fileSt, AT_SYMLINK_NOFOLLOW) == 0 &&
            removal.stamp.matches(&fileSt)) {
            ::unlinkat(notesFd, removal.name.constData(), 0);
            m_records.remove(removal.name);
        }
    }
    ::fsync(notesFd);
    return kept;
}

qint64 NoteFolder::journalLimit(int stageFd, int notesFd)
{
    bool listed = false;
    const qint64 files = qint64(listFolder(stageFd, &listed, false).size()) +
                         qint64(listFolder(notesFd, &listed, false).size());
    return qMin(kJournalFixedBytes + kJournalBytesPerFile * files, kJournalMaxBytes);
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
