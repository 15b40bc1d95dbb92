// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteJournal.h"

#include "notes/NoteFiles.h"
#include "platform/FolderFiles.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace FolderFiles;

namespace {

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

using Stamp = NoteJournal::Stamp;

QByteArray stampText(const Stamp& stamp)
{
    if (stamp.state != Stamp::State::Present)
        return "-";
    return QByteArray::number(stamp.device) + ' ' + QByteArray::number(stamp.inode) + ' ' +
           QByteArray::number(stamp.size) + ' ' + QByteArray::number(stamp.mtimeNs);
}

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

bool parseNumbers(const QList<QByteArray>& fields, qsizetype first, Stamp* stamp)
{
    bool ok[4] = {false, false, false, false};
    stamp->state = Stamp::State::Present;
    stamp->device = fields[first].toULongLong(&ok[0]);
    stamp->inode = fields[first + 1].toULongLong(&ok[1]);
    stamp->size = fields[first + 2].toLongLong(&ok[2]);
    stamp->mtimeNs = fields[first + 3].toLongLong(&ok[3]);
    return ok[0] && ok[1] && ok[2] && ok[3];
}

} // namespace

struct NoteJournal::Entry
{
    QByteArray name;
    Stamp stamp;
};

struct NoteJournal::Lists
{
    QList<Entry> renames;
    QList<Entry> removals;

    QByteArray text() const
    {
        QByteArray text = kJournalHeader;
        for (const Entry& r : renames)
            text += "R " + r.name + ' ' + stampText(r.stamp) + '\n';
        for (const Entry& r : removals)
            text += "D " + r.name.toPercentEncoding() + ' ' + stampText(r.stamp) + '\n';
        return text + kJournalEnd;
    }

