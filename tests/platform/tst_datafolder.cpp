// SPDX-License-Identifier: GPL-3.0-or-later
// Where the data lives: beside the executable for a portable copy, in the per-user folder for an
// installed one, with the read-only files found beside the executable or under share/. Every case
// works on temporary folders; "read-only" is tried for real, as an unprivileged user when the test
// runs as root (root writes everywhere, so a mode alone proves nothing there).
#include "platform/DataFolder.h"
#include "support/WindowTest.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

QString mode(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QString::number(st.st_mode & 07777, 8);
}

bool setMode(const QString& path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

/// Runs check in a child process with the rights of an ordinary user (nobody when the test runs as
/// root) and returns its answer; -1 when the child could not run it.
int asOrdinaryUser(const std::function<bool()>& check)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(3);
        ::_exit(check() ? 1 : 0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    return WEXITSTATUS(status);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

/// The folder the injected calls treat as append-only (chattr +a), by its inode; 0 for none.
ino_t g_appendOnly = 0;
bool g_noTmpFile = false;
int g_namedProbes = 0;

int injectedOpen(const char* path, int flags, unsigned mode)
{
    if (g_noTmpFile && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if (flags & O_CREAT)
        ++g_namedProbes;
    return ::open(path, flags, mode_t(mode));
}

int injectedInodeFlags(int fd, int* flags)
{
    struct stat st = {};
    *flags = ::fstat(fd, &st) == 0 && st.st_ino == g_appendOnly ? FS_APPEND_FL : 0;
    return 0;
}

ino_t inodeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestDataFolder : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void probeWritesAndLeavesNothing();
    void probeFailsWhereTheUserCannotWrite();
    void probeLeavesNothingBehind_data();
    void probeLeavesNothingBehind();
    void readOnlyMountIsNotWritableEvenForRoot();
    void claimsData_data();
    void claimsData();
    void perUserFolder_data();
    void perUserFolder();
    void resourceFolderPrefersTheExecutablesFolder();

    void portableWhenClaimedAndWritable_data();
    void portableWhenClaimedAndWritable();
    void perUserFolderIsCreatedPrivate();
    void existingPerUserFolderKeepsItsMode();
    void readOnlyClaimedFolderFallsBackToPerUser();
    void unusableFolderIsTold_data();
    void unusableFolderIsTold();

    void firstStartCopiesShippedNotesAndSettings();
    void laterStartsNeverOverwriteTheUsersData();
    void missingPieceIsCopiedAlone();
    void interruptedCopyIsRedone();
    void nothingCopiedIntoTheExecutablesOwnFolder();

private:
    QString path(const QString& relative) const { return m_root->filePath(relative); }

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_exe;
    QString m_perUser;
    QString m_share;
    DataFolder::ProbeCalls m_systemCalls{};
};

void TestDataFolder::cleanup()
{
    DataFolder::probeCalls() = m_systemCalls;
    g_appendOnly = 0;
    g_noTmpFile = false;
    g_namedProbes = 0;
}

void TestDataFolder::init()
{
    m_systemCalls = DataFolder::probeCalls();
    DataFolder::probeCalls() = {injectedOpen, injectedInodeFlags};
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    // The unprivileged child must be able to reach the folders below.
    QVERIFY(setMode(m_root->path(), 0755));
    m_exe = path(QStringLiteral("opt/vemra"));
    m_perUser = path(QStringLiteral("home/.local/share/VemraNotes"));
    m_share = path(QStringLiteral("opt/share/vemranotes"));
    QVERIFY(QDir().mkpath(m_exe));
    QVERIFY(QDir().mkpath(path(QStringLiteral("home"))));
}

void TestDataFolder::probeWritesAndLeavesNothing()
{
    QVERIFY(DataFolder::canWrite(m_exe));
    QCOMPARE(entries(m_exe), QStringList());
    // A probe left behind by an earlier process with this id does not stop the next one.
    QVERIFY(writeFile(m_exe + QStringLiteral("/.VemraNotes-probe-%1").arg(::getpid()), "old"));
    QVERIFY(DataFolder::canWrite(m_exe));
    QCOMPARE(entries(m_exe), QStringList());
    QVERIFY(!DataFolder::canWrite(path(QStringLiteral("no/such/folder"))));
}

void TestDataFolder::probeFailsWhereTheUserCannotWrite()
{
    // Owned by root (or the test's user) and closed to others: nobody cannot write there, although
    // it may read and enter it.
    QVERIFY(setMode(m_exe, 0755));
    const QString folder = m_exe;
    if (::geteuid() == 0) {
        QCOMPARE(asOrdinaryUser([folder] { return DataFolder::canWrite(folder); }), 0);
        // The same child succeeds once the folder is open to it, so the failure above is the
        // folder's, not the child's.
        QVERIFY(setMode(m_exe, 0777));
        QCOMPARE(asOrdinaryUser([folder] { return DataFolder::canWrite(folder); }), 1);
    } else {
        QVERIFY(setMode(m_exe, 0555));
        QVERIFY(!DataFolder::canWrite(folder));
        QVERIFY(setMode(m_exe, 0755));
    }
    QCOMPARE(entries(m_exe), QStringList());
}

void TestDataFolder::probeLeavesNothingBehind_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("leftStays");
    QTest::newRow("probe of a process that ended") << "ended"
                                                   << "" << true << false;
    QTest::newRow("day-old probe of a running process") << "old"
                                                        << "" << true << false;
    QTest::newRow("fresh probe of a running process") << "running"
                                                      << "" << true << true;
    QTest::newRow("no unnamed files: a named probe") << ""
                                                     << "no O_TMPFILE" << true << false;
    QTest::newRow("append-only folder") << ""
                                        << "append-only" << false << false;
    QTest::newRow("append-only, no unnamed files") << "ended"
                                                   << "append-only, no O_TMPFILE" << false << false;
}

void TestDataFolder::probeLeavesNothingBehind()
{
    QFETCH(QString, left);
    QFETCH(QString, folder);
    QFETCH(bool, writable);
    QFETCH(bool, leftStays);
    g_noTmpFile = folder.contains(QStringLiteral("O_TMPFILE"));
    if (folder.startsWith(QStringLiteral("append-only")))
        g_appendOnly = inodeOf(m_exe);
    // A crashed earlier probe: of a process id now free, or one that is running (pid 1 always is).
    pid_t pid = 1;
    if (left == QStringLiteral("ended")) {
        pid = ::fork();
        if (pid == 0)
            ::_exit(0);
        QVERIFY(pid > 0 && ::waitpid(pid, nullptr, 0) == pid);
    }
    const QString probe = m_exe + u'/' + DataFolder::kProbePrefix + QString::number(pid);
    if (!left.isEmpty()) {
        QVERIFY(writeFile(probe, QByteArray()));
        if (left == QStringLiteral("old")) {
            const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
            QFile file(probe);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(twoDaysAgo, QFileDevice::FileModificationTime));
        }
    }

    QCOMPARE(DataFolder::writeProblem(m_exe).isEmpty(), writable);
    QCOMPARE(entries(m_exe), leftStays ? QStringList{probe.section(u'/', -1)} : QStringList());
    if (folder == QStringLiteral("no O_TMPFILE"))
        QCOMPARE(g_namedProbes, 1);
    if (!writable) {
        // Nothing is created in an append-only folder: it could never be removed again.
        QCOMPARE(g_namedProbes, 0);
        QVERIFY(DataFolder::writeProblem(m_exe).contains(QStringLiteral("chattr +a")));
    }
}

