// SPDX-License-Identifier: GPL-3.0-or-later
// Power cuts at every point of a save. The file operations of a save are recorded by interposing the
// libc calls in this executable (the core library linked into it binds to them), then for every prefix
// of them the states a power cut there could leave are built onto a copy of the folder, and the next
// start reads that copy. Crash model: file data not flushed by fsync or syncfs may be lost or torn;
// the entry operations of one folder persist in order as a prefix, independently of other folders, and
// an fsync of a folder makes its earlier ones durable. A rename belongs to the folder it moves into.
#include "notes/NoteFiles.h"
#include "notes/NoteFolder.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"
#include "tasks/TaskStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QtTest>

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Op
{
    enum Kind
    {
        Create,
        Mkdir,
        Rename,
        Unlink,
        Rmdir,
        Link,
        Write,
        Truncate,
        SyncFile,
        SyncDir,
        SyncAll
    };
    Kind kind;
    /// Entry operations: the folder whose entries change; SyncDir: the folder flushed.
    QString dir;
    /// Full path of the entry.
    QString path;
    QString from;
    int file = -1;
    qint64 offset = 0;
    QByteArray bytes;
    bool isEntryOp() const { return kind <= Link; }
};

struct OpenFile
{
    QString path;
    bool dir = false;
    int file = -1;
    qint64 pos = 0;
    bool append = false;
};

struct Recorder
{
    bool on = false;
    /// Fail creating a staging folder beside Notes, as a read-only application folder does.
    bool refuseStagingBeside = false;
    QString root;
    QList<Op> ops;
    QHash<QString, int> live; // path → file id, -1 for a folder
    QHash<int, QByteArray> content;
    QHash<int, OpenFile> fds;
    int nextFile = 0;
};

Recorder& recorder()
{
    static Recorder r;
    return r;
}

thread_local bool t_inHook = false;

// Active only while recording, and not for calls the recorder makes itself.
struct Hook
{
    Hook() : active(recorder().on && !t_inHook)
    {
        if (active)
            t_inHook = true;
    }
    ~Hook()
    {
        if (active)
            t_inHook = false;
    }
    bool active;
};