    // One line of a journal; false when our writer did not write it.
    bool parseLine(const QByteArray& line, bool v1)
    {
        const QList<QByteArray> fields = line.split(' ');
        Entry entry;
        bool ok = false;
        if (fields[0] == "R" && v1 && fields.size() == 2) {
            entry.name = QByteArray::fromPercentEncoding(fields[1]);
            ok = true;
        } else if (fields[0] == "R" && !v1 && (fields.size() == 3 || fields.size() == 6)) {
            entry.name = fields[1];
            entry.stamp.state = Stamp::State::Absent;
            ok = fields.size() == 6 ? parseNumbers(fields, 2, &entry.stamp) : fields[2] == "-";
        } else if (fields[0] == "D" && v1 && fields.size() == 5) {
            // Size, modification time, inode, name.
            entry.name = QByteArray::fromPercentEncoding(fields[4]);
            bool sizeOk = false;
            bool timeOk = false;
            bool inodeOk = false;
            entry.stamp.state = Stamp::State::Present;
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
            return false;
        (renamed ? renames : removals).append(entry);
        return true;
    }

    JournalState parse(const QByteArray& text)
    {
        // The first journal of a save is its header alone, written without a sync: a power cut may
        // leave any beginning of it.
        if (kJournalHeader.startsWith(text))
            return JournalState::Uncommitted;
        const bool v1 = text.startsWith(kJournalHeaderV1);
        const QByteArray& header = v1 ? kJournalHeaderV1 : kJournalHeader;
        if (!text.startsWith(header) || !text.endsWith(kJournalEnd))
            return JournalState::Foreign;
        const QList<QByteArray> lines =
            text.mid(header.size(), text.size() - header.size() - kJournalEnd.size()).split('\n');
        for (const QByteArray& line : lines) {
            if (!line.isEmpty() && !parseLine(line, v1))
                return JournalState::Foreign;
        }
        return JournalState::Committed;
    }
};

bool NoteJournal::Stamp::matches(const struct stat* st) const
{
    if (state != State::Present || !st)
        return state == State::Absent && !st;
    return (!deviceKnown || quint64(st->st_dev) == device) && quint64(st->st_ino) == inode &&
           qint64(st->st_size) == size && nanoseconds(st->st_mtim) == mtimeNs;
}

NoteJournal::NoteJournal(int parentFd, const QByteArray& stagingName, int notesFd, Listener& listener)
    : m_parentFd(parentFd), m_stagingName(stagingName), m_notesFd(notesFd), m_listener(listener),
      m_inside(parentFd == notesFd)
{
}

NoteJournal::~NoteJournal()
{
    if (m_stageFd >= 0)
        ::close(m_stageFd);
}

bool NoteJournal::fail(Outcome::Where where, int error)
{
    // The first failure of a save is the one that explains it.
    if (m_outcome.where == Outcome::Done) {
        m_outcome.where = where;
        m_outcome.error = error;
    }
    return false;
}

// ---- A save: stage, commit, rename, remove, in this order ------------------------------------------

NoteJournal::Outcome NoteJournal::save(const QList<NoteWrite>& writes, const QList<QByteArray>& removals,
                                       const SeenStamp& seen, mode_t fileMode)
{
    if (!openStaging() || !beginJournal() || !stageWrites(writes, fileMode))
        return m_outcome;
    if (!m_listener.step()) {
        fail(Outcome::Notes, EIO);
        return m_outcome;
    }
    // The commit point: from here on the next start finishes this save. Each target is recorded as
    // this save listed it, so neither the save nor the next start replaces anything it has not seen.
    Lists journal;
    for (const NoteWrite& write : writes)
        journal.renames.append({write.name, seen(write.name)});
    for (const QByteArray& name : removals)
        journal.removals.append({name, seen(name)});
    if (!commit(journal) || !renameAll(writes, journal))
        return m_outcome;
    if (!removeAll(journal))
        return m_outcome;
    ::unlinkat(m_stageFd, kJournal.constData(), 0);
    ::unlinkat(m_parentFd, m_stagingName.constData(), AT_REMOVEDIR);
    m_outcome.finished = true;
    return m_outcome;
}

bool NoteJournal::openStaging()
{
    if (::mkdirat(m_parentFd, m_stagingName.constData(), 0700) != 0 && errno != EEXIST) {
        m_outcome.fallBack = !m_inside;
        return fail(Outcome::Staging, errno);
    }
    struct stat linkSt;
    if (::fstatat(m_parentFd, m_stagingName.constData(), &linkSt, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(Outcome::Staging, errno);
    // Whoever put a link or a file there wants our files elsewhere: refused, never followed.
    if (!S_ISDIR(linkSt.st_mode))
        return fail(Outcome::Staging, S_ISLNK(linkSt.st_mode) ? ELOOP : ENOTDIR);
    // The folder's own entry must be on disk before anything in it is relied on: without it a power
    // cut can take the committed journal away while renames into Notes stay.
    if (::fsync(m_parentFd) != 0)
        return fail(Outcome::Staging, errno);
    m_stageFd = openDirAt(m_parentFd, m_stagingName);
    struct stat stagingSt;
    struct stat notesSt;
    if (m_stageFd < 0 || ::fstat(m_stageFd, &stagingSt) != 0 || ::fstat(m_notesFd, &notesSt) != 0) {
        m_outcome.fallBack = !m_inside;
        return fail(Outcome::Staging, errno);
    }
    if (stagingSt.st_dev != notesSt.st_dev) {
        dropStaging();
        m_outcome.fallBack = !m_inside;
        return fail(Outcome::Staging, EXDEV);
    }
    // A journal left now belongs to a save that could not be finished: never cleared here.
    if (::fstatat(m_stageFd, kJournal.constData(), &linkSt, AT_SYMLINK_NOFOLLOW) == 0)
        return fail(Outcome::Staging, EBUSY);
    // Leftovers of a save that failed before its journal was committed.
    removeFilesIn(m_stageFd);
    return true;
}

bool NoteJournal::beginJournal()
{
    // An uncommitted journal marks the folder as ours before anything is staged: the next start
    // then knows that these files may be dropped.
    int error = writeFileAt(m_stageFd, kJournal, kJournalHeader, O_TRUNC, false, 0600);
    if (error == 0 && ::fsync(m_stageFd) != 0)
        error = errno;
    if (error != 0) {
        dropStaging();
        return fail(Outcome::Notes, error);
    }
    return true;
}

bool NoteJournal::stageWrites(const QList<NoteWrite>& writes, mode_t fileMode)
{
    // Every new content is on disk before anything in Notes is replaced. A text that only moves to
    // another number is staged as a second link of its file: nothing is rewritten.
    qsizetype contentWrites = 0;
    for (const NoteWrite& write : writes)
        contentWrites += write.linkFrom.isEmpty() ? 1 : 0;
    const bool syncEach = contentWrites <= kFsyncEachLimit;
    for (const NoteWrite& write : writes) {
        int error = 0;
        if (write.linkFrom.isEmpty()) {
            error =
                writeFileAt(m_stageFd, write.name, encodeNoteBytes(write.text), O_TRUNC, syncEach, fileMode);
        } else if (::linkat(m_notesFd, write.linkFrom.constData(), m_stageFd, write.name.constData(), 0) !=
                   0) {
            // A file system without hard links: the same bytes, copied.
            QByteArray bytes;
            struct stat st;
            error = readFileAt(m_notesFd, write.linkFrom, &bytes, &st, kMaxNoteFileBytes) == ReadOutcome::Read
                        ? writeFileAt(m_stageFd, write.name, bytes, O_TRUNC, true, fileMode)
                        : (errno ? errno : EIO);
        }
        if (error != 0) {
            dropStaging();
            return fail(Outcome::Notes, error);
        }
    }
    if ((!syncEach && ::syncfs(m_stageFd) != 0) || ::fsync(m_stageFd) != 0) {
        const int error = errno;
        dropStaging();
        return fail(Outcome::Notes, error);
    }
    return true;
}

bool NoteJournal::commit(const Lists& journal)
{
    int error = writeFileAt(m_stageFd, kJournalNext, journal.text(), O_TRUNC, true, 0600);
    if (error == 0 && ::renameat(m_stageFd, kJournalNext.constData(), m_stageFd, kJournal.constData()) != 0)
        error = errno;
    if (error == 0 && ::fsync(m_stageFd) != 0)
        error = errno;
    if (error != 0) {
        dropStaging();
        return fail(Outcome::Notes, error);
    }
    m_listener.committed();
    return true;
}

bool NoteJournal::renameAll(const QList<NoteWrite>& writes, const Lists& journal)
{
    for (qsizetype i = 0; i < writes.size(); ++i) {
        const QByteArray& name = writes.at(i).name;
        if (!m_listener.step())
            return fail(Outcome::Notes, EIO);
        // Right before the rename: a file written there since the listing is not replaced. It stays
        // for the store to take in; this text is kept in the recovery folder meanwhile, and the store
        // still holds it for the next save.
        struct stat target;
        const bool present = ::fstatat(m_notesFd, name.constData(), &target, AT_SYMLINK_NOFOLLOW) == 0;
        int renameError = EEXIST;
        if (journal.renames.at(i).stamp.matches(present ? &target : nullptr))
            renameError =
                present
                    ? (::renameat(m_stageFd, name.constData(), m_notesFd, name.constData()) == 0 ? 0 : errno)
                    : renameNoReplace(m_stageFd, name, m_notesFd, name);
        if (renameError == EEXIST) {
            m_outcome.outsideChange = true;
            if (!m_listener.keepAside(m_stageFd, name, true))
                return fail(Outcome::Recycle, errno ? errno : EIO);
            continue;
        }
        if (renameError != 0) {
            if (i == 0 && renameError == EXDEV) {
                // Same file system, other mount (a bind mount of Notes): nothing has moved yet.
                dropStaging();
                m_outcome.fallBack = !m_inside;
            }
            // Otherwise the journal stays: the next save or start finishes what was begun.
            return fail(Outcome::Notes, renameError);
        }
        struct stat st;
        const bool placed = ::fstatat(m_notesFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        m_listener.placed(i, name, placed ? &st : nullptr);
    }
    // The renames must be durable before the files they make redundant are removed: one flush of
    // the folder for all of them.
    ::fsync(m_notesFd);
    return true;
}

bool NoteJournal::removeAll(const Lists& journal)
{
    // A removal that fails does not stop the others; a stop (the test hook's crash) does.
    for (const Entry& removal : journal.removals) {
        if (!m_listener.step())
            return fail(Outcome::Notes, EIO);
        struct stat st;
        const bool present = ::fstatat(m_notesFd, removal.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (present && !removal.stamp.matches(&st)) {
            m_outcome.outsideChange = true; // changed since the listing: somebody's text, not ours to remove
            continue;
        }
        if (!present || ::unlinkat(m_notesFd, removal.name.constData(), 0) == 0 || errno == ENOENT)
            m_listener.removed(removal.name);
        else
            fail(Outcome::Notes, errno);
    }
    if (!journal.removals.isEmpty())
        ::fsync(m_notesFd);
    return true;
}

void NoteJournal::dropStaging()
{
    ::unlinkat(m_stageFd, kJournal.constData(), 0);
    ::fsync(m_stageFd);
    removeFilesIn(m_stageFd);
    ::unlinkat(m_parentFd, m_stagingName.constData(), AT_REMOVEDIR);
}

// ---- The next start (or save): finish a committed journal, drop an uncommitted one ------------------

int NoteJournal::recover(int parentDir, const QByteArray& stagingName, int notesFd, Listener& listener)
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
    const ReadOutcome outcome = readFileAt(stage.get(), kJournal, &text, &st, limit(stage.get(), notesFd));
    Lists journal;
    const JournalState state = outcome == ReadOutcome::Read ? journal.parse(text) : JournalState::Foreign;
    bool kept = true;
    if (state == JournalState::Committed) {
        // Committed: finish it. The staged files are the newest texts of their notes.
        kept = finish(stage.get(), notesFd, journal, listener);
    } else if (state == JournalState::Foreign) {
        // No journal (staged by a version that kept none), or one our writer did not write, or that
        // cannot be read: whether renames began is unknown, and nothing it names is trusted. Its
        // staged files are kept in reach rather than renamed anywhere or dropped.
        bool listed = false;
        for (const FolderFiles::Entry& entry : listFolder(stage.get(), &listed, false)) {
            if (entry.statOk && S_ISREG(entry.st.st_mode) && entry.name != kJournal &&
                entry.name != kJournalNext)
                kept = listener.keepAside(stage.get(), entry.name, true) && kept;
        }
        kept = kept && listed;
    }
    // Not committed: Notes was not changed yet, and the staged copies are dropped.
    listener.replayed();
    if (!kept)
        return EBUSY; // a staged text that exists nowhere else stays where it is
    ::unlinkat(stage.get(), kJournal.constData(), 0);
    ::fsync(stage.get());
    removeFilesIn(stage.get());
    ::unlinkat(parentDir, stagingName.constData(), AT_REMOVEDIR);
    return 0;
}

bool NoteJournal::finish(int stageFd, int notesFd, const Lists& journal, Listener& listener)
{
    bool kept = true;
    for (qsizetype i = 0; i < journal.renames.size(); ++i) {
        const Entry& rename = journal.renames.at(i);
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
        if (!replace && present && rename.stamp.state == Stamp::State::Unknown) {
            // An older journal did not say what the save saw there: what is there now is kept in the
            // recovery folder before the save's text takes its place.
            replace = listener.keepAside(notesFd, rename.name, false);
            present = false;
        }
        int error = EEXIST;
        if (replace)
            error = present ? (::renameat(stageFd, name, notesFd, name) == 0 ? 0 : errno)
                            : renameNoReplace(stageFd, rename.name, notesFd, rename.name);
        if (error == 0) {
            struct stat fileSt;
            listener.placed(i, rename.name, ::fstatat(notesFd, name, &fileSt, 0) == 0 ? &fileSt : nullptr);
            continue;
        }
        // Somebody put another file there since the save looked (a note restored by hand): it stays,
        // and the staged text goes to the recovery folder instead.
        if (!listener.keepAside(stageFd, rename.name, true))
            kept = false;
    }
    ::fsync(notesFd);
    for (const Entry& removal : journal.removals) {
        struct stat fileSt;
        // Only the file the save meant: whatever took its name since is somebody's note.
        if (::fstatat(notesFd, removal.name.constData(), &fileSt, AT_SYMLINK_NOFOLLOW) == 0 &&
            removal.stamp.matches(&fileSt)) {
            ::unlinkat(notesFd, removal.name.constData(), 0);
            listener.removed(removal.name);
        }
    }
    ::fsync(notesFd);
    return kept;
}

qint64 NoteJournal::limit(int stageFd, int notesFd)
{
    bool listed = false;
    const qint64 files = qint64(listFolder(stageFd, &listed, false).size()) +
                         qint64(listFolder(notesFd, &listed, false).size());
    return qMin(kJournalFixedBytes + kJournalBytesPerFile * files, kJournalMaxBytes);
}
