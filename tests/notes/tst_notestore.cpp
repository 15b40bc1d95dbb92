// SPDX-License-Identifier: GPL-3.0-or-later
// The note store without a window: placeholders and titles, add, remove (the list button's and the
// editor key's rules), clear, open, typing with no current note, search, and failures of the folder
// told once. A view that only follows the signals must always show what the store holds.
#include "notes/NoteFiles.h"
#include "notes/NoteFolder.h"
#include "notes/NoteStore.h"
#include "support/Fakes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using Removal = NoteStore::Removal;
using AfterRemoval = NoteStore::AfterRemoval;

namespace {

/// What a list box and an editor connected to the store would show.
struct View
{
    explicit View(NoteStore& store) : current(store.CurrentNote()), entries(store.entries())
    {
        QObject::connect(&store, &NoteStore::entriesAdded, [this](const QStringList& e) { entries += e; });
        QObject::connect(&store, &NoteStore::entryChanged,
                         [this](int i, const QString& e) { entries.replace(i, e); });
        QObject::connect(&store, &NoteStore::entryRemoved, [this](int i) { entries.removeAt(i); });
        QObject::connect(&store, &NoteStore::entriesReset, [this](const QStringList& e) { entries = e; });
        QObject::connect(&store, &NoteStore::currentChanged, [this](int i) { current = i; });
        QObject::connect(&store, &NoteStore::editorTextReplaced, [this](const QString& text) {
            editor = text;
            ++replaced;
        });
        QObject::connect(&store, &NoteStore::folderFailed,
                         [this](const NoteFolder::Failure& f) { failures.append(f.kind); });
    }
    int current;
    QStringList entries;
    QString editor;
    int replaced = 0;
    QList<NoteFolder::Failure::Kind> failures;
};

struct Fixture
{
    Fixture()
    {
        QDir().mkpath(dir.path() + QStringLiteral("/Notes"));
        store = std::make_unique<NoteStore>(std::make_unique<NoteFolder>(dir.path(), &clock));
        view = std::make_unique<View>(*store);
        store->reset();
    }
    QString path(const QString& relative) const { return dir.path() + u'/' + relative; }
    /// Note files 1.txt … for the texts, then the store's reset and load.
    void load(const QStringList& files)
    {
        for (int i = 0; i < files.size(); ++i)
            QVERIFY(WriteUtf8File(path(QStringLiteral("Notes/%1.txt").arg(i + 1)), files.at(i)));
        store->reset();
        store->load();
    }
    /// The store holding exactly these texts (note 0 typed into the empty note), note current.
    void fill(const QStringList& texts, int current)
    {
        load(texts.mid(1));
        store->commit(texts.at(0));
        if (current != 0)
            QVERIFY(store->open(current));
        view->replaced = 0;
    }
    QStringList recycled() const
    {
        QStringList texts;
        const QDir recycle(store->folder().recyclePath());
        for (const QString& name : recycle.entryList(QDir::Files))
            texts.append(ReadNoteFile(recycle.filePath(name)));
        texts.sort();
        return texts;
    }
    /// The view follows the store and every entry belongs to its note.
    void verifyInStep() const
    {
        QCOMPARE(view->entries, store->entries());
        QCOMPARE(view->current, store->CurrentNote());
        QCOMPARE(store->entries().size(), store->NoteTexts().size());
        QCOMPARE(store->NoteCount(), int(store->NoteTexts().size()));
    }

    QTemporaryDir dir;
    FakeClock clock;
    std::unique_ptr<NoteStore> store;
    std::unique_ptr<View> view;
};

QString repeated(const QString& part, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += part;
    return text;
}

} // namespace

class TestNoteStore : public QObject
{
    Q_OBJECT
private slots:
    void startsWithOneEmptyNote();
    void commitGivesTheEntryOfTheText_data();
    void commitGivesTheEntryOfTheText();
    void commitWithoutTextKeepsTheStoredText();
    void commitWithoutCurrentNoteDoesNothing();
    void loadAppendsPlainTitlesAfterTheEmptyNote();
    void aLoadPutOffHappensBeforeTheFirstUse_data();
    void aLoadPutOffHappensBeforeTheFirstUse();
    void openShowsTheNote_data();
    void openShowsTheNote();
    void addKeepsTheOtherTexts();
    void removeNote_data();
    void removeNote();
    void keyRemovalOfTheOnlyNoteReadsEmptyAfterItsCommit();
    void clearKeepsOneEmptyNoteAndRecyclesEveryText();
    void typingWithoutCurrentNoteStartsANoteAtTheEnd();
    void search_data();
    void search();
    void searchHitsOutliveRemovals();
    void folderFailuresAreToldOnceUntilASaveSucceeds();
};

