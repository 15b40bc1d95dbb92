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
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace FolderFiles;

namespace {

const QByteArray kNotes("Notes");
const QByteArray kRecycle("Notes.recycle");
const QByteArray kStaging(".Notes.saving");
// Used when staging beside Notes cannot work: a read-only application folder, or Notes on another
// file system or mount (a rename cannot cross either). load() ignores subfolders and hidden names.
const QByteArray kInnerStaging(".saving");
const QByteArray kInnerRecycle(".recycle");

// The journal of a save: what is renamed into Notes and what is removed from it. Only a journal that
// ends with its end line was committed; the renames start after that.
const QByteArray kJournal("journal");
const QByteArray kJournalNext("journal.next");
const QByteArray kJournalHeader("VemraNotes save journal 1\n");
const QByteArray kJournalEnd("end\n");

// One line per file of the recovery folder: sequence number, time of removal (ms since the epoch,
// UTC) and the name. The sequence orders removals even when the wall clock jumped.
const QByteArray kRecycleLog(".removed.log");
const QByteArray kRecycleLogNext(".removed.log.next");

// Above this many files one syncfs() is cheaper than an fsync() per file.
constexpr int kFsyncEachLimit = 16;

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

// "name (2).ext" for the second file of a name in the recovery folder.
QByteArray withCollisionSuffix(const QByteArray& name, int attempt)
{
    if (attempt <= 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    return name.left(cut) + " (" + QByteArray::number(attempt) + ")" + name.mid(cut);
}

// ---- The journal of a save -------------------------------------------------------------------------

struct Removal
{
    QByteArray name;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
};

QByteArray journalText(const QList<QByteArray>& renames, const QList<Removal>& removals)
{
    QByteArray text = kJournalHeader;
    for (const QByteArray& name : renames)
        text += "R " + name.toPercentEncoding() + '\n';
    for (const Removal& r : removals) {
        text += "D " + QByteArray::number(r.size) + ' ' + QByteArray::number(r.mtimeNs) + ' ' +
                QByteArray::number(r.inode) + ' ' + r.name.toPercentEncoding() + '\n';
    }
    return text + kJournalEnd;
}

// False for a journal that was not committed completely.
bool parseJournal(const QByteArray& text, QList<QByteArray>* renames, QList<Removal>* removals)
{
    if (!text.startsWith(kJournalHeader) || !text.endsWith(kJournalEnd))
        return false;
    const QList<QByteArray> lines =
        text.mid(kJournalHeader.size(), text.size() - kJournalHeader.size() - kJournalEnd.size()).split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2 && fields[0] == "R") {
            renames->append(QByteArray::fromPercentEncoding(fields[1]));
        } else if (fields.size() == 5 && fields[0] == "D") {
            bool ok[3] = {false, false, false};
            Removal r{QByteArray::fromPercentEncoding(fields[4]), fields[1].toLongLong(&ok[0]),
                      fields[2].toLongLong(&ok[1]), fields[3].toULongLong(&ok[2])};
            if (!ok[0] || !ok[1] || !ok[2])
                return false;
            removals->append(r);
        } else {
            return false;
        }
    }
    return true;
}

// ---- The log of the recovery folder ----------------------------------------------------------------

struct LogEntry
{
    qint64 seq = 0;
    qint64 removedMs = 0;
    QByteArray name;
};

QHash<QByteArray, LogEntry> readLog(int recycleFd)
{
    QHash<QByteArray, LogEntry> entries;
    QByteArray text;
    struct stat st;
    if (readFileAt(recycleFd, kRecycleLog, &text, &st, kMaxNoteFileBytes) != ReadOutcome::Read)
        return entries;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3)
            continue; // a line cut short by a crash
        bool seqOk = false;
        bool msOk = false;
        LogEntry entry{fields[0].toLongLong(&seqOk), fields[1].toLongLong(&msOk),
                       QByteArray::fromPercentEncoding(fields[2])};
        if (seqOk && msOk && !entry.name.isEmpty())
            entries.insert(entry.name, entry);
    }
    return entries;
}

QByteArray logLine(const LogEntry& entry)
{
    return QByteArray::number(entry.seq) + ' ' + QByteArray::number(entry.removedMs) + ' ' +
           entry.name.toPercentEncoding() + '\n';
}

