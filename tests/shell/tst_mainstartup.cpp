// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

class TestMainStartup : public QObject
{
    Q_OBJECT
private slots:
    void firstStartWritesFiveLinesAndCentres();
    void storedPlaceOpensThereAndCloseWritesIt();
    void missingLeftCentresHorizontally();
    void switchValues_data();
    void switchValues();
    void closeFollowsAutoRunWithAutostartEntry();
    void settingsPanelIsBuiltWhenFirstOpened();
    void noteListIsBuiltWhenFirstOpened();
    void notesAreReadRightAfterTheFirstPaint();
    void aCloseBeforeTheFirstPaintKeepsEveryNote();
    void autoSaveOnBackgroundMoveWritesOnlyWhatChanged();
    void systemCloseKeepsTheTypedText();
    void closeButtonCommitsThenSaves();
    void badConfigFilesStillStart_data();
    void badConfigFilesStillStart();
    void notesThatIsAFileIsLeftAlone();
    void notesLoadAndSaveWithoutConfigFile();
    void windowSystemThatPlacesWindowsKeepsTheStoredPlace();
};

void TestMainStartup::firstStartWritesFiveLinesAndCentres()
{
    TestPlatform tp;
    FrmMain w(tp.platform());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QString left = QString::number(screen.width() * 15 / 30.0 - 6870 / 30.0);
    const QString top = QString::number(screen.height() * 15 / 60.0);
    QCOMPARE(readFile(tp.path(QStringLiteral("Config.ini"))),
             QStringLiteral("[General]\r\nLeft = %1\r\nTop = %2\r\nAutoRun = 0\r\nAutoSave = 0\r\n")
                 .arg(left, top)
                 .toLatin1());
    QCOMPARE(w.pos(), QPoint(int(left.toDouble()), int(top.toDouble())));
    QVERIFY(!w.AutoRun());
    QVERIFY(!w.AutoSave());
    w.ensureNoteList();
    auto* list = control<ListBoxW>(&w, QStringLiteral("List1"));
    QCOMPARE(list->items(), QStringList{QStringLiteral("#无内容#")});
    QCOMPARE(w.size(), QSize(458, 595));
    QCOMPARE(w.windowTitle(), QStringLiteral("Vemra便笺"));
}

void TestMainStartup::storedPlaceOpensThereAndCloseWritesIt()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")),
              "; mine\r\n[General]\r\nLeft=100\r\nTop=50\r\nAutoRun=0\r\nAutoSave=0\r\n[Other]\r\nx=1\r\n");
    {
        FrmMain w(tp.platform());
        QCOMPARE(w.pos(), QPoint(100, 50));
        w.move(321, 123);
        w.close();
    }
    QCOMPARE(
        readFile(tp.path(QStringLiteral("Config.ini"))),
        QByteArray(
            "; mine\r\n[General]\r\nLeft=321\r\nTop=123\r\nAutoRun=0\r\nAutoSave=0\r\n[Other]\r\nx=1\r\n"));
    FrmMain again(tp.platform());
    QCOMPARE(again.pos(), QPoint(321, 123));
}

void TestMainStartup::missingLeftCentresHorizontally()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")), "[General]\r\nTop=40\r\n");
    FrmMain w(tp.platform());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(w.pos(), QPoint((screen.width() - 458) / 2, 40));
}

void TestMainStartup::switchValues_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("autoRun");
    QTest::addColumn<bool>("autoSave");
    QTest::newRow("two and minus one")
        << QByteArray("[General]\r\nAutoRun=2\r\nAutoSave=-1\r\n") << true << true;
    QTest::newRow("letters read as zero")
        << QByteArray("[General]\r\nAutoRun=x\r\nAutoSave=abc\r\n") << false << false;
    QTest::newRow("lower-case key") << QByteArray("[general]\r\nautorun=1\r\n") << true << false;
    QTest::newRow("quoted and spaced") << QByteArray("[General]\r\nAutoSave = \" 1 \"\r\n") << false << true;
}

