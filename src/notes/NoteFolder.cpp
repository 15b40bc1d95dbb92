#include "notes/NoteFolder.h"

#include "notes/NoteFiles.h"
#include "platform/Clock.h"

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

namespace {

const QByteArray kNotes("Notes");
const QByteArray kRecycle("Notes.recycle");
const QByteArray kStaging(".Notes.saving");
// Used only when Notes lives on another file system than the application folder (a link to a
// synchronised folder, say): a rename cannot cross file systems, and load() ignores subfolders.
const QByteArray kInnerStaging(".saving");

// Above this many files one syncfs() is cheaper than an fsync() per file.
constexpr int kFsyncEachLimit = 16;

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

int openDir(const QByteArray& path)
{
    return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int openDirAt(int dirFd, const QByteArray& name)
{
    return ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

struct Entry
{
    QByteArray name;
    struct stat st;
    bool statOk;
    int statErrno;
};

// Lists with readdir so that names which are not valid UTF-8 are seen as they are, with the status of
// what each name leads to (links followed).
std::vector<Entry> listFolder(int dirFd, bool* ok)
{
    std::vector<Entry> entries;
    *ok = false;
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0)
        return entries;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return entries;
    }
    ::rewinddir(dir);
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir);
        if (!d) {
            *ok = errno == 0;
            break;
        }
        const QByteArray name(d->d_name);
        if (name == "." || name == "..")
            continue;
        Entry entry{name, {}, false, 0};
        entry.statOk = ::fstatat(dirFd, d->d_name, &entry.st, 0) == 0;
        if (!entry.statOk) {
            entry.statErrno = errno;
            struct stat linkSt;
            if (::fstatat(dirFd, d->d_name, &linkSt, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // vanished meanwhile
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return entries;
}

bool isValidUtf8(const QByteArray& bytes)
{
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return quint8(c) < 0x80; }))
        return true;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // decode() is lazy: the conversion runs only when the result becomes a QString.
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

enum class ReadOutcome
{
    Read,
    Missing,
    Failed
};

ReadOutcome readFileAt(int dirFd, const QByteArray& name, QByteArray* bytes, struct stat* st)
{
    // Non-blocking, so that a pipe put into the folder cannot hang the start-up.
    Fd fd(::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
    if (::fstat(fd.get(), st) != 0 || !S_ISREG(st->st_mode) || st->st_size > kMaxNoteFileBytes)
        return ReadOutcome::Failed;
    QByteArray data;
    data.resize(qsizetype(st->st_size));
    qsizetype done = 0;
    for (;;) {
        if (done == data.size()) {
            // The file may have grown since fstat; read on until the end.
            if (data.size() >= kMaxNoteFileBytes)
                break;
            data.resize(qMin<qsizetype>(data.size() + 65536, kMaxNoteFileBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), data.data() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadOutcome::Failed;
        }
        if (n == 0)
            break;
        done += n;
    }
    if (done > kMaxNoteFileBytes)
        return ReadOutcome::Failed;
    data.truncate(done);
    *bytes = std::move(data);
    return ReadOutcome::Read;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

// Returns 0 or the error; a file that could not be written completely is removed again.
int writeFileAt(int dirFd, const QByteArray& name, const QByteArray& bytes, int extraFlags, bool sync)
{
    const int fd = ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | extraFlags, 0666);
    if (fd < 0)
        return errno;
    int error = writeAll(fd, bytes) ? 0 : errno;
    if (error == 0 && sync && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlinkat(dirFd, name.constData(), 0);
    return error;
}

// Renames without replacing what is at the target; EEXIST when something is there.
int renameNoReplace(int fromDir, const QByteArray& from, int toDir, const QByteArray& to)
{
    if (::renameat2(fromDir, from.constData(), toDir, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot promise it; the application is a single instance, so look then rename.
    struct stat st;
    if (::fstatat(toDir, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from.constData(), toDir, to.constData()) == 0 ? 0 : errno;
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

// The recovery names of removed notes: yyyyMMdd-HHmmss-NNN.txt. Returns the sort key, or an empty key
// for other names (files moved there by a save, which are never pruned).
QByteArray recycleSortKey(const QByteArray& name)
{
    if (name.size() < 23 || !name.endsWith(".txt") || name[8] != '-' || name[15] != '-')
        return QByteArray();
    const QByteArray counter = name.mid(16, name.size() - 20);
    for (qsizetype i = 0; i < name.size() - 4; ++i) {
        if (i != 8 && i != 15 && (name[i] < '0' || name[i] > '9'))
            return QByteArray();
    }
    return name.left(15) + counter.rightJustified(12, '0');
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
    return QFile::decodeName(m_appFolder + '/' + kRecycle);
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
    return stamp;
}

NoteFolder::LoadResult NoteFolder::load()
{
    LoadResult result;
    m_records.clear();
    m_kept.clear();
    m_listed = false;

    const QByteArray notesDir = m_appFolder + '/' + kNotes;
    struct stat st;
    if (::stat(notesDir.constData(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(notesDir.constData(), 0777) != 0)
            return result;
    } else if (!S_ISDIR(st.st_mode)) {
        return result; // a file named Notes is not ours to touch
    }
    Fd notesFd(openDir(notesDir));
    if (!notesFd.valid())
        return result;

    // What an interrupted save left staged may be the newest version of a note: keep it in reach.
    {
        Fd appFd(openDir(m_appFolder));
        if (appFd.valid())
            recoverStaging(appFd.get(), kStaging);
        recoverStaging(notesFd.get(), kInnerStaging);
    }

    bool listed = false;
    std::vector<Entry> entries = listFolder(notesFd.get(), &listed);
    m_listed = listed;
    bool complete = listed;
    std::vector<QByteArray> files;
    for (const Entry& entry : entries) {
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

    for (const QByteArray& name : files) {
        // A name that is not UTF-8 could never be shown or written back under the same name.
        if (!isValidUtf8(name)) {
            m_kept.insert(name);
            complete = false;
            continue;
        }
        QByteArray bytes;
        struct stat fileSt;
        switch (readFileAt(notesFd.get(), name, &bytes, &fileSt)) {
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
        record.text = decodeNoteBytes(bytes, &record.canonical);
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
    const ReadOutcome outcome = readFileAt(notesFd, name, &bytes, &st);
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
            m_records.insert(name, Record{stampOf(st), text, true});
            return Resolution::Known;
        }
    }
    m_records.remove(name);
    return Resolution::Foreign;
}

bool NoteFolder::save(const QStringList& noteTexts)
{
    const QByteArray notesDir = m_appFolder + '/' + kNotes;
    struct stat st;
    if (::stat(notesDir.constData(), &st) != 0) {
        // Removed while we ran: bring it back rather than lose the notes with it. The application
        // folder itself is not recreated.
        if (errno != ENOENT || ::mkdir(notesDir.constData(), 0777) != 0)
            return false;
    } else if (!S_ISDIR(st.st_mode)) {
        return false;
    }
    Fd notesFd(openDir(notesDir));
    if (!notesFd.valid())
        return false;
    bool listed = false;
    const std::vector<Entry> entries = listFolder(notesFd.get(), &listed);
    if (!listed)
        return false;

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
    if (!writes.isEmpty()) {
        if (!writeThroughStaging(notesFd.get(), writes))
            return false;
        for (const auto& write : writes)
            onDisk.insert(write.first, m_records.value(write.first).stamp);
    }

    bool ok = true;
    for (auto it = onDisk.cbegin(); it != onDisk.cend(); ++it) {
        if (wantedByName.contains(it.key()))
            continue;
        if (!step())
            return false;
        if (::unlinkat(notesFd.get(), it.key().constData(), 0) == 0 || errno == ENOENT)
            m_records.remove(it.key());
        else
            ok = false;
    }
    return ok;
}

bool NoteFolder::writeThroughStaging(int notesFd, const QList<QPair<QByteArray, QString>>& writes)
{
    Fd appFd(openDir(m_appFolder));
    if (!appFd.valid())
        return false;
    int parentFd = appFd.get();
    QByteArray stagingName = kStaging;
    if (::mkdirat(parentFd, stagingName.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    auto stagingFd = std::make_unique<Fd>(openDirAt(parentFd, stagingName));
    struct stat stagingSt;
    struct stat notesSt;
    if (!stagingFd->valid() || ::fstat(stagingFd->get(), &stagingSt) != 0 || ::fstat(notesFd, &notesSt) != 0)
        return false;
    if (stagingSt.st_dev != notesSt.st_dev) {
        ::unlinkat(parentFd, stagingName.constData(), AT_REMOVEDIR);
        parentFd = notesFd;
        stagingName = kInnerStaging;
        if (::mkdirat(parentFd, stagingName.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        stagingFd = std::make_unique<Fd>(openDirAt(parentFd, stagingName));
        if (!stagingFd->valid())
            return false;
    }
    const int stage = stagingFd->get();

    // Leftovers of a save that failed earlier in this run hold texts the store still has or dropped.
    bool listed = false;
    for (const Entry& entry : listFolder(stage, &listed)) {
        if (entry.statOk && S_ISREG(entry.st.st_mode))
            ::unlinkat(stage, entry.name.constData(), 0);
    }

    // Every new content is on disk before anything in Notes is replaced.
    const bool syncEach = writes.size() <= kFsyncEachLimit;
    for (const auto& write : writes) {
        if (writeFileAt(stage, write.first, encodeNoteBytes(write.second), O_TRUNC, syncEach) != 0)
            return false;
    }
    if ((!syncEach && ::syncfs(stage) != 0) || ::fsync(stage) != 0)
        return false;

    for (const auto& write : writes) {
        if (!step())
            return false;
        if (::renameat(stage, write.first.constData(), notesFd, write.first.constData()) != 0)
            return false;
        ++m_filesWritten;
        struct stat st;
        if (::fstatat(notesFd, write.first.constData(), &st, 0) == 0)
            m_records.insert(write.first, Record{stampOf(st), write.second, true});
        else
            m_records.remove(write.first);
    }
    // The renames must be durable before the files they make redundant are removed.
    ::fsync(notesFd);
    ::unlinkat(parentFd, stagingName.constData(), AT_REMOVEDIR);
    return true;
}

int NoteFolder::openRecycleFolder() const
{
    const QByteArray path = m_appFolder + '/' + kRecycle;
    if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST)
        return -1;
    return openDir(path);
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
    constexpr int kAttempts = 10000;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const QByteArray target = renameAsText ? nextRecycleName() : withCollisionSuffix(name, attempt);
        const int error = renameNoReplace(fromDir, name, recycleFd.get(), target);
        if (error == 0)
            return true;
        if (error == EEXIST)
            continue;
        if (error != EXDEV)
            return false;
        // Another file system: copy, make the copy durable, then remove the original.
        QByteArray bytes;
        struct stat st;
        if (readFileAt(fromDir, name, &bytes, &st) != ReadOutcome::Read)
            return false;
        for (; attempt <= kAttempts; ++attempt) {
            const QByteArray copy = renameAsText ? nextRecycleName() : withCollisionSuffix(name, attempt);
            const int copyError = writeFileAt(recycleFd.get(), copy, bytes, O_EXCL, true);
            if (copyError == EEXIST)
                continue;
            if (copyError != 0)
                return false;
            ::fsync(recycleFd.get());
            return ::unlinkat(fromDir, name.constData(), 0) == 0;
        }
        return false;
    }
    return false;
}

void NoteFolder::recoverStaging(int parentDir, const QByteArray& stagingName)
{
    Fd stagingFd(openDirAt(parentDir, stagingName));
    if (!stagingFd.valid())
        return;
    bool listed = false;
    bool moved = false;
    for (const Entry& entry : listFolder(stagingFd.get(), &listed)) {
        if (entry.statOk && S_ISREG(entry.st.st_mode))
            moved = moveToRecycle(stagingFd.get(), entry.name, true) || moved;
    }
    ::unlinkat(parentDir, stagingName.constData(), AT_REMOVEDIR);
    if (moved)
        pruneRecycle();
}

bool NoteFolder::recycle(const QStringList& removedTexts)
{
    QStringList texts;
    for (const QString& text : removedTexts) {
        if (!isBlankForSave(text))
            texts.append(text);
    }
    if (texts.isEmpty())
        return true;
    Fd recycleFd(openRecycleFolder());
    if (!recycleFd.valid())
        return false;
    const bool syncEach = texts.size() <= kFsyncEachLimit;
    bool ok = true;
    for (const QString& text : texts) {
        const QByteArray bytes = encodeNoteBytes(text);
        int error = EEXIST;
        for (int attempt = 0; attempt < 10000 && error == EEXIST; ++attempt)
            error = writeFileAt(recycleFd.get(), nextRecycleName(), bytes, O_EXCL, syncEach);
        ok = ok && error == 0;
    }
    if (!syncEach)
        ::syncfs(recycleFd.get());
    ::fsync(recycleFd.get());
    pruneRecycle();
    return ok;
}

void NoteFolder::pruneRecycle() const
{
    Fd recycleFd(openDir(m_appFolder + '/' + kRecycle));
    if (!recycleFd.valid())
        return;
    bool listed = false;
    std::vector<std::pair<QByteArray, QByteArray>> ours; // sort key, name
    for (const Entry& entry : listFolder(recycleFd.get(), &listed)) {
        if (!entry.statOk || !S_ISREG(entry.st.st_mode))
            continue;
        QByteArray key = recycleSortKey(entry.name);
        if (!key.isEmpty())
            ours.emplace_back(std::move(key), entry.name);
    }
    if (!listed || ours.size() <= size_t(kRecycleKeep))
        return;
    std::sort(ours.begin(), ours.end());
    const size_t surplus = ours.size() - size_t(kRecycleKeep);
    for (size_t i = 0; i < surplus; ++i)
        ::unlinkat(recycleFd.get(), ours[i].second.constData(), 0);
}
