// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteFiles.h"
#include "notes/NoteFolder.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"

#include <QDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct stat statOf(const QString& path)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QStringList numberedNotes(int count, const QString& prefix = QStringLiteral("note "))
{
    QStringList texts{QString()}; // note 0 is always the fresh empty note
    for (int i = 1; i <= count; ++i)
        texts.append(prefix + QString::number(i));
    return texts;
}

} // namespace

class TestNoteFolder : public QObject
{
    Q_OBJECT
private slots:
    void folderOrder_data();
    void folderOrder();
    void blankTestOfTheSave_data();
    void blankTestOfTheSave();
    void loadCreatesTheFolderAndReadsInFolderOrder();
    void loadDecodesEveryKindOfFile();
    void saveWritesNumberedFilesWithMarkOnly();
    void gbkFileKeepsItsBytesUntilEditedAndTheOldNameGoes();
    void tenOrMoreNotesKeepTheirOrder();
    void unchangedSaveWritesNothingAndOneChangeOneFile();
    void removedNoteShiftsTheFilesDown();
    void fileChangedByHandIsLeftForTheStoreToTakeIn();
    void touchedFileIsNotRewritten();
    void foreignFilesAreLeftWhereTheyAre();
    void filesThatWereNotLoadedAreNeverTouched();
    void saveWithoutLoadKeepsWhatIsThere();
    void notesThatIsAFileIsLeftAlone();
    void vanishedNotesFolderIsRecreated();
};

void TestNoteFolder::folderOrder_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("less");
    QTest::newRow("2 before 10") << QByteArray("2.txt") << QByteArray("10.txt") << true;
    QTest::newRow("10 after 9") << QByteArray("10.txt") << QByteArray("9.txt") << false;
    QTest::newRow("numbers before names") << QByteArray("100.txt") << QByteArray("a.txt") << true;
    QTest::newRow("names in byte order") << QByteArray("B.md") << QByteArray("a.md") << true;
    QTest::newRow("equal numbers by bytes") << QByteArray("01.txt") << QByteArray("1.txt") << true;
    QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999.txt")
                                    << QByteArray("100000000000000000000.txt") << true;
    QTest::newRow("other extension is a name") << QByteArray("3.md") << QByteArray("4.txt") << false;
    QTest::newRow("bare .txt is a name") << QByteArray(".txt") << QByteArray("5.txt") << false;
    QTest::newRow("not utf-8 sorts by bytes") << QByteArray("a.txt") << QByteArray("\xC4\xE3.txt") << true;
}

void TestNoteFolder::folderOrder()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, less);
    QCOMPARE(NoteFolder::lessInFolderOrder(a, b), less);
    if (less)
        QVERIFY(!NoteFolder::lessInFolderOrder(b, a));
}

void TestNoteFolder::blankTestOfTheSave_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("blank");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("two spaces and CR LF") << QStringLiteral("  \r\n") << true;
    QTest::newRow("space CR LF space") << QStringLiteral(" \r\n ") << true;
    QTest::newRow("spaces go before the pairs") << QStringLiteral("\r \n") << true;
    QTest::newRow("CR LF, two spaces, CR LF") << QStringLiteral("\r\n  \r\n") << true;
    QTest::newRow("tab") << QStringLiteral("\t") << false;
    QTest::newRow("lone CR") << QStringLiteral("\r") << false;
    QTest::newRow("lone LF") << QStringLiteral("\n") << false;
    QTest::newRow("LF CR") << QStringLiteral("\n\r") << false;
    QTest::newRow("nested pair stays") << QStringLiteral("\r\r\n\n") << false;
    QTest::newRow("full-width space") << QStringLiteral("\u3000") << false;
    QTest::newRow("text") << QStringLiteral(" a ") << false;
}

void TestNoteFolder::blankTestOfTheSave()
{
    QFETCH(QString, text);
    QFETCH(bool, blank);
    QCOMPARE(NoteFolder::isBlankForSave(text), blank);
}

void TestNoteFolder::loadCreatesTheFolderAndReadsInFolderOrder()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    NoteFolder::LoadResult first = folder.load();
    QVERIFY(QFileInfo(tp.path(QStringLiteral("Notes"))).isDir());
    QVERIFY(first.texts.isEmpty());
    QVERIFY(first.complete);

    for (int i : {10, 2, 1, 11, 9})
        writeRaw(tp.path(QStringLiteral("Notes/%1.txt").arg(i)),
                 encodeNoteBytes(QStringLiteral("n%1").arg(i)));
    writeRaw(tp.path(QStringLiteral("Notes/b.md")), "b");
    writeRaw(tp.path(QStringLiteral("Notes/A.md")), "A");
    QDir(tp.path(QStringLiteral("Notes"))).mkpath(QStringLiteral("sub"));
    writeRaw(tp.path(QStringLiteral("Notes/sub/7.txt")), "in a subfolder");
    const NoteFolder::LoadResult loaded = folder.load();
    QCOMPARE(loaded.texts, (QStringList{"n1", "n2", "n9", "n10", "n11", "A", "b"}));
    QVERIFY(loaded.complete);
}