void TestMainStartup::switchValues()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, autoRun);
    QFETCH(bool, autoSave);
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")), config);
    FrmMain w(tp.platform());
    QCOMPARE(w.AutoRun(), autoRun);
    QCOMPARE(w.AutoSave(), autoSave);
    w.Picture4_Click();
    QCOMPARE(control<QWidget>(&w, QStringLiteral("SSwitch1"))->property("Value").toBool(), autoRun);
    QCOMPARE(control<QWidget>(&w, QStringLiteral("SSwitch2"))->property("Value").toBool(), autoSave);
}

void TestMainStartup::closeFollowsAutoRunWithAutostartEntry()
{
    TestPlatform tp;
    {
        FrmMain w(tp.platform());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.Picture4_Click();
        auto* sw = control<QWidget>(&w, QStringLiteral("SSwitch1"));
        QTest::mouseClick(sw, Qt::LeftButton);
        QVERIFY(w.AutoRun());
        // Nothing reaches the autostart folder before the close.
        QVERIFY(tp.autostart.calls.isEmpty());
        w.close();
    }
    QCOMPARE(tp.autostart.calls,
             QStringList{QStringLiteral("enable VemraNotes %1").arg(tp.platform().executablePath)});
    QVERIFY(readFile(tp.path(QStringLiteral("Config.ini"))).contains("AutoRun=1"));
    {
        FrmMain w(tp.platform());
        QVERIFY(w.AutoRun());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.Picture4_Click();
        auto* sw = control<QWidget>(&w, QStringLiteral("SSwitch1"));
        QTest::mouseClick(sw, Qt::LeftButton);
        w.close();
    }
    QCOMPARE(tp.autostart.calls.last(), QStringLiteral("disable VemraNotes"));
    QVERIFY(readFile(tp.path(QStringLiteral("Config.ini"))).contains("AutoRun=0"));
}

void TestMainStartup::settingsPanelIsBuiltWhenFirstOpened()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")), "[General]\r\nAutoRun=1\r\nAutoSave=0\r\n");
    FrmMain w(tp.platform());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("Picture9")));
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("Picture15")));
    QVERIFY(!w.settingsPanelOpen());

    QTest::mouseClick(control<QWidget>(&w, QStringLiteral("Picture4")), Qt::LeftButton);
    auto* settings = control<QWidget>(&w, QStringLiteral("Picture9"));
    QVERIFY(settings->isVisible());
    QCOMPARE(settings->pos() * 15, QPoint(6870 - 2775, 360));
    QCOMPARE(control<QWidget>(&w, QStringLiteral("SSwitch1"))->property("Value").toBool(), true);
    QCOMPARE(control<QWidget>(&w, QStringLiteral("SSwitch2"))->property("Value").toBool(), false);

    QTest::mouseClick(control<QWidget>(&w, QStringLiteral("Picture4")), Qt::LeftButton);
    QVERIFY(!settings->isVisible());
    QTest::mouseClick(control<QWidget>(&w, QStringLiteral("Picture4")), Qt::LeftButton);
    QVERIFY(settings->isVisible());
    QCOMPARE(w.findChildren<QWidget*>(QStringLiteral("Picture9")).size(), 1);
}

void TestMainStartup::noteListIsBuiltWhenFirstOpened()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("one")));
    writeFile(tp.path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("two")));
    FrmMain w(tp.platform());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("List1")));
    auto* editor = control<TextBoxW>(&w, QStringLiteral("Text1"));
    editor->setFocus();
    // Nothing is selected in a list never opened: the removal key leaves every note.
    QTest::keyClick(editor, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(w.NoteCount(), 3);
    QVERIFY(!w.noteListOpen());

    QTest::mouseClick(control<QWidget>(&w, QStringLiteral("Picture1")), Qt::LeftButton);
    QVERIFY(w.noteListOpen());
    auto* list = control<ListBoxW>(&w, QStringLiteral("List1"));
    QCOMPARE(list->items(),
             (QStringList{QStringLiteral("#无内容#"), QStringLiteral("one"), QStringLiteral("two")}));
    // From now on it follows the store.
    QTest::mouseClick(control<QWidget>(&w, QStringLiteral("Picture8_2")), Qt::LeftButton);
    QCOMPARE(list->ListCount(), 4);
}

