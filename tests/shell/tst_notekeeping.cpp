// SPDX-License-Identifier: GPL-3.0-or-later
// The main window never loses what was typed: whatever closes it, whichever note was removed, when
// the disk refuses a save, and a note only looked at is saved as it was read.
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QDir>
#include <QLabel>
#include <QWindow>
#include <QtTest>

namespace {
struct Window
{
    explicit Window(TestPlatform& tp)
    {
        w = std::make_unique<FrmMain>(tp.platform());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->ensureNoteList();
        list = control<ListBoxW>(w.get(), QStringLiteral("List1"));
        editor = control<TextBoxW>(w.get(), QStringLiteral("Text1"));
        panel = control<QWidget>(w.get(), QStringLiteral("Picture7"));
    }
    void togglePanel()
    {
        QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Picture1")), Qt::LeftButton);
    }
    void button(int index)
    {
        QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Picture8_%1").arg(index)),
                          Qt::LeftButton);
    }
    void type(const QString& text)
    {
        editor->setFocus();
        QTest::keyClicks(editor, text);
    }
    std::unique_ptr<FrmMain> w;
    ListBoxW* list = nullptr;
    TextBoxW* editor = nullptr;
    QWidget* panel = nullptr;
};

QStringList labelsOf(QWidget* window)
{
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>())
        texts.append(label->text());
    return texts;
}

QStringList notesOnDisk(const TestPlatform& tp)
{
    QStringList texts;
    QDir dir(tp.path(QStringLiteral("Notes")));
    QStringList names = dir.entryList(QDir::Files);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.section(u'.', 0, 0).toInt() < b.section(u'.', 0, 0).toInt();
    });
    for (const QString& name : names)
        texts.append(QString::fromUtf8(readFile(dir.filePath(name))).remove(QChar(0xFEFF)));
    return texts;
}
} // namespace

class TestNoteKeeping : public QObject
{
    Q_OBJECT
private slots:
    void everyCloseKeepsWhatWasTyped_data();
    void everyCloseKeepsWhatWasTyped();
    void typingAfterRemovingTheCurrentNoteStartsANewNote();
    void aNoteOnlyLookedAtIsSavedByteForByte();
    void failedSavesAreToldOnceAndRetried();
    void pressInTheEditorClosesTheSettingsPanel();
    void activatingTheWindowLeavesTheSettingsPanelOpen();
    void aLineTooLongToEditIsShownReadOnlyAndKeptWhole();
    void anEmptiedEditorIsEditableAfterAReadOnlyNote_data();
    void anEmptiedEditorIsEditableAfterAReadOnlyNote();
    void typingInAHugeNoteSavesAtThePause();
    void keysOnTheTodoPageNeverReachTheHiddenNote();
    void aCloseTheFolderRefusesEndsWithTheNotesSomewhere_data();
    void aCloseTheFolderRefusesEndsWithTheNotesSomewhere();
};

void TestNoteKeeping::everyCloseKeepsWhatWasTyped_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("window manager") << "window manager";
    QTest::newRow("close event from outside") << "close event";
    QTest::newRow("close button") << "close button";
}

void TestNoteKeeping::everyCloseKeepsWhatWasTyped()
{
    QFETCH(QString, how);
    TestPlatform tp;
    {
        Window m(tp);
        QVERIFY(!m.w->AutoSave());
        m.type(QStringLiteral("typed just before the close"));
        if (how == QLatin1String("window manager")) {
            m.w->windowHandle()->close();
        } else if (how == QLatin1String("close event")) {
            m.w->close();
        } else {
            QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture2")), Qt::LeftButton);
        }
        QVERIFY(!m.w->isVisible());
    }
    QCOMPARE(notesOnDisk(tp), QStringList{"typed just before the close"});
    Window again(tp);
    QCOMPARE(again.list->items(), (QStringList{"#无内容#", "typed just before the close"}));
}

void TestNoteKeeping::typingAfterRemovingTheCurrentNoteStartsANewNote()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("first")));
    writeFile(tp.path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("second")));
    Window m(tp);
    m.togglePanel();
    doubleClickRow(m.list, 1);
    QCOMPARE(m.w->CurrentNote(), 1);
    // Remove the note in the editor (not the last one), close the list, type.
    m.togglePanel();
    clickRow(m.list, 1);
    m.button(1);
    QCOMPARE(m.w->CurrentNote(), -1);
    m.togglePanel();
    QVERIFY(m.editor->isEnabled());
    m.type(QStringLiteral("not lost"));
    QCOMPARE(m.w->CurrentNote(), 2);
    m.togglePanel(); // commits the editor
    QCOMPARE(m.w->noteTexts(), (QStringList{QString(), "second", "not lost"}));
    QCOMPARE(m.list->items(), (QStringList{"#无内容#", "second", "not lost"}));
    m.w->close();
    QCOMPARE(notesOnDisk(tp), (QStringList{"second", "not lost"}));
}

