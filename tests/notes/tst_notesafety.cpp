// SPDX-License-Identifier: GPL-3.0-or-later
// What the notes folder does when things go wrong: a crash in the middle of a save, a full disk, a
// recovery folder at its limit, folders it cannot stage beside, hidden files of sync tools, modes.
#include "notes/NoteFiles.h"
#include "notes/NoteFolder.h"
#include "platform/FolderHandle.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QDirIterator>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList notes(int count, const QString& prefix)
{
    QStringList texts{QString()}; // note 0 is always the fresh empty note
    for (int i = 1; i <= count; ++i)
        texts.append(prefix + QString::number(i));
    return texts;
}

mode_t modeOf(const QString& path)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

// A small file system of its own, for a disk that really runs full; empty when mounting is refused.
class TinyDisk
{
public:
    explicit TinyDisk(const QString& path, int kib) : m_path(QFile::encodeName(path))
    {
        const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0755";
        m_mounted = ::mount("tmpfs", m_path.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~TinyDisk()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_path;
    bool m_mounted = false;
};

// Every text any file below the folder holds, hidden ones included: where a text may have been kept.
QStringList textsBelow(const QString& folder)
{
    QStringList texts;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext())
        texts.append(ReadNoteFile(it.next()));
    return texts;
}

QByteArray stampFields(const QString& path, bool v1)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    const qint64 mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (v1)
        return QByteArray::number(qint64(st.st_size)) + ' ' + QByteArray::number(mtime) + ' ' +
               QByteArray::number(quint64(st.st_ino));
    return QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) + ' ' +
           QByteArray::number(qint64(st.st_size)) + ' ' + QByteArray::number(mtime);
}

// Runs a save that stops right after its journal is committed.
void saveStoppedAfterCommit(const QString& app, const QStringList& before, const QStringList& after)
{
    NoteFolder first(app);
    first.load();
    QVERIFY(first.save(before));
    int steps = 0;
    first.setStepHook([&] { return steps++ < 1; });
    QVERIFY(!first.save(after));
}

} // namespace

class TestNoteSafety : public QObject
{
    Q_OBJECT
private slots:
    void crashAtAnyStepRestoresEveryNoteInOrder_data();
    void crashAtAnyStepRestoresEveryNoteInOrder();
    void saveOfAnEarlierVersionIsKeptInReach();
    void recycleNeverDropsWhatWasJustOrRecentlyRemoved();
    void recycleOrderSurvivesAClockThatJumped();
    void failedRecycleKeepsNotesUntilTheCopyIsWritten();
    void failedWriteLeavesTheFolderAsItWasAndRetries();
    void fullDiskLosesNothing();
    void hiddenFilesAreNotNotes();
    void foreignFilesCountInTheRecycleLimit();
    void lossyFilesKeepTheirOriginalBytes_data();
    void lossyFilesKeepTheirOriginalBytes();
    void createdFilesAreNoMoreOpenThanNotes();
    void readOnlyApplicationFolderStagesInsideNotes();
    void notesOnAnotherMountStagesInsideNotes();
    void folderNamedInGbkBytesWorksThroughItsHandle();
    void journalNamesNeverLeaveTheFolder_data();
    void journalNamesNeverLeaveTheFolder();
    void specialAndHugeFilesNeitherHangNorAct_data();
    void specialAndHugeFilesNeitherHangNorAct();
    void interruptedSaveNeverOverwritesWhatTookItsPlace_data();
    void interruptedSaveNeverOverwritesWhatTookItsPlace();
};

void TestNoteSafety::crashAtAnyStepRestoresEveryNoteInOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("stepsAllowed");
    // Small saves: every step. Large renumbering saves (every file renamed): the first steps, the
    // commit, a middle one and the last ones.
    for (int steps = 0; steps <= 6; ++steps)
        QTest::addRow("small, stop at %d", steps) << 5 << "edit" << steps;
    for (const char* change : {"add at top", "remove at top"}) {
        for (int steps : {0, 1, 2, 3, 500, 998, 999, 1000, 1001})
            QTest::addRow("1000 notes, %s, stop at %d", change, steps)
                << 1000 << QString::fromLatin1(change) << steps;
    }
}

