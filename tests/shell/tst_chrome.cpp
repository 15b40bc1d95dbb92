// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "tasks/FrmMessage.h"
#include "widgets/ImageButton.h"
#include "widgets/TextBoxW.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QtTest>

namespace {
int twipsX(QWidget* w)
{
    return w->mapTo(w->window(), QPoint(0, 0)).x() * 15;
}
int twipsY(QWidget* w)
{
    return w->mapTo(w->window(), QPoint(0, 0)).y() * 15;
}
} // namespace

class TestChrome : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layoutAtDesignSize();
    void titleMovesWithPageSwitch();
    void dragByBackgroundAndTitleOnly();
    void settingsTagsAndPictures();
    void noteListClosesSettingsAside();
    void settingsHidesNoteListWithoutCommit();
    void pagePressWithAnyButtonSwitches();
    void hoverPicturesAndResets();
    void picture8HoverResetByPanel();
    void quickPanelKeepsEditorHeightInvariant();
    void minimizeClosesQuickPanel();
    void editorFocusClosesSettings();
    void autoSaveOnNoteListButtonNeedsText();
    void aboutOpensCentredAndModal();
    void helpAndReleaseOpenThroughDesktop();
    void messageWindowShowsTextPlaysAlarmOnTop();

private:
    std::unique_ptr<TestPlatform> tp;
    std::unique_ptr<FrmMain> w;
    ImageButton* button(const QString& name) { return control<ImageButton>(w.get(), name); }
    QWidget* widget(const QString& name) { return control<QWidget>(w.get(), name); }
};

void TestChrome::init()
{
    tp = std::make_unique<TestPlatform>();
    w = std::make_unique<FrmMain>(tp->platform());
    w->ensurePanels();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
}

void TestChrome::cleanup()
{
    w.reset();
    tp.reset();
}

void TestChrome::layoutAtDesignSize()
{
    QCOMPARE(twipsX(button(QStringLiteral("Picture5"))), 5580);
    QCOMPARE(twipsX(button(QStringLiteral("Picture4"))), 5910);
    QCOMPARE(twipsX(button(QStringLiteral("Picture3"))), 6240);
    QCOMPARE(twipsX(button(QStringLiteral("Picture2"))), 6570);
    QCOMPARE(6870 - twipsX(button(QStringLiteral("Picture2"))) - 270, 30);
    QCOMPARE(twipsX(widget(QStringLiteral("Label1"))), 390);
    QCOMPARE(twipsY(widget(QStringLiteral("Label1"))), 60);
    QWidget* page = widget(QStringLiteral("Picture6_0"));
    QCOMPARE(QRect(twipsX(page), twipsY(page), page->width() * 15, page->height() * 15),
             QRect(0, 390, 6870, 8535));
    QWidget* editor = widget(QStringLiteral("Text1"));
    QCOMPARE(QRect(twipsX(editor), twipsY(editor) - 390, editor->width() * 15, editor->height() * 15),
             QRect(30, 0, 6840, 8535));
    QWidget* list = widget(QStringLiteral("List1"));
    QWidget* panel = widget(QStringLiteral("Picture7"));
    QCOMPARE(QPoint(panel->x() * 15, panel->y() * 15), QPoint(0, 360));
    QCOMPARE(QRect(list->x() * 15, list->y() * 15, list->width() * 15, list->height() * 15),
             QRect(0, 540, 4305, 5685));
    QCOMPARE(widget(QStringLiteral("ListSearch"))->geometry(), list->geometry());
    QCOMPARE(widget(QStringLiteral("Picture8_0"))->x() * 15, 4005);
    QCOMPARE(widget(QStringLiteral("Picture8_1"))->x() * 15, 3675);
    QCOMPARE(widget(QStringLiteral("Picture8_2"))->x() * 15, 3345);
    QWidget* settings = widget(QStringLiteral("Picture9"));
    QCOMPARE(QPoint(settings->x() * 15, settings->y() * 15), QPoint(4095, 360));
    QWidget* line = widget(QStringLiteral("Line1"));
    QCOMPARE(QRect(line->x() * 15, line->y() * 15, line->width() * 15, 0), QRect(120, 390, 3015, 0));
    QWidget* quick = widget(QStringLiteral("Picture15"));
    QCOMPARE(QRect(quick->x() * 15, quick->y() * 15, quick->width() * 15, quick->height() * 15),
             QRect(0, 6360, 6870, 2175));
    QCOMPARE(widget(QStringLiteral("SSwitch1"))->pos() * 15, QPoint(1800, 240));
    QCOMPARE(widget(QStringLiteral("SSwitch2"))->pos() * 15, QPoint(1800, 720));
    QCOMPARE(widget(QStringLiteral("SSwitch1"))->size() * 15, QSize(615, 255));
}