void TestNoteFolder::loadDecodesEveryKindOfFile()
{
    TestPlatform tp;
    QDir().mkpath(tp.path(QStringLiteral("Notes")));
    writeRaw(tp.path(QStringLiteral("Notes/1.txt")), QByteArray());
    writeRaw(tp.path(QStringLiteral("Notes/2.txt")), QByteArray("\xEF\xBB\xBFmarked"));
    writeRaw(tp.path(QStringLiteral("Notes/3.txt")), QByteArray("\xFF\xFE\x2D\x4E", 4));
    writeRaw(tp.path(QStringLiteral("Notes/4.txt")), QByteArray("\xD6\xD0\xCE\xC4"));
    writeRaw(tp.path(QStringLiteral("Notes/5.txt")), QStringLiteral("linux 中文").toUtf8());
    QByteArray binary(256 * 4, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7 + 1) & 0xFF);
    writeRaw(tp.path(QStringLiteral("Notes/6.bin")), binary);
    QByteArray big(50 * 1024 * 1024, 'z');
    writeRaw(tp.path(QStringLiteral("Notes/7.txt")), big);
    big.clear();

    NoteFolder folder(tp.appFolder());
    const NoteFolder::LoadResult loaded = folder.load();
    QVERIFY(loaded.complete);
    QCOMPARE(loaded.texts.size(), 7);
    QCOMPARE(loaded.texts.at(0), QString());
    QCOMPARE(loaded.texts.at(1), QStringLiteral("marked"));
    QCOMPARE(loaded.texts.at(2), QStringLiteral("中"));
    QCOMPARE(loaded.texts.at(3), QStringLiteral("中文"));
    QCOMPARE(loaded.texts.at(4), QStringLiteral("linux 中文"));
    QCOMPARE(loaded.texts.at(5).size(), 50 * 1024 * 1024);
    QCOMPARE(loaded.texts.at(6), decodeNoteBytes(binary));
}

void TestNoteFolder::saveWritesNumberedFilesWithMarkOnly()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    const QStringList notes{QString(), QStringLiteral("第一"), QStringLiteral("  \r\n"), QStringLiteral("\t"),
                            QStringLiteral("last\r\n")};
    QVERIFY(folder.save(notes));
    QCOMPARE(filesIn(tp.path(QStringLiteral("Notes"))), (QStringList{"1.txt", "2.txt", "3.txt"}));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/1.txt"))),
             QByteArray("\xEF\xBB\xBF\xE7\xAC\xAC\xE4\xB8\x80"));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/2.txt"))), QByteArray("\xEF\xBB\xBF\t"));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/3.txt"))), QByteArray("\xEF\xBB\xBFlast\r\n"));
    QVERIFY(!QFileInfo::exists(folder.stagingPath()));
    QVERIFY(!QFileInfo::exists(folder.recyclePath()));
}

void TestNoteFolder::gbkFileKeepsItsBytesUntilEditedAndTheOldNameGoes()
{
    TestPlatform tp;
    QDir().mkpath(tp.path(QStringLiteral("Notes")));
    const QByteArray gbk("\xB1\xE3\xBC\xE3");
    writeRaw(tp.path(QStringLiteral("Notes/a.md")), gbk);
    NoteFolder folder(tp.appFolder());
    const NoteFolder::LoadResult loaded = folder.load();
    QCOMPARE(loaded.texts, QStringList{QStringLiteral("便笺")});
    // Renamed to its number, not rewritten.
    QVERIFY(folder.save(QStringList{QString()} + loaded.texts));
    QCOMPARE(filesIn(tp.path(QStringLiteral("Notes"))), QStringList{"1.txt"});
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/1.txt"))), gbk);
    QCOMPARE(folder.filesWritten(), 0);
    QVERIFY(folder.save({QString(), QStringLiteral("便笺!")}));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/1.txt"))), encodeNoteBytes(QStringLiteral("便笺!")));
    QVERIFY(!QFileInfo::exists(folder.recyclePath())); // it was ours: replaced, not kept aside
}

void TestNoteFolder::tenOrMoreNotesKeepTheirOrder()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    const QStringList notes = numberedNotes(23);
    QVERIFY(folder.save(notes));
    QCOMPARE(filesIn(tp.path(QStringLiteral("Notes"))).size(), 23);
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/10.txt"))), encodeNoteBytes(QStringLiteral("note 10")));
    NoteFolder next(tp.appFolder());
    QCOMPARE(next.load().texts, notes.mid(1));
}