void TestNoteSafety::crashAtAnyStepRestoresEveryNoteInOrder()
{
    QFETCH(int, count);
    QFETCH(QString, change);
    QFETCH(int, stepsAllowed);
    TestPlatform tp;
    const QStringList before = notes(count, QStringLiteral("note "));
    {
        NoteFolder first(tp.appFolder(), &tp.clock);
        first.load();
        QVERIFY(first.save(before));
        // Two hundred notes removed earlier: a crash must neither push them out nor add to them.
        QStringList removed;
        for (int i = 0; i < NoteFolder::kRecycleKeep; ++i)
            removed.append(QStringLiteral("removed %1").arg(i));
        QVERIFY(first.recycle(removed));
    }
    const QString recycle = tp.path(QStringLiteral("Notes.recycle"));
    const QStringList recycledBefore = filesIn(recycle);

    QStringList after = before;
    if (change == QLatin1String("add at top")) {
        after.insert(1, QStringLiteral("new at the top"));
    } else if (change == QLatin1String("remove at top")) {
        after.removeAt(1);
    } else {
        after[2] = QStringLiteral("note 2 edited");
        after.removeAt(4);
        after.append(QStringLiteral("appended"));
    }

    NoteFolder folder(tp.appFolder(), &tp.clock);
    folder.load();
    int steps = 0;
    folder.setStepHook([&] { return steps++ < stepsAllowed; });
    const bool finished = folder.save(after);
    QCOMPARE(finished, steps <= stepsAllowed);
    if (!finished)
        QCOMPARE(folder.lastFailure().kind, NoteFolder::Failure::Write);

    // The next start finds either the notes before the save or the notes after it, in order.
    NoteFolder restarted(tp.appFolder(), &tp.clock);
    const QStringList loaded = QStringList{QString()} + restarted.load().texts;
    if (loaded != before && loaded != after)
        QFAIL(qPrintable(QStringLiteral("after a stop at step %1 the folder holds %2 notes, neither state")
                             .arg(stepsAllowed)
                             .arg(loaded.size() - 1)));
    if (finished)
        QCOMPARE(loaded, after);
    QCOMPARE(filesIn(recycle), recycledBefore);
    QVERIFY(!QFileInfo::exists(folder.stagingPath()));
    QVERIFY(!QFileInfo::exists(tp.path(QStringLiteral("Notes/.saving"))));
    // And that folder saves on normally.
    QVERIFY(restarted.save(after));
    QCOMPARE(QStringList{QString()} + textsIn(tp.path(QStringLiteral("Notes"))), after);
}

void TestNoteSafety::saveOfAnEarlierVersionIsKeptInReach()
{
    // A staging folder without a journal comes from a version that kept none: whether its renames
    // began is unknown, so what it holds goes to the recovery folder rather than away.
    TestPlatform tp;
    QDir(tp.appFolder()).mkpath(QStringLiteral("Notes"));
    QDir(tp.appFolder()).mkpath(QStringLiteral(".Notes.saving"));
    writeRaw(tp.path(QStringLiteral(".Notes.saving/1.txt")), encodeNoteBytes(QStringLiteral("staged")));
    NoteFolder folder(tp.appFolder(), &tp.clock);
    folder.load();
    QVERIFY(textsIn(folder.recyclePath()).contains(QStringLiteral("staged")));
    QVERIFY(!QFileInfo::exists(folder.stagingPath()));
}