void TestMainStartup::notesAreReadRightAfterTheFirstPaint()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("one")));
    FrmMain w(tp.platform(), nullptr, FrmMain::NoteLoading::AfterFirstPaint);
    QVERIFY(w.notesLoadPending());
    QVERIFY(w.windowIcon().availableSizes().isEmpty());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(!w.notesLoadPending());
    QCOMPARE(w.noteTexts(), (QStringList{QString(), QStringLiteral("one")}));
    // The icon comes with it, at the sizes a task bar asks for.
    QCOMPARE(w.windowIcon().availableSizes().last(), QSize(64, 64));
}

void TestMainStartup::aCloseBeforeTheFirstPaintKeepsEveryNote()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("one")));
    writeFile(tp.path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("two")));
    {
        FrmMain w(tp.platform(), nullptr, FrmMain::NoteLoading::AfterFirstPaint);
        control<TextBoxW>(&w, QStringLiteral("Text1"))->setText(QStringLiteral("typed"));
        QVERIFY(w.notesLoadPending());
        w.close();
    }
    FrmMain w(tp.platform());
    QCOMPARE(w.noteTexts(),
             (QStringList{QString(), QStringLiteral("typed"), QStringLiteral("one"), QStringLiteral("two")}));
}

void TestMainStartup::autoSaveOnBackgroundMoveWritesOnlyWhatChanged()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("first")));
    FrmMain w(tp.platform());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint bare(200, 2); // the title row between the title and the buttons
    QVERIFY(!w.childAt(bare));

    pointerTo(&w, bare);
    QCOMPARE(w.saveCount(), 0); // switch off: pointer moves never save

    w.Picture4_Click();
    QTest::mouseClick(control<QWidget>(&w, QStringLiteral("SSwitch2")), Qt::LeftButton);
    QVERIFY(w.AutoSave());
    QVERIFY(readFile(tp.path(QStringLiteral("Config.ini"))).contains("AutoSave = 0"));
    const QByteArray noteBefore = readFile(tp.path(QStringLiteral("Notes/1.txt")));
    pointerTo(&w, bare + QPoint(3, 0));
    QCOMPARE(w.saveCount(), 1);
    QVERIFY(readFile(tp.path(QStringLiteral("Config.ini"))).contains("AutoSave=1"));
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))), noteBefore);

    // Typing into the editor saves at once: the new empty note 0 becomes 1.txt, the first note 2.txt.
    auto* editor = control<TextBoxW>(&w, QStringLiteral("Text1"));
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("hi"));
    QTRY_COMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))), utf8WithBom(QStringLiteral("hi")));
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/2.txt"))), utf8WithBom(QStringLiteral("first")));
}

void TestMainStartup::systemCloseKeepsTheTypedText()
{
    TestPlatform tp;
    {
        FrmMain w(tp.platform());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* editor = control<TextBoxW>(&w, QStringLiteral("Text1"));
        editor->setText(QStringLiteral("kept"));
        w.CommitEditor();
        editor->setText(QStringLiteral("typed after the last commit"));
        w.close(); // as the session or a signal closes it
    }
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))),
             utf8WithBom(QStringLiteral("typed after the last commit")));
}

void TestMainStartup::closeButtonCommitsThenSaves()
{
    TestPlatform tp;
    {
        FrmMain w(tp.platform());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        control<TextBoxW>(&w, QStringLiteral("Text1"))->setText(QStringLiteral("line 1\r\nline 2"));
        QTest::mouseClick(control<QWidget>(&w, QStringLiteral("Picture2")), Qt::LeftButton);
        QVERIFY(!w.isVisible());
    }
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))),
             utf8WithBom(QStringLiteral("line 1\r\nline 2")));
    QCOMPARE(tp.autostart.calls, QStringList{QStringLiteral("disable VemraNotes")});
}

