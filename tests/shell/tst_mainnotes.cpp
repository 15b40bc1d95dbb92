// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QDir>
#include <QLabel>
#include <QtTest>

namespace {
struct Window
{
    explicit Window(TestPlatform& tp, const QStringList& files = {})
    {
        for (int i = 0; i < files.size(); ++i)
            writeFile(tp.path(QStringLiteral("Notes/%1.txt").arg(i + 1)), utf8WithBom(files[i]));
        w = std::make_unique<FrmMain>(tp.platform());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->ensureNoteList();
        list = control<ListBoxW>(w.get(), QStringLiteral("List1"));
        search = control<ListBoxW>(w.get(), QStringLiteral("ListSearch"));
        editor = control<TextBoxW>(w.get(), QStringLiteral("Text1"));
        searchBox = control<TextBoxW>(w.get(), QStringLiteral("Text2"));
        panel = control<QWidget>(w.get(), QStringLiteral("Picture7"));
    }
    void openPanel()
    {
        if (!panel->isVisible())
            QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Picture1")), Qt::LeftButton);
    }
    void button(int index)
    {
        QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Picture8_%1").arg(index)),
                          Qt::LeftButton);
    }
    std::unique_ptr<FrmMain> w;
    ListBoxW* list = nullptr;
    ListBoxW* search = nullptr;
    TextBoxW* editor = nullptr;
    TextBoxW* searchBox = nullptr;
    QWidget* panel = nullptr;
};

QStringList recycled(const TestPlatform& tp)
{
    QStringList texts;
    QDir dir(tp.path(QStringLiteral("Notes.recycle")));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        texts << QString::fromUtf8(readFile(dir.filePath(name))).remove(QChar(0xFEFF));
    return texts;
}
} // namespace

class TestMainNotes : public QObject
{
    Q_OBJECT
private slots:
    void openNoteByDoubleClickOnly();
    void addNoteKeepsCurrentText();
    void removeLastCurrentEntryShowsNoteZero();
    void removeMiddleEntries();
    void removeOnlyNoteLeavesUntitled();
    void clearLeavesOneEmptyNoteAndRecyclesTexts();
    void undoPutsRemovedNotesBack_data();
    void undoPutsRemovedNotesBack();
    void searchShowsHitsAndRestores();
    void searchPromptIsGreyWhenEmptyAndUnfocused();
    void editorDisabledExactlyWhileListShown();
};