void TestNoteSafety::recycleNeverDropsWhatWasJustOrRecentlyRemoved()
{
    TestPlatform tp;
    tp.clock.setNow(QDateTime(QDate(2026, 3, 7), QTime(9, 30, 15)));
    NoteFolder folder(tp.appFolder(), &tp.clock);
    QVERIFY(folder.recycle({QStringLiteral("first"), QStringLiteral("  \r\n"), QStringLiteral("second")}));
    QCOMPARE(filesIn(folder.recyclePath()),
             (QStringList{"20260307-093015-001.txt", "20260307-093015-002.txt"}));
    QCOMPARE(readRaw(folder.recyclePath() + QStringLiteral("/20260307-093015-002.txt")),
             encodeNoteBytes(QStringLiteral("second")));

    // Another store in the same second (a restart) must not overwrite what is there.
    NoteFolder again(tp.appFolder(), &tp.clock);
    QVERIFY(again.recycle({QStringLiteral("third")}));
    QCOMPARE(readRaw(folder.recyclePath() + QStringLiteral("/20260307-093015-003.txt")),
             encodeNoteBytes(QStringLiteral("third")));

    // Clearing 300 notes at once keeps all 300, and nothing recent goes either.
    tp.clock.advanceMs(1000);
    QVERIFY(folder.recycle(notes(300, QStringLiteral("cleared ")).mid(1)));
    QCOMPARE(filesIn(folder.recyclePath()).size(), 303);

    // Forty days later the limit applies again, but only to what is older than thirty days; the
    // removal that triggers it stays whatever its place.
    tp.clock.advanceMs(qint64(40) * 24 * 3600 * 1000);
    QVERIFY(folder.recycle({QStringLiteral("forty days on")}));
    const QStringList left = textsIn(folder.recyclePath());
    QCOMPARE(left.size(), NoteFolder::kRecycleKeep);
    QVERIFY(left.contains(QStringLiteral("forty days on")));
    QVERIFY(left.contains(QStringLiteral("cleared 300")));
    QVERIFY(!left.contains(QStringLiteral("first")));
    QVERIFY(!left.contains(QStringLiteral("cleared 100")));
    QVERIFY(left.contains(QStringLiteral("cleared 102")));
}

void TestNoteSafety::recycleOrderSurvivesAClockThatJumped()
{
    TestPlatform tp;
    const QDateTime real(QDate(2026, 5, 1), QTime(8, 0));
    tp.clock.setNow(real.addYears(3)); // a clock running three years ahead
    NoteFolder folder(tp.appFolder(), &tp.clock);
    QVERIFY(folder.recycle(notes(NoteFolder::kRecycleKeep, QStringLiteral("ahead ")).mid(1)));
    // Put right, and months on: the old entries are past the limit and old by any count, yet the
    // new removal sorts after them and stays.
    tp.clock.setNow(real.addMonths(2));
    QVERIFY(folder.recycle({QStringLiteral("after the clock was set")}));
    QVERIFY(textsIn(folder.recyclePath()).contains(QStringLiteral("after the clock was set")));
    tp.clock.setNow(real.addYears(4));
    QVERIFY(folder.recycle({QStringLiteral("years later")}));
    const QStringList left = textsIn(folder.recyclePath());
    QVERIFY(left.contains(QStringLiteral("after the clock was set")));
    QVERIFY(left.contains(QStringLiteral("years later")));
    QVERIFY(!left.contains(QStringLiteral("ahead 1")));
    QCOMPARE(left.size(), NoteFolder::kRecycleKeep);
}

void TestNoteSafety::failedRecycleKeepsNotesUntilTheCopyIsWritten()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder(), &tp.clock);
    folder.load();
    QVERIFY(folder.save({QString(), "keep", "remove me"}));
    // A file where the recovery folder should be: no copy can be written.
    writeRaw(folder.recyclePath(), "in the way");
    QVERIFY(!folder.recycle({QStringLiteral("remove me")}));
    QCOMPARE(folder.lastFailure().kind, NoteFolder::Failure::Recycle);
    QCOMPARE(folder.lastFailure().path, folder.recyclePath());
    QVERIFY(folder.lastFailure().error != 0);
    // The removal reached the store, but not the disk: its file stays while the copy is missing.
    QVERIFY(!folder.save({QString(), "keep"}));
    QCOMPARE(folder.lastFailure().kind, NoteFolder::Failure::Recycle);
    QCOMPARE(textsIn(folder.notesPath()), (QStringList{"keep", "remove me"}));

    QVERIFY(QFile::remove(folder.recyclePath()));
    QVERIFY(folder.save({QString(), "keep"}));
    QCOMPARE(folder.lastFailure().kind, NoteFolder::Failure::None);
    QCOMPARE(textsIn(folder.notesPath()), QStringList{"keep"});
    QCOMPARE(textsIn(folder.recyclePath()), QStringList{"remove me"});
}

void TestNoteSafety::failedWriteLeavesTheFolderAsItWasAndRetries()
{
    TestPlatform tp;
    NoteFolder folder(tp.appFolder(), &tp.clock);
    folder.load();
    QVERIFY(folder.save({QString(), "one", "two"}));
    folder.setStepHook([] { return false; });
    QVERIFY(!folder.save({QString(), "one edited", "two"}));
    QCOMPARE(folder.lastFailure().kind, NoteFolder::Failure::Write);
    QCOMPARE(folder.lastFailure().error, EIO);
    folder.setStepHook(nullptr);
    QVERIFY(folder.save({QString(), "one edited", "two"}));
    QCOMPARE(textsIn(folder.notesPath()), (QStringList{"one edited", "two"}));
    QVERIFY(filesIn(folder.recyclePath()).isEmpty());
}