void TestDataFolder::readOnlyMountIsNotWritableEvenForRoot()
{
    // A folder on a small file system of its own: first full, then read-only.
    const QString mountPoint = path(QStringLiteral("media"));
    QVERIFY(QDir().mkpath(mountPoint));
    const QByteArray target = QFile::encodeName(mountPoint);
    if (::mount("vemra-test", target.constData(), "tmpfs", 0, "size=64k,mode=0755") != 0)
        QSKIP("mounting a tmpfs needs CAP_SYS_ADMIN, which this test process lacks");
    const auto unmount = qScopeGuard([&] { ::umount2(target.constData(), MNT_DETACH); });

    QVERIFY(writeFile(mountPoint + QStringLiteral("/Config.ini"), "[General]\r\n"));
    QFile filler(mountPoint + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    // Full for the moment: still the folder of a portable copy, whose notes are all there.
    QVERIFY(DataFolder::canWrite(mountPoint));
    QVERIFY(DataFolder::resolve(mountPoint, m_perUser, m_share).portable);

    QCOMPARE(::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    QVERIFY(!DataFolder::canWrite(mountPoint));
    const AppFolders folders = DataFolder::resolve(mountPoint, m_perUser, m_share);
    QVERIFY(!folders.portable);
    QCOMPARE(folders.data, m_perUser);
    QVERIFY(QFileInfo(m_perUser).isDir());
}

void TestDataFolder::claimsData_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<bool>("claims");
    QTest::newRow("empty") << QStringList() << QStringList() << false;
    QTest::newRow("Config.ini") << QStringList{"Config.ini"} << QStringList() << true;
    QTest::newRow("Notes folder") << QStringList() << QStringList{"Notes"} << true;
    QTest::newRow("portable marker") << QStringList{"portable"} << QStringList() << true;
    QTest::newRow("portable marker as a folder") << QStringList() << QStringList{"portable"} << true;
    QTest::newRow("Notes as a file") << QStringList{"Notes"} << QStringList() << false;
    QTest::newRow("Config.ini as a folder") << QStringList() << QStringList{"Config.ini"} << false;
    QTest::newRow("only other files")
        << QStringList{"VemraNotes", "config.ini", "notes"} << QStringList{"Sounds"} << false;
}

void TestDataFolder::claimsData()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(bool, claims);
    for (const QString& file : files)
        QVERIFY(writeFile(m_exe + u'/' + file, "x"));
    for (const QString& folder : folders)
        QVERIFY(QDir(m_exe).mkdir(folder));
    QCOMPARE(DataFolder::claimsData(m_exe), claims);
}