void TestNoteKeeping::aNoteOnlyLookedAtIsSavedByteForByte()
{
    TestPlatform tp;
    const QByteArray bytes = utf8WithBom(QStringLiteral("a\u00A0b\u2028c\u2029d\ne"));
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), bytes);
    {
        Window m(tp);
        m.togglePanel();
        doubleClickRow(m.list, 1);
        QCOMPARE(m.w->CurrentNote(), 1);
        m.togglePanel(); // opening the list commits the editor
        m.togglePanel();
        QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture2")), Qt::LeftButton);
    }
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))), bytes);

    // Typing makes it an edit like any other.
    {
        Window m(tp);
        m.togglePanel();
        doubleClickRow(m.list, 1);
        m.editor->moveCursor(QTextCursor::End);
        m.type(QStringLiteral("!"));
        m.w->close();
    }
    QVERIFY(readFile(tp.path(QStringLiteral("Notes/1.txt"))).endsWith("e!"));
}

void TestNoteKeeping::failedSavesAreToldOnceAndRetried()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("keep me")));
    writeFile(tp.path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("remove me")));
    // A file where the recovery folder belongs: removed notes cannot be kept aside.
    writeFile(tp.path(QStringLiteral("Notes.recycle")), "in the way");
    Window m(tp);
    QStringList seen;
    ModalCloser closer;
    closer.inspect = [&](QWidget* modal) { seen.append(labelsOf(modal).join(u'|')); };

    m.togglePanel();
    clickRow(m.list, 2);
    m.button(1);
    QTRY_COMPARE(seen.size(), 1);
    QVERIFY2(seen.at(0).contains(QStringLiteral("保存失败")), qPrintable(seen.at(0)));
    QVERIFY2(seen.at(0).contains(tp.path(QStringLiteral("Notes.recycle"))), qPrintable(seen.at(0)));

    // Saving automatically on every pointer move does not repeat the message.
    m.w->ensureSettingsPanel();
    control<QWidget>(m.w.get(), QStringLiteral("SSwitch2"))->setProperty("Value", true);
    QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture1")), Qt::LeftButton);
    for (int i = 0; i < 5; ++i)
        m.w->SaveSettingsAndNotes();
    QTest::qWait(100);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(notesOnDisk(tp), (QStringList{"keep me", "remove me"}));

    // Once the way is clear the next save writes the copy and only then removes the file.
    QVERIFY(QFile::remove(tp.path(QStringLiteral("Notes.recycle"))));
    m.w->close();
    QCOMPARE(notesOnDisk(tp), QStringList{"keep me"});
    QCOMPARE(seen.size(), 1);
    bool kept = false;
    for (const QString& name : QDir(tp.path(QStringLiteral("Notes.recycle"))).entryList(QDir::Files))
        kept = kept || readFile(tp.path(QStringLiteral("Notes.recycle/")) + name).endsWith("remove me");
    QVERIFY(kept);
}

void TestNoteKeeping::pressInTheEditorClosesTheSettingsPanel()
{
    TestPlatform tp;
    Window m(tp);
    m.editor->setFocus();
    QTRY_VERIFY(m.editor->hasFocus());
    QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture4")), Qt::LeftButton);
    QWidget* settings = control<QWidget>(m.w.get(), QStringLiteral("Picture9"));
    QVERIFY(settings->isVisible());
    QVERIFY(m.editor->hasFocus()); // the title buttons take no focus
    QTest::mouseClick(m.editor->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!settings->isVisible());
}

void TestNoteKeeping::activatingTheWindowLeavesTheSettingsPanelOpen()
{
    // The click that activates an inactive window also opens the panel; the editor getting the
    // focus back with the activation is not a press in the editor.
    TestPlatform tp;
    Window m(tp);
    m.editor->setFocus();
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture4")), Qt::LeftButton);
    QWidget* settings = control<QWidget>(m.w.get(), QStringLiteral("Picture9"));
    QVERIFY(settings->isVisible());
    m.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m.w.get()));
    QTRY_VERIFY(m.editor->hasFocus());
    QVERIFY(settings->isVisible());
}

