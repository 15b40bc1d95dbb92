// SPDX-License-Identifier: GPL-3.0-or-later
// A notes folder shared with a sync tool: what another program does to Notes/ while the store runs
// (new, changed, deleted, renumbered, changed on both sides, conflict files, a write in the middle of
// a save) ends up as notes, never only in the recovery folder, and a list that follows the store's
// signals shows what the store holds.
#include "notes/NoteFiles.h"
#include "notes/NoteFolder.h"
#include "notes/NoteStore.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"

#include <QDir>
#include <QtTest>

#include <cstdio>
#include <optional>

namespace {

/// Written as sync tools write: a hidden temporary file, then a rename over the name.
void putOutside(const QString& notes, const QString& name, const QString& text)
{
    const QString temporary = notes + QStringLiteral("/.syncthing.") + name + QStringLiteral(".tmp");
    writeRaw(temporary, encodeNoteBytes(text));
    QCOMPARE(std::rename(QFile::encodeName(temporary).constData(),
                         QFile::encodeName(notes + u'/' + name).constData()),
             0);
}

/// The outside program's action: "put|NAME|TEXT", "delete|NAME", "renumber|TEXT" (another copy
/// added a note at the top and moved every file one number up), or "reorder|TEXT|TEXT|..." (another
/// computer's order arrived: 1.txt, 2.txt, ... now hold these texts).
void actOutside(const QString& notes, const QString& action)
{
    const QString verb = action.section(u'|', 0, 0);
    const QString name = action.section(u'|', 1, 1);
    if (verb == QLatin1String("put")) {
        putOutside(notes, name, action.section(u'|', 2));
    } else if (verb == QLatin1String("delete")) {
        QVERIFY(QFile::remove(notes + u'/' + name));
    } else if (verb == QLatin1String("renumber")) {
        const QStringList files = filesIn(notes);
        for (qsizetype i = files.size(); i > 0; --i)
            QVERIFY(QFile::rename(notes + QStringLiteral("/%1.txt").arg(i),
                                  notes + QStringLiteral("/%1.txt").arg(i + 1)));
        putOutside(notes, QStringLiteral("1.txt"), name);
    } else if (verb == QLatin1String("reorder")) {
        const QStringList texts = action.split(u'|').mid(1);
        for (qsizetype i = 0; i < texts.size(); ++i)
            putOutside(notes, QStringLiteral("%1.txt").arg(i + 1), texts[i]);
    }
}

struct Follower
{
    explicit Follower(NoteStore& store) : entries(store.entries())
    {
        QObject::connect(&store, &NoteStore::entriesAdded, [this](const QStringList& e) { entries += e; });
        QObject::connect(&store, &NoteStore::entryChanged,
                         [this](int i, const QString& e) { entries.replace(i, e); });
        QObject::connect(&store, &NoteStore::entryRemoved, [this](int i) { entries.removeAt(i); });
        QObject::connect(&store, &NoteStore::entriesReset, [this](const QStringList& e) { entries = e; });
        QObject::connect(&store, &NoteStore::editorTextReplaced, [this](const QString& t) { editor = t; });
    }
    QStringList entries;
    QString editor = QStringLiteral("<untouched>");
};

/// A sync tool between two notes folders, as Syncthing works: a file changed on one side since the
/// last run is copied to the other (hidden temporary file, then rename), a deleted one deleted there;
/// when both sides changed it, the first side's version wins and the other becomes a conflict file.
struct SyncTool
{
    QString a;
    QString b;
    QHash<QString, QByteArray> last;