void TestDataFolder::perUserFolder_data()
{
    QTest::addColumn<QString>("xdgDataHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_DATA_HOME") << "/data/me"
                                   << "/home/me"
                                   << "/data/me/VemraNotes";
    QTest::newRow("trailing slash") << "/data/me/"
                                    << "/home/me"
                                    << "/data/me/VemraNotes";
    QTest::newRow("unset") << ""
                           << "/home/me"
                           << "/home/me/.local/share/VemraNotes";
    QTest::newRow("relative is ignored") << "data"
                                         << "/home/me"
                                         << "/home/me/.local/share/VemraNotes";
    QTest::newRow("home with trailing slash") << ""
                                              << "/home/me/"
                                              << "/home/me/.local/share/VemraNotes";
    QTest::newRow("Chinese home") << ""
                                  << "/home/张三"
                                  << "/home/张三/.local/share/VemraNotes";
}

void TestDataFolder::perUserFolder()
{
    QFETCH(QString, xdgDataHome);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    QCOMPARE(DataFolder::perUserFolder(xdgDataHome, home), expected);
}

void TestDataFolder::resourceFolderPrefersTheExecutablesFolder()
{
    // Nothing anywhere: the executable's folder (where a missing file stays missing).
    QCOMPARE(DataFolder::resourceFolder(m_exe, m_share), m_exe);
    // Installed: the share folder.
    QVERIFY(QDir().mkpath(m_share + QStringLiteral("/Sounds")));
    QCOMPARE(DataFolder::resourceFolder(m_exe, m_share), m_share);
    QCOMPARE(DataFolder::resourceFolder(m_exe, m_share + u'/'), m_share);
    // A help document beside the executable makes it the resource folder, and so do Sounds/.
    QVERIFY(writeFile(m_exe + QStringLiteral("/Vemra便笺使用帮助.pdf"), "%PDF-1.4"));
    QCOMPARE(DataFolder::resourceFolder(m_exe, m_share), m_exe);
    QVERIFY(QFile::remove(m_exe + QStringLiteral("/Vemra便笺使用帮助.pdf")));
    QVERIFY(QDir().mkpath(m_exe + QStringLiteral("/Sounds")));
    QCOMPARE(DataFolder::resourceFolder(m_exe, m_share), m_exe);
}

void TestDataFolder::portableWhenClaimedAndWritable_data()
{
    QTest::addColumn<QString>("claim");
    QTest::addColumn<bool>("portable");
    QTest::newRow("Config.ini") << "Config.ini" << true;
    QTest::newRow("Notes") << "Notes/" << true;
    QTest::newRow("marker") << "portable" << true;
    QTest::newRow("nothing") << "" << false;
}

