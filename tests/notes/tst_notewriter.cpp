// SPDX-License-Identifier: GPL-3.0-or-later
// Saves on the writer's thread: a later text is never overwritten by an earlier one, saves that wait
// their turn merge into one, a waiting save() comes after the writes given before it, a folder that
// keeps failing is told once, and what a look finds is in before the next save writes.
#include "notes/NoteFiles.h"
#include "notes/NoteFolder.h"
#include "notes/NoteStore.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

struct Fixture
{
    Fixture()
    {
        QDir().mkpath(notes());
        store.reset();
        store.load();
        QObject::connect(&store, &NoteStore::folderFailed,
                         [this](const NoteFolder::Failure& f) { failures.append(f.kind); });
    }
    QString notes() const { return dir.path() + QStringLiteral("/Notes"); }
    QStringList onDisk() const
    {
        QStringList texts;
        const QDir folder(notes());
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name))
            texts.append(ReadNoteFile(folder.filePath(name)));
        return texts;
    }
    /// The writer stops at the first step of its next save until release().
    void holdNextSave()
    {
        store.folder().setStepHook([this] {
            if (!held.exchange(true))
                gate.acquire();
            return true;
        });
    }
    void release() { gate.release(); }

    QTemporaryDir dir;
    FakeClock clock;
    NoteStore store{std::make_unique<NoteFolder>(dir.path(), &clock)};
    QList<NoteFolder::Failure::Kind> failures;
    QSemaphore gate;
    std::atomic<bool> held{false};
};

} // namespace

class TestNoteWriter : public QObject
{
    Q_OBJECT

private slots:
    void laterTextsWinAndWaitingSavesMerge();
    void saveComesAfterTheWritesBeforeIt();
    void aFolderThatKeepsFailingIsToldOnce();
    void whatALookFindsIsInBeforeTheNextSave();
    void aSaveThatMovesManyFilesIsNotStarved_data();
    void aSaveThatMovesManyFilesIsNotStarved();
};

void TestNoteWriter::laterTextsWinAndWaitingSavesMerge()
{
    Fixture f;
    f.holdNextSave();
    f.store.commit(QStringLiteral("first"));
    f.store.saveLater();
    QTRY_VERIFY(f.held);
    for (const char* text : {"second", "third", "last"}) {
        f.store.commit(QString::fromLatin1(text));
        f.store.saveLater();
    }
    f.release();
    f.store.waitForWrites();
    QCOMPARE(f.onDisk(), QStringList{QStringLiteral("last")});
    // The held save, then one for the three that waited.
    QCOMPARE(f.store.folder().filesWritten(), 2);
    QVERIFY(f.store.unsavedTexts().isEmpty());
    QVERIFY(f.failures.isEmpty());
}

void TestNoteWriter::saveComesAfterTheWritesBeforeIt()
{
    Fixture f;
    f.holdNextSave();
    f.store.commit(QStringLiteral("typed"));
    f.store.saveLater();
    QTRY_VERIFY(f.held);
    f.store.commit(QStringLiteral("typed, then closed"));
    std::atomic<bool> released{false};
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        released = true;
        f.release();
    });
    const bool saved = f.store.save();
    releaser.join();
    QVERIFY(saved);
    QVERIFY(released);
    QCOMPARE(f.onDisk(), QStringList{QStringLiteral("typed, then closed")});
}

void TestNoteWriter::aFolderThatKeepsFailingIsToldOnce()
{
    Fixture f;
    f.store.folder().setStepHook([] { return false; });
    for (int key = 0; key < 5; ++key) {
        f.store.commit(QStringLiteral("key %1").arg(key));
        f.store.saveLater();
    }
    f.store.waitForWrites();
    QCOMPARE(f.failures, QList<NoteFolder::Failure::Kind>{NoteFolder::Failure::Write});
    QCOMPARE(f.store.lastFailure().kind, NoteFolder::Failure::Write);
    QCOMPARE(f.store.unsavedTexts(), QStringList{QStringLiteral("key 4")});

    f.store.folder().setStepHook({});
    f.store.saveLater();
    f.store.waitForWrites();
    QCOMPARE(f.store.lastFailure().kind, NoteFolder::Failure::None);
    QCOMPARE(f.onDisk(), QStringList{QStringLiteral("key 4")});
    // After a success the same failure is news again.
    f.store.folder().setStepHook([] { return false; });
    f.store.commit(QStringLiteral("key 5"));
    f.store.saveLater();
    f.store.waitForWrites();
    QCOMPARE(f.failures.size(), 2);
}

void TestNoteWriter::whatALookFindsIsInBeforeTheNextSave()
{
    Fixture f;
    f.store.commit(QStringLiteral("mine"));
    QVERIFY(f.store.save());
    writeRaw(f.notes() + QStringLiteral("/2.txt"), encodeNoteBytes(QStringLiteral("theirs")));
    // The first look sees the file still new; the next, a settle time later, takes it in.
    f.store.followFolderLater();
    f.store.waitForWrites();
    f.clock.advanceMs(NoteFolder::kSettleMs);
    int commitsAsked = 0;
    QObject::connect(&f.store, &NoteStore::aboutToTakeOutsideChanges, [&] { ++commitsAsked; });
    f.store.followFolderLater();
    // Given before the look's findings are in: written only after them.
    f.store.commit(QStringLiteral("mine, edited"));
    f.store.saveLater();
    f.store.waitForWrites();
    QCOMPARE(commitsAsked, 1);
    QCOMPARE(f.store.NoteTexts(), (QStringList{QStringLiteral("mine, edited"), QStringLiteral("theirs")}));
    QCOMPARE(f.onDisk(), (QStringList{QStringLiteral("mine, edited"), QStringLiteral("theirs")}));
}

void TestNoteWriter::aSaveThatMovesManyFilesIsNotStarved_data()
{
    QTest::addColumn<int>("note"); // the note typed into; 0 is the empty one at the top
    QTest::addColumn<bool>("heavy");
    QTest::newRow("one note edited") << 50 << false;
    QTest::newRow("a new note at the top of 100") << 0 << true;
}

void TestNoteWriter::aSaveThatMovesManyFilesIsNotStarved()
{
    QFETCH(int, note);
    QFETCH(bool, heavy);
    const auto niceHere = [] { return ::getpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid))); };
    Fixture f;
    QStringList texts;
    for (int i = 1; i <= 100; ++i)
        texts.append(QStringLiteral("note %1").arg(i));
    f.store.appendNotes(texts);
    QVERIFY(f.store.save());
    std::atomic<int> savedAt{-100};
    f.store.folder().setStepHook([&] {
        savedAt = niceHere();
        return true;
    });
    QVERIFY(f.store.open(note));
    f.store.commit(QStringLiteral("typed"));
    f.store.saveLater();
    f.store.waitForWrites();
    // Light work gives way (nice 10); a save that moves every file keeps the window's priority.
    QCOMPARE(savedAt.load(), heavy ? niceHere() : std::max(niceHere(), 10));
    QCOMPARE(f.onDisk().size(), 100 + (note == 0 ? 1 : 0));
}

QTEST_GUILESS_MAIN(TestNoteWriter)
#include "tst_notewriter.moc"