void TestMainStartup::badConfigFilesStillStart_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("keptBytes");
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 37 + 11) & 0xff));
    QTest::newRow("binary") << binary << int(binary.size());
    QTest::newRow("no section") << QByteArray("Left=10\r\nTop=10\r\n") << 18;
    // The Left line is the application's own and is replaced; the rest stays.
    QTest::newRow("long line") << QByteArray("[General]\r\nLeft=") + QByteArray(10000, '7') + "\r\nx=1\r\n"
                               << 20;
    QTest::newRow("huge") << QByteArray("[General]\r\nAutoSave=1\r\n") + QByteArray(8 * 1024 * 1024, 'z')
                          << 8 * 1024 * 1024;
}

void TestMainStartup::badConfigFilesStillStart()
{
    QFETCH(QByteArray, config);
    QFETCH(int, keptBytes);
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")), config);
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("safe")));
    {
        FrmMain w(tp.platform());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.noteTexts(), (QStringList{QString(), QStringLiteral("safe")}));
        w.close();
    }
    // The notes survive, and a file we could not read safely is not cut short.
    QVERIFY(readFile(tp.path(QStringLiteral("Notes/1.txt"))).contains("safe"));
    const QByteArray after = readFile(tp.path(QStringLiteral("Config.ini")));
    QVERIFY2(after.size() >= keptBytes, QByteArray::number(after.size()));
    QVERIFY(after.size() < keptBytes + 200);
}

void TestMainStartup::notesThatIsAFileIsLeftAlone()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Notes")), "not a folder");
    QStringList seen;
    {
        ModalCloser closer;
        FrmMain w(tp.platform());
        control<TextBoxW>(&w, QStringLiteral("Text1"))->setText(QStringLiteral("new"));
        w.CommitEditor();
        w.close();
        seen = closer.seen;
    }
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes"))), QByteArray("not a folder"));
    // The note could not be saved: the user is asked, and closing anyway keeps it aside.
    QCOMPARE(seen, (QStringList{QStringLiteral("SaveFailedAtClose"), QStringLiteral("FrmMessage")}));
    const QStringList rescued = QDir(tp.path(QStringLiteral("state"))).entryList(QDir::Files);
    QCOMPARE(rescued.size(), 1);
    QVERIFY(readFile(tp.path(QStringLiteral("state/")) + rescued.constFirst()).endsWith("new\n"));
}

void TestMainStartup::notesLoadAndSaveWithoutConfigFile()
{
    TestPlatform tp;
    // Config.ini cannot be created: something else has its name.
    QVERIFY(QDir(tp.appFolder()).mkpath(QStringLiteral("Config.ini")));
    writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("shipped note")));
    {
        FrmMain w(tp.platform());
        w.ensureNoteList();
        auto* list = control<ListBoxW>(&w, QStringLiteral("List1"));
        QCOMPARE(list->items(), (QStringList{QStringLiteral("#无内容#"), QStringLiteral("shipped note")}));
        control<TextBoxW>(&w, QStringLiteral("Text1"))->setText(QStringLiteral("typed"));
        w.close();
    }
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))), utf8WithBom(QStringLiteral("typed")));
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/2.txt"))), utf8WithBom(QStringLiteral("shipped note")));
}

void TestMainStartup::windowSystemThatPlacesWindowsKeepsTheStoredPlace()
{
    TestPlatform tp;
    tp.platform().canPlaceWindows = false; // as on Wayland
    const QByteArray ini = "[General]\r\nLeft=100\r\nTop=50\r\nAutoRun=0\r\nAutoSave=0\r\n";
    writeFile(tp.path(QStringLiteral("Config.ini")), ini);
    {
        FrmMain w(tp.platform());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.pos() != QPoint(100, 50));
        w.Picture4_Click();
        auto* switch2 = control<QWidget>(&w, QStringLiteral("SSwitch2"));
        QTest::mouseClick(switch2, Qt::LeftButton);
        QVERIFY(w.AutoSave());
        w.close();
    }
    // The switch is written, the place the window system would report is not.
    QCOMPARE(readFile(tp.path(QStringLiteral("Config.ini"))),
             QByteArray("[General]\r\nLeft=100\r\nTop=50\r\nAutoRun=0\r\nAutoSave=1\r\n"));
}

QTEST_MAIN(TestMainStartup)
#include "tst_mainstartup.moc"
