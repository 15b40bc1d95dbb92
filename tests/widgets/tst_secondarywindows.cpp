// SPDX-License-Identifier: GPL-3.0-or-later
// The secondary windows (message, music reminder, About) as the user sees and handles them.
#include "shell/FrmAbout.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "tasks/FrmMessage.h"
#include "tasks/FrmMusic.h"
#include "widgets/ClickLabel.h"
#include "widgets/Surface.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

namespace {

// The label drawn next to one that certainly shows its text as typed: the same pixels mean the
// label did not read the text as markup.
bool shownAsTyped(QLabel* label)
{
    // A sibling in the same place inherits the same colours and font.
    QLabel reference(label->parentWidget());
    reference.setTextFormat(Qt::PlainText);
    reference.setText(label->text());
    reference.setFont(label->font());
    reference.setPalette(label->palette());
    reference.setWordWrap(label->wordWrap());
    reference.setAlignment(label->alignment());
    reference.setGeometry(label->geometry());
    return label->grab().toImage().convertToFormat(QImage::Format_RGB32) ==
           reference.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The 288 characters a prompt may hold at most, in lines of the kind a user types.
QString longestPrompt()
{
    QString prompt;
    int line = 0;
    while (prompt.size() < 288) {
        prompt += QStringLiteral("第%1行：记得把炉子上的汤关火，顺便看看窗户关好了没有。\r\n").arg(++line);
    }
    prompt.truncate(287);
    return prompt + u'终';
}

// The bounding box of the pixels that differ from the ground, inside area.
QRect drawnBox(const QImage& image, const QRect& area, QRgb ground)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != ground)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class TestSecondaryWindows : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void userTextIsShownAsTyped_data();
    void userTextIsShownAsTyped();
    void longPromptScrollsClearOfTheConfirmButton();
    void shortPromptNeedsNoScrolling();
    void escapeLeavesRemindersOpen();
    void escapeClosesAbout();
    void musicButtonsAreCentred();
    void musicButtonsKeepTheirSizeInEveryLook();

private:
    std::unique_ptr<QWidget> m_main;
};

void TestSecondaryWindows::init()
{
    m_main = std::make_unique<QWidget>();
    m_main->resize(458, 595);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
}

void TestSecondaryWindows::cleanup()
{
    m_main.reset();
}

void TestSecondaryWindows::userTextIsShownAsTyped_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("bold tags") << QStringLiteral("<b>x</b>");
    QTest::newRow("entity") << QStringLiteral("&amp;");
    QTest::newRow("image") << QStringLiteral("<img src=x>");
    QTest::newRow("line break tag") << QStringLiteral("a<br>b");
}

void TestSecondaryWindows::userTextIsShownAsTyped()
{
    QFETCH(QString, text);
    // A message task whose content and prompt are the same text: it is the title and the message.
    FrmMessage window(m_main.get(), text, text);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* title = control<QLabel>(&window, QStringLiteral("LblFormTitle"));
    auto* message = control<QLabel>(&window, QStringLiteral("LblMessage"));
    QVERIFY(title && message);
    QCOMPARE(title->text(), text);
    QCOMPARE(message->text(), text);
    QVERIFY(shownAsTyped(title));
    QVERIFY(shownAsTyped(message));
}

void TestSecondaryWindows::longPromptScrollsClearOfTheConfirmButton()
{
    const QString prompt = longestPrompt();
    QCOMPARE(prompt.size(), 288);
    FrmMessage window(m_main.get(), QStringLiteral("炖汤"), prompt);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* message = control<QLabel>(&window, QStringLiteral("LblMessage"));
    auto* confirm = control<QWidget>(&window, QStringLiteral("PicConfirm"));
    auto* panel = control<QWidget>(&window, QStringLiteral("PicInterface"));
    QVERIFY(message && confirm && panel);

    // The label holds the whole text: nothing is cut off at its bottom.
    QVERIFY2(message->height() >= message->heightForWidth(message->width()),
             qPrintable(QStringLiteral("%1 of %2 px")
                            .arg(message->height())
                            .arg(message->heightForWidth(message->width()))));
    // What is seen of it ends above the confirm button, with room between them ...
    auto* area = qobject_cast<QScrollArea*>(message->parentWidget() ? message->parentWidget()->parentWidget()
                                                                    : nullptr);
    QWidget* seen = area ? static_cast<QWidget*>(area) : message;
    const QRect seenInPanel(seen->mapTo(panel, QPoint(0, 0)), seen->size());
    QVERIFY2(seenInPanel.bottom() + 4 < confirm->y(),
             qPrintable(QStringLiteral("message area ends at %1, button starts at %2")
                            .arg(seenInPanel.bottom())
                            .arg(confirm->y())));
    // ... and the rest is reached by scrolling, which a scroll bar shows.
    QVERIFY(message->height() > seenInPanel.height());
    QVERIFY(area);
    QScrollBar* bar = area->verticalScrollBar();
    QVERIFY(bar->isVisible());
    bar->setValue(bar->maximum());
    const int lastLineBottom = message->mapTo(area->viewport(), QPoint(0, message->height())).y();
    QVERIFY2(
        lastLineBottom <= area->viewport()->height(),
        qPrintable(
            QStringLiteral("text ends at %1 of %2").arg(lastLineBottom).arg(area->viewport()->height())));
}

