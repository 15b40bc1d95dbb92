// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DurableFile.h"
#include "support/FolderFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

unsigned modeOf(const QString& path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

// Lowers the largest file this process may write, so a write fails with EFBIG part of the way
// through, as on a full disk; the signal that would otherwise end the process is ignored meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace

class TestDurableFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void writeCreatesAndReplacesLeavingNothingElse();
    void writeMode_data();
    void writeMode();
    void failedWriteKeepsTargetAndLeavesNoTemporary_data();
    void failedWriteKeepsTargetAndLeavesNoTemporary();
    void read_data();
    void read();
};

void TestDurableFile::initTestCase()
{
    // The modes below are what the calls ask for; a stricter umask of the caller would narrow them.
    ::umask(022);
}

void TestDurableFile::writeCreatesAndReplacesLeavingNothingElse()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tasks.json"));

    auto result = DurableFile::write(path, "first");
    QVERIFY2(result.ok(), qPrintable(result.describe()));
    QCOMPARE(readRaw(path), QByteArray("first"));

    result = DurableFile::write(path, "second, longer than the first");
    QVERIFY2(result.ok(), qPrintable(result.describe()));
    QCOMPARE(readRaw(path), QByteArray("second, longer than the first"));

    result = DurableFile::write(path, QByteArray());
    QVERIFY2(result.ok(), qPrintable(result.describe()));
    QCOMPARE(QFileInfo(path).size(), 0);

    QCOMPARE(entriesIn(dir.path()), QStringList{QStringLiteral("Tasks.json")});
    QCOMPARE(result.step(), DurableFile::Step::None);
    QCOMPARE(result.error(), 0);
}

void TestDurableFile::writeMode_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("expected");
    QTest::newRow("new file, default") << false << -1 << 0600;
    QTest::newRow("replaced readable file, default") << true << -1 << 0600;
    QTest::newRow("new file, asked 0644") << false << 0644 << 0644;
    QTest::newRow("umask narrows 0666") << false << 0666 << 0644;
}

void TestDurableFile::writeMode()
{
    QFETCH(bool, existing);
    QFETCH(int, mode);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1.txt"));
    if (existing) {
        QVERIFY(putFile(path, "old"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QCOMPARE(modeOf(path), 0644u);
    }
    const auto result =
        mode < 0 ? DurableFile::write(path, "x") : DurableFile::write(path, "x", unsigned(mode));
    QVERIFY2(result.ok(), qPrintable(result.describe()));
    QCOMPARE(modeOf(path), unsigned(expected));
}

void TestDurableFile::failedWriteKeepsTargetAndLeavesNoTemporary_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("error");
    QTest::newRow("target is a folder") << "folder" << int(DurableFile::Step::Rename) << EISDIR;
    QTest::newRow("folder does not exist") << "no folder" << int(DurableFile::Step::Create) << ENOENT;
    QTest::newRow("disk full half-way") << "limit" << int(DurableFile::Step::Write) << EFBIG;
}

void TestDurableFile::failedWriteKeepsTargetAndLeavesNoTemporary()
{
    QFETCH(QString, situation);
    QFETCH(int, step);
    QFETCH(int, error);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Tasks.json"));
    const QByteArray payload(4096, 'n');
    QStringList before;

    DurableFile::WriteResult result = DurableFile::WriteResult::success();
    if (situation == u"folder") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Tasks.json")));
        QVERIFY(putFile(path + QStringLiteral("/inside"), "kept"));
        before = entriesIn(dir.path());
        result = DurableFile::write(path, payload);
        QCOMPARE(readRaw(path + QStringLiteral("/inside")), QByteArray("kept"));
    } else if (situation == u"no folder") {
        path = dir.filePath(QStringLiteral("Missing/Tasks.json"));
        result = DurableFile::write(path, payload);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("Missing"))));
    } else {
        QVERIFY(putFile(path, "old contents"));
        before = entriesIn(dir.path());
        FileSizeLimit limit(100);
        QVERIFY(limit.active());
        result = DurableFile::write(path, payload);
    }
    QVERIFY(!result.ok());
    QCOMPARE(int(result.step()), step);
    QCOMPARE(result.error(), error);
    QVERIFY(!result.describe().isEmpty());
    QCOMPARE(entriesIn(dir.path()), before);
    if (situation == u"limit")
        QCOMPARE(readRaw(path), QByteArray("old contents"));
}

void TestDurableFile::read_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("bytes");
    using S = DurableFile::ReadResult::Status;
    const QByteArray ten("0123456789");
    QTest::newRow("file") << "file" << qint64(1000) << int(S::Ok) << 0 << ten;
    QTest::newRow("exactly the limit") << "file" << qint64(10) << int(S::Ok) << 0 << ten;
    QTest::newRow("one byte over") << "file" << qint64(9) << int(S::TooLarge) << 0 << QByteArray();
    QTest::newRow("empty file") << "empty" << qint64(0) << int(S::Ok) << 0 << QByteArray();
    QTest::newRow("missing") << "missing" << qint64(1000) << int(S::Missing) << ENOENT << QByteArray();
    QTest::newRow("a folder") << "folder" << qint64(1000) << int(S::Failed) << EISDIR << QByteArray();
    QTest::newRow("below a file") << "below" << qint64(1000) << int(S::Failed) << ENOTDIR << QByteArray();
    // Neither waits for a writer nor reads through a link planted at the name.
    QTest::newRow("a FIFO") << "fifo" << qint64(1000) << int(S::Failed) << ENXIO << QByteArray();
    QTest::newRow("a link to a file") << "link" << qint64(1000) << int(S::Failed) << ELOOP << QByteArray();
}

void TestDurableFile::read()
{
    QFETCH(QString, situation);
    QFETCH(qint64, maxBytes);
    QFETCH(int, status);
    QFETCH(int, error);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Tasks.json"));
    if (situation == u"file")
        QVERIFY(putFile(path, "0123456789"));
    else if (situation == u"empty")
        QVERIFY(putFile(path, QByteArray()));
    else if (situation == u"folder")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Tasks.json")));
    else if (situation == u"below") {
        QVERIFY(putFile(path, "a file, not a folder"));
        path += QStringLiteral("/inner");
    } else if (situation == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (situation == u"link") {
        QVERIFY(putFile(dir.filePath(QStringLiteral("elsewhere")), "0123456789"));
        QCOMPARE(::symlink("elsewhere", QFile::encodeName(path).constData()), 0);
    }
    const auto result = DurableFile::read(path, maxBytes);
    QCOMPARE(int(result.status()), status);
    QCOMPARE(result.ok(), status == int(DurableFile::ReadResult::Status::Ok));
    QCOMPARE(result.error(), error);
    QCOMPARE(result.bytes(), bytes);
}

QTEST_GUILESS_MAIN(TestDurableFile)
#include "tst_durablefile.moc"