void TestChrome::dragByBackgroundAndTitleOnly()
{
    QTest::mousePress(w.get(), Qt::LeftButton, {}, QPoint(200, 2));
    QTest::mouseRelease(w.get(), Qt::LeftButton, {}, QPoint(200, 2));
    QCOMPARE(w->dragRequests(), 1);
    QTest::mouseClick(widget(QStringLiteral("Label1")), Qt::RightButton);
    QCOMPARE(w->dragRequests(), 2);
    QTest::mouseClick(widget(QStringLiteral("Text1")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("Picture1")), Qt::LeftButton);
    QTest::mouseClick(widget(QStringLiteral("Picture7")), Qt::LeftButton, {}, QPoint(5, 30));
    QTest::mouseClick(static_cast<QAbstractScrollArea*>(widget(QStringLiteral("List1")))->viewport(),
                      Qt::LeftButton);
    QCOMPARE(w->dragRequests(), 2);
}

void TestChrome::titleMovesWithPageSwitch()
{
    QTest::mouseClick(button(QStringLiteral("Picture5")), Qt::LeftButton);
    QCOMPARE(twipsX(widget(QStringLiteral("Label1"))), 60);
    QVERIFY(!button(QStringLiteral("Picture1"))->isVisible());
    QVERIFY(widget(QStringLiteral("Picture6_1"))->isVisible());
    QVERIFY(!widget(QStringLiteral("Picture6_0"))->isVisible());
    QCOMPARE(button(QStringLiteral("Picture5"))->tag(), QStringLiteral("11"));
    QCOMPARE(button(QStringLiteral("Picture5"))->picture(), 6);
    QCOMPARE(button(QStringLiteral("Picture5"))->toolTip(), QStringLiteral("待办(Ctrl+2)"));
    QTest::mouseClick(button(QStringLiteral("Picture5")), Qt::LeftButton);
    QCOMPARE(twipsX(widget(QStringLiteral("Label1"))), 390);
    QVERIFY(button(QStringLiteral("Picture1"))->isVisible());
    QCOMPARE(button(QStringLiteral("Picture5"))->tag(), QStringLiteral("01"));
    QCOMPARE(button(QStringLiteral("Picture5"))->picture(), 4);
    QCOMPARE(button(QStringLiteral("Picture5"))->toolTip(), QStringLiteral("记事(Ctrl+1)"));
}

void TestChrome::settingsTagsAndPictures()
{
    ImageButton* settings = button(QStringLiteral("Picture4"));
    QCOMPARE(settings->tag(), QStringLiteral("00"));
    QCOMPARE(settings->picture(), 7);
    QTest::mouseClick(settings, Qt::LeftButton);
    QVERIFY(widget(QStringLiteral("Picture9"))->isVisible());
    QCOMPARE(settings->tag(), QStringLiteral("11"));
    QCOMPARE(settings->picture(), 10);
    pointerTo(w.get(), QPoint(200, 2));
    QCOMPARE(settings->tag(), QStringLiteral("10"));
    QCOMPARE(settings->picture(), 9);
    pointerTo(settings);
    QCOMPARE(settings->tag(), QStringLiteral("11"));
    QTest::mouseClick(settings, Qt::LeftButton);
    QVERIFY(!widget(QStringLiteral("Picture9"))->isVisible());
    QCOMPARE(settings->tag(), QStringLiteral("01"));
    QCOMPARE(settings->picture(), 8);
}

