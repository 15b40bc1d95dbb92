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
const QByteArray kStaging(".Notes.saving");
// Used when staging beside Notes cannot work: a read-only application folder, or Notes on another
// file system or mount (a rename cannot cross either). load() ignores subfolders and hidden names.
const QByteArray kInnerStaging(".saving");

// The journal of a save: what is renamed into Notes and what is removed from it. Only a journal that
// ends with its end line was committed; the renames start after that.
const QByteArray kJournal("journal");
const QByteArray kJournalNext("journal.next");
const QByteArray kJournalHeader("VemraNotes save journal 1\n");
const QByteArray kJournalEnd("end\n");

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
    if (m_stagingLeft) {
        Fd appFd(openDir(m_appFolder));
        if (appFd.valid())
            recoverStaging(appFd.get(), kStaging, notesFd.get());
        recoverStaging(notesFd.get(), kInnerStaging, notesFd.get());
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
        if (resolution == Resolution::Foreign && !m_recycle.moveIn(notesFd.get(), it.key(), false)) {
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
    // Until this save ends well, the next one looks for what it left.
    m_stagingLeft = true;
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
    m_stagingLeft = false;
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
                m_recycle.moveIn(stage.get(), entry.name, true);
        }
    }
    // Not committed: Notes was not changed yet, and the staged copies are dropped.
    m_committed.clear();
    ::unlinkat(stage.get(), kJournal.constData(), 0);
    ::fsync(stage.get());
    removeFilesIn(stage.get());
    ::unlinkat(parentDir, stagingName.constData(), AT_REMOVEDIR);
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