void TestNoteSafety::fullDiskLosesNothing()
{
    TestPlatform tp;
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("disk")));
    const QString app = tp.path(QStringLiteral("disk"));
    TinyDisk disk(app, 256);
    if (!disk.mounted())
        QSKIP("mounting a tmpfs needs CAP_SYS_ADMIN; the injected failures above cover the logic");
    NoteFolder folder(app, &tp.clock);
    folder.load();
    QVERIFY(folder.save({QString(), "first", "second"}));
    // Fill the disk up to the last byte.
    {
        QFile filler(app + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.write("x");
        filler.close();
    }
    const QString big(30000, u'字'); // 90 KB, more than is left
    QVERIFY(!folder.save({QString(), "first", big}));
    QCOMPARE(folder.lastFailure().kind, NoteFolder::Failure::Write);
    QCOMPARE(folder.lastFailure().error, ENOSPC);
    QCOMPARE(textsIn(app + QStringLiteral("/Notes")), (QStringList{"first", "second"}));

    // Clear all: the copies cannot be written, so the files stay.
    QVERIFY(!folder.recycle({QStringLiteral("first"), big}));
    QVERIFY(!folder.save({QString()}));
    QCOMPARE(textsIn(app + QStringLiteral("/Notes")), (QStringList{"first", "second"}));

    // Space again: the next save writes the copies first, then empties the folder.
    QVERIFY(QFile::remove(app + QStringLiteral("/filler")));
    QVERIFY(folder.save({QString()}));
    QVERIFY(filesIn(app + QStringLiteral("/Notes")).isEmpty());
    QVERIFY(textsIn(app + QStringLiteral("/Notes.recycle")).contains(big));
}

void TestNoteSafety::hiddenFilesAreNotNotes()
{
    TestPlatform tp;
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("Notes")));
    writeRaw(tp.path(QStringLiteral("Notes/1.txt")), encodeNoteBytes(QStringLiteral("note")));
    writeRaw(tp.path(QStringLiteral("Notes/.syncthing.1.txt.tmp")), "half written");
    NoteFolder folder(tp.appFolder(), &tp.clock);
    QCOMPARE(folder.load().texts, QStringList{"note"});
    // One appears while we run, as a sync tool writes its temporary file.
    writeRaw(tp.path(QStringLiteral("Notes/.~lock.2.txt#")), "an editor's lock");
    QVERIFY(folder.save({QString(), "note", "another"}));
    QVERIFY(folder.save({QString(), "another"}));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/.syncthing.1.txt.tmp"))), QByteArray("half written"));
    QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/.~lock.2.txt#"))), QByteArray("an editor's lock"));
    QCOMPARE(textsIn(folder.recyclePath()), QStringList{});
}

void TestNoteSafety::foreignFilesCountInTheRecycleLimit()
{
    TestPlatform tp;
    tp.clock.setNow(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
    NoteFolder folder(tp.appFolder(), &tp.clock);
    folder.load();
    QVERIFY(folder.save({QString(), "mine"}));
    for (int i = 0; i < NoteFolder::kRecycleKeep + 20; ++i)
        writeRaw(tp.path(QStringLiteral("Notes/foreign-%1.md").arg(i)), "from elsewhere");
    // Files put there from outside are the store's to take in: a save leaves them where they are.
    QVERIFY(folder.save({QString(), "mine"}));
    QVERIFY(folder.sawOutsideChange());
    QCOMPARE(filesIn(tp.path(QStringLiteral("Notes"))).size(), NoteFolder::kRecycleKeep + 21);
    QVERIFY(!QFileInfo::exists(folder.recyclePath()));
    // Removed ones are all kept while recent, and the oldest beyond the limit go a month later.
    QStringList removed;
    for (int i = 0; i < NoteFolder::kRecycleKeep + 20; ++i)
        removed.append(QStringLiteral("removed %1").arg(i));
    QVERIFY(folder.recycle(removed));
    QCOMPARE(filesIn(folder.recyclePath()).size(), NoteFolder::kRecycleKeep + 20);
    tp.clock.advanceMs(qint64(31) * 24 * 3600 * 1000);
    QVERIFY(folder.recycle({QStringLiteral("removed a month later")}));
    QCOMPARE(filesIn(folder.recyclePath()).size(), NoteFolder::kRecycleKeep);
    QVERIFY(textsIn(folder.recyclePath()).contains(QStringLiteral("removed a month later")));
}

void TestNoteSafety::lossyFilesKeepTheirOriginalBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("lossy");
    QTest::newRow("Latin-1") << QByteArray("caf\xE9 au lait") << true;
    QTest::newRow("cp1251") << QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0") << true;
    QTest::newRow("UTF-8 mark, GBK body") << QByteArray("\xEF\xBB\xBF\xC4\xE3\xBA\xC3") << true;
    QTest::newRow("UTF-8 cut mid-character") << QByteArray("\xE4\xBD\xA0\xE5\xA5") << true;
    QTest::newRow("clean GBK converts") << QByteArray("\xC4\xE3\xBA\xC3") << false;
}

