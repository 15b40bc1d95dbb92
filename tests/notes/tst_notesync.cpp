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

/// The outside program's action: "put|NAME|TEXT", "delete|NAME", or "renumber|TEXT" (another copy
/// added a note at the top and moved every file one number up).
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

} // namespace

class TestNoteSync : public QObject
{
    Q_OBJECT
private slots:
    void outsideChangesBecomeNotes_data();
    void outsideChangesBecomeNotes();
    void outsideWriteDuringASaveIsNeverLost_data();
    void outsideWriteDuringASaveIsNeverLost();
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

QTEST_GUILESS_MAIN(TestNoteSync)
#include "tst_notesync.moc"