void TestChrome::noteListClosesSettingsAside()
{
    QTest::mouseClick(button(QStringLiteral("Picture4")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("Picture1")), Qt::LeftButton);
    QVERIFY(!widget(QStringLiteral("Picture9"))->isVisible());
    QVERIFY(widget(QStringLiteral("Picture7"))->isVisible());
    QCOMPARE(button(QStringLiteral("Picture4"))->tag(), QStringLiteral("00"));
    QCOMPARE(button(QStringLiteral("Picture4"))->picture(), 7);
}

void TestChrome::settingsHidesNoteListWithoutCommit()
{
    auto* editor = control<TextBoxW>(w.get(), QStringLiteral("Text1"));
    QTest::mouseClick(button(QStringLiteral("Picture1")), Qt::LeftButton);
    QVERIFY(!editor->isEnabled());
    QTest::mouseClick(button(QStringLiteral("Picture1")), Qt::LeftButton);
    editor->setText(QStringLiteral("not committed"));
    QTest::mouseClick(button(QStringLiteral("Picture1")), Qt::LeftButton);
    editor->setText(QStringLiteral("changed while hidden")); // from code, the box is disabled
    QTest::mouseClick(button(QStringLiteral("Picture4")), Qt::LeftButton);
    QVERIFY(!widget(QStringLiteral("Picture7"))->isVisible());
    QVERIFY(editor->isEnabled());
    QCOMPARE(w->noteTexts().at(0), QStringLiteral("not committed"));
}

void TestChrome::pagePressWithAnyButtonSwitches()
{
    QTest::mouseClick(button(QStringLiteral("Picture1")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("Picture5")), Qt::RightButton);
    QVERIFY(widget(QStringLiteral("Picture6_1"))->isVisible());
    QVERIFY(!widget(QStringLiteral("Picture7"))->isVisible());
    QVERIFY(widget(QStringLiteral("Text1"))->isEnabled());
    QTest::mouseClick(button(QStringLiteral("Picture5")), Qt::MiddleButton);
    QVERIFY(widget(QStringLiteral("Picture6_0"))->isVisible());
}

void TestChrome::hoverPicturesAndResets()
{
    struct Row
    {
        const char* name;
        int normal;
        int hover;
    };
    const Row rows[] = {{"Picture1", 1, 2}, {"Picture2", 15, 16}, {"Picture3", 11, 12}};
    for (const Row& row : rows) {
        ImageButton* b = button(QLatin1String(row.name));
        pointerTo(b);
        QCOMPARE(b->tag(), QStringLiteral("1"));
        QCOMPARE(b->picture(), row.hover);
        // Straight onto another control: the hover picture stays.
        pointerTo(widget(QStringLiteral("Label1")));
        QCOMPARE(b->picture(), row.hover);
        pointerTo(w.get(), QPoint(200, 2));
        QCOMPARE(b->tag(), QStringLiteral("0"));
        QCOMPARE(b->picture(), row.normal);
    }
    ImageButton* page = button(QStringLiteral("Picture5"));
    pointerTo(page);
    QCOMPARE(page->tag(), QStringLiteral("01"));
    QCOMPARE(page->picture(), 4);
    pointerTo(w.get(), QPoint(200, 2));
    QCOMPARE(page->tag(), QStringLiteral("00"));
    QCOMPARE(page->picture(), 3);
}