void TestNoteSafety::lossyFilesKeepTheirOriginalBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, lossy);
    TestPlatform tp;
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("Notes")));
    writeRaw(tp.path(QStringLiteral("Notes/1.txt")), bytes);
    const QString recycle = tp.path(QStringLiteral("Notes.recycle"));
    {
        NoteFolder folder(tp.appFolder(), &tp.clock);
        const QStringList texts = folder.load().texts;
        QCOMPARE(texts.size(), 1);
        // Opening and closing the application leaves the file as it is.
        QVERIFY(folder.save(QStringList{QString()} + texts));
        QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/1.txt"))), bytes);
        QCOMPARE(filesIn(recycle), QStringList{});
    }
    // An edit converts it; what decoding lost is kept first, once.
    for (const QString& suffix : {QStringLiteral(" edited"), QStringLiteral(" again")}) {
        NoteFolder again(tp.appFolder(), &tp.clock);
        const QString text = again.load().texts.at(0) + suffix;
        QVERIFY(again.save({QString(), text}));
        QCOMPARE(readRaw(tp.path(QStringLiteral("Notes/1.txt"))), encodeNoteBytes(text));
        QCOMPARE(filesIn(recycle), lossy ? QStringList{"1.txt"} : QStringList{});
    }
    if (lossy)
        QCOMPARE(readRaw(recycle + QStringLiteral("/1.txt")), bytes);
}

void TestNoteSafety::createdFilesAreNoMoreOpenThanNotes()
{
    TestPlatform tp;
    const QString notesDir = tp.path(QStringLiteral("Notes"));
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("Notes")));
    QVERIFY(::chmod(QFile::encodeName(notesDir).constData(), 0700) == 0);
    writeRaw(notesDir + QStringLiteral("/1.txt"), encodeNoteBytes(QStringLiteral("private")));
    QVERIFY(::chmod(QFile::encodeName(notesDir + QStringLiteral("/1.txt")).constData(), 0600) == 0);
    // A recovery folder made open by an older version is closed down too.
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("Notes.recycle")));
    QVERIFY(::chmod(QFile::encodeName(tp.path(QStringLiteral("Notes.recycle"))).constData(), 0755) == 0);
    const mode_t oldMask = ::umask(022);
    NoteFolder folder(tp.appFolder(), &tp.clock);
    folder.load();
    const bool saved = folder.save({QString(), "private edited", "new"});
    const bool recycled = folder.recycle({QStringLiteral("removed")});
    ::umask(oldMask);
    QVERIFY(saved);
    QVERIFY(recycled);
    QCOMPARE(modeOf(notesDir + QStringLiteral("/1.txt")), mode_t(0600));
    QCOMPARE(modeOf(notesDir + QStringLiteral("/2.txt")), mode_t(0600));
    QCOMPARE(modeOf(folder.recyclePath()), mode_t(0700));
    const QString recycled0 = folder.recyclePath() + u'/' + filesIn(folder.recyclePath()).value(0);
    QCOMPARE(modeOf(recycled0), mode_t(0600));
}