void TestNoteStore::startsWithOneEmptyNote()
{
    Fixture f;
    QCOMPARE(f.store->NoteTexts(), QStringList{QString()});
    QCOMPARE(f.store->entries(), QStringList{QStringLiteral("#无内容#")});
    QCOMPARE(f.store->CurrentNote(), 0);
    QVERIFY(f.store->hasCurrentNote());
    f.verifyInStep();
}

void TestNoteStore::commitGivesTheEntryOfTheText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("entry");
    const QString empty = QStringLiteral("#无内容#");
    QTest::newRow("empty") << QString() << empty;
    QTest::newRow("spaces") << QStringLiteral("   ") << empty;
    QTest::newRow("space, CR LF, space") << QStringLiteral(" \r\n ") << empty;
    QTest::newRow("CR LF pairs only") << QStringLiteral("\r\n\r\n") << empty;
    // Spaces count only at the ends: what is left between the breaks is not blank here.
    QTest::newRow("CR LF, two spaces, CR LF") << QStringLiteral("\r\n  \r\n") << QStringLiteral("\r\n  \r\n");
    QTest::newRow("tab") << QStringLiteral("\t") << QStringLiteral("\t");
    QTest::newRow("lone LF") << QStringLiteral("\n") << QStringLiteral("\n");
    QTest::newRow("CR CR LF LF") << QStringLiteral("\r\r\n\n") << QStringLiteral("\r\r\n\n");
    QTest::newRow("full-width space") << QStringLiteral("\u3000") << QStringLiteral("\u3000");
    QTest::newRow("short") << QStringLiteral("Hello") << QStringLiteral("Hello");
    QTest::newRow("32 letters") << QString(32, u'a') << QString(32, u'a');
    QTest::newRow("33 letters") << QString(33, u'a') << QString(30, u'a') + QStringLiteral("...");
    QTest::newRow("20 Chinese") << repeated(QStringLiteral("字"), 20)
                                << repeated(QStringLiteral("字"), 15) + QStringLiteral("...");
    QTest::newRow("17 W") << QString(17, u'W') << QString(15, u'W') + QStringLiteral("...");
    QTest::newRow("surrounding spaces kept in the title") << QStringLiteral(" a ") << QStringLiteral(" a ");
}

void TestNoteStore::commitGivesTheEntryOfTheText()
{
    QFETCH(QString, text);
    QFETCH(QString, entry);
    Fixture f;
    f.fill({QStringLiteral("zero"), QStringLiteral("one"), QStringLiteral("two")}, 1);
    f.store->commit(text);
    QCOMPARE(f.store->NoteTexts(), (QStringList{QStringLiteral("zero"), text, QStringLiteral("two")}));
    QCOMPARE(f.store->entries().at(1), entry);
    QCOMPARE(f.store->entries().at(2), QStringLiteral("two"));
    QCOMPARE(NoteStore::entryFor(text), entry);
    f.verifyInStep();
}

void TestNoteStore::commitWithoutTextKeepsTheStoredText()
{
    Fixture f;
    // Characters a text box would give back changed: a commit without an edit must not touch them.
    const QString odd = QStringLiteral("a\u00A0b\u2028c");
    f.fill({QString(), odd}, 1);
    f.store->commit(std::nullopt);
    QCOMPARE(f.store->NoteTexts().at(1), odd);
    QCOMPARE(f.store->entries().at(1), odd);
    f.verifyInStep();
}

void TestNoteStore::commitWithoutCurrentNoteDoesNothing()
{
    Fixture f;
    f.fill({QString(), QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}, 2);
    QCOMPARE(f.store->removeNote(2, AfterRemoval::FollowCurrent), Removal::Removed);
    QCOMPARE(f.store->CurrentNote(), -1);
    QVERIFY(!f.store->hasCurrentNote());
    const QStringList before = f.store->NoteTexts();
    const QStringList entriesBefore = f.store->entries();
    f.store->commit(QStringLiteral("typed"));
    f.store->commit(std::nullopt);
    QCOMPARE(f.store->NoteTexts(), before);
    QCOMPARE(f.store->entries(), entriesBefore);
    f.verifyInStep();
}