void TestNoteKeeping::aLineTooLongToEditIsShownReadOnlyAndKeptWhole()
{
    TestPlatform tp;
    const QString line(FrmMain::kLongestEditableLine + 1, u'长');
    const QByteArray bytes =
        utf8WithBom(QStringLiteral("first line\r\n") + line + QStringLiteral("\r\nlast"));
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), bytes);
    writeFile(tp.path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("short")));
    QStringList seen;
    {
        Window m(tp);
        ModalCloser closer;
        closer.inspect = [&](QWidget* modal) { seen.append(labelsOf(modal).join(u'|')); };
        m.togglePanel();
        doubleClickRow(m.list, 1);
        QCOMPARE(m.w->CurrentNote(), 1);
        QTRY_COMPARE(seen.size(), 1);
        QVERIFY2(seen.at(0).contains(QStringLiteral("只能查看")), qPrintable(seen.at(0)));
        QVERIFY(m.editor->isReadOnly());
        QTest::keyClicks(m.editor, QStringLiteral("xyz"));
        // Another note is editable again.
        m.togglePanel();
        doubleClickRow(m.list, 2);
        QVERIFY(!m.editor->isReadOnly());
        m.w->close();
    }
    QCOMPARE(seen.size(), 1);
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))), bytes);
}

void TestNoteKeeping::anEmptiedEditorIsEditableAfterAReadOnlyNote_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("add button") << "add button";
    QTest::newRow("new note key") << "new note key";
    QTest::newRow("clear button") << "clear button";
    QTest::newRow("clear key") << "clear key";
    QTest::newRow("removing the read-only note") << "remove button";
}

void TestNoteKeeping::anEmptiedEditorIsEditableAfterAReadOnlyNote()
{
    QFETCH(QString, how);
    TestPlatform tp;
    const QString line(FrmMain::kLongestEditableLine + 1, u'长');
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(line));
    writeFile(tp.path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("short")));
    Window m(tp);
    ModalCloser closer;
    m.togglePanel();
    doubleClickRow(m.list, 1);
    QVERIFY(m.editor->isReadOnly());
    if (how == QLatin1String("new note key") || how == QLatin1String("clear key")) {
        m.editor->setFocus();
        QTest::keyClick(m.editor, how.startsWith(u'n') ? Qt::Key_N : Qt::Key_E, Qt::ControlModifier);
    } else {
        m.togglePanel();
        if (how == QLatin1String("remove button")) {
            clickRow(m.list, 1);
            m.button(1);
            QCOMPARE(m.w->CurrentNote(), -1);
            m.togglePanel();
        } else {
            m.button(how == QLatin1String("add button") ? 2 : 0);
        }
    }
    QVERIFY(!m.panel->isVisible());
    QCOMPARE(m.editor->text(), QString());
    QVERIFY(!m.editor->isReadOnly());
    m.type(QStringLiteral("typed"));
    m.togglePanel(); // commits the editor
    QCOMPARE(m.w->noteTexts().value(m.w->CurrentNote()), QStringLiteral("typed"));
}

void TestNoteKeeping::typingInAHugeNoteSavesAtThePause()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")), "[General]\r\nAutoSave=1\r\n");
    QString huge;
    while (huge.size() <= 2 * FrmMain::kPausedSaveChars)
        huge += QStringLiteral("一行普通长度的文字 with some words\r\n");
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(huge));
    // A long note below the pause rule: its keys share a save.
    writeFile(tp.path(QStringLiteral("Notes/2.txt")),
              utf8WithBom(huge.left(FrmMain::kGatheredSaveChars + FrmMain::kGatheredSaveChars / 2)));
    Window m(tp);
    QVERIFY(m.w->AutoSave());
    m.togglePanel();
    doubleClickRow(m.list, 1);
    m.editor->moveCursor(QTextCursor::End);
    const int savesBefore = m.w->saveCount();
    m.type(QStringLiteral("ab"));
    // Not a full save of the huge note per key...
    QCOMPARE(m.w->saveCount(), savesBefore);
    // ...but one once the typing pauses.
    QTRY_COMPARE_WITH_TIMEOUT(m.w->saveCount(), savesBefore + 1, 10000);
    QTRY_VERIFY(readFile(tp.path(QStringLiteral("Notes/1.txt"))).endsWith("ab"));
    // A short note saves at every key, as before.
    m.togglePanel();
    doubleClickRow(m.list, 0);
    m.type(QStringLiteral("c"));
    QTRY_COMPARE(m.w->saveCount(), savesBefore + 2);

    m.togglePanel();
    doubleClickRow(m.list, 2);
    m.editor->moveCursor(QTextCursor::End);
    m.type(QStringLiteral("xyz"));
    QTRY_VERIFY(readFile(tp.path(QStringLiteral("Notes/3.txt"))).endsWith("xyz"));
    QCOMPARE(m.w->saveCount(), savesBefore + 3);
}