void TestNoteFolder::unchangedSaveWritesNothingAndOneChangeOneFile()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    QStringList notes = numberedNotes(20);
    QVERIFY(folder.save(notes));
    QCOMPARE(folder.filesWritten(), 20);
    const struct stat before7 = statOf(tp.path(QStringLiteral("Notes/7.txt")));
    const struct stat before8 = statOf(tp.path(QStringLiteral("Notes/8.txt")));

    QVERIFY(folder.save(notes));
    QCOMPARE(folder.filesWritten(), 20);
    QCOMPARE(statOf(tp.path(QStringLiteral("Notes/7.txt"))).st_ino, before7.st_ino);

    notes[7] = QStringLiteral("changed");
    QVERIFY(folder.save(notes));
    QCOMPARE(folder.filesWritten(), 21);
    QVERIFY(statOf(tp.path(QStringLiteral("Notes/7.txt"))).st_ino != before7.st_ino);
    QCOMPARE(statOf(tp.path(QStringLiteral("Notes/8.txt"))).st_ino, before8.st_ino);
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/7.txt"))), encodeNoteBytes(QStringLiteral("changed")));

    // What a fresh start read back is known too: saving it again writes nothing.
    NoteFolder restarted(tp.appFolder());
    QVERIFY(restarted.save(QStringList{QString()} + restarted.load().texts));
    QCOMPARE(restarted.filesWritten(), 0);
}

void TestNoteFolder::removedNoteShiftsTheFilesDown()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    QVERIFY(folder.save({QString(), "A", "B", "C"}));
    const ino_t inodeOfC = statOf(tp.path(QStringLiteral("Notes/3.txt"))).st_ino;
    QVERIFY(folder.save({QString(), "A", "C"}));
    QCOMPARE(filesIn(tp.path(QStringLiteral("Notes"))), (QStringList{"1.txt", "2.txt"}));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/2.txt"))), encodeNoteBytes(QStringLiteral("C")));
    // Moved, not rewritten.
    QCOMPARE(statOf(tp.path(QStringLiteral("Notes/2.txt"))).st_ino, inodeOfC);
    QCOMPARE(folder.filesWritten(), 3);
    QVERIFY(folder.save({QString()}));
    QVERIFY(filesIn(tp.path(QStringLiteral("Notes"))).isEmpty());
}

void TestNoteFolder::fileChangedByHandIsLeftForTheStoreToTakeIn()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    const QStringList notes{QString(), "A", "B"};
    QVERIFY(folder.save(notes));
    // Same size and same second: only the stamp's finer parts differ.
    writeRaw(tp.path(QStringLiteral("Notes/2.txt")), encodeNoteBytes(QStringLiteral("X")));
    QVERIFY(folder.save(notes));
    QVERIFY(folder.sawOutsideChange());
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/2.txt"))), encodeNoteBytes(QStringLiteral("X")));
    QVERIFY(!QFileInfo::exists(folder.recyclePath()));
    QCOMPARE(folder.filesWritten(), 3); // B waits in a file of its own until the store has seen X
}

void TestNoteFolder::touchedFileIsNotRewritten()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    const QStringList notes{QString(), "A", "B"};
    QVERIFY(folder.save(notes));
    const QString path = tp.path(QStringLiteral("Notes/1.txt"));
    const timespec times[2] = {{1000, 0}, {1000, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    QVERIFY(folder.save(notes));
    QCOMPARE(folder.filesWritten(), 2);
    QVERIFY(!QFileInfo::exists(folder.recyclePath()));
    QCOMPARE(statOf(path).st_mtim.tv_sec, time_t(1000));
}

void TestNoteFolder::foreignFilesAreLeftWhereTheyAre()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    QVERIFY(folder.save({QString(), "A", "B"}));
    QDir().mkpath(folder.recyclePath());
    writeRaw(folder.recyclePath() + QStringLiteral("/todo.md"), "older todo");
    writeRaw(tp.path(QStringLiteral("Notes/todo.md")), "dropped in while running");
    writeRaw(tp.path(QStringLiteral("Notes/5.txt")), "five");
    writeRaw(tp.path(QStringLiteral("Notes/3.txt")), encodeNoteBytes(QStringLiteral("C")));

    QVERIFY(folder.save({QString(), "A", "B", "C"}));
    QCOMPARE(filesIn(tp.path(QStringLiteral("Notes"))),
             (QStringList{"1.txt", "2.txt", "3.txt", "5.txt", "todo.md"}));
    // 3.txt already held what the save wanted there: adopted, not written again.
    QCOMPARE(folder.filesWritten(), 2);
    QCOMPARE(filesIn(folder.recyclePath()), QStringList{"todo.md"});
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/todo.md"))), QByteArray("dropped in while running"));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/5.txt"))), QByteArray("five"));
}