    static QHash<QString, QByteArray> snapshot(const QString& folder)
    {
        QHash<QString, QByteArray> files;
        for (const QString& name : filesIn(folder))
            files.insert(name, readRaw(folder + u'/' + name));
        return files;
    }
    static void put(const QString& folder, const QString& name, const std::optional<QByteArray>& bytes)
    {
        if (!bytes) {
            QFile::remove(folder + u'/' + name);
            return;
        }
        const QString temporary = folder + QStringLiteral("/.syncthing.") + name + QStringLiteral(".tmp");
        writeRaw(temporary, *bytes);
        std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(folder + u'/' + name).constData());
    }
    void run()
    {
        const auto filesA = snapshot(a);
        const auto filesB = snapshot(b);
        QSet<QString> names(last.keyBegin(), last.keyEnd());
        for (const QString& name : filesA.keys() + filesB.keys())
            names.insert(name);
        const auto value = [](const QHash<QString, QByteArray>& files, const QString& name) {
            return files.contains(name) ? std::optional<QByteArray>(files.value(name)) : std::nullopt;
        };
        for (const QString& name : names) {
            const auto inA = value(filesA, name);
            const auto inB = value(filesB, name);
            const auto before = value(last, name);
            if (inA != inB) {
                if (inA == before) {
                    put(a, name, inB);
                } else if (inB == before) {
                    put(b, name, inA);
                } else {
                    const QString conflict = name + QStringLiteral(".sync-conflict-20261207.txt");
                    put(b, name, inA);
                    if (inB) {
                        put(a, conflict, inB);
                        put(b, conflict, inB);
                        last.insert(conflict, *inB);
                    }
                }
            }
            const auto now = value(snapshot(a), name);
            if (now)
                last.insert(name, *now);
            else
                last.remove(name);
        }
    }
};

} // namespace

class TestNoteSync : public QObject
{
    Q_OBJECT
private slots:
    void outsideChangesBecomeNotes_data();
    void outsideChangesBecomeNotes();
    void outsideWriteDuringASaveIsNeverLost_data();
    void outsideWriteDuringASaveIsNeverLost();
    void twoCopiesJoinedByASyncToolEndEqual();
};

void TestNoteSync::outsideChangesBecomeNotes_data()
{
    QTest::addColumn<QString>("edit");   // "" or the text typed into note 2 (B) and not yet saved
    QTest::addColumn<QString>("action"); // see actOutside()
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QString>("editor"); // what the editor was told to show, if anything
    QTest::addColumn<QStringList>("recycled");
    QTest::addColumn<int>("writes"); // note files the next save writes
    const QString untouched = QStringLiteral("<untouched>");
    const QString mark = NoteStore::kOutsideEntryPrefix;
    QTest::newRow("new file") << ""
                              << "put|4.txt|D" << QStringList{"", "A", "B", "C", "D"} << untouched
                              << QStringList{} << 0;
    QTest::newRow("changed file, shown in the editor")
        << ""
        << "put|2.txt|B2" << QStringList{"", "A", "B2", "C"} << "B2" << QStringList{} << 0;
    QTest::newRow("deleted file") << ""
                                  << "delete|2.txt" << QStringList{"", "A", "C"} << "" << QStringList{"B"}
                                  << 0;
    QTest::newRow("renumbered by another copy")
        << ""
        << "renumber|N" << QStringList{"", "N", "A", "B", "C"} << untouched << QStringList{} << 0;
    // The list takes the folder's order, so that no save moves the files back.
    QTest::newRow("reordered by another computer")
        << ""
        << "reorder|C|A|B" << QStringList{"", "C", "A", "B"} << untouched << QStringList{} << 0;
    QTest::newRow("reordered there, edited here")
        << "B mine"
        << "reorder|C|A|B" << QStringList{"", "C", "A", "B mine"} << untouched << QStringList{} << 1;
    QTest::newRow("changed on both sides")
        << "B mine"
        << "put|2.txt|B theirs" << QStringList{"", "A", "B mine", mark + "B theirs", "C"} << untouched
        << QStringList{} << 1;
    QTest::newRow("deleted there, edited here")
        << "B mine"
        << "delete|2.txt" << QStringList{"", "A", "B mine", "C"} << untouched << QStringList{} << 1;
    QTest::newRow("conflict file of a sync tool")
        << ""
        << "put|2.sync-conflict-20261207-120000-ABCDEFG.txt|B other"
        << QStringList{"", "A", "B", "C", "B other"} << untouched << QStringList{} << 0;
    QTest::newRow("conflicted copy") << ""
                                     << "put|2 (conflicted copy 2026-12-07).txt|B copy"
                                     << QStringList{"", "A", "B", "C", "B copy"} << untouched << QStringList{}
                                     << 0;
    QTest::newRow("hidden file is never read")
        << ""
        << "put|.2.txt.part|half" << QStringList{"", "A", "B", "C"} << untouched << QStringList{} << 0;
}

