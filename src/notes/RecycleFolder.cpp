// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/RecycleFolder.h"

#include "notes/NoteFiles.h"
#include "platform/Clock.h"
#include "platform/FolderFiles.h"

#include <QDateTime>

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

// One line per arrival: sequence number, time of removal (ms since the epoch, UTC) and the name,
// appended in the order the files arrived. That order is what counts; the numbers in a line are only
// believed when they make sense.
const QByteArray kRecycleLog(".removed.log");
const QByteArray kRecycleLogNext(".removed.log.next");
// The first line of every log this application keeps. Only names listed below it are ours to delete:
// a log without it (the user's, or one from a version that took every file in the folder for its
// own) is kept as comments, so nothing it names is ever pruned.
const QByteArray kLogHeader("# VemraNotes recovery log 2: sequence, removal time (ms since 1970, UTC), name");
const QByteArray kLegacyPrefix("# ");
// Far more than 200 arrivals and a month of removals take. A larger log is not parsed, and nothing is
// pruned while it is there.
constexpr qint64 kMaxLogBytes = qint64(4) * 1024 * 1024;
constexpr qint64 kDayMs = qint64(24) * 3600 * 1000;
constexpr qint64 kMinAgeMs = qint64(RecycleFolder::kMinDays) * kDayMs;
// A time the log cannot vouch for: the arrival counts as recent.
constexpr qint64 kUnknownTime = -1;
// Sequence numbers from here on are damage, not counting: the next one would not fit.
constexpr qint64 kMaxSequence = qint64(1) << 53;