void TestMainNotes::openNoteByDoubleClickOnly()
{
    TestPlatform tp;
    Window m(tp, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    QCOMPARE(m.list->items(), (QStringList{QStringLiteral("#无内容#"), QStringLiteral("one"),
                                           QStringLiteral("two"), QStringLiteral("three")}));
    m.openPanel();
    QVERIFY(!m.editor->isEnabled());
    clickRow(m.list, 2);
    QCOMPARE(m.list->ListIndex(), 2);
    QCOMPARE(m.w->CurrentNote(), 0);
    QVERIFY(m.panel->isVisible());
    doubleClickRow(m.list, 2);
    QCOMPARE(m.w->CurrentNote(), 2);
    QCOMPARE(m.editor->text(), QStringLiteral("two"));
    QVERIFY(!m.panel->isVisible());
    QVERIFY(m.editor->isEnabled());
    m.editor->setFocus();
    m.editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(m.editor, QStringLiteral(" more"));
    m.openPanel();
    QCOMPARE(m.list->List(2), QStringLiteral("two more"));
}

void TestMainNotes::addNoteKeepsCurrentText()
{
    TestPlatform tp;
    Window m(tp, {QStringLiteral("one"), QStringLiteral("two")});
    m.openPanel();
    doubleClickRow(m.list, 2);
    m.openPanel();
    m.button(2);
    QCOMPARE(m.w->noteTexts().at(2), QStringLiteral("two"));
    QCOMPARE(m.editor->text(), QString());
    QCOMPARE(m.list->ListCount(), 4);
    QCOMPARE(m.list->List(3), QStringLiteral("#无内容#"));
    QCOMPARE(m.w->CurrentNote(), 3);
    QVERIFY(!m.panel->isVisible());
    QTest::keyClicks(m.editor, QStringLiteral("abc"));
    m.openPanel();
    QCOMPARE(m.list->List(3), QStringLiteral("abc"));
}

void TestMainNotes::removeLastCurrentEntryShowsNoteZero()
{
    TestPlatform tp;
    Window m(tp, {QStringLiteral("one"), QStringLiteral("two")});
    m.openPanel();
    doubleClickRow(m.list, 2);
    m.openPanel();
    clickRow(m.list, 2);
    m.button(1);
    QCOMPARE(m.list->ListCount(), 2);
    QCOMPARE(m.w->noteTexts(), (QStringList{QString(), QStringLiteral("one")}));
    QCOMPARE(m.w->CurrentNote(), 0);
    QCOMPARE(m.editor->text(), QString());
    QVERIFY(m.panel->isVisible());
    QTRY_COMPARE(recycled(tp), QStringList{QStringLiteral("two")});
}

void TestMainNotes::removeMiddleEntries()
{
    TestPlatform tp;
    Window m(tp, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    m.openPanel();
    doubleClickRow(m.list, 3);
    m.openPanel();
    clickRow(m.list, 1); // before the current note: the editor stays tied to "three"
    m.button(1);
    QCOMPARE(m.w->CurrentNote(), 2);
    QCOMPARE(m.list->ListIndex(), -1);
    QCOMPARE(m.editor->text(), QStringLiteral("three"));
    m.w->CommitEditor();
    QCOMPARE(m.w->noteTexts(), (QStringList{QString(), QStringLiteral("two"), QStringLiteral("three")}));

    clickRow(m.list, 1); // now a middle entry that is not current... make it current first
    doubleClickRow(m.list, 1);
    m.openPanel();
    clickRow(m.list, 1);
    m.button(1);
    QCOMPARE(m.w->CurrentNote(), -1);
    QCOMPARE(m.editor->text(), QString());
    m.w->CommitEditor(); // no current note: nothing stored
    QCOMPARE(m.w->noteTexts(), (QStringList{QString(), QStringLiteral("three")}));
}

void TestMainNotes::removeOnlyNoteLeavesUntitled()
{
    TestPlatform tp;
    Window m(tp);
    m.editor->setText(QStringLiteral("draft"));
    m.openPanel();
    clickRow(m.list, 0);
    m.button(1);
    QCOMPARE(m.list->items(), QStringList{QStringLiteral("#无标题#")});
    QCOMPARE(m.editor->text(), QString());
    QCOMPARE(m.w->noteTexts(), QStringList{QString()});
    QVERIFY(!m.panel->isVisible());
    QTRY_COMPARE(recycled(tp), QStringList{QStringLiteral("draft")});
}

void TestMainNotes::clearLeavesOneEmptyNoteAndRecyclesTexts()
{
    TestPlatform tp;
    QStringList ten;
    for (int i = 1; i <= 10; ++i)
        ten << QStringLiteral("note %1").arg(i);
    Window m(tp, ten);
    m.openPanel();
    m.button(0);
    QCOMPARE(m.list->items(), QStringList{QStringLiteral("#无内容#")});
    QCOMPARE(m.w->noteTexts(), QStringList{QString()});
    QVERIFY(!m.panel->isVisible());
    m.w->SaveSettingsAndNotes();
    QCOMPARE(QDir(tp.path(QStringLiteral("Notes"))).entryList(QDir::Files), QStringList());
    QStringList kept = recycled(tp);
    kept.sort();
    ten.sort();
    QCOMPARE(kept, ten);
}

void TestMainNotes::undoPutsRemovedNotesBack_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("bar"); // what the bar said after the last removal
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<int>("current");
    const QStringList all = {QString(), QStringLiteral("one"), QStringLiteral("two"),
                             QStringLiteral("three")};
    // Steps: "open N" opens note N from the list, "select N" selects entry N in the open list, the
    // buttons "remove", "clear", "add", "delete" and "ctrl+z" pressed in the list, "save", "type"
    // into the editor, and "undo" clicks 撤销 (or, with the bar gone, asks the window for it).
    QTest::newRow("remove one") << "select 2 remove undo"
                                << "已移除 1 条便笺" << all << 0;
    QTest::newRow("remove the current note: it is shown again") << "open 2 select 2 remove undo"
                                                                << "已移除 1 条便笺" << all << 2;
    QTest::newRow("clear many, saved before the undo") << "open 3 clear save undo"
                                                       << "已清空 4 条便笺" << all << 3;
    QTest::newRow("Delete, then Ctrl+Z in the list") << "select 3 delete ctrl+z"
                                                     << "已移除 1 条便笺" << all << 0;
    QTest::newRow("undo after another change does nothing")
        << "select 1 remove add undo"
        << "已移除 1 条便笺"
        << QStringList{QString(), QStringLiteral("two"), QStringLiteral("three"), QString()} << 3;
    QTest::newRow("undo after typing does nothing")
        << "clear type undo"
        << "已清空 4 条便笺" << QStringList{QStringLiteral("x")} << 0;
}

void TestMainNotes::undoPutsRemovedNotesBack()
{
    QFETCH(QString, steps);
    QFETCH(QString, bar);
    QFETCH(QStringList, notes);
    QFETCH(int, current);
    TestPlatform tp;
    Window m(tp, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    const auto undoBar = [&]() { return m.w->findChild<QWidget*>(QStringLiteral("UndoBar")); };
    QString said;
    const QStringList words = steps.split(u' ');
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& step = words.at(i);
        if (step == QLatin1String("open")) {
            m.openPanel();
            doubleClickRow(m.list, words.at(++i).toInt());
        } else if (step == QLatin1String("select")) {
            m.openPanel();
            clickRow(m.list, words.at(++i).toInt());
        } else if (step == QLatin1String("remove") || step == QLatin1String("clear") ||
                   step == QLatin1String("add")) {
            m.openPanel();
            m.button(step == QLatin1String("remove") ? 1 : step == QLatin1String("clear") ? 0 : 2);
        } else if (step == QLatin1String("delete") || step == QLatin1String("ctrl+z")) {
            m.list->setFocus();
            QTest::keyClick(m.list, step == QLatin1String("delete") ? Qt::Key_Delete : Qt::Key_Z,
                            step == QLatin1String("delete") ? Qt::NoModifier : Qt::ControlModifier);
        } else if (step == QLatin1String("save")) {
            QVERIFY(m.w->SaveSettingsAndNotes());
        } else if (step == QLatin1String("type")) {
            m.editor->setFocus();
            QTest::keyClicks(m.editor, QStringLiteral("x"));
        } else if (step == QLatin1String("undo")) {
            if (undoBar() && undoBar()->isVisible())
                QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("UndoButton")), Qt::LeftButton);
            else
                m.w->UndoRemoval();
        }
        if (undoBar() && undoBar()->isVisible())
            said = control<QLabel>(m.w.get(), QStringLiteral("UndoLabel"))->text();
    }
    QCOMPARE(said, bar);
    QCOMPARE(m.w->noteTexts(), notes);
    QCOMPARE(m.w->CurrentNote(), current);
    QCOMPARE(m.editor->text(), notes.value(current));
    QVERIFY(!undoBar() || !undoBar()->isVisible());
    // The list shows the notes it holds, and the next save writes them back into the folder; their
    // copies in the recovery folder stay.
    QCOMPARE(m.list->items().size(), notes.size());
    QVERIFY(m.w->SaveSettingsAndNotes());
    qsizetype written = 0;
    for (const QString& text : notes)
        written += text.isEmpty() ? 0 : 1;
    QCOMPARE(QDir(tp.path(QStringLiteral("Notes"))).entryList(QDir::Files).size(), written);
    QVERIFY(!recycled(tp).isEmpty());
}

