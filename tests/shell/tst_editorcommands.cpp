// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QDir>
#include <QtTest>

class TestEditorCommands : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void evaluate_data();
    void evaluate();
    void dateStampReplacesSelection();
    void selectAllCountsLineBreaksTwice();
    void openWebAddressOrFile();
    void removeByKey();
    void removeOnlyNoteByKey();
    void newAndClearByKey();
    void quickPanelByKeyAndMiddleClick();
    void quickCaptionsRunTheirCommands();
    void ctrlFlagFollowsKeys();
    void ledgerSetUpAndRecalculateSaveOnce();
    void ledgerKeyIgnoredOnOtherNotes();

private:
    void ctrl(int key) { QTest::keyClick(editor, Qt::Key(key), Qt::ControlModifier); }
    void select(int start, int length)
    {
        editor->setSelStart(start);
        editor->setSelLength(length);
    }
    std::unique_ptr<TestPlatform> tp;
    std::unique_ptr<FrmMain> w;
    TextBoxW* editor = nullptr;
    ListBoxW* list = nullptr;
};

void TestEditorCommands::init()
{
    tp = std::make_unique<TestPlatform>();
    w = std::make_unique<FrmMain>(tp->platform());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    editor = control<TextBoxW>(w.get(), QStringLiteral("Text1"));
    w->ensureNoteList();
    list = control<ListBoxW>(w.get(), QStringLiteral("List1"));
    editor->setFocus();
}

void TestEditorCommands::cleanup()
{
    w.reset();
    tp.reset();
}

void TestEditorCommands::evaluate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("result");
    QTest::newRow("mod with spaces") << "x = 7%3 ;" << 3 << 5 << "x =1;";
    QTest::newRow("power") << "2^10" << 0 << 4 << "1024";
    QTest::newRow("division") << "10/4" << 0 << 4 << "2.5";
    QTest::newRow("division by zero") << "1/0" << 0 << 3 << "1/0";
    QTest::newRow("unbalanced") << "(1+2" << 0 << 4 << "(1+2";
    QTest::newRow("nothing selected") << "1+1" << 3 << 0 << "1+1";
}

void TestEditorCommands::evaluate()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QString, result);
    editor->setText(text);
    select(start, length);
    ctrl(Qt::Key_L);
    QCOMPARE(editor->text(), result);
}

void TestEditorCommands::dateStampReplacesSelection()
{
    editor->setText(QStringLiteral("on abc!"));
    select(3, 3);
    ctrl(Qt::Key_D);
    QCOMPARE(editor->text(), QStringLiteral("on 2024年03月05日!"));
    QCOMPARE(editor->selStart(), 14);
    tp->clock.setNow(QDateTime(QDate(2031, 12, 9), QTime(23, 59)));
    editor->setSelStart(0);
    ctrl(Qt::Key_D);
    QVERIFY(editor->text().startsWith(QStringLiteral("2031年12月09日on")));
}

void TestEditorCommands::selectAllCountsLineBreaksTwice()
{
    editor->setText(QStringLiteral("ab\r\ncd"));
    ctrl(Qt::Key_A);
    QCOMPARE(editor->selStart(), 0);
    QCOMPARE(editor->selLength(), 6);
    QCOMPARE(editor->selText(), QStringLiteral("ab\r\ncd"));
}

void TestEditorCommands::openWebAddressOrFile()
{
    const QString file = tp->path(QStringLiteral("my notes/read me.txt"));
    writeFile(file, "hello");
    const QString folder = tp->path(QStringLiteral("my notes"));
    struct Row
    {
        QString selection;
        QUrl opened;
    };
    const QList<Row> rows = {
        {QStringLiteral("www.example.com"), QUrl()},
        {QStringLiteral("  https://example.com/a?b=1  "), QUrl(QStringLiteral("https://example.com/a?b=1"))},
        {QStringLiteral("http://example.com"), QUrl(QStringLiteral("http://example.com"))},
        {QStringLiteral("HTTP://example.com"), QUrl()},
        {QStringLiteral(" ") + file + QStringLiteral(" "), QUrl::fromLocalFile(file)},
        {folder, QUrl()},
        {file + QStringLiteral(".missing"), QUrl()},
        {QStringLiteral("my notes/read me.txt"), QUrl()},
    };
    for (const Row& row : rows) {
        tp->opener.opened.clear();
        editor->setText(row.selection);
        select(0, int(row.selection.size()));
        ctrl(Qt::Key_O);
        if (row.opened.isEmpty())
            QVERIFY2(tp->opener.opened.isEmpty(), qPrintable(row.selection));
        else
            QCOMPARE(tp->opener.opened, QList<QUrl>{row.opened});
    }
    QVERIFY(tp->launcher.launches.isEmpty());
}

