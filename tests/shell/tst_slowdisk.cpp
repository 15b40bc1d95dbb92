// SPDX-License-Identifier: GPL-3.0-or-later
// A disk that takes its time over every flush never holds the window back: the start's flushes are
// held here (this program is linked against the slow-flush shim, whose fsync comes before the C
// library's), and the window must be drawn and take typing before any of them has returned. The
// notes come in once the disk answers, after what was typed meanwhile, and nothing is lost.
#include "platform/DataFolder.h"
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "widgets/TextBoxW.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

extern "C" int vemraFlushesWaiting();
extern "C" int vemraFlushesDone();

class TestSlowDisk : public QObject
{
    Q_OBJECT
private slots:
    void windowAndTypingNeverWaitForAFlush_data();
    void windowAndTypingNeverWaitForAFlush();
};

void TestSlowDisk::windowAndTypingNeverWaitForAFlush_data()
{
    QTest::addColumn<bool>("cutShort");
    // The write probe of the data folder flushes at every start, before the window exists.
    QTest::newRow("every start: the data folder's write probe") << false;
    // The load finishes a save a crash cut short, which flushes, right after the first drawing.
    QTest::newRow("a save cut short, finished by the load") << true;
}

void TestSlowDisk::windowAndTypingNeverWaitForAFlush()
{
    QFETCH(bool, cutShort);
    TestPlatform tp;
    QVERIFY(writeFile(tp.path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("one"))));
    // A staging folder without its journal: its file is kept in the recovery folder, flushed there.
    if (cutShort)
        QVERIFY(
            writeFile(tp.path(QStringLiteral(".Notes.saving/1.txt")), utf8WithBom(QStringLiteral("staged"))));
    QTemporaryDir gateFolder;
    const QString gate = gateFolder.filePath(QStringLiteral("hold"));
    QVERIFY(writeFile(gate, QByteArray()));
    qputenv("VEMRA_FLUSH_GATE", QFile::encodeName(gate));
    const auto release = qScopeGuard([&gate] {
        QFile::remove(gate);
        qunsetenv("VEMRA_FLUSH_GATE");
    });
    const int doneBefore = vemraFlushesDone();

    QCOMPARE(DataFolder::writeProblem(tp.appFolder()), QString());
    FrmMain w(tp.platform(), nullptr, FrmMain::NoteLoading::AfterFirstPaint);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The icon is set right after the first drawing, where the notes are sent for.
    QTRY_VERIFY(!w.windowIcon().availableSizes().isEmpty());
    auto* editor = control<TextBoxW>(&w, QStringLiteral("Text1"));
    QTest::keyClicks(editor, QStringLiteral("typed"));
    QCOMPARE(editor->text(), QStringLiteral("typed"));
    // Drawn and typed into while every flush asked for is still held.
    QVERIFY(vemraFlushesWaiting() >= 1);
    QCOMPARE(vemraFlushesDone(), doneBefore);
    if (cutShort)
        QVERIFY(w.notesLoadPending());

    QFile::remove(gate);
    QTRY_VERIFY_WITH_TIMEOUT(!w.notesLoadPending(), 20000);
    QCOMPARE(editor->text(), QStringLiteral("typed"));
    QVERIFY(!QFileInfo::exists(tp.path(QStringLiteral(".Notes.saving"))));
    // The typed note comes first and the folder's note after it, as with a fast disk.
    w.close();
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/1.txt"))), utf8WithBom(QStringLiteral("typed")));
    QCOMPARE(readFile(tp.path(QStringLiteral("Notes/2.txt"))), utf8WithBom(QStringLiteral("one")));
    QVERIFY(!QFileInfo::exists(tp.path(QStringLiteral("Notes/3.txt"))));
    const QStringList kept = QDir(tp.path(QStringLiteral("Notes.recycle"))).entryList(QDir::Files);
    QCOMPARE(kept.size(), int(cutShort));
    if (cutShort)
        QCOMPARE(readFile(tp.path(QStringLiteral("Notes.recycle/") + kept.constFirst())),
                 utf8WithBom(QStringLiteral("staged")));
}

QTEST_MAIN(TestSlowDisk)
#include "tst_slowdisk.moc"
