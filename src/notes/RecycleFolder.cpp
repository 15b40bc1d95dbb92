#include "notes/RecycleFolder.h"

#include "notes/NoteFiles.h"
#include "platform/Clock.h"
#include "platform/FolderFiles.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace FolderFiles;

namespace {

const QByteArray kRecycle("Notes.recycle");
const QByteArray kNotes("Notes");
const QByteArray kInnerRecycle(".recycle");

// One line per file of the recovery folder: sequence number, time of removal (ms since the epoch,
// UTC) and the name. The sequence orders removals even when the wall clock jumped.
const QByteArray kRecycleLog(".removed.log");
const QByteArray kRecycleLogNext(".removed.log.next");

// "name (2).ext" for the second file of a name in the recovery folder.
QByteArray withCollisionSuffix(const QByteArray& name, int attempt)
{
    if (attempt <= 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    return name.left(cut) + " (" + QByteArray::number(attempt) + ")" + name.mid(cut);
}

// Opens name in parentFd as a folder of this user, creating it when missing. Never follows a link at
// the name: a link, something else than a folder, or another user's folder is refused (-1, errno
// set), whatever it leads to. *mkdirError is the error of creating it, when that is why it failed.
int openOwnFolder(int parentFd, const QByteArray& name, mode_t mode, int* mkdirError)
{
    *mkdirError = 0;
    if (::mkdirat(parentFd, name.constData(), mode) != 0 && errno != EEXIST) {
        *mkdirError = errno;
        return -1;
    }
    Fd fd(::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid())
        return -1;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return -1;
    if (st.st_uid != ::geteuid()) {
        errno = EPERM;
        return -1;
    }
    // Removed notes are never more open to others than the live ones.
    if ((st.st_mode & 0777 & ~mode) != 0)
        ::fchmod(fd.get(), st.st_mode & 0777 & mode);
    return fd.release();
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

RecycleFolder::RecycleFolder(const QByteArray& appFolder, const Clock* clock)
    : m_appFolder(appFolder), m_clock(clock)
{
}

qint64 RecycleFolder::takeSequence(int recycleFd, qsizetype count)
{
    // Read from the log once; this process is the only one writing it from then on.
    if (m_nextSequence == 0)
        m_nextSequence = nextSequence(recycleFd);
    const qint64 first = m_nextSequence;
    m_nextSequence += count;
    return first;
}

qint64 RecycleFolder::nowMs() const
{
    return m_clock->now().toMSecsSinceEpoch();
}

QByteArray RecycleFolder::path() const
{
    return m_inside ? m_appFolder + '/' + kNotes + '/' + kInnerRecycle : m_appFolder + '/' + kRecycle;
}

int RecycleFolder::open()
{
    const mode_t mode = m_notesMode | S_IRWXU;
    Fd app(openDir(m_appFolder));
    if (!app.valid())
        return -1;
    int mkdirError = 0;
    if (!m_inside) {
        const int fd = openOwnFolder(app.get(), kRecycle, mode, &mkdirError);
        if (fd >= 0 || (mkdirError != EACCES && mkdirError != EROFS && mkdirError != EPERM))
            return fd;
        // A read-only application folder: removed notes are kept inside Notes instead.
        m_inside = true;
    }
    Fd notes(::openat(app.get(), kNotes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!notes.valid())
        return -1;
    return openOwnFolder(notes.get(), kInnerRecycle, mode, &mkdirError);
}

QByteArray RecycleFolder::nextName()
{
    const QDateTime now = m_clock->now();
    const QByteArray stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss")).toLatin1();
    if (stamp == m_lastStamp) {
        ++m_lastCounter;
    } else {
        m_lastStamp = stamp;
        m_lastCounter = 1;
    }
    return stamp + '-' + QByteArray::number(m_lastCounter).rightJustified(3, '0') + ".txt";
}

bool RecycleFolder::moveIn(int fromDir, const QByteArray& name, bool renameAsText)
{
    Fd recycleFd(open());
    if (!recycleFd.valid())
        return false;
    const qint64 now = nowMs();
    const auto logged = [&](const QByteArray& target) {
        ::fsync(recycleFd.get());
        appendLog(recycleFd.get(), {LogEntry{takeSequence(recycleFd.get(), 1), now, target}}, 0600);
        prune(recycleFd.get(), {target});
        return true;
    };
    constexpr int kAttempts = 10000;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const QByteArray target = renameAsText ? nextName() : withCollisionSuffix(name, attempt);
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
            const QByteArray copy = renameAsText ? nextName() : withCollisionSuffix(name, attempt);
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

int RecycleFolder::keepOriginal(int fromDir, const QByteArray& name)
{
    Fd recycleFd(open());
    if (!recycleFd.valid())
        return errno;
    for (int attempt = 1; attempt <= 10000; ++attempt) {
        const QByteArray target = withCollisionSuffix(name, attempt);
        // A second name for the same bytes: nothing is copied, and the note file stays as it is.
        int error =
            ::linkat(fromDir, name.constData(), recycleFd.get(), target.constData(), 0) == 0 ? 0 : errno;
        if (error == EEXIST)
            continue;
        if (error == EXDEV || error == EPERM || error == EMLINK) {
            QByteArray bytes;
            struct stat st;
            if (readFileAt(fromDir, name, &bytes, &st, kMaxNoteFileBytes) != ReadOutcome::Read)
                return EIO;
            error = writeFileAt(recycleFd.get(), target, bytes, O_EXCL, true, m_notesMode & 0666);
            if (error == EEXIST)
                continue;
        }
        if (error != 0)
            return error;
        if (::fsync(recycleFd.get()) != 0)
            return errno;
        appendLog(recycleFd.get(), {LogEntry{takeSequence(recycleFd.get(), 1), nowMs(), target}}, 0600);
        prune(recycleFd.get(), {target});
        return 0;
    }
    return EEXIST;
}

QStringList RecycleFolder::writeTexts(const QStringList& texts, int* firstError)
{
    *firstError = 0;
    Fd recycleFd(open());
    if (!recycleFd.valid()) {
        *firstError = errno;
        return texts;
    }
    const bool syncEach = texts.size() <= kFsyncEachLimit;
    const qint64 now = nowMs();
    qint64 seq = takeSequence(recycleFd.get(), texts.size());
    QList<LogEntry> written;
    QStringList failed;
    for (const QString& text : texts) {
        const QByteArray bytes = encodeNoteBytes(text);
        int error = EEXIST;
        QByteArray name;
        for (int attempt = 0; attempt < 10000 && error == EEXIST; ++attempt) {
            name = nextName();
            error = writeFileAt(recycleFd.get(), name, bytes, O_EXCL, syncEach, m_notesMode & 0666);
        }
        if (error == 0) {
            written.append(LogEntry{seq++, now, name});
        } else {
            failed.append(text);
            if (*firstError == 0)
                *firstError = error;
        }
    }
    if ((!syncEach && ::syncfs(recycleFd.get()) != 0) || ::fsync(recycleFd.get()) != 0) {
        // Written but not known to be on disk: they count as not written.
        *firstError = errno;
        for (const LogEntry& entry : written)
            ::unlinkat(recycleFd.get(), entry.name.constData(), 0);
        return texts;
    }
    appendLog(recycleFd.get(), written, 0600);
    QSet<QByteArray> justWritten;
    for (const LogEntry& entry : written)
        justWritten.insert(entry.name);
    prune(recycleFd.get(), justWritten);
    return failed;
}

void RecycleFolder::prune(int recycleFd, const QSet<QByteArray>& protectedNames)
{
    bool listed = false;
    const std::vector<Entry> files = listFolder(recycleFd, &listed, false);
    if (!listed)
        return;
    const QHash<QByteArray, LogEntry> log = readLog(recycleFd);
    const qint64 now = nowMs();

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
            entries.push_back(LogEntry{0, now, file.name});
            rewrite = true;
        }
    }
    if (qsizetype(entries.size()) != log.size())
        rewrite = true;
    if (entries.size() <= size_t(kKeep) && !rewrite)
        return;

    // Newest removal first, by our own sequence rather than by a clock that may have jumped.
    std::sort(entries.begin(), entries.end(), [](const LogEntry& a, const LogEntry& b) {
        return a.seq != b.seq ? a.seq > b.seq : a.name > b.name;
    });
    constexpr qint64 kMinAgeMs = qint64(kMinDays) * 24 * 3600 * 1000;
    std::vector<LogEntry> kept;
    for (size_t i = 0; i < entries.size(); ++i) {
        const LogEntry& entry = entries[i];
        // A removal time in the future (the clock was ahead then) counts as recent.
        const bool old = now - entry.removedMs >= kMinAgeMs;
        if (i < size_t(kKeep) || protectedNames.contains(entry.name) || !old ||
            ::unlinkat(recycleFd, entry.name.constData(), 0) != 0) {
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
    if (writeFileAt(recycleFd, kRecycleLogNext, text, O_TRUNC, true, 0600) == 0)
        ::renameat(recycleFd, kRecycleLogNext.constData(), recycleFd, kRecycleLog.constData());
}