void TestNoteStore::loadAppendsPlainTitlesAfterTheEmptyNote()
{
    Fixture f;
    const QString longText = QString(40, u'x');
    f.load({QStringLiteral("one"), QStringLiteral("   "), longText});
    QCOMPARE(f.store->NoteTexts(),
             (QStringList{QString(), QStringLiteral("one"), QStringLiteral("   "), longText}));
    // A blank file keeps its blank title until a commit gives it the placeholder.
    QCOMPARE(f.store->entries(),
             (QStringList{QStringLiteral("#无内容#"), QStringLiteral("one"), QStringLiteral("   "),
                          QString(30, u'x') + QStringLiteral("...")}));
    QCOMPARE(f.store->CurrentNote(), 0);
    QCOMPARE(f.view->replaced, 1);
    QCOMPARE(f.view->editor, QString());
    f.verifyInStep();
}

void TestNoteStore::aLoadPutOffHappensBeforeTheFirstUse_data()
{
    QTest::addColumn<QString>("use");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("current");
    const QString one = QStringLiteral("one");
    const QString two = QStringLiteral("two");
    QTest::newRow("commit") << "commit" << QStringList{QStringLiteral("typed"), one, two} << 0;
    QTest::newRow("add") << "add" << QStringList{QString(), one, two, QString()} << 3;
    QTest::newRow("open") << "open" << QStringList{QString(), one, two} << 2;
    QTest::newRow("search") << "search" << QStringList{QString(), one, two} << 0;
    QTest::newRow("save") << "save" << QStringList{QString(), one, two} << 0;
    QTest::newRow("clear") << "clear" << QStringList{QString()} << 0;
    QTest::newRow("count") << "count" << QStringList{QString(), one, two} << 0;
    QTest::newRow("typed and saved while the folder is read on the writer's thread")
        << "background" << QStringList{QStringLiteral("typed"), one, two} << 0;
}

void TestNoteStore::aLoadPutOffHappensBeforeTheFirstUse()
{
    QFETCH(QString, use);
    QFETCH(QStringList, texts);
    QFETCH(int, current);
    Fixture f;
    QVERIFY(WriteUtf8File(f.path(QStringLiteral("Notes/1.txt")), QStringLiteral("one")));
    QVERIFY(WriteUtf8File(f.path(QStringLiteral("Notes/2.txt")), QStringLiteral("two")));
    f.store->loadWhenNeeded();
    // Note 0 is shown at once; nothing of the folder is in the store yet.
    QVERIFY(f.store->isLoadPending());
    QCOMPARE(f.view->entries, QStringList{NoteStore::kEmptyEntry});
    QCOMPARE(f.view->replaced, 1);
    QCOMPARE(f.view->editor, QString());

    if (use == "commit") {
        f.store->commit(QStringLiteral("typed"));
        QCOMPARE(f.view->replaced, 1); // the editor keeps what was typed
        // Typing into the note shown needs nothing of the folder: it never waits for the disk.
        QVERIFY(f.store->isLoadPending());
    } else if (use == "background") {
        f.store->loadInBackground();
        f.store->commit(QStringLiteral("typed"));
        // Before the folder's notes are in, a save would write the folder without them.
        f.store->saveLater();
        f.store->waitForWrites();
        QCOMPARE(ReadNoteFile(f.path(QStringLiteral("Notes/1.txt"))), QStringLiteral("typed"));
        QCOMPARE(ReadNoteFile(f.path(QStringLiteral("Notes/3.txt"))), QStringLiteral("two"));
    } else if (use == "add") {
        f.store->addNote();
    } else if (use == "open") {
        QVERIFY(f.store->open(2));
        QCOMPARE(f.view->editor, QStringLiteral("two"));
    } else if (use == "search") {
        QCOMPARE(f.store->search(QStringLiteral("tw")), QList<int>{2});
    } else if (use == "save") {
        QVERIFY(f.store->save());
    } else if (use == "clear") {
        f.store->clearNotes();
        QCOMPARE(f.recycled(), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    } else {
        QCOMPARE(f.store->NoteCount(), 3);
    }
    QCOMPARE(f.store->NoteTexts(), texts);
    QVERIFY(!f.store->isLoadPending());
    QCOMPARE(f.store->CurrentNote(), current);
    f.verifyInStep();
    // Whatever came first, the folder still holds every note it held, or has them recycled.
    if (use != "clear") {
        QVERIFY(f.store->save());
        QCOMPARE(ReadNoteFile(f.path(QStringLiteral("Notes/1.txt"))),
                 texts.at(0).isEmpty() ? QStringLiteral("one") : texts.at(0));
    }
}

void TestNoteStore::openShowsTheNote_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("opened");
    QTest::newRow("first") << 0 << true;
    QTest::newRow("middle") << 2 << true;
    QTest::newRow("last") << 3 << true;
    QTest::newRow("none selected") << -1 << false;
    QTest::newRow("past the end") << 4 << false;
}