template <typename F> F realCall(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

QString parentOf(const QString& path)
{
    return path.left(path.lastIndexOf(u'/'));
}

QString fdPath(int fd)
{
    char buffer[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
    return n > 0 ? QFile::decodeName(QByteArray(buffer, int(n))) : QString();
}

QString resolve(int dirFd, const char* path)
{
    const QString name = QFile::decodeName(path);
    if (name.startsWith(u'/'))
        return QDir::cleanPath(name);
    return QDir::cleanPath((dirFd == AT_FDCWD ? QDir::currentPath() : fdPath(dirFd)) + u'/' + name);
}

bool underRoot(const QString& path)
{
    const QString& root = recorder().root;
    return path == root || path.startsWith(root + u'/');
}

void record(Op op)
{
    Recorder& r = recorder();
    if (op.kind == Op::Write) {
        QByteArray& data = r.content[op.file];
        if (data.size() < op.offset + op.bytes.size())
            data.resize(op.offset + op.bytes.size(), '\0');
        data.replace(op.offset, op.bytes.size(), op.bytes);
    } else if (op.kind == Op::Truncate) {
        r.content[op.file].resize(op.offset, '\0');
    }
    r.ops.append(std::move(op));
}

int recordedOpen(int dirFd, const char* path, int flags, mode_t mode)
{
    static const auto real = realCall<int (*)(int, const char*, int, ...)>("openat");
    Hook hook;
    if (!hook.active)
        return real(dirFd, path, flags, mode);
    const QString full = resolve(dirFd, path);
    if (!underRoot(full))
        return real(dirFd, path, flags, mode);
    Recorder& r = recorder();
    if ((flags & O_CREAT) && r.refuseStagingBeside && full.endsWith(QLatin1String("/.Notes.saving"))) {
        errno = EACCES;
        return -1;
    }
    struct stat before;
    const bool existed = ::lstat(QFile::encodeName(full).constData(), &before) == 0;
    const int fd = real(dirFd, path, flags, mode);
    const int error = errno;
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        OpenFile open{full, S_ISDIR(st.st_mode), -1, 0, (flags & O_APPEND) != 0};
        if (S_ISREG(st.st_mode)) {
            if (!existed) {
                open.file = r.nextFile++;
                r.live.insert(full, open.file);
                record({Op::Create, parentOf(full), full, {}, open.file});
            } else {
                open.file = r.live.value(full, -1);
                if ((flags & O_TRUNC) && open.file >= 0)
                    record({Op::Truncate, {}, full, {}, open.file, 0});
            }
        }
        r.fds.insert(fd, open);
    }
    errno = error;
    return fd;
}

void recordWrite(int fd, const void* buffer, ssize_t written, qint64 offset)
{
    Recorder& r = recorder();
    const auto open = r.fds.find(fd);
    if (written <= 0 || open == r.fds.end() || open->file < 0)
        return;
    const bool positioned = offset >= 0;
    if (!positioned)
        offset = open->append ? r.content.value(open->file).size() : open->pos;
    record({Op::Write,
            {},
            open->path,
            {},
            open->file,
            offset,
            QByteArray(static_cast<const char*>(buffer), qsizetype(written))});
    if (!positioned)
        open->pos = offset + written;
}

void recordSync(int fd, bool all)
{
    Recorder& r = recorder();
    const auto open = r.fds.constFind(fd);
    if (open == r.fds.cend())
        return;
    if (all)
        record({Op::SyncAll});
    else if (open->dir)
        record({Op::SyncDir, open->path, open->path});
    else if (open->file >= 0)
        record({Op::SyncFile, {}, open->path, {}, open->file});
}

void recordEntry(Op::Kind kind, const QString& from, const QString& to)
{
    Recorder& r = recorder();
    if (!underRoot(to))
        return;
    switch (kind) {
    case Op::Rename: {
        const int file = r.live.take(from);
        r.live.insert(to, file);
        record({Op::Rename, parentOf(to), to, from, file});
        break;
    }
    case Op::Link:
        r.live.insert(to, r.live.value(from, -1));
        record({Op::Link, parentOf(to), to, from, r.live.value(to)});
        break;
    case Op::Unlink:
        record({Op::Unlink, parentOf(to), to, {}, r.live.take(to)});
        break;
    case Op::Rmdir:
        r.live.remove(to);
        record({Op::Rmdir, parentOf(to), to});
        break;
    default:
        r.live.insert(to, -1);
        record({Op::Mkdir, parentOf(to), to});
        break;
    }
}

int recordedMkdir(int dirFd, const char* path, mode_t mode)
{
    static const auto real = realCall<int (*)(int, const char*, mode_t)>("mkdirat");
    Hook hook;
    const QString full = hook.active ? resolve(dirFd, path) : QString();
    if (hook.active && recorder().refuseStagingBeside && full.endsWith(QLatin1String("/.Notes.saving"))) {
        errno = EACCES;
        return -1;
    }
    const int result = real(dirFd, path, mode);
    if (hook.active && result == 0)
        recordEntry(Op::Mkdir, {}, full);
    return result;
}

int recordedRename(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    static const auto real = realCall<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    Hook hook;
    const QString fromPath = hook.active ? resolve(fromDir, from) : QString();
    const QString toPath = hook.active ? resolve(toDir, to) : QString();
    const int result = real(fromDir, from, toDir, to, flags);
    if (hook.active && result == 0)
        recordEntry(Op::Rename, fromPath, toPath);
    return result;
}

int recordedUnlink(int dirFd, const char* path, int flags)
{
    static const auto real = realCall<int (*)(int, const char*, int)>("unlinkat");
    Hook hook;
    const QString full = hook.active ? resolve(dirFd, path) : QString();
    const int result = real(dirFd, path, flags);
    if (hook.active && result == 0)
        recordEntry((flags & AT_REMOVEDIR) ? Op::Rmdir : Op::Unlink, {}, full);
    return result;
}

int recordedLink(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    static const auto real = realCall<int (*)(int, const char*, int, const char*, int)>("linkat");
    Hook hook;
    const QString fromPath = hook.active ? resolve(fromDir, from) : QString();
    const QString toPath = hook.active ? resolve(toDir, to) : QString();
    const int result = real(fromDir, from, toDir, to, flags);
    if (hook.active && result == 0)
        recordEntry(Op::Link, fromPath, toPath);
    return result;
}

mode_t modeArgument(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(args, int)) : 0;
}

} // namespace