void TestSecondaryWindows::shortPromptNeedsNoScrolling()
{
    FrmMessage window(m_main.get(), QStringLiteral("翻译功能异常"),
                      QStringLiteral("网络连接异常，无法进行翻译。"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* message = control<QLabel>(&window, QStringLiteral("LblMessage"));
    auto* area = control<QScrollArea>(&window, QStringLiteral("LblMessageArea"));
    QVERIFY(message && area);
    QVERIFY(!area->verticalScrollBar()->isVisible());
    QCOMPARE(message->mapTo(&window, QPoint(0, 0)),
             control<QWidget>(&window, QStringLiteral("PicInterface"))->mapTo(&window, QPoint(8, 8)));
}

void TestSecondaryWindows::escapeLeavesRemindersOpen()
{
    FrmMessage message(m_main.get(), QStringLiteral("泡面"), QStringLiteral("香喷喷的面泡好咯！"));
    message.show();
    QVERIFY(QTest::qWaitForWindowExposed(&message));
    QTest::keyClick(&message, Qt::Key_Escape);
    QVERIFY(message.isVisible());

    FakeMediaPlayerFactory media;
    int snoozed = 0;
    FrmMusic music(m_main.get(), &media, 0, QStringLiteral("/tmp/song.mp3"), [&](int) { ++snoozed; });
    music.show();
    QVERIFY(QTest::qWaitForWindowExposed(&music));
    QTest::keyClick(&music, Qt::Key_Escape);
    QVERIFY(music.isVisible());
    QCOMPARE(media.log.stops, 0);
    QCOMPARE(snoozed, 0);
    // Its own button still closes it, and stops the music.
    QTest::mouseClick(control<QWidget>(&music, QStringLiteral("Label1_0")), Qt::LeftButton);
    QVERIFY(!music.isVisible());
    QCOMPARE(media.log.stops, 1);
}

void TestSecondaryWindows::escapeClosesAbout()
{
    FrmAbout about(m_main.get());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
}

void TestSecondaryWindows::musicButtonsAreCentred()
{
    FakeMediaPlayerFactory media;
    FrmMusic music(m_main.get(), &media, 0, QString(), {});
    auto* panel = control<QWidget>(&music, QStringLiteral("PicInterface"));
    auto* close = control<QWidget>(&music, QStringLiteral("Label1_0"));
    auto* snooze = control<QWidget>(&music, QStringLiteral("Label1_1"));
    QVERIFY(panel && close && snooze);
    QVERIFY(close->x() < snooze->x());
    const int left = close->x();
    const int right = panel->width() - (snooze->x() + snooze->width());
    QVERIFY2(qAbs(left - right) <= 1,
             qPrintable(QStringLiteral("%1 px left, %2 px right").arg(left).arg(right)));
    for (QWidget* button : {close, snooze}) {
        const int above = button->y();
        const int below = panel->height() - (button->y() + button->height());
        QVERIFY(qAbs(above - below) <= 1);
    }
}

void TestSecondaryWindows::musicButtonsKeepTheirSizeInEveryLook()
{
    FakeMediaPlayerFactory media;
    FrmMusic music(m_main.get(), &media, 0, QString(), {});
    music.show();
    QVERIFY(QTest::qWaitForWindowExposed(&music));
    QApplication::setActiveWindow(&music);
    QVERIFY(QTest::qWaitForWindowActive(&music));
    auto* panel = control<Surface>(&music, QStringLiteral("PicInterface"));
    for (const QString& name : {QStringLiteral("Label1_0"), QStringLiteral("Label1_1")}) {
        auto* button = control<ClickLabel>(&music, name);
        QVERIFY(button);
        const QRect area = button->geometry().adjusted(-2, -2, 2, 2);
        // Moves go to the window itself: the main window lies under it and would take them.
        QTest::mouseMove(music.windowHandle(), panel->mapTo(&music, QPoint(2, 2)));
        QVERIFY(!button->isChosen());
        const QRect normal = drawnBox(panel->grab().toImage(), area, qRgb(255, 255, 255));
        QTest::mouseMove(music.windowHandle(), button->mapTo(&music, button->rect().center()));
        QVERIFY(button->isChosen());
        const QRect hover = drawnBox(panel->grab().toImage(), area, qRgb(255, 255, 255));
        QCOMPARE(normal, button->geometry());
        QCOMPARE(hover, button->geometry());
    }
}

QTEST_MAIN(TestSecondaryWindows)
#include "tst_secondarywindows.moc"