void TestNoteStore::openShowsTheNote()
{
    QFETCH(int, index);
    QFETCH(bool, opened);
    Fixture f;
    const QStringList texts{QStringLiteral("zero"), QStringLiteral("one"), QStringLiteral("two"),
                            QStringLiteral("three")};
    f.fill(texts, 1);
    QCOMPARE(f.store->open(index), opened);
    QCOMPARE(f.store->CurrentNote(), opened ? index : 1);
    QCOMPARE(f.view->replaced, opened ? 1 : 0);
    if (opened)
        QCOMPARE(f.view->editor, texts.at(index));
    QCOMPARE(f.store->NoteTexts(), texts);
    f.verifyInStep();
}

void TestNoteStore::addKeepsTheOtherTexts()
{
    Fixture f;
    f.fill({QString(), QStringLiteral("one"), QStringLiteral("two")}, 2);
    f.store->addNote();
    QCOMPARE(f.store->NoteTexts(),
             (QStringList{QString(), QStringLiteral("one"), QStringLiteral("two"), QString()}));
    QCOMPARE(f.store->entries().at(3), QStringLiteral("#无内容#"));
    QCOMPARE(f.store->CurrentNote(), 3);
    QCOMPARE(f.view->replaced, 1);
    QCOMPARE(f.view->editor, QString());
    f.store->commit(QStringLiteral("abc"));
    QCOMPARE(f.store->entries().at(3), QStringLiteral("abc"));
    QCOMPARE(f.store->NoteTexts().at(2), QStringLiteral("two"));
    f.verifyInStep();
}

void TestNoteStore::removeNote_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("index");
    QTest::addColumn<AfterRemoval>("rule");
    QTest::addColumn<Removal>("removal");
    QTest::addColumn<QStringList>("textsAfter");
    QTest::addColumn<int>("currentAfter");
    // What the editor is told to show; an invalid QVariant when it keeps its text.
    QTest::addColumn<QVariant>("editor");

    const QStringList four{QStringLiteral("zero"), QStringLiteral("one"), QStringLiteral("two"),
                           QStringLiteral("three")};
    const QStringList three = four.mid(0, 3);
    const auto without = [](QStringList texts, int i) {
        texts.removeAt(i);
        return texts;
    };
    const QVariant unchanged;
    const QVariant cleared = QString();
    const QVariant noteZero = QStringLiteral("zero");
    const auto follow = AfterRemoval::FollowCurrent;
    const auto first = AfterRemoval::ShowFirstNote;

    for (const AfterRemoval rule : {follow, first}) {
        const char* by = rule == follow ? "button" : "key";
        QTest::addRow("%s: the only note", by)
            << QStringList{QStringLiteral("draft")} << 0 << 0 << rule << Removal::OnlyNoteBlanked
            << QStringList{QString()} << 0 << cleared;
        QTest::addRow("%s: the last entry, current", by)
            << three << 2 << 2 << rule << Removal::LastRemoved << without(three, 2) << 0 << noteZero;
        QTest::addRow("%s: the last entry, another current", by)
            << three << 1 << 2 << rule << Removal::LastRemoved << without(three, 2) << 0 << noteZero;
        QTest::addRow("%s: none selected", by)
            << four << 2 << -1 << rule << Removal::None << four << 2 << unchanged;
        QTest::addRow("%s: past the end", by)
            << four << 2 << 4 << rule << Removal::None << four << 2 << unchanged;
    }
    QTest::newRow("button: before the current note")
        << four << 3 << 1 << follow << Removal::Removed << without(four, 1) << 2 << unchanged;
    QTest::newRow("button: the first of several, current after it")
        << four << 2 << 0 << follow << Removal::Removed << without(four, 0) << 1 << unchanged;
    QTest::newRow("button: the current note in the middle")
        << four << 2 << 2 << follow << Removal::Removed << without(four, 2) << -1 << cleared;
    QTest::newRow("button: after the current note")
        << four << 1 << 2 << follow << Removal::Removed << without(four, 2) << 1 << unchanged;
    QTest::newRow("key: before the current note")
        << four << 3 << 1 << first << Removal::Removed << without(four, 1) << 0 << noteZero;
    QTest::newRow("key: the current note in the middle")
        << four << 2 << 2 << first << Removal::Removed << without(four, 2) << 0 << noteZero;
    QTest::newRow("key: note 0 itself") << four << 0 << 0 << first << Removal::Removed << without(four, 0)
                                        << 0 << QVariant(QStringLiteral("one"));
}