// The interposed calls. Each forwards to the C library and records what it did below the root.
extern "C" {
int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return recordedOpen(AT_FDCWD, path, flags, mode);
}
int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return recordedOpen(AT_FDCWD, path, flags, mode);
}
int openat(int dirFd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return recordedOpen(dirFd, path, flags, mode);
}
int openat64(int dirFd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArgument(flags, args);
    va_end(args);
    return recordedOpen(dirFd, path, flags, mode);
}
ssize_t write(int fd, const void* buffer, size_t count)
{
    static const auto real = realCall<ssize_t (*)(int, const void*, size_t)>("write");
    Hook hook;
    const ssize_t n = real(fd, buffer, count);
    if (hook.active)
        recordWrite(fd, buffer, n, -1);
    return n;
}
ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset)
{
    static const auto real = realCall<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    Hook hook;
    const ssize_t n = real(fd, buffer, count, offset);
    if (hook.active)
        recordWrite(fd, buffer, n, offset);
    return n;
}
ssize_t pwrite64(int fd, const void* buffer, size_t count, off_t offset)
{
    return pwrite(fd, buffer, count, offset);
}
int fsync(int fd)
{
    static const auto real = realCall<int (*)(int)>("fsync");
    Hook hook;
    const int result = real(fd);
    if (hook.active && result == 0)
        recordSync(fd, false);
    return result;
}
int fdatasync(int fd)
{
    static const auto real = realCall<int (*)(int)>("fdatasync");
    Hook hook;
    const int result = real(fd);
    if (hook.active && result == 0)
        recordSync(fd, false);
    return result;
}
int syncfs(int fd)
{
    static const auto real = realCall<int (*)(int)>("syncfs");
    Hook hook;
    const int result = real(fd);
    if (hook.active && result == 0)
        recordSync(fd, true);
    return result;
}
int ftruncate(int fd, off_t length)
{
    static const auto real = realCall<int (*)(int, off_t)>("ftruncate");
    Hook hook;
    const int result = real(fd, length);
    const auto open = recorder().fds.constFind(fd);
    if (hook.active && result == 0 && open != recorder().fds.cend() && open->file >= 0)
        record({Op::Truncate, {}, open->path, {}, open->file, qint64(length)});
    return result;
}
int close(int fd)
{
    static const auto real = realCall<int (*)(int)>("close");
    Hook hook;
    if (hook.active)
        recorder().fds.remove(fd);
    return real(fd);
}
int mkdir(const char* path, mode_t mode)
{
    return recordedMkdir(AT_FDCWD, path, mode);
}
int mkdirat(int dirFd, const char* path, mode_t mode)
{
    return recordedMkdir(dirFd, path, mode);
}
int rename(const char* from, const char* to)
{
    return recordedRename(AT_FDCWD, from, AT_FDCWD, to, 0);
}
int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    return recordedRename(fromDir, from, toDir, to, 0);
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    return recordedRename(fromDir, from, toDir, to, flags);
}
int unlink(const char* path)
{
    return recordedUnlink(AT_FDCWD, path, 0);
}
int unlinkat(int dirFd, const char* path, int flags)
{
    return recordedUnlink(dirFd, path, flags);
}
int rmdir(const char* path)
{
    return recordedUnlink(AT_FDCWD, path, AT_REMOVEDIR);
}
int link(const char* from, const char* to)
{
    return recordedLink(AT_FDCWD, from, AT_FDCWD, to, 0);
}
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    return recordedLink(fromDir, from, toDir, to, flags);
}
}

namespace {

/// Records what body does to the files below root, then builds every state a power cut could leave
/// and hands each, as a fresh folder, to check (which returns what is wrong, or nothing).
class PowerCut
{
public:
    explicit PowerCut(const QString& workspace) : m_workspace(workspace) {}