// "name (2).ext" for the second file of a name in the recovery folder.
QByteArray withCollisionSuffix(const QByteArray& name, int attempt)
{
    if (attempt <= 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    return name.left(cut) + " (" + QByteArray::number(attempt) + ")" + name.mid(cut);
}

// The one check every name read from the log passes before it is looked at, let alone unlinked: a
// file directly in the folder. Hidden names are never arrivals (our own log files are hidden).
bool isArrivalName(const QByteArray& name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\0') && name != "." && name != ".." &&
           !isHidden(name);
}

// Opens name in parentFd as a folder of this user, creating it when missing. Never follows a link at
// the name: a link, something else than a folder, or another user's folder is refused (-1, errno
// set), whatever it leads to. *mkdirError is the error of creating it, when that is why it failed.
int openOwnFolder(int parentFd, const QByteArray& name, mode_t mode, int* mkdirError)
{
    *mkdirError = 0;
    if (::mkdirat(parentFd, name.constData(), mode) == 0) {
        // A removed note synced into a folder whose own entry a power cut loses is lost with it.
        ::fsync(parentFd);
    } else if (errno != EEXIST) {
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

// Reads a regular file of at most kMaxLogBytes, never through a link and never waiting on a pipe.
// False when it is anything else; *missing when there is nothing at the name.
bool readLogBytes(int dirFd, QByteArray* bytes, bool* missing)
{
    *missing = false;
    Fd fd(
        ::openat(dirFd, kRecycleLog.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        *missing = errno == ENOENT;
        return *missing;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxLogBytes)
        return false;
    // One byte more than fstat promised tells a log that grew meanwhile; it may grow to the bound.
    QByteArray data(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype done = 0;
    for (;;) {
        if (done == data.size()) {
            if (done > kMaxLogBytes)
                break;
            data.resize(qMin<qsizetype>(data.size() * 2, qsizetype(kMaxLogBytes) + 1));
        }
        const ssize_t n = ::read(fd.get(), data.data() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += n;
    }
    if (done > kMaxLogBytes)
        return false; // it grew meanwhile
    data.truncate(done);
    *bytes = std::move(data);
    return true;
}

struct Arrival
{
    qint64 seq = 0;
    qint64 removedMs = kUnknownTime;
    QByteArray name;
    QByteArray line;
};

struct Log
{
    /// A regular file of ours within the size bound: only then is anything pruned.
    bool ours = false;
    /// Lines below the header that name an arrival, in the order they were appended.
    std::vector<Arrival> arrivals;
    /// Lines a rewrite leaves out: cut short, damaged, or naming what can never be ours.
    bool untidy = false;
};

Log readLog(int recycleFd, qint64 nowMs)
{
    Log log;
    QByteArray text;
    bool missing = false;
    if (!readLogBytes(recycleFd, &text, &missing) || missing)
        return log;
    QList<QByteArray> lines = text.split('\n');
    // The last piece has no line end: empty, or a line cut short by a crash, whose name may be cut too.
    if (lines.size() > 1 && !lines.last().isEmpty())
        log.untidy = true;
    lines.removeLast();
    if (lines.isEmpty() || lines.first() != kLogHeader)
        return log;
    log.ours = true;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        // The lines of an adopted log: whatever they look like, they name nothing of ours.
        if (line.startsWith(kLegacyPrefix.front()))
            continue;
        const QList<QByteArray> fields = line.split(' ');
        const QByteArray name =
            fields.size() == 3 ? QByteArray::fromPercentEncoding(fields[2]) : QByteArray();
        if (!isArrivalName(name)) {
            log.untidy = true;
            continue;
        }
        Arrival arrival{0, kUnknownTime, name, line};
        bool ok = false;
        arrival.seq = fields[0].toLongLong(&ok);
        if (!ok || arrival.seq < 0 || arrival.seq >= kMaxSequence)
            arrival.seq = 0;
        // A time before 1970, too large to read, or more than a day ahead (a clock that was wrong, or
        // a damaged line) says nothing about the age: the arrival is taken as recent.
        const qint64 ms = fields[1].toLongLong(&ok);
        if (ok && ms >= 0 && ms <= nowMs + kDayMs)
            arrival.removedMs = ms;
        log.arrivals.push_back(std::move(arrival));
    }
    return log;
}

QByteArray logLine(qint64 seq, qint64 removedMs, const QByteArray& name)
{
    return QByteArray::number(seq) + ' ' + QByteArray::number(removedMs) + ' ' + name.toPercentEncoding() +
           '\n';
}

// Puts text in the log's place in one step, never writing through a link planted at either name.
bool replaceLog(int recycleFd, const QByteArray& text)
{
    ::unlinkat(recycleFd, kRecycleLogNext.constData(), 0);
    return writeFileAt(recycleFd, kRecycleLogNext, text, O_EXCL, true, 0600) == 0 &&
           ::renameat(recycleFd, kRecycleLogNext.constData(), recycleFd, kRecycleLog.constData()) == 0;
}

// A log that does not begin with our header, in a folder we use: its lines become comments under the
// header, so that what we log from now on is ours and nothing it named is.
bool adoptLog(int recycleFd)
{
    QByteArray text;
    bool missing = false;
    if (!readLogBytes(recycleFd, &text, &missing) || missing)
        return false;
    QByteArray adopted = kLogHeader + '\n';
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty())
            adopted += kLegacyPrefix + line + '\n';
    }
    return qint64(adopted.size()) <= kMaxLogBytes && replaceLog(recycleFd, adopted);
}

bool beginsWithHeader(int fd)
{
    const QByteArray expected = kLogHeader + '\n';
    QByteArray head(expected.size(), '\0');
    return ::pread(fd, head.data(), size_t(head.size()), 0) == ssize_t(head.size()) && head == expected;
}

// Appends the lines of new arrivals. Without a log that is ours they are still written, but nothing
// is ever pruned there.
void appendLog(int recycleFd, const QByteArray& lines)
{
    for (int round = 0; round < 2; ++round) {
        Fd fd(::openat(recycleFd, kRecycleLog.constData(),
                       O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
        if (!fd.valid())
            return;
        struct stat st;
        // A second link would make our appends land in someone else's file.
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
            return;
        QByteArray text;
        if (st.st_size == 0) {
            text = kLogHeader + '\n';
        } else if (!beginsWithHeader(fd.get())) {
            if (round == 0 && adoptLog(recycleFd))
                continue;
        } else {
            char last = '\n';
            if (::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
                text += '\n'; // after a line cut short, ours starts on a line of its own
        }
        if (writeAll(fd.get(), text + lines))
            ::fdatasync(fd.get());
        return;
    }
}

} // namespace

RecycleFolder::RecycleFolder(const QByteArray& appFolder, const Clock* clock)
    : m_appFolder(appFolder), m_clock(clock)
{
}

qint64 RecycleFolder::takeSequence(int recycleFd, qsizetype count)
{
    // Read from the log once; this process is the only one writing it from then on. The numbers only
    // help a reader of the log: the order of its lines is what pruning goes by.
    if (m_nextSequence == 0) {
        qint64 last = 0;
        for (const Arrival& arrival : readLog(recycleFd, nowMs()).arrivals)
            last = qMax(last, arrival.seq);
        m_nextSequence = last + 1;
    }
    const qint64 first = m_nextSequence;
    m_nextSequence = m_nextSequence + count < kMaxSequence ? m_nextSequence + count : 1;
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

void RecycleFolder::arrived(int recycleFd, const QList<QByteArray>& names)
{
    const qint64 now = nowMs();
    qint64 seq = takeSequence(recycleFd, names.size());
    QByteArray lines;
    for (const QByteArray& name : names)
        lines += logLine(seq++, now, name);
    appendLog(recycleFd, lines);
    prune(recycleFd, QSet<QByteArray>(names.cbegin(), names.cend()));
}

bool RecycleFolder::moveIn(int fromDir, const QByteArray& name, bool renameAsText)
{
    Fd recycleFd(open());
    if (!recycleFd.valid())
        return false;
    const auto logged = [&](const QByteArray& target) {
        ::fsync(recycleFd.get());
        arrived(recycleFd.get(), {target});
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
        arrived(recycleFd.get(), {target});
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
    QList<QByteArray> written;
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
            written.append(name);
        } else {
            failed.append(text);
            if (*firstError == 0)
                *firstError = error;
        }
    }
    if ((!syncEach && ::syncfs(recycleFd.get()) != 0) || ::fsync(recycleFd.get()) != 0) {
        // Written but not known to be on disk: they count as not written.
        *firstError = errno;
        for (const QByteArray& name : written)
            ::unlinkat(recycleFd.get(), name.constData(), 0);
        return texts;
    }
    if (!written.isEmpty())
        arrived(recycleFd.get(), written);
    return failed;
}

void RecycleFolder::prune(int recycleFd, const QSet<QByteArray>& protectedNames)
{
    const qint64 now = nowMs();
    const Log log = readLog(recycleFd, now);
    if (!log.ours)
        return;
    // Newest first by line: the log is only ever appended to, so its order is the order of arrival
    // whatever its numbers say. A name logged twice counts at its last line.
    std::vector<size_t> newest;
    QSet<QByteArray> seen;
    for (size_t i = log.arrivals.size(); i-- > 0;) {
        if (!seen.contains(log.arrivals[i].name)) {
            seen.insert(log.arrivals[i].name);
            newest.push_back(i);
        }
    }
    if (newest.size() <= size_t(RecycleFolder::kKeep))
        return;

    std::vector<bool> keep(log.arrivals.size(), false);
    bool changed = log.untidy || newest.size() != log.arrivals.size();
    int present = 0;
    for (size_t i : newest) {
        const Arrival& arrival = log.arrivals[i];
        struct stat st;
        if (::fstatat(recycleFd, arrival.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            keep[i] = errno != ENOENT; // taken back by hand: forgotten
            changed = changed || !keep[i];
            continue;
        }
        // Only regular files are ever ours to delete, and only they count as kept removals.
        if (!S_ISREG(st.st_mode)) {
            keep[i] = true;
            continue;
        }
        const bool recent = arrival.removedMs == kUnknownTime || now - arrival.removedMs < kMinAgeMs;
        // unlinkat removes a link planted at the name, never what it leads to.
        if (present++ < RecycleFolder::kKeep || recent || protectedNames.contains(arrival.name) ||
            ::unlinkat(recycleFd, arrival.name.constData(), 0) != 0) {
            keep[i] = true;
        } else {
            changed = true;
        }
    }
    if (!changed)
        return;
    QByteArray text = kLogHeader + '\n';
    for (size_t i = 0; i < log.arrivals.size(); ++i) {
        if (keep[i])
            text += log.arrivals[i].line + '\n';
    }
    replaceLog(recycleFd, text);
}