void TestNoteSafety::readOnlyApplicationFolderStagesInsideNotes()
{
    // Permission bits do not stop root, so the save runs as an ordinary user.
    TestPlatform tp;
    const QString app = tp.path(QStringLiteral("app"));
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("app/Notes")));
    writeRaw(app + QStringLiteral("/Notes/1.txt"), encodeNoteBytes(QStringLiteral("A")));
    QVERIFY(::chmod(QFile::encodeName(tp.appFolder()).constData(), 0755) == 0);
    QVERIFY(giveToUnprivileged(app));
    QVERIFY(::chmod(QFile::encodeName(app).constData(), 0555) == 0);
    const int result = runUnprivileged([&] {
        NoteFolder folder(app);
        if (folder.load().texts != QStringList{"A"})
            return 1;
        if (!folder.save({QString(), "B", "C"}))
            return 2;
        if (textsIn(app + QStringLiteral("/Notes")) != QStringList{"B", "C"})
            return 3;
        // Nor can removed notes go beside Notes: they are kept inside it, hidden.
        if (!folder.recycle({QStringLiteral("C")}) || !folder.save({QString(), "B"}))
            return 4;
        if (textsIn(app + QStringLiteral("/Notes")) != QStringList{"B"} ||
            textsIn(app + QStringLiteral("/Notes/.recycle")) != QStringList{"C"})
            return 5;
        NoteFolder restarted(app);
        if (restarted.load().texts != QStringList{"B"})
            return 6;
        return 0;
    });
    ::chmod(QFile::encodeName(app).constData(), 0755);
    QCOMPARE(result, 0);
    QVERIFY(!QFileInfo::exists(app + QStringLiteral("/Notes/.saving")));
}

void TestNoteSafety::notesOnAnotherMountStagesInsideNotes()
{
    TestPlatform tp;
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("elsewhere")));
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("Notes")));
    const QByteArray notesDir = QFile::encodeName(tp.path(QStringLiteral("Notes")));
    // A bind mount keeps the same device number, yet a rename across it fails with EXDEV.
    if (::mount(QFile::encodeName(tp.path(QStringLiteral("elsewhere"))).constData(), notesDir.constData(),
                nullptr, MS_BIND, nullptr) != 0)
        QSKIP("bind mounts need CAP_SYS_ADMIN");
    NoteFolder folder(tp.appFolder(), &tp.clock);
    folder.load();
    const bool first = folder.save({QString(), "A", "B"});
    const bool second = folder.save({QString(), "B"});
    const QStringList texts = textsIn(tp.path(QStringLiteral("Notes")));
    ::umount2(notesDir.constData(), MNT_DETACH);
    QVERIFY(first);
    QVERIFY(second);
    QCOMPARE(texts, QStringList{"B"});
    QCOMPARE(textsIn(tp.path(QStringLiteral("elsewhere"))), QStringList{"B"});
}