void appendLog(int recycleFd, const QList<LogEntry>& entries, mode_t mode)
{
    QByteArray text;
    for (const LogEntry& entry : entries)
        text += logLine(entry);
    Fd fd(::openat(recycleFd, kRecycleLog.constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC,
                   mode));
    if (fd.valid() && writeAll(fd.get(), text))
        ::fdatasync(fd.get());
}

qint64 nextSequence(int recycleFd)
{
    qint64 last = 0;
    for (const LogEntry& entry : readLog(recycleFd))
        last = qMax(last, entry.seq);
    return last + 1;
}

} // namespace

enum class NoteFolder::Resolution : int
{
    Known,
    Vanished,
    Foreign
};

NoteFolder::NoteFolder(const QString& appFolder, const Clock* clock)
    : m_appFolder(QFile::encodeName(appFolder)), m_clock(clock)
{
}

QString NoteFolder::notesPath() const
{
    return QFile::decodeName(m_appFolder + '/' + kNotes);
}

QString NoteFolder::recyclePath() const
{
    return QFile::decodeName(recycleDir());
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
    return fd;
}

NoteFolder::LoadResult NoteFolder::load()
{
    LoadResult result;
    m_records.clear();
    m_kept.clear();
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

NoteFolder::Resolution NoteFolder::resolveUnknown(int notesFd, const QByteArray& name,
                                                  const QHash<QByteArray, QString>& wantedByName)
{
    QByteArray bytes;
    struct stat st;
    const ReadOutcome outcome = readFileAt(notesFd, name, &bytes, &st, kMaxNoteFileBytes);
    if (outcome == ReadOutcome::Missing) {
        m_records.remove(name);
        return Resolution::Vanished;
    }
    if (outcome == ReadOutcome::Read) {
        bool canonical = false;
        const QString text = decodeNoteBytes(bytes, &canonical);
        const auto record = m_records.find(name);
        // Touched, copied back or re-linked, but still holding what we know it holds.
        if (record != m_records.end() && canonical && record->canonical && text == record->text) {
            record->stamp = stampOf(st);
            return Resolution::Known;
        }
        // Already holding what this save is about to write there.
        const auto wanted = wantedByName.find(name);
        if (wanted != wantedByName.end() && canonical && text == *wanted) {
            m_records.insert(name, Record{stampOf(st), text, true, false});
            return Resolution::Known;
        }
    }
    m_records.remove(name);
    return Resolution::Foreign;
}

bool NoteFolder::save(const QStringList& noteTexts)
{
    m_failure = {};
    Fd notesFd(openNotesFolder(true));
    if (!notesFd.valid())
        return false;

    // A save of this run that stopped part-way is finished first, so the folder is in a known state.
    {
        Fd appFd(openDir(m_appFolder));
        if (appFd.valid())
            recoverStaging(appFd.get(), kStaging, notesFd.get());
        recoverStaging(notesFd.get(), kInnerStaging, notesFd.get());
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

    QHash<QByteArray, FileStamp> onDisk; // files this save may replace or remove
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
        if (onDisk.contains(it.key()))
            ++it;
        else
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
    // it holds what we know, it goes to the recovery folder instead of being overwritten or deleted.
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
        if (resolution == Resolution::Foreign && !moveToRecycle(notesFd.get(), it.key(), false)) {
            blocked.insert(it.key());
            blockedMore = true;
        }
        it = onDisk.erase(it);
    }
    if (blockedMore)
        assignNames();

    QList<QPair<QByteArray, QString>> writes;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const auto record = m_records.constFind(names.at(i));
        if (record != m_records.cend() && record->canonical &&
            (record->text.isSharedWith(wanted.at(i)) || record->text == wanted.at(i)))
            continue;
        writes.append({names.at(i), wanted.at(i)});
    }
    QList<QByteArray> removals;
    for (auto it = onDisk.cbegin(); it != onDisk.cend(); ++it) {
        if (!wantedByName.contains(it.key()))
            removals.append(it.key());
    }

    // What decoding could not represent exists only in the file itself: keep its bytes before the
    // file is replaced or removed.
    QList<QByteArray> touched = removals;
    for (const auto& write : writes)
        touched.append(write.first);
    for (const QByteArray& name : touched) {
        const auto record = m_records.constFind(name);
        if (record != m_records.cend() && record->lossy && !preserveOriginal(notesFd.get(), name))
            return false;
    }

    if (!writes.isEmpty())
        return writeThroughStaging(notesFd.get(), writes, removals);

    // Nothing to write: only removals, which leave the other files where they are.
    bool ok = true;
    for (const QByteArray& name : removals) {
        if (!step())
            return fail(Failure::Write, EIO, m_appFolder + '/' + kNotes);
        if (::unlinkat(notesFd.get(), name.constData(), 0) == 0 || errno == ENOENT)
            m_records.remove(name);
        else
            ok = fail(Failure::Write, errno, m_appFolder + '/' + kNotes);
    }
    return ok;
}