void TestNoteKeeping::keysOnTheTodoPageNeverReachTheHiddenNote()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("seen")));
    Window m(tp);
    m.type(QStringLiteral("x"));
    QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture5")), Qt::LeftButton);
    TextBoxW* content = control<TextBoxW>(m.w.get(), QStringLiteral("Text3"));
    QCOMPARE(QApplication::focusWidget(), content);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("abc"));
    // Even a key that reaches the hidden editor directly acts on no note.
    for (const char key : {'N', 'W', 'E'})
        QTest::keyClick(m.editor, key, Qt::ControlModifier);
    QCOMPARE(m.editor->text(), QStringLiteral("x"));
    QCOMPARE(m.w->NoteCount(), 2);
    QCOMPARE(content->text(), QStringLiteral("abc"));

    QTest::mouseClick(control<QWidget>(m.w.get(), QStringLiteral("Picture5")), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), m.editor);
}

void TestNoteKeeping::aCloseTheFolderRefusesEndsWithTheNotesSomewhere_data()
{
    QTest::addColumn<QString>("close");
    QTest::newRow("try again once the way is clear") << "retry";
    QTest::newRow("close anyway") << "anyway";
    QTest::newRow("termination signal") << "signal";
}

void TestNoteKeeping::aCloseTheFolderRefusesEndsWithTheNotesSomewhere()
{
    QFETCH(QString, close);
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("saved before")));
    const auto pressInBox = [](QWidget* box, const char* button) {
        QTest::mouseClick(control<QWidget>(box, QString::fromLatin1(button)), Qt::LeftButton);
    };
    QStringList seen;
    ModalCloser closer;
    closer.inspect = [&](QWidget* modal) {
        seen.append(modal->objectName() + u'|' + labelsOf(modal).join(u'|'));
        if (modal->objectName() == QLatin1String("SaveFailedAtClose")) {
            if (close == QLatin1String("retry"))
                QFile::remove(tp.path(QStringLiteral("Notes")));
            pressInBox(modal, close == QLatin1String("retry") ? "Yes" : "No");
        } else if (modal->objectName() == QLatin1String("RestoreUnsavedNotes")) {
            pressInBox(modal, "Yes");
        }
    };
    {
        Window m(tp);
        m.type(QStringLiteral("typed"));
        // A file where the notes folder belongs: no save can succeed.
        QVERIFY(QDir(tp.path(QStringLiteral("Notes"))).removeRecursively());
        writeFile(tp.path(QStringLiteral("Notes")), "in the way");
        if (close == QLatin1String("signal"))
            m.w->closeWithoutQuestions();
        else
            m.w->close();
        QVERIFY(!m.w->isVisible());
    }
    const QStringList rescued = QDir(tp.path(QStringLiteral("state"))).entryList(QDir::Files);
    if (close == QLatin1String("retry")) {
        QCOMPARE(seen.size(), 1);
        QVERIFY(rescued.isEmpty());
        QCOMPARE(notesOnDisk(tp), (QStringList{"typed", "saved before"}));
        return;
    }
    QCOMPARE(rescued.size(), 1);
    const QString rescuePath = tp.path(QStringLiteral("state/")) + rescued.constFirst();
    if (close == QLatin1String("signal")) {
        QVERIFY(seen.isEmpty());
    } else {
        QCOMPARE(seen.size(), 2);
        QVERIFY2(seen.at(1).startsWith(QStringLiteral("FrmMessage|")) && seen.at(1).contains(rescuePath),
                 qPrintable(seen.at(1)));
    }

    // The next start offers them back; restored, they are notes again and the file has done its job.
    QVERIFY(QFile::remove(tp.path(QStringLiteral("Notes"))));
    seen.clear();
    Window again(tp);
    QTRY_COMPARE(seen.size(), 1);
    QVERIFY2(seen.at(0).startsWith(QStringLiteral("RestoreUnsavedNotes|")), qPrintable(seen.at(0)));
    QCOMPARE(again.w->noteTexts(), (QStringList{QString(), "typed"}));
    QCOMPARE(notesOnDisk(tp), QStringList{"typed"});
    QVERIFY(!QFile::exists(rescuePath));
}

QTEST_MAIN(TestNoteKeeping)
#include "tst_notekeeping.moc"