void TestNoteStore::removeNote()
{
    QFETCH(QStringList, texts);
    QFETCH(int, current);
    QFETCH(int, index);
    QFETCH(AfterRemoval, rule);
    QFETCH(Removal, removal);
    QFETCH(QStringList, textsAfter);
    QFETCH(int, currentAfter);
    QFETCH(QVariant, editor);
    Fixture f;
    f.fill(texts, current);
    QCOMPARE(f.store->removeNote(index, rule), removal);
    QCOMPARE(f.store->NoteTexts(), textsAfter);
    QCOMPARE(f.store->CurrentNote(), currentAfter);
    if (!editor.isValid()) {
        QCOMPARE(f.view->replaced, 0);
    } else {
        QCOMPARE(f.view->replaced, 1);
        QCOMPARE(f.view->editor, editor.toString());
    }
    if (removal == Removal::OnlyNoteBlanked)
        QCOMPARE(f.store->entries(), QStringList{QStringLiteral("#无标题#")});
    // Every other entry still shows its own note.
    for (int i = 0; i < f.store->NoteCount() && removal != Removal::OnlyNoteBlanked; ++i)
        QCOMPARE(f.store->entries().at(i), NoteStore::entryFor(f.store->NoteTexts().at(i)));
    // The removed text is kept in the recovery folder before it leaves the store.
    QCOMPARE(f.recycled(), removal == Removal::None ? QStringList() : QStringList{texts.at(qMax(index, 0))});
    f.verifyInStep();
}

void TestNoteStore::keyRemovalOfTheOnlyNoteReadsEmptyAfterItsCommit()
{
    Fixture f;
    f.fill({QStringLiteral("only")}, 0);
    QCOMPARE(f.store->removeNote(0, AfterRemoval::ShowFirstNote), Removal::OnlyNoteBlanked);
    QCOMPARE(f.store->entries(), QStringList{QStringLiteral("#无标题#")});
    f.store->commit(std::nullopt);
    QCOMPARE(f.store->entries(), QStringList{QStringLiteral("#无内容#")});
    QCOMPARE(f.store->NoteTexts(), QStringList{QString()});
    f.verifyInStep();
}

void TestNoteStore::clearKeepsOneEmptyNoteAndRecyclesEveryText()
{
    Fixture f;
    QStringList ten;
    for (int i = 1; i <= 10; ++i)
        ten << QStringLiteral("note %1").arg(i);
    f.fill(QStringList{QString()} + ten, 4);
    f.store->clearNotes();
    QCOMPARE(f.store->NoteTexts(), QStringList{QString()});
    QCOMPARE(f.store->entries(), QStringList{QStringLiteral("#无内容#")});
    QCOMPARE(f.store->CurrentNote(), 0);
    QCOMPARE(f.view->replaced, 1);
    QCOMPARE(f.view->editor, QString());
    ten.sort();
    QCOMPARE(f.recycled(), ten);
    f.verifyInStep();
    QVERIFY(f.store->save());
    QCOMPARE(QDir(f.path(QStringLiteral("Notes"))).entryList(QDir::Files), QStringList());
}

void TestNoteStore::typingWithoutCurrentNoteStartsANoteAtTheEnd()
{
    Fixture f;
    f.fill({QString(), QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}, 1);
    QVERIFY(!f.store->adoptEditor());
    QCOMPARE(f.store->NoteCount(), 4);
    QCOMPARE(f.store->removeNote(1, AfterRemoval::FollowCurrent), Removal::Removed);
    QCOMPARE(f.store->CurrentNote(), -1);
    f.view->replaced = 0;
    QVERIFY(f.store->adoptEditor());
    QCOMPARE(f.store->CurrentNote(), 3);
    QCOMPARE(f.store->entries().at(3), QStringLiteral("#无内容#"));
    QCOMPARE(f.view->replaced, 0); // what was typed stays in the editor
    f.store->commit(QStringLiteral("not lost"));
    QCOMPARE(f.store->NoteTexts(), (QStringList{QString(), QStringLiteral("two"), QStringLiteral("three"),
                                                QStringLiteral("not lost")}));
    QVERIFY(!f.store->adoptEditor());
    f.verifyInStep();
}