void TestDataFolder::portableWhenClaimedAndWritable()
{
    QFETCH(QString, claim);
    QFETCH(bool, portable);
    if (claim.endsWith(u'/'))
        QVERIFY(QDir(m_exe).mkdir(claim.chopped(1)));
    else if (!claim.isEmpty())
        QVERIFY(writeFile(m_exe + u'/' + claim, ""));
    const AppFolders folders = DataFolder::resolve(m_exe, m_perUser, m_share);
    QCOMPARE(folders.portable, portable);
    QCOMPARE(folders.data, portable ? m_exe : m_perUser);
    QCOMPARE(folders.resources, m_exe);
    // A portable copy leaves the user's home alone.
    QCOMPARE(QFileInfo::exists(m_perUser), !portable);
}

void TestDataFolder::perUserFolderIsCreatedPrivate()
{
    const AppFolders folders = DataFolder::resolve(m_exe, m_perUser, m_share);
    QVERIFY(!folders.portable);
    QCOMPARE(folders.data, m_perUser);
    QVERIFY(QFileInfo(m_perUser).isDir());
    // The folder and every parent it had to create are for the user alone.
    for (const QString& folder : {QStringLiteral("home/.local"), QStringLiteral("home/.local/share"),
                                  QStringLiteral("home/.local/share/VemraNotes")})
        QCOMPARE(mode(path(folder)), QStringLiteral("700"));
    // The existing home keeps its own mode.
    QCOMPARE(mode(path(QStringLiteral("home"))), QStringLiteral("755"));
    QCOMPARE(entries(m_perUser), QStringList());
}

void TestDataFolder::existingPerUserFolderKeepsItsMode()
{
    QVERIFY(QDir().mkpath(m_perUser));
    QVERIFY(setMode(m_perUser, 0750));
    QVERIFY(writeFile(m_perUser + QStringLiteral("/Config.ini"), "[General]\r\n"));
    QCOMPARE(DataFolder::resolve(m_exe, m_perUser, m_share).data, m_perUser);
    QCOMPARE(mode(m_perUser), QStringLiteral("750"));
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Config.ini")), QByteArray("[General]\r\n"));
}

void TestDataFolder::readOnlyClaimedFolderFallsBackToPerUser()
{
    // An installed copy: notes and settings shipped beside the executable in a folder the user
    // cannot write.
    QVERIFY(QDir(m_exe).mkdir(QStringLiteral("Notes")));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Config.ini"), "[General]\r\n"));
    QVERIFY(setMode(m_exe, 0755));
    const QString exe = m_exe;
    const QString perUser = m_perUser;
    const QString share = m_share;
    if (::geteuid() == 0) {
        // The child's home must be its own to create the per-user folder in.
        QVERIFY(::chown(QFile::encodeName(path(QStringLiteral("home"))).constData(), kNobody, kNobody) == 0);
        QCOMPARE(asOrdinaryUser([=] {
                     const AppFolders folders = DataFolder::resolve(exe, perUser, share);
                     return !folders.portable && folders.data == perUser && QFileInfo(perUser).isDir();
                 }),
                 1);
        // Root can write there, so for root it is a portable folder all the same.
        QVERIFY(DataFolder::resolve(exe, perUser, share).portable);
    } else {
        QVERIFY(setMode(m_exe, 0555));
        const AppFolders folders = DataFolder::resolve(exe, perUser, share);
        QVERIFY(setMode(m_exe, 0755));
        QVERIFY(!folders.portable);
        QCOMPARE(folders.data, perUser);
    }
    QCOMPARE(entries(m_exe), (QStringList{"Config.ini", "Notes"}));
}

void TestDataFolder::unusableFolderIsTold_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("toldMoved");
    QTest::addColumn<bool>("dataProblem");
    QTest::newRow("portable copy, folder read-only") << "read-only" << true << false;
    QTest::newRow("portable copy, folder append-only") << "append-only" << true << false;
    QTest::newRow("XDG_DATA_HOME is a file") << "data home is a file" << false << true;
    QTest::newRow("per-user folder read-only") << "per-user read-only" << false << true;
    QTest::newRow("both unusable") << "read-only, per-user read-only" << true << true;
}

