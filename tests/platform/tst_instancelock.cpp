// SPDX-License-Identifier: GPL-3.0-or-later
// The single-instance lock cannot be bypassed from inside the data folder: whatever lies at the lock
// file's name (a link, a dangling link, a FIFO, a file the user may not open, another user's file),
// and on a file system whose files cannot be locked, one process holds the data and every other is
// refused. The second process runs as an ordinary user, as a second session would, so that modes
// apply (the test itself runs as root); a file system without locks is injected.
#include "platform/SingleInstance.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Locks
{
    Everywhere,
    NotOnFiles, // NFS without its lock daemon, as far as regular files go
    Nowhere,
};

Locks g_locks = Locks::Everywhere;

int injectedFlock(int fd, int operation)
{
    struct stat st = {};
    const bool file = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (g_locks == Locks::Nowhere || (g_locks == Locks::NotOnFiles && file)) {
        errno = ENOLCK;
        return -1;
    }
    return ::flock(fd, operation);
}

bool isLink(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

class TestInstanceLock : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void onlyOneHolderWhateverLiesAtTheLockName_data();
    void onlyOneHolderWhateverLiesAtTheLockName();

private:
    std::unique_ptr<QTemporaryDir> m_root;
};

void TestInstanceLock::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QCOMPARE(::chmod(QFile::encodeName(m_root->path()).constData(), 0755), 0);
    SingleInstance::flockCall = injectedFlock;
    g_locks = Locks::Everywhere;
}

void TestInstanceLock::cleanup()
{
    SingleInstance::flockCall = ::flock;
    m_root.reset();
}

void TestInstanceLock::onlyOneHolderWhateverLiesAtTheLockName_data()
{
    QTest::addColumn<QString>("atLockName");
    QTest::addColumn<int>("locks");
    QTest::newRow("link to a file elsewhere") << "link" << int(Locks::Everywhere);
    QTest::newRow("dangling link") << "dangling link" << int(Locks::Everywhere);
    QTest::newRow("file of mode 000") << "mode 000" << int(Locks::Everywhere);
    QTest::newRow("file of another user") << "root's file" << int(Locks::Everywhere);
    QTest::newRow("FIFO") << "fifo" << int(Locks::Everywhere);
    QTest::newRow("files cannot be locked") << "" << int(Locks::NotOnFiles);
    QTest::newRow("nothing can be locked") << "" << int(Locks::Nowhere);
}

void TestInstanceLock::onlyOneHolderWhateverLiesAtTheLockName()
{
    QFETCH(QString, atLockName);
    QFETCH(int, locks);
    g_locks = Locks(locks);
    const QString data = m_root->filePath(QStringLiteral("data"));
    const QString elsewhere = m_root->filePath(QStringLiteral("elsewhere"));
    const QString lockName = data + u'/' + SingleInstance::kLockName;
    const QByteArray lockPath = QFile::encodeName(lockName);
    QVERIFY(QDir().mkpath(data));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QFile(elsewhere + QStringLiteral("/target")).open(QIODevice::WriteOnly));
    QVERIFY(giveToUnprivileged(m_root->path()));

    if (atLockName == QStringLiteral("link"))
        QVERIFY(QFile::link(elsewhere + QStringLiteral("/target"), lockName));
    else if (atLockName == QStringLiteral("dangling link"))
        QVERIFY(QFile::link(elsewhere + QStringLiteral("/missing"), lockName));
    else if (atLockName == QStringLiteral("fifo"))
        QCOMPARE(::mkfifo(lockPath.constData(), 0600), 0);
    else if (!atLockName.isEmpty())
        QVERIFY(QFile(lockName).open(QIODevice::WriteOnly));
    if (atLockName == QStringLiteral("root's file")) {
        if (::geteuid() != 0)
            QSKIP("only root can give the lock file to another user");
        QCOMPARE(::chmod(lockPath.constData(), 0600), 0);
    } else if (!atLockName.isEmpty()) {
        QCOMPARE(::lchown(lockPath.constData(), unprivilegedUid(), unprivilegedGid()), 0);
        if (atLockName == QStringLiteral("mode 000"))
            QCOMPARE(::chmod(lockPath.constData(), 0), 0);
    }

    if (g_locks == Locks::Nowhere) {
        // Never run unlocked: refused, with the reason for the user.
        SingleInstance only(data);
        QVERIFY(!only.acquire());
        QCOMPARE(only.state(), SingleInstance::State::Unavailable);
        QVERIFY2(only.failure().contains(QStringLiteral("文件锁")), qPrintable(only.failure()));
        QCOMPARE(runUnprivileged([&] {
                     SingleInstance other(data);
                     return !other.acquire() && other.state() == SingleInstance::State::Unavailable ? 0 : 1;
                 }),
                 0);
        return;
    }

    // The test's own process (root, the user the folder was not given to) holds the data first:
    // another user's session must be kept out.
    {
        SingleInstance first(data);
        QVERIFY(first.acquire());
        QVERIFY(first.holdsFolder());
        QCOMPARE(runUnprivileged([&] {
                     SingleInstance second(data);
                     return !second.acquire() && second.state() == SingleInstance::State::HeldElsewhere ? 0
                                                                                                        : 1;
                 }),
                 0);
    }
    // Then the ordinary user holds it: a second holder in any process is refused until it ends.
    QCOMPARE(runUnprivileged([&] {
                 SingleInstance first(data);
                 if (!first.acquire() || !first.holdsFolder())
                     return 1;
                 SingleInstance second(data);
                 if (second.acquire() || second.state() != SingleInstance::State::HeldElsewhere)
                     return 2;
                 const pid_t child = ::fork();
                 if (child == 0) {
                     SingleInstance third(data);
                     ::_exit(!third.acquire() && third.state() == SingleInstance::State::HeldElsewhere ? 0
                                                                                                       : 3);
                 }
                 int status = 0;
                 if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
                     return 4;
                 return WEXITSTATUS(status);
             }),
             0);
    SingleInstance next(data);
    QVERIFY2(next.acquire(), "the lock outlived its holder");

    // What lay at the lock name is left as it was, and nothing was made through it.
    if (atLockName.contains(QStringLiteral("link")))
        QVERIFY(isLink(lockName));
    QVERIFY(!QFileInfo::exists(elsewhere + QStringLiteral("/missing")));
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