bool NoteFolder::writeThroughStaging(int notesFd, const QList<QPair<QByteArray, QString>>& writes,
                                     const QList<QByteArray>& removals)
{
    bool fallBack = false;
    if (!m_stageInside) {
        Fd appFd(openDir(m_appFolder));
        if (appFd.valid()) {
            if (stageAndCommit(appFd.get(), kStaging, notesFd, writes, removals, &fallBack))
                return true;
            if (!fallBack)
                return false;
        }
        // Staging beside Notes cannot work here; inside Notes it can.
        m_stageInside = true;
        m_failure = {};
    }
    return stageAndCommit(notesFd, kInnerStaging, notesFd, writes, removals, &fallBack);
}

bool NoteFolder::stageAndCommit(int parentFd, const QByteArray& stagingName, int notesFd,
                                const QList<QPair<QByteArray, QString>>& writes,
                                const QList<QByteArray>& removals, bool* fallBack)
{
    const bool inside = parentFd == notesFd;
    const QByteArray notesPath = m_appFolder + '/' + kNotes;
    const QByteArray stagingPath = inside ? notesPath + '/' + stagingName : m_appFolder + '/' + stagingName;
    if (::mkdirat(parentFd, stagingName.constData(), 0700) != 0 && errno != EEXIST) {
        *fallBack = !inside;
        return fail(Failure::Write, errno, stagingPath);
    }
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

    // Every new content is on disk before anything in Notes is replaced.
    const bool syncEach = writes.size() <= kFsyncEachLimit;
    const mode_t fileMode = (m_notesMode & 0666) | S_IRUSR | S_IWUSR;
    for (const auto& write : writes) {
        const int error =
            writeFileAt(stage.get(), write.first, encodeNoteBytes(write.second), O_TRUNC, syncEach, fileMode);
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

    // The commit point: from here on the next start finishes this save.
    QList<QByteArray> renames;
    renames.reserve(writes.size());
    for (const auto& write : writes)
        renames.append(write.first);
    QList<Removal> removalStamps;
    for (const QByteArray& name : removals) {
        const FileStamp stamp = m_records.value(name).stamp;
        struct stat st;
        if (::fstatat(notesFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            removalStamps.append({name, qint64(st.st_size), nanoseconds(st.st_mtim), quint64(st.st_ino)});
        else
            removalStamps.append({name, stamp.size, stamp.mtimeNs, stamp.inode});
    }
    error = writeFileAt(stage.get(), kJournalNext, journalText(renames, removalStamps), O_TRUNC, true, 0600);
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
    for (const auto& write : writes)
        m_committed.insert(write.first, write.second);

    for (qsizetype i = 0; i < writes.size(); ++i) {
        const auto& write = writes.at(i);
        if (!step())
            return fail(Failure::Write, EIO, notesPath);
        if (::renameat(stage.get(), write.first.constData(), notesFd, write.first.constData()) != 0) {
            const int renameError = errno;
            if (i == 0 && renameError == EXDEV) {
                // Same file system, other mount (a bind mount of Notes): nothing has moved yet.
                dropStaging();
                *fallBack = !inside;
            }
            // Otherwise the journal stays: the next save or start finishes what was begun.
            return fail(Failure::Write, renameError, notesPath);
        }
        ++m_filesWritten;
        struct stat st;
        if (::fstatat(notesFd, write.first.constData(), &st, 0) == 0)
            m_records.insert(write.first, Record{stampOf(st), write.second, true, false});
        else
            m_records.remove(write.first);
    }
    // The renames must be durable before the files they make redundant are removed.
    ::fsync(notesFd);
    bool ok = true;
    for (const QByteArray& name : removals) {
        if (!step())
            return fail(Failure::Write, EIO, notesPath);
        if (::unlinkat(notesFd, name.constData(), 0) == 0 || errno == ENOENT)
            m_records.remove(name);
        else
            ok = fail(Failure::Write, errno, notesPath);
    }
    ::fsync(notesFd);
    ::unlinkat(stage.get(), kJournal.constData(), 0);
    ::unlinkat(parentFd, stagingName.constData(), AT_REMOVEDIR);
    m_committed.clear();
    return ok;
}

void NoteFolder::recoverStaging(int parentDir, const QByteArray& stagingName, int notesFd)
{
    Fd stage(openDirAt(parentDir, stagingName));
    if (!stage.valid())
        return;
    QByteArray journal;
    struct stat st;
    const ReadOutcome outcome = readFileAt(stage.get(), kJournal, &journal, &st, kMaxNoteFileBytes);
    QList<QByteArray> renames;
    QList<Removal> removals;
    if (outcome == ReadOutcome::Read && parseJournal(journal, &renames, &removals)) {
        // Committed: finish it. The staged files are the newest texts of their notes.
        for (const QByteArray& name : renames) {
            if (::renameat(stage.get(), name.constData(), notesFd, name.constData()) != 0 && errno != ENOENT)
                return; // keep everything for a later attempt rather than lose a staged note
            // Within the run that staged it, the text of the file is known.
            struct stat fileSt;
            const auto committed = m_committed.constFind(name);
            if (committed != m_committed.cend() && ::fstatat(notesFd, name.constData(), &fileSt, 0) == 0)
                m_records.insert(name, Record{stampOf(fileSt), *committed, true, false});
            else
                m_records.remove(name);
        }
        ::fsync(notesFd);
        for (const Removal& removal : removals) {
            struct stat fileSt;
            // Only the file the save meant: whatever took its name since is somebody's note.
            if (::fstatat(notesFd, removal.name.constData(), &fileSt, AT_SYMLINK_NOFOLLOW) == 0 &&
                qint64(fileSt.st_size) == removal.size && nanoseconds(fileSt.st_mtim) == removal.mtimeNs &&
                quint64(fileSt.st_ino) == removal.inode) {
                ::unlinkat(notesFd, removal.name.constData(), 0);
                m_records.remove(removal.name);
            }
        }
        ::fsync(notesFd);
    } else if (outcome == ReadOutcome::Missing) {
        // Staged by a version that kept no journal: whether its renames began is unknown, so its
        // files are kept in reach rather than dropped.
        bool listed = false;
        for (const Entry& entry : listFolder(stage.get(), &listed)) {
            if (entry.statOk && S_ISREG(entry.st.st_mode))
                moveToRecycle(stage.get(), entry.name, true);
        }
    }
    // Not committed: Notes was not changed yet, and the staged copies are dropped.
    m_committed.clear();
    ::unlinkat(stage.get(), kJournal.constData(), 0);
    ::fsync(stage.get());
    removeFilesIn(stage.get());
    ::unlinkat(parentDir, stagingName.constData(), AT_REMOVEDIR);
}

QByteArray NoteFolder::recycleDir() const
{
    return m_recycleInside ? m_appFolder + '/' + kNotes + '/' + kInnerRecycle : m_appFolder + '/' + kRecycle;
}

int NoteFolder::openRecycleFolder()
{
    QByteArray path = recycleDir();
    if (::mkdir(path.constData(), m_notesMode | S_IRWXU) != 0 && errno != EEXIST) {
        if (m_recycleInside || (errno != EACCES && errno != EROFS && errno != EPERM))
            return -1;
        // A read-only application folder: removed notes are kept inside Notes instead.
        m_recycleInside = true;
        path = recycleDir();
        if (::mkdir(path.constData(), m_notesMode | S_IRWXU) != 0 && errno != EEXIST)
            return -1;
    }
    const int fd = openDir(path);
    struct stat st;
    // Removed notes are never more open to others than the live ones.
    if (fd >= 0 && ::fstat(fd, &st) == 0 && (st.st_mode & 0777 & ~(m_notesMode | S_IRWXU)) != 0 &&
        st.st_uid == ::geteuid())
        ::fchmod(fd, st.st_mode & 0777 & (m_notesMode | S_IRWXU));
    return fd;
}

QByteArray NoteFolder::nextRecycleName()
{
    const QDateTime now = m_clock ? m_clock->now() : QDateTime::currentDateTime();
    const QByteArray stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss")).toLatin1();
    if (stamp == m_lastRecycleStamp) {
        ++m_lastRecycleCounter;
    } else {
        m_lastRecycleStamp = stamp;
        m_lastRecycleCounter = 1;
    }
    return stamp + '-' + QByteArray::number(m_lastRecycleCounter).rightJustified(3, '0') + ".txt";
}

bool NoteFolder::moveToRecycle(int fromDir, const QByteArray& name, bool renameAsText)
{
    Fd recycleFd(openRecycleFolder());
    if (!recycleFd.valid())
        return false;
    const qint64 nowMs = (m_clock ? m_clock->now() : QDateTime::currentDateTime()).toMSecsSinceEpoch();
    const auto logged = [&](const QByteArray& target) {
        ::fsync(recycleFd.get());
        appendLog(recycleFd.get(), {LogEntry{nextSequence(recycleFd.get()), nowMs, target}}, 0600);
        pruneRecycle({target});
        return true;
    };
    constexpr int kAttempts = 10000;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const QByteArray target = renameAsText ? nextRecycleName() : withCollisionSuffix(name, attempt);
        const int error = renameNoReplace(fromDir, name, recycleFd.get(), target);
        if (error == 0)
            return logged(target);
        if (error == EEXIST)
            continue;
        if (error != EXDEV)
            return false;
        // Another file system: copy, make the copy durable, then remove the original.
        QByteArray bytes;
        struct stat st;
        if (readFileAt(fromDir, name, &bytes, &st, kMaxNoteFileBytes) != ReadOutcome::Read)
            return false;
        for (; attempt <= kAttempts; ++attempt) {
            const QByteArray copy = renameAsText ? nextRecycleName() : withCollisionSuffix(name, attempt);
            const int copyError = writeFileAt(recycleFd.get(), copy, bytes, O_EXCL, true, m_notesMode & 0666);
            if (copyError == EEXIST)
                continue;
            if (copyError != 0)
                return false;
            logged(copy);
            return ::unlinkat(fromDir, name.constData(), 0) == 0;
        }
        return false;
    }
    return false;
}

bool NoteFolder::preserveOriginal(int notesFd, const QByteArray& name)
{
    Fd recycleFd(openRecycleFolder());
    if (!recycleFd.valid())
        return fail(Failure::Recycle, errno, recycleDir());
    for (int attempt = 1; attempt <= 10000; ++attempt) {
        const QByteArray target = withCollisionSuffix(name, attempt);
        // A second name for the same bytes: nothing is copied, and the note file stays as it is.
        int error =
            ::linkat(notesFd, name.constData(), recycleFd.get(), target.constData(), 0) == 0 ? 0 : errno;
        if (error == EEXIST)
            continue;
        if (error == EXDEV || error == EPERM || error == EMLINK) {
            QByteArray bytes;
            struct stat st;
            if (readFileAt(notesFd, name, &bytes, &st, kMaxNoteFileBytes) != ReadOutcome::Read)
                return fail(Failure::Recycle, EIO, m_appFolder + '/' + kNotes);
            error = writeFileAt(recycleFd.get(), target, bytes, O_EXCL, true, m_notesMode & 0666);
            if (error == EEXIST)
                continue;
        }
        if (error != 0)
            return fail(Failure::Recycle, error, recycleDir());
        if (::fsync(recycleFd.get()) != 0)
            return fail(Failure::Recycle, errno, recycleDir());
        const qint64 nowMs = (m_clock ? m_clock->now() : QDateTime::currentDateTime()).toMSecsSinceEpoch();
        appendLog(recycleFd.get(), {LogEntry{nextSequence(recycleFd.get()), nowMs, target}}, 0600);
        m_records[name].lossy = false;
        pruneRecycle({target});
        return true;
    }
    return fail(Failure::Recycle, EEXIST, recycleDir());
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
    const QByteArray dir = recycleDir();
    Fd recycleFd(openRecycleFolder());
    if (!recycleFd.valid()) {
        m_pendingRecycle += texts;
        return fail(Failure::Recycle, errno, dir);
    }
    const bool syncEach = texts.size() <= kFsyncEachLimit;
    const qint64 nowMs = (m_clock ? m_clock->now() : QDateTime::currentDateTime()).toMSecsSinceEpoch();
    qint64 seq = nextSequence(recycleFd.get());
    QList<LogEntry> written;
    QStringList failed;
    for (const QString& text : texts) {
        const QByteArray bytes = encodeNoteBytes(text);
        int error = EEXIST;
        QByteArray name;
        for (int attempt = 0; attempt < 10000 && error == EEXIST; ++attempt) {
            name = nextRecycleName();
            error = writeFileAt(recycleFd.get(), name, bytes, O_EXCL, syncEach, m_notesMode & 0666);
        }
        if (error == 0) {
            written.append(LogEntry{seq++, nowMs, name});
        } else {
            failed.append(text);
            fail(Failure::Recycle, error, dir);
        }
    }
    if ((!syncEach && ::syncfs(recycleFd.get()) != 0) || ::fsync(recycleFd.get()) != 0) {
        // Written but not known to be on disk: they count as not written.
        const int error = errno;
        for (const LogEntry& entry : written)
            ::unlinkat(recycleFd.get(), entry.name.constData(), 0);
        m_pendingRecycle += texts;
        return fail(Failure::Recycle, error, dir);
    }
    appendLog(recycleFd.get(), written, 0600);
    QSet<QByteArray> justWritten;
    for (const LogEntry& entry : written)
        justWritten.insert(entry.name);
    pruneRecycle(justWritten);
    m_pendingRecycle += failed;
    return failed.isEmpty();
}

void NoteFolder::pruneRecycle(const QSet<QByteArray>& protectedNames)
{
    Fd recycleFd(openDir(recycleDir()));
    if (!recycleFd.valid())
        return;
    bool listed = false;
    const std::vector<Entry> files = listFolder(recycleFd.get(), &listed, false);
    if (!listed)
        return;
    const QHash<QByteArray, LogEntry> log = readLog(recycleFd.get());
    const qint64 nowMs = (m_clock ? m_clock->now() : QDateTime::currentDateTime()).toMSecsSinceEpoch();

    // Files the log does not know (put there by hand, or by an older version) count from now on.
    std::vector<LogEntry> entries;
    bool rewrite = false;
    for (const Entry& file : files) {
        if (isHidden(file.name) || !file.statOk || !S_ISREG(file.st.st_mode))
            continue;
        const auto found = log.constFind(file.name);
        if (found != log.cend()) {
            entries.push_back(*found);
        } else {
            entries.push_back(LogEntry{0, nowMs, file.name});
            rewrite = true;
        }
    }
    if (qsizetype(entries.size()) != log.size())
        rewrite = true;
    if (entries.size() <= size_t(kRecycleKeep) && !rewrite)
        return;

    // Newest removal first, by our own sequence rather than by a clock that may have jumped.
    std::sort(entries.begin(), entries.end(), [](const LogEntry& a, const LogEntry& b) {
        return a.seq != b.seq ? a.seq > b.seq : a.name > b.name;
    });
    constexpr qint64 kMinAgeMs = qint64(kRecycleMinDays) * 24 * 3600 * 1000;
    std::vector<LogEntry> kept;
    for (size_t i = 0; i < entries.size(); ++i) {
        const LogEntry& entry = entries[i];
        // A removal time in the future (the clock was ahead then) counts as recent.
        const bool old = nowMs - entry.removedMs >= kMinAgeMs;
        if (i < size_t(kRecycleKeep) || protectedNames.contains(entry.name) || !old ||
            ::unlinkat(recycleFd.get(), entry.name.constData(), 0) != 0) {
            kept.push_back(entry);
        } else {
            rewrite = true;
        }
    }
    if (!rewrite)
        return;
    QByteArray text;
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        text += logLine(*it);
    if (writeFileAt(recycleFd.get(), kRecycleLogNext, text, O_TRUNC, true, 0600) == 0)
        ::renameat(recycleFd.get(), kRecycleLogNext.constData(), recycleFd.get(), kRecycleLog.constData());
}