void TestNoteSync::outsideChangesBecomeNotes()
{
    QFETCH(QString, edit);
    QFETCH(QString, action);
    QFETCH(QStringList, notes);
    QFETCH(QString, editor);
    QFETCH(QStringList, recycled);
    QFETCH(int, writes);
    TestPlatform tp;
    const QString notesPath = tp.path(QStringLiteral("Notes"));
    NoteStore store(std::make_unique<NoteFolder>(tp.appFolder(), &tp.clock));
    store.load();
    store.appendNotes({"A", "B", "C"});
    QVERIFY(store.save());
    QVERIFY(store.open(2));
    if (!edit.isEmpty())
        store.commit(edit);
    Follower follower(store);

    actOutside(notesPath, action);
    // The first look sees the file, the second finds it settled and takes it in.
    const bool written =
        !action.startsWith(QLatin1String("delete")) && !action.section(u'|', 1, 1).startsWith(u'.');
    QCOMPARE(store.followFolder(), written);
    if (written)
        QCOMPARE(store.NoteTexts().size(), 4);
    tp.clock.advanceMs(NoteFolder::kSettleMs);
    QVERIFY(!store.followFolder());

    QStringList entries;
    QStringList texts;
    for (const QString& note : notes) {
        const bool marked = note.startsWith(NoteStore::kOutsideEntryPrefix);
        texts.append(marked ? note.mid(NoteStore::kOutsideEntryPrefix.size()) : note);
        entries.append(marked ? note : NoteStore::entryFor(note));
    }
    QCOMPARE(store.NoteTexts(), texts);
    QCOMPARE(store.entries(), entries);
    QCOMPARE(follower.entries, entries);
    QCOMPARE(follower.editor, editor);
    QCOMPARE(textsIn(store.folder().recyclePath()), recycled);

    // The next save keeps everything that came from outside and writes only our own edit.
    const int before = store.folder().filesWritten();
    QVERIFY(store.save());
    QCOMPARE(store.folder().filesWritten() - before, writes);
    texts.removeAll(QString());
    QStringList onDisk = textsIn(notesPath);
    QCOMPARE(onDisk, texts);
    QCOMPARE(textsIn(store.folder().recyclePath()), recycled);
}

void TestNoteSync::outsideWriteDuringASaveIsNeverLost_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("oursKept");
    // The save writes two files (note 1 edited, a new note at the end) and removes none: steps are
    // before its commit and before each rename. Once ours is in place, a later write there replaces
    // a saved note, as a sync tool bringing a newer version does.
    QTest::newRow("before the commit") << 0 << true;
    QTest::newRow("before the rename over it") << 1 << true;
    QTest::newRow("after the rename over it") << 2 << false;
}