void TestNoteStore::search_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QList<int>>("hits");
    QTest::newRow("ab matches case") << QStringLiteral("ab") << QList<int>{1};
    QTest::newRow("b") << QStringLiteral("b") << QList<int>{1, 3};
    QTest::newRow("AB") << QStringLiteral("AB") << QList<int>{2};
    QTest::newRow("no hit") << QStringLiteral("abc") << QList<int>{};
    QTest::newRow("Chinese") << QStringLiteral("文") << QList<int>{4};
}

void TestNoteStore::search()
{
    QFETCH(QString, needle);
    QFETCH(QList<int>, hits);
    Fixture f;
    f.fill({QString(), QStringLiteral("xaby"), QStringLiteral("AB"), QStringLiteral("b"),
            QStringLiteral("中文")},
           0);
    QCOMPARE(f.store->search(needle), hits);
    QCOMPARE(f.store->searchHits(), hits);
    for (int row = 0; row < hits.size(); ++row)
        QCOMPARE(f.store->searchHit(row), hits.at(row));
    QCOMPARE(f.store->searchHit(int(hits.size())), -1);
    QCOMPARE(f.store->searchHit(-1), -1);
}

void TestNoteStore::searchHitsOutliveRemovals()
{
    Fixture f;
    f.fill({QString(), QStringLiteral("xaby"), QStringLiteral("AB"), QStringLiteral("b")}, 0);
    QCOMPARE(f.store->search(QStringLiteral("b")), (QList<int>{1, 3}));
    QCOMPARE(f.store->removeNote(1, AfterRemoval::ShowFirstNote), Removal::Removed);
    // The hits stay as found; the one past the end is for the caller to ignore.
    QCOMPARE(f.store->searchHits(), (QList<int>{1, 3}));
    QVERIFY(f.store->searchHit(1) > f.store->NoteCount() - 1);
    f.store->addNote();
    QCOMPARE(f.store->searchHits(), (QList<int>{1, 3}));
    QCOMPARE(f.store->search(QStringLiteral("b")), QList<int>{2});
}

void TestNoteStore::folderFailuresAreToldOnceUntilASaveSucceeds()
{
    Fixture f;
    f.fill({QString(), QStringLiteral("keep me"), QStringLiteral("remove me"), QStringLiteral("me too")}, 0);
    const QString recycle = f.store->folder().recyclePath();
    // A file where the recovery folder belongs: removed notes cannot be kept aside.
    const auto block = [&] {
        QDir(recycle).removeRecursively();
        QFile file(recycle);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("in the way") > 0);
    };
    block();
    QCOMPARE(f.store->removeNote(3, AfterRemoval::FollowCurrent), Removal::LastRemoved);
    f.store->waitForWrites();
    QCOMPARE(f.view->failures, QList<NoteFolder::Failure::Kind>{NoteFolder::Failure::Recycle});
    QCOMPARE(f.store->removeNote(2, AfterRemoval::FollowCurrent), Removal::LastRemoved);
    QVERIFY(!f.store->save());
    QVERIFY(!f.store->save());
    QCOMPARE(f.view->failures.size(), 1);
    // Nothing leaves Notes while the removed texts wait for their copy.
    QCOMPARE(QDir(f.path(QStringLiteral("Notes"))).entryList(QDir::Files).size(), 3);

    QVERIFY(QFile::remove(recycle));
    QVERIFY(f.store->save());
    QCOMPARE(f.recycled(), (QStringList{QStringLiteral("me too"), QStringLiteral("remove me")}));
    QCOMPARE(QDir(f.path(QStringLiteral("Notes"))).entryList(QDir::Files),
             QStringList{QStringLiteral("1.txt")});
    QCOMPARE(ReadNoteFile(f.path(QStringLiteral("Notes/1.txt"))), QStringLiteral("keep me"));

    // After a success the same failure is news again.
    block();
    f.store->clearNotes();
    f.store->waitForWrites();
    QCOMPARE(f.view->failures.size(), 2);
    f.verifyInStep();
}

QTEST_GUILESS_MAIN(TestNoteStore)
#include "tst_notestore.moc"