void TestNoteSafety::folderNamedInGbkBytesWorksThroughItsHandle()
{
    // What unzip makes of a folder named on a Chinese system: its name is not UTF-8, so no QString
    // holds it. The store works through a handle on the folder instead, which also survives the
    // folder being renamed while the application runs.
    TestPlatform tp;
    const QByteArray gbkName = QFile::encodeName(tp.appFolder()) + "/\xB1\xE3\xBC\xE3"; // 便笺 in GBK
    QVERIFY(::mkdir(gbkName.constData(), 0700) == 0);
    QVERIFY(::mkdir((gbkName + "/Notes").constData(), 0700) == 0);
    {
        const int fd = ::open((gbkName + "/Notes/1.txt").constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        const QByteArray bytes = encodeNoteBytes(QStringLiteral("在GBK文件夹里"));
        QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
    }
    const QString pinned = FolderHandle::pin(gbkName);
    QVERIFY2(pinned.startsWith(QStringLiteral("/proc/self/fd/")), qPrintable(pinned));
    NoteFolder folder(pinned, &tp.clock);
    QCOMPARE(folder.load().texts, QStringList{"在GBK文件夹里"});
    QVERIFY(::rename(gbkName.constData(), (gbkName + "-renamed").constData()) == 0);
    QVERIFY(folder.save({QString(), "在GBK文件夹里", "typed after the rename"}));
    QCOMPARE(FolderHandle::displayPath(pinned + QStringLiteral("/Notes")),
             QFile::decodeName(gbkName + "-renamed/Notes"));
    const QByteArray renamed = gbkName + "-renamed/Notes";
    struct stat st
    {
    };
    const bool found = ::stat((renamed + "/2.txt").constData(), &st) == 0;
    // QDir cannot remove what it cannot name.
    ::unlink((renamed + "/1.txt").constData());
    ::unlink((renamed + "/2.txt").constData());
    ::rmdir(renamed.constData());
    ::rmdir((gbkName + "-renamed").constData());
    QVERIFY(found);
}

void TestNoteSafety::journalNamesNeverLeaveTheFolder_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QString>("planted");
    // Each journal names a file planted where its rename or removal would take it out of Notes.
    const QByteArray v1("VemraNotes save journal 1\n");
    const QByteArray v2("VemraNotes save journal 2\n");
    QTest::newRow("over Config.ini") << v1 + "R ..%2FConfig.ini\nend\n"
                                     << "Notes/Config.ini";
    QTest::newRow("over Config.ini, current") << v2 + "R ../Config.ini -\nend\n"
                                              << "Notes/Config.ini";
    QTest::newRow("out of the data folder") << v1 + "R ..%2F..%2Fx\nend\n"
                                            << "x";
    QTest::newRow("over the executable") << v1 + "R ..%2FVemraNotes\nend\n"
                                         << "Notes/VemraNotes";
    QTest::newRow("through a linked folder") << v1 + "R d%2Fevil.desktop\nend\n"
                                             << "Notes/.saving/d/evil.desktop";
    QTest::newRow("removal of Config.ini") << v1 + "D STAMP ..%2FConfig.ini\nend\n" << QString();
    QTest::newRow("removal of Config.ini, current") << v2 + "D ..%2FConfig.ini STAMP\nend\n" << QString();
}

void TestNoteSafety::journalNamesNeverLeaveTheFolder()
{
    QFETCH(QByteArray, journal);
    QFETCH(QString, planted);
    TestPlatform tp;
    const QString app = tp.path(QStringLiteral("app"));
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("app/Notes/.saving/d")));
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("autostart")));
    QVERIFY(QFile::link(tp.path(QStringLiteral("autostart")), app + QStringLiteral("/Notes/d")));
    writeRaw(app + QStringLiteral("/Config.ini"), "[General]\n");
    writeRaw(app + QStringLiteral("/VemraNotes"), "the executable");
    writeRaw(app + QStringLiteral("/Notes/1.txt"), encodeNoteBytes(QStringLiteral("note")));
    if (!planted.isEmpty())
        writeRaw(app + u'/' + planted, "planted");
    journal.replace("STAMP", stampFields(app + QStringLiteral("/Config.ini"), journal.contains("journal 1")));
    writeRaw(app + QStringLiteral("/Notes/.saving/journal"), journal);

    NoteFolder folder(app, &tp.clock);
    QCOMPARE(folder.load().texts.value(0), QStringLiteral("note"));
    QCOMPARE(readRaw(app + QStringLiteral("/Config.ini")), QByteArray("[General]\n"));
    QCOMPARE(readRaw(app + QStringLiteral("/VemraNotes")), QByteArray("the executable"));
    QVERIFY(!QFileInfo::exists(tp.path(QStringLiteral("x"))));
    QCOMPARE(entriesIn(tp.path(QStringLiteral("autostart"))), QStringList());
    if (!planted.isEmpty())
        QCOMPARE(readRaw(app + u'/' + planted), QByteArray("planted"));
}

void TestNoteSafety::specialAndHugeFilesNeitherHangNorAct_data()
{
    QTest::addColumn<QString>("special");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("stagedKept");
    QTest::newRow("pipe as a note") << "Notes/2.txt"
                                    << "pipe" << false;
    QTest::newRow("link as a note") << "Notes/2.txt"
                                    << "link" << false;
    QTest::newRow("pipe as the journal") << ".Notes.saving/journal"
                                         << "pipe" << true;
    QTest::newRow("pipe as the next journal") << ".Notes.saving/journal.next"
                                              << "pipe" << false;
    QTest::newRow("committed journal of 6 MB") << ".Notes.saving/journal"
                                               << "huge" << true;
}