void TestChrome::picture8HoverResetByPanel()
{
    QTest::mouseClick(button(QStringLiteral("Picture1")), Qt::LeftButton);
    const int hovers[] = {17, 12, 14};
    const int normals[] = {15, 11, 13};
    for (int i = 0; i < 3; ++i) {
        ImageButton* b = button(QStringLiteral("Picture8_%1").arg(i));
        pointerTo(b);
        QCOMPARE(b->picture(), hovers[i]);
        QCOMPARE(b->tag(), QStringLiteral("1"));
    }
    pointerTo(widget(QStringLiteral("Picture7")), QPoint(5, 30));
    for (int i = 0; i < 3; ++i) {
        ImageButton* b = button(QStringLiteral("Picture8_%1").arg(i));
        QCOMPARE(b->picture(), normals[i]);
        QCOMPARE(b->tag(), QStringLiteral("0"));
    }
}

void TestChrome::quickPanelKeepsEditorHeightInvariant()
{
    QWidget* editor = widget(QStringLiteral("Text1"));
    QWidget* quick = widget(QStringLiteral("Picture15"));
    QWidget* page = widget(QStringLiteral("Picture6_0"));
    w->ToggleQuickPanel();
    QVERIFY(quick->isVisible());
    QCOMPARE(editor->height() * 15, quick->y() * 15 - 15);
    ImageButton* close = button(QStringLiteral("Picture16"));
    pointerTo(close);
    QCOMPARE(close->picture(), 17);
    pointerTo(quick, QPoint(3, quick->height() - 3));
    QCOMPARE(close->picture(), 15);
    pointerTo(close);
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!quick->isVisible());
    QCOMPARE(editor->height(), page->height());
    QCOMPARE(close->tag(), QStringLiteral("0"));
    QCOMPARE(close->picture(), 15);
}

void TestChrome::minimizeClosesQuickPanel()
{
    w->ToggleQuickPanel();
    ImageButton* minimize = button(QStringLiteral("Picture3"));
    pointerTo(minimize);
    QTest::mouseClick(minimize, Qt::LeftButton);
    QVERIFY(!widget(QStringLiteral("Picture15"))->isVisible());
    QCOMPARE(minimize->picture(), 11);
    QCOMPARE(minimize->tag(), QStringLiteral("1"));
    w->showNormal();
    QCOMPARE(widget(QStringLiteral("Text1"))->height(), widget(QStringLiteral("Picture6_0"))->height());
}

void TestChrome::editorFocusClosesSettings()
{
    QTest::mouseClick(button(QStringLiteral("Picture4")), Qt::LeftButton);
    widget(QStringLiteral("Picture9"))->setFocus();
    QVERIFY(widget(QStringLiteral("Picture9"))->isVisible());
    widget(QStringLiteral("Text1"))->setFocus();
    QVERIFY(!widget(QStringLiteral("Picture9"))->isVisible());
    QCOMPARE(button(QStringLiteral("Picture4"))->picture(), 7);
    QCOMPARE(button(QStringLiteral("Picture4"))->tag(), QStringLiteral("01"));
}

void TestChrome::autoSaveOnNoteListButtonNeedsText()
{
    QTest::mouseClick(button(QStringLiteral("Picture4")), Qt::LeftButton);
    QTest::mouseClick(widget(QStringLiteral("SSwitch2")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("Picture4")), Qt::LeftButton);
    const int before = w->saveCount();
    pointerTo(button(QStringLiteral("Picture1")));
    QCOMPARE(w->saveCount(), before); // empty editor: no save
    control<TextBoxW>(w.get(), QStringLiteral("Text1"))->setText(QStringLiteral("x"));
    QTRY_COMPARE(w->saveCount(), before + 1);
    const int afterTyping = w->saveCount();
    pointerTo(button(QStringLiteral("Picture1")), QPoint(2, 2));
    QCOMPARE(w->saveCount(), afterTyping + 1);
}