void TestNoteFolder::filesThatWereNotLoadedAreNeverTouched()
{
    TestPlatform tp;
    const QByteArray notesDir = QFile::encodeName(tp.path(QStringLiteral("Notes")));
    QDir().mkpath(tp.path(QStringLiteral("Notes")));
    // A name in GBK bytes, as a Windows copy may leave it: not UTF-8, so it cannot be named to the user.
    const QByteArray rawName = notesDir + "/\xC4\xE3\xBA\xC3.txt";
    const int fd = ::open(rawName.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "hi", 2), ssize_t(2));
    ::close(fd);
    // Too big to be read: kept, and its number is not reused.
    const int bigFd = ::open((notesDir + "/2.txt").constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(bigFd >= 0);
    QCOMPARE(::ftruncate(bigFd, kMaxNoteFileBytes + 1), 0);
    ::close(bigFd);
    QDir(tp.path(QStringLiteral("Notes"))).mkdir(QStringLiteral("3.txt"));
    QCOMPARE(::mkfifo((notesDir + "/pipe").constData(), 0600), 0);
    writeRaw(tp.path(QStringLiteral("Notes/1.txt")), encodeNoteBytes(QStringLiteral("one")));

    NoteFolder folder(tp.appFolder());
    const NoteFolder::LoadResult loaded = folder.load();
    QCOMPARE(loaded.texts.join(u'|'), QStringLiteral("one"));
    QVERIFY2(!loaded.complete, qPrintable(loaded.texts.join(u'|')));

    QVERIFY(folder.save({QString(), "one", "two", "three"}));
    QCOMPARE(::access(rawName.constData(), F_OK), 0);
    QCOMPARE(statOf(tp.path(QStringLiteral("Notes/2.txt"))).st_size, off_t(kMaxNoteFileBytes + 1));
    QVERIFY(QFileInfo(tp.path(QStringLiteral("Notes/3.txt"))).isDir());
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/4.txt"))), encodeNoteBytes(QStringLiteral("two")));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/5.txt"))), encodeNoteBytes(QStringLiteral("three")));
    QVERIFY(QFileInfo::exists(tp.path(QStringLiteral("Notes/pipe"))));
    QVERIFY(folder.save({QString()}));
    QCOMPARE(::access(rawName.constData(), F_OK), 0);
    QVERIFY(QFileInfo::exists(tp.path(QStringLiteral("Notes/2.txt"))));
    QVERIFY(!QFileInfo::exists(tp.path(QStringLiteral("Notes/1.txt"))));
    QVERIFY(!QFileInfo::exists(folder.recyclePath()));
    ::unlink(rawName.constData()); // QTemporaryDir cannot name it to remove it
}

void TestNoteFolder::saveWithoutLoadKeepsWhatIsThere()
{
    TestPlatform tp;
    QDir().mkpath(tp.path(QStringLiteral("Notes")));
    writeRaw(tp.path(QStringLiteral("Notes/1.txt")), "never loaded");
    NoteFolder folder(tp.appFolder());
    QVERIFY(folder.save({QString(), "typed"}));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/1.txt"))), QByteArray("never loaded"));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/2.txt"))), encodeNoteBytes(QStringLiteral("typed")));
    writeRaw(tp.path(QStringLiteral("Notes/later.md")), "appeared afterwards");
    QVERIFY(folder.save({QString(), "typed"}));
    QCOMPARE(filesIn(tp.path(QStringLiteral("Notes"))), (QStringList{"1.txt", "2.txt", "later.md"}));
    QVERIFY(!QFileInfo::exists(folder.recyclePath()));
}

void TestNoteFolder::notesThatIsAFileIsLeftAlone()
{
    TestPlatform tp;
    writeRaw(tp.path(QStringLiteral("Notes")), "not a folder");
    NoteFolder folder(tp.appFolder());
    const NoteFolder::LoadResult loaded = folder.load();
    QVERIFY(loaded.texts.isEmpty());
    QVERIFY(!loaded.complete);
    QVERIFY(!folder.save({QString(), "A"}));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes"))), QByteArray("not a folder"));
}

void TestNoteFolder::vanishedNotesFolderIsRecreated()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder());
    folder.load();
    QVERIFY(folder.save({QString(), "A", "B"}));
    QVERIFY(QDir(tp.path(QStringLiteral("Notes"))).removeRecursively());
    QVERIFY(folder.save({QString(), "A", "B"}));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/2.txt"))), encodeNoteBytes(QStringLiteral("B")));

    // Without the application folder there is nothing to recreate it in.
    NoteFolder orphan(tp.path(QStringLiteral("gone")));
    QVERIFY(!orphan.save({QString(), "A"}));
    QVERIFY(!QFileInfo::exists(tp.path(QStringLiteral("gone"))));
}

QTEST_GUILESS_MAIN(TestNoteFolder)
#include "tst_notefolder.moc"