void TestNoteSync::outsideWriteDuringASaveIsNeverLost()
{
    QFETCH(int, step);
    QFETCH(bool, oursKept);
    TestPlatform tp;
    const QString notesPath = tp.path(QStringLiteral("Notes"));
    NoteStore store(std::make_unique<NoteFolder>(tp.appFolder(), &tp.clock));
    store.load();
    store.appendNotes({"A", "B"});
    QVERIFY(store.save());
    QVERIFY(store.open(1));
    store.commit(QStringLiteral("A mine"));
    store.appendNotes({"new"});
    int calls = 0;
    store.folder().setStepHook([&] {
        if (calls++ == step)
            putOutside(notesPath, QStringLiteral("1.txt"), QStringLiteral("A theirs"));
        return true;
    });
    QVERIFY(store.save());
    store.folder().setStepHook({});
    store.followFolder();
    tp.clock.advanceMs(NoteFolder::kSettleMs);
    store.followFolder();
    QVERIFY(store.save());

    // Their text is a note; ours is one too, or was kept in the recovery folder.
    const QStringList onDisk = textsIn(notesPath);
    QCOMPARE(onDisk.count(QStringLiteral("A theirs")), 1);
    QCOMPARE(onDisk.count(QStringLiteral("B")), 1);
    QCOMPARE(onDisk.count(QStringLiteral("new")), 1);
    QCOMPARE(onDisk.count(QStringLiteral("A mine")) == 1 ||
                 textsIn(store.folder().recyclePath()).contains(QStringLiteral("A mine")),
             oursKept);
    QCOMPARE(store.NoteTexts().mid(1), onDisk);
}

void TestNoteSync::twoCopiesJoinedByASyncToolEndEqual()
{
    TestPlatform tpA;
    TestPlatform tpB;
    NoteStore a(std::make_unique<NoteFolder>(tpA.appFolder(), &tpA.clock));
    NoteStore b(std::make_unique<NoteFolder>(tpB.appFolder(), &tpB.clock));
    a.load();
    b.load();
    SyncTool sync{tpA.path(QStringLiteral("Notes")), tpB.path(QStringLiteral("Notes")), {}};
    // One copy acts and saves, the tool carries it over, the other looks twice (the file settles).
    const auto settle = [&](NoteStore& store) {
        store.followFolder();
        tpA.clock.advanceMs(NoteFolder::kSettleMs);
        tpB.clock.advanceMs(NoteFolder::kSettleMs);
        store.followFolder();
    };
    const auto round = [&](NoteStore& actor, NoteStore& other, const std::function<void()>& act) {
        act();
        QVERIFY(actor.save());
        sync.run();
        settle(other);
        QVERIFY(other.save());
        sync.run();
        settle(actor);
    };
    round(a, b, [&] { a.commit(QStringLiteral("alpha")); });
    round(b, a, [&] {
        b.addNote();
        b.commit(QStringLiteral("beta"));
    });
    round(a, b, [&] {
        QVERIFY(a.open(a.NoteTexts().indexOf(QStringLiteral("alpha"))));
        a.commit(QStringLiteral("alpha typed in A"));
    });
    round(b, a, [&] {
        QVERIFY(b.open(b.NoteTexts().indexOf(QStringLiteral("beta"))));
        b.commit(QStringLiteral("beta typed in B"));
        b.addNote();
        b.commit(QStringLiteral("gamma"));
    });
    round(a, b, [&] {
        a.removeNote(a.NoteTexts().indexOf(QStringLiteral("beta typed in B")),
                     NoteStore::AfterRemoval::FollowCurrent);
        a.addNote();
        a.commit(QStringLiteral("delta"));
    });
    round(b, a, [&] {
        b.removeNote(b.NoteTexts().indexOf(QStringLiteral("gamma")), NoteStore::AfterRemoval::FollowCurrent);
    });
    // Both close.
    QVERIFY(a.save());
    QVERIFY(b.save());
    sync.run();

    const QStringList inA = NoteFolder(tpA.appFolder(), &tpA.clock).load().texts;
    const QStringList inB = NoteFolder(tpB.appFolder(), &tpB.clock).load().texts;
    QCOMPARE(inA, inB);
    QCOMPARE(inA, (QStringList{"alpha typed in A", "delta"}));
    QVERIFY(textsIn(tpA.path(QStringLiteral("Notes.recycle"))).contains(QStringLiteral("beta typed in B")));
    QVERIFY(textsIn(tpB.path(QStringLiteral("Notes.recycle"))).contains(QStringLiteral("gamma")));
}

QTEST_GUILESS_MAIN(TestNoteSync)
#include "tst_notesync.moc"