void TestChrome::aboutOpensCentredAndModal()
{
    w->move(100, 80);
    QTest::mouseClick(button(QStringLiteral("Picture4")), Qt::LeftButton);
    ModalCloser closer;
    QRect aboutGeometry;
    QString version;
    bool mainBlocked = false;
    closer.inspect = [&](QWidget* modal) {
        aboutGeometry = modal->geometry();
        version = control<QLabel>(modal, QStringLiteral("LblVersion"))->text();
        mainBlocked = !w->isEnabled() || QApplication::activeModalWidget() == modal;
    };
    QTest::mouseClick(widget(QStringLiteral("SButton1")), Qt::LeftButton);
    QCOMPARE(closer.seen, QStringList{QStringLiteral("FrmAbout")});
    QVERIFY(mainBlocked);
    QVERIFY(!widget(QStringLiteral("Picture9"))->isVisible());
    QCOMPARE(aboutGeometry.size(), QSize(270, 170));
    QCOMPARE(aboutGeometry.center().x(), w->frameGeometry().center().x());
    QVERIFY(qAbs(aboutGeometry.center().y() - w->frameGeometry().center().y()) <= 1);
    QVERIFY(version.startsWith(QStringLiteral("版本号：")));
    QCOMPARE(version.split(u'.').size(), 4);
    QCOMPARE(version.split(u'.').at(2), QStringLiteral("0"));
}

void TestChrome::helpAndReleaseOpenThroughDesktop()
{
    QTest::mouseClick(button(QStringLiteral("Picture4")), Qt::LeftButton);
    QTest::mouseClick(widget(QStringLiteral("SButton2")), Qt::LeftButton);
    QVERIFY(tp->opener.opened.isEmpty()); // no help document beside the executable: nothing
    writeFile(tp->path(QStringLiteral("Vemra便笺使用帮助.pdf")), "%PDF-1.4");
    QTest::mouseClick(widget(QStringLiteral("SButton2")), Qt::LeftButton);
    QCOMPARE(tp->opener.opened.size(), 1);
    QCOMPARE(tp->opener.opened.at(0).toLocalFile(), tp->path(QStringLiteral("Vemra便笺使用帮助.pdf")));
    QTest::mouseClick(widget(QStringLiteral("SButton7")), Qt::LeftButton);
    QCOMPARE(tp->opener.opened.size(), 2);
    QVERIFY(tp->opener.opened.at(1).scheme().startsWith(QStringLiteral("http")));

    // No program opens PDF files: the message names the document and its folder.
    tp->opener.opens = false;
    ModalCloser closer;
    QString message;
    closer.inspect = [&](QWidget* modal) {
        message = control<QLabel>(modal, QStringLiteral("LblMessage"))->text();
    };
    QTest::keyClick(w.get(), Qt::Key_F1);
    QCOMPARE(closer.seen, QStringList{QStringLiteral("FrmMessage")});
    QVERIFY2(message.contains(QStringLiteral("Vemra便笺使用帮助.pdf")) && message.contains(tp->appFolder()),
             qPrintable(message));
}

void TestChrome::messageWindowShowsTextPlaysAlarmOnTop()
{
    ModalCloser closer;
    QString title;
    QString message;
    bool onTop = false;
    closer.inspect = [&](QWidget* modal) {
        title = control<QLabel>(modal, QStringLiteral("LblFormTitle"))->text();
        message = control<QLabel>(modal, QStringLiteral("LblMessage"))->text();
        onTop = modal->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    };
    FrmMessage::ShowMessage(w.get(), &tp->sound, tp->appFolder(), QStringLiteral("翻译功能异常"),
                            QStringLiteral("网络连接异常，无法进行翻译。"));
    FrmMessage::ShowMessage(w.get(), &tp->sound, tp->appFolder(), QStringLiteral("t"), QStringLiteral("m"));
    QCOMPARE(closer.seen, (QStringList{QStringLiteral("FrmMessage"), QStringLiteral("FrmMessage")}));
    QCOMPARE(title, QStringLiteral("t"));
    QCOMPARE(message, QStringLiteral("m"));
    QVERIFY(onTop);
    // Once per opening, asynchronously, from Sounds/ beside the executable.
    QCOMPARE(tp->sound.played, QStringList(2, tp->path(QStringLiteral("Sounds/Alarm.wav"))));
    QCOMPARE(tp->sound.asyncFlags, (QList<bool>{true, true}));
}

QTEST_MAIN(TestChrome)
#include "tst_chrome.moc"