void TestEditorCommands::removeByKey()
{
    // The window of init() goes first: it still uses the platform it was made with.
    w.reset();
    tp = std::make_unique<TestPlatform>();
    writeFile(tp->path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("one")));
    writeFile(tp->path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("two")));
    w = std::make_unique<FrmMain>(tp->platform());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    editor = control<TextBoxW>(w.get(), QStringLiteral("Text1"));
    w->ensureNoteList();
    list = control<ListBoxW>(w.get(), QStringLiteral("List1"));
    editor->setFocus();
    editor->setText(QStringLiteral("zero"));
    ctrl(Qt::Key_W); // nothing selected in the list: nothing happens
    QCOMPARE(w->NoteCount(), 3);
    list->setListIndex(2);
    ctrl(Qt::Key_W);
    // The editor is not committed first: the uncommitted "zero" gives way to note 0 as stored.
    QCOMPARE(w->noteTexts(), (QStringList{QString(), QStringLiteral("one")}));
    QCOMPARE(list->ListIndex(), -1);
    QCOMPARE(w->CurrentNote(), 0);
    QCOMPARE(editor->text(), QString());
    QCOMPARE(list->List(0), QStringLiteral("#无内容#"));
    QTRY_COMPARE(QDir(tp->path(QStringLiteral("Notes.recycle"))).entryList(QDir::Files).size(), 1);
    const QStringList kept = QDir(tp->path(QStringLiteral("Notes.recycle"))).entryList(QDir::Files);
    QCOMPARE(readFile(tp->path(QStringLiteral("Notes.recycle/") + kept.first())),
             utf8WithBom(QStringLiteral("two")));
}

void TestEditorCommands::removeOnlyNoteByKey()
{
    editor->setText(QStringLiteral("only"));
    w->CommitEditor();
    list->setListIndex(0);
    ctrl(Qt::Key_W);
    QCOMPARE(list->items(), QStringList{QStringLiteral("#无内容#")});
    QCOMPARE(w->noteTexts(), QStringList{QString()});
    QVERIFY(!control<QWidget>(w.get(), QStringLiteral("Picture7"))->isVisible());
    QVERIFY(editor->isEnabled());
}

void TestEditorCommands::newAndClearByKey()
{
    editor->setText(QStringLiteral("first"));
    ctrl(Qt::Key_N);
    QCOMPARE(w->noteTexts(), (QStringList{QStringLiteral("first"), QString()}));
    QCOMPARE(w->CurrentNote(), 1);
    QCOMPARE(list->items(), (QStringList{QStringLiteral("first"), QStringLiteral("#无内容#")}));
    for (int i = 0; i < 9; ++i) {
        QTest::keyClicks(editor, QStringLiteral("n%1").arg(i));
        ctrl(Qt::Key_N);
    }
    QCOMPARE(w->NoteCount(), 11);
    ctrl(Qt::Key_E);
    QCOMPARE(w->noteTexts(), QStringList{QString()});
    QCOMPARE(list->items(), QStringList{QStringLiteral("#无内容#")});
    QCOMPARE(w->CurrentNote(), 0);
    QTRY_COMPARE(QDir(tp->path(QStringLiteral("Notes.recycle"))).entryList(QDir::Files).size(), 10);
}