    void record(const QString& root, const std::function<void()>& body, bool refuseStagingBeside = false)
    {
        Recorder& r = recorder();
        r = Recorder{};
        r.root = QFileInfo(root).canonicalFilePath();
        QDir().mkpath(m_workspace + QStringLiteral("/pristine"));
        // What is there before is on disk. Note files are kept as second links, so a state built later
        // shows them with their own inode and times, as a journal recorded them.
        QDirIterator it(r.root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileInfo().isDir()) {
                r.live.insert(path, -1);
                continue;
            }
            const int file = r.nextFile++;
            r.live.insert(path, file);
            r.content.insert(file, readRaw(path));
            m_initial.insert(file, r.content.value(file));
            const QString pristine = m_workspace + QStringLiteral("/pristine/") + QString::number(file);
            if (::link(QFile::encodeName(path).constData(), QFile::encodeName(pristine).constData()) == 0)
                m_pristine.insert(file, pristine);
        }
        m_initialLive = r.live;
        r.refuseStagingBeside = refuseStagingBeside;
        r.on = true;
        body();
        r.on = false;
        m_ops = r.ops;
    }

    qsizetype operationCount() const { return m_ops.size(); }

    /// Every prefix, every folder at its durable prefix or complete, file data kept, dropped to what
    /// was synced, or torn. Returns the number of distinct states checked; the first failure, if any,
    /// in *failure.
    int replay(const std::function<QString(const QString&)>& check, QString* failure)
    {
        QSet<QByteArray> seen;
        int built = 0;
        for (qsizetype prefix = 0; prefix <= m_ops.size(); ++prefix) {
            QHash<QString, int> total;
            QHash<QString, int> durable;
            for (qsizetype i = 0; i < prefix; ++i) {
                const Op& op = m_ops.at(i);
                if (op.isEntryOp())
                    ++total[op.dir];
                else if (op.kind == Op::SyncDir)
                    durable[op.dir] = total.value(op.dir);
                else if (op.kind == Op::SyncAll)
                    durable = total;
            }
            QStringList open; // folders whose durable prefix is shorter than what was done
            for (auto it = total.cbegin(); it != total.cend(); ++it) {
                if (durable.value(it.key()) < it.value())
                    open.append(it.key());
            }
            for (int mask = 0; mask < (1 << open.size()); ++mask) {
                QHash<QString, int> cut = total;
                for (int i = 0; i < open.size(); ++i) {
                    if (!(mask & (1 << i)))
                        cut[open.at(i)] = durable.value(open.at(i));
                }
                for (int mode = 0; mode < 3; ++mode) {
                    const std::map<QString, QByteArray> state = build(prefix, cut, mode);
                    QCryptographicHash hash(QCryptographicHash::Sha1);
                    for (const auto& [path, data] : state) {
                        hash.addData(path.toUtf8());
                        hash.addData(QByteArray::number(data.size()));
                        hash.addData(data);
                    }
                    if (seen.contains(hash.result()))
                        continue;
                    seen.insert(hash.result());
                    ++built;
                    const QString problem = check(materialise(state, built));
                    if (!problem.isEmpty() && failure->isEmpty()) {
                        *failure =
                            QStringLiteral("power cut after %1 of %2 operations (last: %3 %4), %5: %6")
                                .arg(prefix)
                                .arg(m_ops.size())
                                .arg(prefix > 0 ? int(m_ops.at(prefix - 1).kind) : -1)
                                .arg(prefix > 0 ? m_ops.at(prefix - 1).path.mid(recorder().root.size())
                                                : QString())
                                .arg(QStringList{"data kept", "unsynced data lost", "unsynced data torn"}.at(
                                    mode))
                                .arg(problem);
                    }
                }
            }
        }
        return built;
    }

private:
    // Paths relative to the root → contents; a folder is "/" followed by nothing (a marker entry), and a
    // note file that still is the original is "@" and its pristine link.
    std::map<QString, QByteArray> build(qsizetype prefix, const QHash<QString, int>& cut, int mode) const
    {
        QHash<QString, int> entries = m_initialLive;
        QHash<int, QByteArray> current = m_initial;
        QHash<int, QByteArray> synced = m_initial;
        QHash<QString, int> done;
        for (qsizetype i = 0; i < prefix; ++i) {
            const Op& op = m_ops.at(i);
            switch (op.kind) {
            case Op::Write: {
                QByteArray& data = current[op.file];
                if (data.size() < op.offset + op.bytes.size())
                    data.resize(op.offset + op.bytes.size(), '\0');
                data.replace(op.offset, op.bytes.size(), op.bytes);
                continue;
            }
            case Op::Truncate:
                current[op.file].resize(op.offset, '\0');
                continue;
            case Op::SyncFile:
                synced[op.file] = current.value(op.file);
                continue;
            case Op::SyncAll:
                synced = current;
                continue;
            case Op::SyncDir:
                continue;
            default:
                break;
            }
            if (done[op.dir]++ >= cut.value(op.dir))
                continue; // this folder's entries stop before it
            if (!entries.contains(op.dir) && op.dir != recorder().root)
                continue; // its folder never reached the disk
            switch (op.kind) {
            case Op::Create:
            case Op::Link:
                entries.insert(op.path, op.file);
                break;
            case Op::Mkdir:
                entries.insert(op.path, -1);
                break;
            case Op::Rename:
                if (entries.value(op.from, -2) == op.file)
                    entries.remove(op.from);
                entries.insert(op.path, op.file);
                break;
            case Op::Unlink:
                if (entries.value(op.path, -2) == op.file)
                    entries.remove(op.path);
                break;
            case Op::Rmdir: {
                bool empty = true;
                for (auto it = entries.cbegin(); it != entries.cend() && empty; ++it)
                    empty = !it.key().startsWith(op.path + u'/');
                if (empty)
                    entries.remove(op.path);
                break;
            }
            default:
                break;
            }
        }
        std::map<QString, QByteArray> state;
        const QString root = recorder().root;
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            // Only what hangs below folders that exist is reachable.
            QString folder = parentOf(it.key());
            bool reachable = true;
            while (reachable && folder != root) {
                reachable = entries.value(folder, -2) == -1;
                folder = parentOf(folder);
            }
            if (!reachable)
                continue;
            const QString relative = it.key().mid(root.size() + 1);
            if (it.value() == -1) {
                state[relative] = "/";
                continue;
            }
            QByteArray data = current.value(it.value());
            if (data != synced.value(it.value()) && mode == 1)
                data = synced.value(it.value());
            else if (data != synced.value(it.value()) && mode == 2)
                data.truncate(data.size() / 2);
            const bool original = m_pristine.contains(it.value()) && data == m_initial.value(it.value());
            state[relative] =
                original && isNoteFile(relative) ? "@" + m_pristine.value(it.value()).toUtf8() : data;
        }
        return state;
    }

    static bool isNoteFile(const QString& relative)
    {
        return relative.startsWith(QLatin1String("Notes/")) && !relative.mid(6).contains(u'/') &&
               !relative.mid(6).startsWith(u'.');
    }

    QString materialise(const std::map<QString, QByteArray>& state, int number) const
    {
        const QString folder = m_workspace + QStringLiteral("/state-") + QString::number(number);
        QDir().mkpath(folder);
        for (const auto& [path, data] : state) {
            const QString target = folder + u'/' + path;
            if (data == "/") {
                QDir().mkpath(target);
            } else {
                QDir().mkpath(parentOf(target));
                if (data.startsWith('@'))
                    ::link(data.mid(1).constData(), QFile::encodeName(target).constData());
                else
                    writeRaw(target, data);
            }
        }
        return folder;
    }

    QString m_workspace;
    QList<Op> m_ops;
    QHash<QString, int> m_initialLive;
    QHash<int, QByteArray> m_initial;
    QHash<int, QString> m_pristine;
};