void TestNoteSafety::specialAndHugeFilesNeitherHangNorAct()
{
    QFETCH(QString, special);
    QFETCH(QString, kind);
    QFETCH(bool, stagedKept);
    TestPlatform tp;
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("Notes")));
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral(".Notes.saving")));
    writeRaw(tp.path(QStringLiteral("secret")), encodeNoteBytes(QStringLiteral("secret")));
    writeRaw(tp.path(QStringLiteral("Notes/1.txt")), encodeNoteBytes(QStringLiteral("note")));
    writeRaw(tp.path(QStringLiteral(".Notes.saving/1.txt")), encodeNoteBytes(QStringLiteral("staged")));
    // A save that had not committed yet, unless the journal is the file in question.
    if (!special.endsWith(QLatin1String("/journal")))
        writeRaw(tp.path(QStringLiteral(".Notes.saving/journal")), "VemraNotes save journal 2\n");
    const QByteArray path = QFile::encodeName(tp.path(special));
    if (kind == QLatin1String("pipe")) {
        QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    } else if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(tp.path(QStringLiteral("secret")), tp.path(special)));
    } else {
        QByteArray journal("VemraNotes save journal 1\n");
        while (journal.size() < 6 * 1024 * 1024)
            journal += "R 1.txt\n";
        writeRaw(tp.path(special), journal + "end\n");
    }
    // A start or a save that waits on a pipe would hang for good: the alarm ends the test instead.
    ::alarm(20);
    NoteFolder folder(tp.appFolder(), &tp.clock);
    const QStringList loaded = folder.load().texts;
    const bool saved = folder.save({QString(), "note", "more"});
    ::alarm(0);
    QCOMPARE(loaded, QStringList{"note"});
    QVERIFY(saved);
    QCOMPARE(NoteFolder(tp.appFolder(), &tp.clock).load().texts, (QStringList{"note", "more"}));
    QCOMPARE(textsIn(folder.recyclePath()).contains(QStringLiteral("staged")), stagedKept);
}

void TestNoteSafety::interruptedSaveNeverOverwritesWhatTookItsPlace_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<bool>("oldJournal");
    QTest::addColumn<QString>("expectedSecond");
    // A note restored by hand stays; an older journal, which did not record what it replaces, keeps
    // what it replaces in the recovery folder.
    QTest::newRow("note restored by hand") << "restored" << false << "restored";
    QTest::newRow("note restored by hand, older journal") << "restored" << true << "B";
    QTest::newRow("folder in the way, no recovery folder") << "folder" << false << QString();
}

void TestNoteSafety::interruptedSaveNeverOverwritesWhatTookItsPlace()
{
    QFETCH(QString, obstacle);
    QFETCH(bool, oldJournal);
    QFETCH(QString, expectedSecond);
    TestPlatform tp;
    saveStoppedAfterCommit(tp.appFolder(), {QString(), "a", "b"}, {QString(), "A", "B"});
    const QString second = tp.path(QStringLiteral("Notes/2.txt"));
    if (oldJournal)
        writeRaw(tp.path(QStringLiteral(".Notes.saving/journal")),
                 "VemraNotes save journal 1\nR 1.txt\nR 2.txt\nend\n");
    if (obstacle == QLatin1String("folder")) {
        QVERIFY(QFile::remove(second) && QDir().mkpath(second));
        writeRaw(tp.path(QStringLiteral("Notes.recycle")), "in the way");
    } else {
        QVERIFY(putFile(second, encodeNoteBytes(obstacle)));
    }

    NoteFolder restarted(tp.appFolder(), &tp.clock);
    restarted.load();
    if (!expectedSecond.isEmpty())
        QCOMPARE(ReadNoteFile(second), expectedSecond);
    // The staged texts and whatever took their place exist somewhere, whole.
    const QStringList kept = textsBelow(tp.appFolder());
    QVERIFY(kept.contains(QStringLiteral("A")) && kept.contains(QStringLiteral("B")));
    if (obstacle != QLatin1String("folder"))
        QVERIFY(kept.contains(obstacle));
    // While a staged text could be put nowhere, the next save must not clear it away.
    const bool saved = restarted.save({QString(), "A", "C"});
    QCOMPARE(saved, obstacle != QLatin1String("folder"));
    if (!saved)
        QVERIFY(textsBelow(tp.appFolder()).contains(QStringLiteral("B")));
}

QTEST_GUILESS_MAIN(TestNoteSafety)
#include "tst_notesafety.moc"
