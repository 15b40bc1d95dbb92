// SPDX-License-Identifier: GPL-3.0-or-later
// The main window follows the notes folder while another program changes it: on the watcher's word
// and when the window is activated, the list and the editor show what the folder now holds.
#include "notes/NoteStore.h"
#include "shell/FrmMain.h"
#include "support/FakeFolderWatcher.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QtTest>

#include <cstdio>
#include <memory>
#include <sys/stat.h>

class TestMainSync : public QObject
{
    Q_OBJECT
private slots:
    void listAndEditorFollowTheFolder_data();
    void listAndEditorFollowTheFolder();
    void watchesWithoutEverBeingActivated();
};

void TestMainSync::listAndEditorFollowTheFolder_data()
{
    QTest::addColumn<bool>("activate");       // else the watcher reports
    QTest::addColumn<QString>("typed");       // typed into note 2 before the change, not yet saved
    QTest::addColumn<QStringList>("outside"); // what 1.txt, 2.txt, 3.txt hold after the change
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("editor");
    const QString mark = NoteStore::kOutsideEntryPrefix;
    const QStringList changed{"one", "two there", "three"};
    QTest::newRow("watcher, open note changed")
        << false << "" << changed << QStringList{"#无内容#", "one", "two there", "three"} << "two there";
    QTest::newRow("activation, open note changed")
        << true << "" << changed << QStringList{"#无内容#", "one", "two there", "three"} << "two there";
    QTest::newRow("watcher, open note edited here")
        << false << " here" << changed
        << QStringList{"#无内容#", "one", "two here", mark + "two there", "three"} << "two here";
    // Another computer's order, brought by a sync tool: the list takes it and the close moves nothing.
    QTest::newRow("watcher, another order") << false << "" << QStringList{"three", "one", "two"}
                                            << QStringList{"#无内容#", "three", "one", "two"} << "two";
}

void TestMainSync::listAndEditorFollowTheFolder()
{
    QFETCH(bool, activate);
    QFETCH(QString, typed);
    QFETCH(QStringList, outside);
    QFETCH(QStringList, entries);
    QFETCH(QString, editor);
    TestPlatform tp;
    FakeFolderWatcher::Installed fakeWatcher;
    const QStringList files{"one", "two", "three"};
    for (int i = 0; i < files.size(); ++i)
        writeFile(tp.path(QStringLiteral("Notes/%1.txt").arg(i + 1)), utf8WithBom(files[i]));
    auto window = std::make_unique<FrmMain>(tp.platform());
    FrmMain& w = *window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.ensureNoteList();
    auto* list = control<ListBoxW>(&w, QStringLiteral("List1"));
    auto* text = control<TextBoxW>(&w, QStringLiteral("Text1"));
    QVERIFY(FakeFolderWatcher::last);
    QTest::mouseClick(control<QWidget>(&w, QStringLiteral("Picture1")), Qt::LeftButton);
    doubleClickRow(list, 2);
    QCOMPARE(text->text(), QStringLiteral("two"));
    if (!typed.isEmpty()) {
        text->setFocus();
        text->moveCursor(QTextCursor::End);
        QTest::keyClicks(text, typed);
    }

    // As a sync tool writes: a hidden temporary file renamed over the note.
    for (int i = 0; i < outside.size(); ++i) {
        if (outside[i] == files[i])
            continue;
        const QString name = tp.path(QStringLiteral("Notes/%1.txt").arg(i + 1));
        const QString temporary = tp.path(QStringLiteral("Notes/.%1.txt.tmp").arg(i + 1));
        writeFile(temporary, utf8WithBom(outside[i]));
        QCOMPARE(std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(name).constData()),
                 0);
    }
    const auto inodes = [&tp] {
        QList<quint64> numbers;
        for (int i = 1; i <= 3; ++i) {
            struct stat st = {};
            numbers.append(::stat(QFile::encodeName(tp.path(QStringLiteral("Notes/%1.txt").arg(i))), &st) == 0
                               ? quint64(st.st_ino)
                               : 0);
        }
        return numbers;
    };
    const QList<quint64> before = inodes();
    // Time passes for the window's clock while the test waits.
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { tp.clock.advanceMs(100); });
    ticker.start(50);
    if (activate) {
        QEvent activation(QEvent::WindowActivate);
        QApplication::sendEvent(&w, &activation);
    } else {
        FakeFolderWatcher::last->fire();
    }
    QTRY_COMPARE_WITH_TIMEOUT(list->items(), entries, 3000);
    QCOMPARE(text->text(), editor);
    QVERIFY(FakeFolderWatcher::last->watched.contains(tp.path(QStringLiteral("Notes"))));

    // What came from outside stays where it is: an untouched list closes without moving a file.
    w.close();
    window.reset();
    if (typed.isEmpty())
        QCOMPARE(inodes(), before);
}

void TestMainSync::watchesWithoutEverBeingActivated()
{
    // A start at log-in or from the session timer may never be activated: the window never hears of
    // an activation here, whatever the test platform does.
    struct NoActivation : QObject
    {
        bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::WindowActivate; }
    } noActivation;
    TestPlatform tp;
    FakeFolderWatcher::Installed fakeWatcher;
    FrmMain w(tp.platform());
    w.installEventFilter(&noActivation);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(FakeFolderWatcher::last);
    QTRY_VERIFY(FakeFolderWatcher::last->watched.contains(tp.path(QStringLiteral("Notes"))));
}

QTEST_MAIN(TestMainSync)
#include "tst_mainsync.moc"