QString describe(const QStringList& texts)
{
    return QLatin1Char('[') + texts.join(QStringLiteral(" | ")) + QLatin1Char(']');
}

QList<StoredTask> tasks(const QStringList& texts)
{
    QList<StoredTask> list;
    for (const QString& text : texts) {
        StoredTask stored;
        stored.task.TaskText = text;
        stored.task.TimeText = QStringLiteral("------");
        stored.task.Status = 2;
        stored.task.ActionKind = 1;
        list.append(stored);
    }
    return list;
}

} // namespace

class TestPowerCut : public QObject
{
    Q_OBJECT
private slots:
    void everyPowerCutLeavesTheOldOrTheNewState_data();
    void everyPowerCutLeavesTheOldOrTheNewState();
};

void TestPowerCut::everyPowerCutLeavesTheOldOrTheNewState_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::newRow("save staged beside Notes") << "beside";
    QTest::newRow("save staged inside Notes") << "inside";
    QTest::newRow("removed note kept, then saved") << "recycle";
    // Nothing to write: the save only removes, without a staging folder that syncs the others.
    QTest::newRow("last note kept, then removed") << "recycle last";
    QTest::newRow("foreign file left alone") << "foreign";
    // Every file moves one number up as a second link, one new file is written.
    QTest::newRow("new note at the top") << "top";
    QTest::newRow("to-do list") << "tasks";
}