void TestDataFolder::unusableFolderIsTold()
{
    QFETCH(QString, state);
    QFETCH(bool, toldMoved);
    QFETCH(bool, dataProblem);
    // Run as an ordinary user who owns home; whatever stays root's is read-only for it.
    QVERIFY(setMode(m_exe, 0755));
    if (toldMoved)
        QVERIFY(writeFile(m_exe + u'/' + DataFolder::kPortableMarker, ""));
    QString perUser = m_perUser;
    if (state == QStringLiteral("data home is a file")) {
        QVERIFY(writeFile(path(QStringLiteral("home/data")), "not a folder"));
        perUser = path(QStringLiteral("home/data/VemraNotes"));
    }
    if (::geteuid() == 0) {
        QVERIFY(::chown(QFile::encodeName(path(QStringLiteral("home"))).constData(), kNobody, kNobody) == 0);
        if (state == QStringLiteral("append-only"))
            QVERIFY(::chown(QFile::encodeName(m_exe).constData(), kNobody, kNobody) == 0);
    } else if (state.contains(QStringLiteral("read-only"))) {
        QSKIP("only root can hand folders to another user");
    }
    if (state.contains(QStringLiteral("per-user read-only"))) {
        QVERIFY(QDir().mkpath(m_perUser));
        QVERIFY(::chown(QFile::encodeName(m_perUser).constData(), 0, 0) == 0);
        QVERIFY(setMode(m_perUser, 0755));
    }
    if (state == QStringLiteral("append-only"))
        g_appendOnly = inodeOf(m_exe);

    const QString exe = m_exe;
    const QString share = m_share;
    QCOMPARE(asOrdinaryUser([=] {
                 const AppFolders folders = DataFolder::resolve(exe, perUser, share);
                 const bool told = folders.notice.contains(exe) && folders.notice.contains(perUser);
                 return !folders.portable && folders.data == perUser && told == toldMoved &&
                        folders.notice.isEmpty() == !toldMoved &&
                        folders.dataProblem.isEmpty() == !dataProblem;
             }),
             1);
    // The probes left nothing in either folder.
    QCOMPARE(entries(m_exe), toldMoved ? QStringList{DataFolder::kPortableMarker} : QStringList());
    if (QFileInfo(perUser).isDir())
        QCOMPARE(entries(perUser), QStringList());
}

void TestDataFolder::firstStartCopiesShippedNotesAndSettings()
{
    const QByteArray note1 = utf8WithBom(QStringLiteral("第一条\r\n"));
    const QByteArray note2 = QByteArray("\xc4\xe3\xba\xc3", 4); // GBK, as an old copy may hold
    const QByteArray config = "[General]\r\nLeft = 10\r\nTop = 20\r\nAutoRun = 0\r\nAutoSave = 1\r\n";
    QVERIFY(QDir().mkpath(m_exe + QStringLiteral("/Notes")));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/1.txt"), note1));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/2.txt"), note2));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/.syncthing.1.txt.tmp"), "not a note"));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Config.ini"), config));
    // Shipped read-only, as a package installs them.
    for (const QString& file :
         {QStringLiteral("Notes/1.txt"), QStringLiteral("Notes/2.txt"), QStringLiteral("Config.ini")})
        QVERIFY(setMode(m_exe + u'/' + file, 0444));
    QVERIFY(setMode(m_exe + QStringLiteral("/Notes"), 0555));
    QVERIFY(QDir().mkpath(m_perUser));

    const QStringList copied = DataFolder::copyShippedData(m_exe, m_perUser);
    QCOMPARE(copied, (QStringList{"Notes", "Config.ini"}));
    // The user is told what was copied from where to where.
    const QString told = DataFolder::copiedNotice(copied, m_exe, m_perUser);
    for (const QString& part : {m_exe, m_perUser, QStringLiteral("Notes"), QStringLiteral("Config.ini")})
        QVERIFY2(told.contains(part), qPrintable(told));
    QCOMPARE(DataFolder::copiedNotice({}, m_exe, m_perUser), QString());

    QCOMPARE(entries(m_perUser), (QStringList{"Config.ini", "Notes"}));
    QCOMPARE(entries(m_perUser + QStringLiteral("/Notes")), (QStringList{"1.txt", "2.txt"}));
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Notes/1.txt")), note1);
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Notes/2.txt")), note2);
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Config.ini")), config);
    // The copies are the user's to change, and nobody else's to read.
    QCOMPARE(mode(m_perUser + QStringLiteral("/Notes")), QStringLiteral("700"));
    QCOMPARE(mode(m_perUser + QStringLiteral("/Notes/1.txt")), QStringLiteral("600"));
    QCOMPARE(mode(m_perUser + QStringLiteral("/Config.ini")), QStringLiteral("600"));
    // Copied, never moved.
    QVERIFY(setMode(m_exe + QStringLiteral("/Notes"), 0755));
    QCOMPARE(entries(m_exe + QStringLiteral("/Notes")),
             (QStringList{".syncthing.1.txt.tmp", "1.txt", "2.txt"}));
    QCOMPARE(readFile(m_exe + QStringLiteral("/Notes/1.txt")), note1);
    QCOMPARE(readFile(m_exe + QStringLiteral("/Config.ini")), config);
}