void TestEditorCommands::quickPanelByKeyAndMiddleClick()
{
    ctrl(Qt::Key_Q);
    QWidget* quick = control<QWidget>(w.get(), QStringLiteral("Picture15"));
    QVERIFY(quick->isVisible());
    QCOMPARE(editor->height() * 15, quick->y() * 15 - 15);
    QTest::mouseClick(editor->viewport(), Qt::MiddleButton, Qt::ControlModifier, QPoint(10, 10));
    QVERIFY(!quick->isVisible());
    QCOMPARE(editor->height(), control<QWidget>(w.get(), QStringLiteral("Picture6_0"))->height());
    QTest::mouseClick(editor->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(!quick->isVisible());
}

void TestEditorCommands::quickCaptionsRunTheirCommands()
{
    ctrl(Qt::Key_Q);
    editor->setText(QStringLiteral("6*7"));
    QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Label11_1")), Qt::LeftButton);
    QCOMPARE(editor->text(), QStringLiteral("6*7")); // nothing selected
    QVERIFY(w->ctrlHeld());
    select(0, 3);
    QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Label11_1")), Qt::LeftButton);
    QCOMPARE(editor->text(), QStringLiteral("42"));
    editor->setSelStart(2);
    QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Label11_2")), Qt::LeftButton);
    QCOMPARE(editor->text(), QStringLiteral("422024年03月05日"));
}

void TestEditorCommands::ctrlFlagFollowsKeys()
{
    QVERIFY(!w->ctrlHeld());
    QTest::keyPress(editor, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(w->ctrlHeld());
    QTest::keyRelease(editor, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(!w->ctrlHeld());
    QTest::keyPress(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!w->ctrlHeld());
    QTest::keyPress(editor, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyRelease(editor, Qt::Key_Control, Qt::NoModifier);
    QVERIFY(!w->ctrlHeld());
    QVERIFY(!w->pointerOverEditor());
    pointerTo(editor->viewport());
    QVERIFY(w->pointerOverEditor());
    pointerTo(w.get(), QPoint(200, 2));
    QVERIFY(!w->pointerOverEditor());
}

void TestEditorCommands::ledgerSetUpAndRecalculateSaveOnce()
{
    QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Picture4")), Qt::LeftButton);
    QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("SSwitch2")), Qt::LeftButton);
    editor->setFocus();
    editor->setSelText(QStringLiteral("%记账"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->text(), QStringLiteral("%记账\r\n收入：0，支出：0\r\n"));
    QVERIFY(w->AccountingActive());
    QCOMPARE(editor->selStart(), int(editor->text().size()));
    editor->setSelText(QStringLiteral("工资+5000"));
    QTest::keyClick(editor, Qt::Key_Return);
    editor->setSelText(QStringLiteral("午餐-25.5"));
    QTest::keyClick(editor, Qt::Key_Return);
    editor->setSelText(QStringLiteral("打车-30"));
    const int before = w->saveCount();
    QTest::keyClick(editor, Qt::Key_Enter, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->text(),
             QStringLiteral("%记账\r\n收入：5000，支出：55.5\r\n工资+5000\r\n午餐-25.5\r\n打车-30"));
    QTRY_COMPARE(w->saveCount(), before + 1);
    QCOMPARE(editor->selStart(), int(editor->text().size()));
    QTRY_VERIFY(readFile(tp->path(QStringLiteral("Notes/1.txt")))
                    .contains(QStringLiteral("收入：5000，支出：55.5").toUtf8()));
}

void TestEditorCommands::ledgerKeyIgnoredOnOtherNotes()
{
    editor->setText(QStringLiteral("plain +5"));
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->text(), QStringLiteral("plain +5"));
    QVERIFY(!w->AccountingActive());
    // A note that already is a ledger when picked recalculates at the first key.
    editor->setText(QStringLiteral("%记账\r\nold\r\na+1"));
    w->CommitEditor();
    QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Picture1")), Qt::LeftButton);
    doubleClickRow(list, 0);
    QVERIFY(w->AccountingActive());
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->text(), QStringLiteral("%记账\r\n收入：1，支出：0\r\na+1"));
}

QTEST_MAIN(TestEditorCommands)
#include "tst_editorcommands.moc"