void TestPowerCut::everyPowerCutLeavesTheOldOrTheNewState()
{
    QFETCH(QString, scenario);
    TestPlatform tp;
    const QString app = tp.path(QStringLiteral("app"));
    QVERIFY(QDir().mkpath(app));
    PowerCut cut(tp.path(QStringLiteral("work")));

    // Two changed notes, one changed by moving up, and one removed.
    const QStringList before{"one", "two", "three", "four"};
    QStringList after{"one", "TWO", "FOUR", "FIVE"};
    const bool recycles = scenario.startsWith(QLatin1String("recycle"));
    const QString removed =
        scenario == QLatin1String("recycle") ? QStringLiteral("two") : QStringLiteral("four");
    if (scenario == QLatin1String("recycle"))
        after = QStringList{"one", "three", "four"};
    else if (scenario == QLatin1String("recycle last"))
        after = QStringList{"one", "two", "three"};
    else if (scenario == QLatin1String("foreign"))
        after = QStringList{"one", "TWO", "three", "four", "five"};
    if (scenario == QLatin1String("beside") || scenario == QLatin1String("inside"))
        after = QStringList{"ONE", "TWO", "FOUR"};
    else if (scenario == QLatin1String("top"))
        after = QStringList{"zero"} + before;
    const QString foreign = QStringLiteral("from a sync tool");

    // The key lives outside the folder a power cut hits, as it lives outside the data folder.
    const QString key = tp.path(QStringLiteral("key/tasks.key"));
    std::function<QString(const QString&)> check;
    if (scenario == QLatin1String("tasks")) {
        TaskStore store(app, tp.clock, key);
        QVERIFY(store.save(tasks(before)).ok());
        cut.record(app, [&] { QVERIFY(store.save(tasks(after)).ok()); });
        check = [&](const QString& folder) {
            const TaskStore::Loaded loaded = TaskStore(folder, tp.clock, key).load();
            if (loaded.unusable() || (loaded.tasks != tasks(before) && loaded.tasks != tasks(after)))
                return QStringLiteral("the to-do list is neither: ") + loaded.problem;
            return QString();
        };
    } else {
        NoteFolder folder(app, &tp.clock);
        folder.load();
        QVERIFY(folder.save(QStringList{QString()} + before));
        if (scenario == QLatin1String("foreign"))
            writeRaw(app + QStringLiteral("/Notes/x.md"), encodeNoteBytes(foreign));
        cut.record(
            app,
            [&] {
                if (recycles)
                    QVERIFY(folder.recycle({removed}));
                QVERIFY(folder.save(QStringList{QString()} + after));
            },
            scenario == QLatin1String("inside"));
        check = [&](const QString& root) {
            QStringList loaded = NoteFolder(root, &tp.clock).load().texts;
            const QStringList recycled = textsIn(root + QStringLiteral("/Notes.recycle"));
            if (scenario == QLatin1String("foreign") && loaded.removeAll(foreign) == 0 &&
                !recycled.contains(foreign))
                return QStringLiteral("the foreign file is gone");
            if (loaded != before && loaded != after)
                return QStringLiteral("the notes are neither state: ") + describe(loaded);
            if (recycles && loaded == after && !recycled.contains(removed))
                return QStringLiteral("the removed note is neither in Notes nor kept");
            return QString();
        };
    }
    QVERIFY(cut.operationCount() >= 4);
    QString failure;
    const int states = cut.replay(check, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // The model must have produced more than the two end states.
    QVERIFY2(states > 4, qPrintable(QString::number(states)));
}

QTEST_GUILESS_MAIN(TestPowerCut)
#include "tst_powercut.moc"