void TestDataFolder::laterStartsNeverOverwriteTheUsersData()
{
    QVERIFY(QDir().mkpath(m_exe + QStringLiteral("/Notes")));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/1.txt"), "shipped"));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Config.ini"), "shipped"));
    QVERIFY(QDir().mkpath(m_perUser));
    QCOMPARE(DataFolder::copyShippedData(m_exe, m_perUser).size(), 2);

    // The user edits, removes the only note, changes the settings; the next start leaves it so.
    QVERIFY(QFile::remove(m_perUser + QStringLiteral("/Notes/1.txt")));
    QVERIFY(writeFile(m_perUser + QStringLiteral("/Notes/2.txt"), "mine"));
    QVERIFY(writeFile(m_perUser + QStringLiteral("/Config.ini"), "mine"));
    QCOMPARE(DataFolder::copyShippedData(m_exe, m_perUser), QStringList());
    QCOMPARE(entries(m_perUser + QStringLiteral("/Notes")), QStringList{"2.txt"});
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Config.ini")), QByteArray("mine"));
}

void TestDataFolder::missingPieceIsCopiedAlone()
{
    QVERIFY(QDir().mkpath(m_exe + QStringLiteral("/Notes")));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/1.txt"), "shipped"));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Config.ini"), "shipped"));
    QVERIFY(QDir().mkpath(m_perUser + QStringLiteral("/Notes")));
    QVERIFY(writeFile(m_perUser + QStringLiteral("/Notes/1.txt"), "mine"));

    QCOMPARE(DataFolder::copyShippedData(m_exe, m_perUser), QStringList{"Config.ini"});
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Notes/1.txt")), QByteArray("mine"));
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Config.ini")), QByteArray("shipped"));

    // Nothing shipped: nothing copied.
    QTemporaryDir bare;
    QCOMPARE(DataFolder::copyShippedData(bare.path(), path(QStringLiteral("home"))), QStringList());
    QCOMPARE(entries(path(QStringLiteral("home"))), QStringList{".local"});
}

void TestDataFolder::interruptedCopyIsRedone()
{
    QVERIFY(QDir().mkpath(m_exe + QStringLiteral("/Notes")));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/1.txt"), "one"));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/2.txt"), "two"));
    // A first start killed half-way through the copy left this behind, and no Notes/.
    QVERIFY(QDir().mkpath(m_perUser + QStringLiteral("/.Notes.copying")));
    QVERIFY(writeFile(m_perUser + QStringLiteral("/.Notes.copying/1.txt"), "on"));

    QCOMPARE(DataFolder::copyShippedData(m_exe, m_perUser), QStringList{"Notes"});
    QCOMPARE(entries(m_perUser), QStringList{"Notes"});
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Notes/1.txt")), QByteArray("one"));
    QCOMPARE(readFile(m_perUser + QStringLiteral("/Notes/2.txt")), QByteArray("two"));
}

void TestDataFolder::nothingCopiedIntoTheExecutablesOwnFolder()
{
    QVERIFY(QDir().mkpath(m_exe + QStringLiteral("/Notes")));
    QVERIFY(writeFile(m_exe + QStringLiteral("/Notes/1.txt"), "one"));
    QCOMPARE(DataFolder::copyShippedData(m_exe, m_exe + u'/'), QStringList());
    QCOMPARE(entries(m_exe), QStringList{"Notes"});
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