void TestMainNotes::searchShowsHitsAndRestores()
{
    TestPlatform tp;
    Window m(tp, {QStringLiteral("xaby"), QStringLiteral("AB"), QStringLiteral("b")});
    m.openPanel();
    m.searchBox->setFocus();
    QCOMPARE(m.searchBox->text(), QString());
    QTest::keyClicks(m.searchBox, QStringLiteral("ab"));
    QVERIFY(m.search->isVisible());
    QVERIFY(!m.list->isVisible());
    QCOMPARE(m.search->items(), QStringList{QStringLiteral("xaby")});
    for (int i = 0; i < 3; ++i)
        QVERIFY(!control<QWidget>(m.w.get(), QStringLiteral("Picture8_%1").arg(i))->isEnabled());
    doubleClickRow(m.search, 0);
    QCOMPARE(m.w->CurrentNote(), 1);
    QCOMPARE(m.editor->text(), QStringLiteral("xaby"));
    QVERIFY(!m.panel->isVisible());
    m.openPanel();
    QVERIFY(m.search->isVisible()); // the search is kept for the next opening
    m.searchBox->setFocus();
    m.searchBox->selectAll();
    QTest::keyClick(m.searchBox, Qt::Key_Delete);
    QVERIFY(m.list->isVisible());
    QVERIFY(!m.search->isVisible());
    QVERIFY(control<QWidget>(m.w.get(), QStringLiteral("Picture8_1"))->isEnabled());
}

void TestMainNotes::searchPromptIsGreyWhenEmptyAndUnfocused()
{
    TestPlatform tp;
    Window m(tp);
    m.openPanel();
    const QString prompt = QStringLiteral("(在此快速查找便笺)");
    QCOMPARE(m.searchBox->text(), prompt);
    QCOMPARE(m.searchBox->foreColor(), QColor(128, 128, 128));
    m.searchBox->setFocus();
    QCOMPARE(m.searchBox->text(), QString());
    QCOMPARE(m.searchBox->foreColor(), QColor(Qt::black));
    m.list->setFocus();
    QCOMPARE(m.searchBox->text(), prompt);
    QCOMPARE(m.searchBox->foreColor(), QColor(128, 128, 128));
    QVERIFY(m.list->isVisible()); // the prompt is not a search
}

void TestMainNotes::editorDisabledExactlyWhileListShown()
{
    TestPlatform tp;
    Window m(tp, {QStringLiteral("one")});
    QVERIFY(m.editor->isEnabled());
    // The empty editor's hint is drawn, never text, once the window is; beside the open list it is
    // not drawn at all.
    QTRY_VERIFY(m.editor->placeholderText().startsWith(QStringLiteral("在这里写便笺")));
    m.openPanel();
    QVERIFY(m.editor->placeholderText().isEmpty());
    QCOMPARE(m.w->noteTexts().first(), QString());
    QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture1")), Qt::LeftButton);
    QVERIFY(!m.editor->placeholderText().isEmpty());
    m.editor->setText(QStringLiteral("typed"));
    m.openPanel();
    QVERIFY(!m.editor->isEnabled());
    QCOMPARE(m.list->List(0), QStringLiteral("typed")); // opening commits first
    QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture1")), Qt::LeftButton);
    QVERIFY(m.editor->isEnabled());
}

QTEST_MAIN(TestMainNotes)
#include "tst_mainnotes.moc"
