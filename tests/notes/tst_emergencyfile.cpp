// SPDX-License-Identifier: GPL-3.0-or-later
// The emergency file of notes the folder refused: read back exactly, and only our own files count.
#include "notes/EmergencyFile.h"
#include "support/FolderFiles.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class TestEmergencyFile : public QObject
{
    Q_OBJECT
private slots:
    void textsComeBackExactly_data();
    void textsComeBackExactly();
    void onlyOurFilesForThisFolderAreFound();
    void aLargeFileIsOfferedWithoutBeingRead();
    void namesTakenByAnotherUserNeverLoseTheText_data();
    void namesTakenByAnotherUserNeverLoseTheText();
};

void TestEmergencyFile::textsComeBackExactly_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("plain") << QStringList{"first", "second"};
    QTest::newRow("line breaks of every kind") << QStringList{"a\r\nb\r\n", "\n\nc\r", "\n"};
    // A note may hold what looks like the head of the next block.
    QTest::newRow("a block head inside a note") << QStringList{"x\n=== 2: 1 ===\ny", "=== 9: 0 ==="};
    QTest::newRow("Chinese and surrogate pairs")
        << QStringList{QStringLiteral("便笺𠀀😀"), QStringLiteral("中")};
}

void TestEmergencyFile::textsComeBackExactly()
{
    QFETCH(QStringList, texts);
    QString folder;
    QStringList back;
    QVERIFY(EmergencyFile::parse(EmergencyFile::serialise(QStringLiteral("/data/Vemra 1"), texts), &folder,
                                 &back));
    QCOMPARE(folder, QStringLiteral("/data/Vemra 1"));
    QCOMPARE(back, texts);
    // Cut short, a file is not taken for a whole one.
    const QByteArray whole = EmergencyFile::serialise(QStringLiteral("/d"), texts);
    QVERIFY(!EmergencyFile::parse(whole.chopped(2), &folder, &back));
}

void TestEmergencyFile::onlyOurFilesForThisFolderAreFound()
{
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QString tmp = dir.filePath(QStringLiteral("tmp"));
    const QDateTime now(QDate(2026, 12, 7), QTime(18, 0));
    // The first folder cannot be made (a file is in its way): the next one takes the notes.
    QVERIFY(putFile(state, "in the way"));
    const QString ours = EmergencyFile::write({state, tmp}, QStringLiteral("/data/a"), {"mine"}, now);
    QVERIFY(ours.startsWith(tmp + u'/'));
    QCOMPARE(QFileInfo(ours).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    // A second close in the same second never replaces the first file.
    const QString second = EmergencyFile::write({tmp}, QStringLiteral("/data/a"), {"also mine"}, now);
    QVERIFY(!second.isEmpty() && second != ours);
    QVERIFY(!EmergencyFile::write({tmp}, QStringLiteral("/data/b"), {"other folder"}, now).isEmpty());
    QVERIFY(putFile(tmp + QStringLiteral("/VemraNotes-unsaved-junk.txt"), "not ours"));
    QVERIFY(QFile::link(ours, tmp + QStringLiteral("/VemraNotes-unsaved-link.txt")));

    const QList<EmergencyFile::Found> found = EmergencyFile::find({tmp}, QStringLiteral("/data/a"));
    QStringList texts;
    for (const EmergencyFile::Found& file : found) {
        QStringList inFile;
        QVERIFY(EmergencyFile::load(file.path, QStringLiteral("/data/a"), &inFile));
        QCOMPARE(file.count, inFile.size());
        texts += inFile;
    }
    texts.sort();
    QCOMPARE(texts, (QStringList{"also mine", "mine"}));
    // Found by its head, read only when asked for: a file cut short is offered, but never restored.
    QVERIFY(putFile(ours, readRaw(ours).chopped(1)));
    QVERIFY(!EmergencyFile::load(ours, QStringLiteral("/data/a"), &texts));
    QVERIFY(EmergencyFile::write({}, QStringLiteral("/data/a"), {"nowhere"}, now).isEmpty());
}

void TestEmergencyFile::aLargeFileIsOfferedWithoutBeingRead()
{
    QTemporaryDir dir;
    // One note of 300 MB (a sparse file: NUL characters are text too), in the first form of the file.
    const qint64 length = qint64(300) * 1024 * 1024;
    const QByteArray head =
        "VemraNotes unsaved notes 1\nData: /data/a\n\n=== 1: " + QByteArray::number(length) + " ===\n";
    const QString path = dir.filePath(QStringLiteral("VemraNotes-unsaved-20261207-180000.txt"));
    QVERIFY(putFile(path, head));
    QCOMPARE(::truncate(QFile::encodeName(path).constData(), head.size() + length + 1), 0);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    QCOMPARE(::pwrite(fd, "\n", 1, head.size() + length), ssize_t(1));
    ::close(fd);

    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const QList<EmergencyFile::Found> found = EmergencyFile::find({dir.path()}, QStringLiteral("/data/a"));
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    QCOMPARE(found.size(), 1);
    // Reading it whole would take the file and its text twice over (about 900 MB).
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < 64 * 1024,
             qPrintable(QStringLiteral("peak grew by %1 kB").arg(after.ru_maxrss - before.ru_maxrss)));
}

void TestEmergencyFile::namesTakenByAnotherUserNeverLoseTheText_data()
{
    QTest::addColumn<bool>("links");
    QTest::newRow("files at every name") << false;
    QTest::newRow("links at every name") << true;
}

void TestEmergencyFile::namesTakenByAnotherUserNeverLoseTheText()
{
    QFETCH(bool, links);
    QTemporaryDir dir;
    // A folder everyone may write in, as the temporary folder is (sticky, mode 1777).
    const QString shared = dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(shared));
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QDateTime now(QDate(2026, 12, 7), QTime(18, 0));
    const QString stem = shared + QStringLiteral("/VemraNotes-unsaved-20261207-180000");
    // The other user takes every name that could be predicted, before the close.
    QCOMPARE(runUnprivileged([&] {
                 for (int n = 1; n < 100; ++n) {
                     const QString name =
                         stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".txt");
                     const bool taken = links ? QFile::link(dir.filePath(QStringLiteral("mine")), name)
                                              : putFile(name, "squatted");
                     if (!taken)
                         return 1;
                 }
                 return 0;
             }),
             0);

    const QString path = EmergencyFile::write({shared}, QStringLiteral("/data/a"), {"typed"}, now);
    QVERIFY(path.startsWith(stem + u'-'));
    const QFileInfo info(path);
    QVERIFY(!info.isSymLink());
    QCOMPARE(info.ownerId(), ::geteuid());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("mine"))));
    if (!links)
        QCOMPARE(readRaw(stem + QStringLiteral(".txt")), QByteArray("squatted"));
    const QList<EmergencyFile::Found> found = EmergencyFile::find({shared}, QStringLiteral("/data/a"));
    QCOMPARE(found.size(), 1);
    QStringList texts;
    QVERIFY(EmergencyFile::load(found.at(0).path, QStringLiteral("/data/a"), &texts));
    QCOMPARE(texts, QStringList{"typed"});
}

QTEST_GUILESS_MAIN(TestEmergencyFile)
#include "tst_emergencyfile.moc"
