// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/OleColor.h"
#include "widgets/SButton.h"

#include <QGuiApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

namespace {

QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform cannot grab the pointer for real and says so on every grab; the grab is
// still tracked by the widget layer, which is what these tests exercise.
void dropGrabWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("does not support grabbing the mouse")))
        return;
    g_previousHandler(type, context, message);
}

constexpr quint32 Red = 0x0000FF;
constexpr quint32 Green = 0x00FF00;
constexpr quint32 Blue = 0xFF0000;

QColor pixelAt(QWidget* widget, QPoint p)
{
    return widget->grab().toImage().pixelColor(p);
}

QStringList names(const PropertyBag& bag)
{
    QStringList out;
    for (const auto& entry : bag)
        out << entry.first;
    return out;
}

} // namespace

/// Drives a real button inside a shown window, the way the pointer would.
class TestSButton : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(dropGrabWarnings); }
    void init();
    void cleanup();

    void oleColors_data();
    void oleColors();

    void defaults();
    void pressRaisesClickBeforePressedLook();
    void otherButtonsRaiseNothing_data();
    void otherButtonsRaiseNothing();
    void releaseAwayStillKeepsClick();
    void hoverTakesGrabAndLeavingReleasesIt();
    void edgePoints_data();
    void edgePoints();
    void captionHoverTakesNoGrab();
    void captionPressClicks();
    void lookColours_data();
    void lookColours();
    void borderStyle_data();
    void borderStyle();
    void outlineOnDevicePixels_data();
    void outlineOnDevicePixels();
    void disabledIgnoresInputAndUsesSystemColours();
    void hideReleasesGrab();
    void propertySettersNotify();
    void designerStoreWritesInOrderWithoutDefaults();
    void designerStoreReadsDefaultsForMissing();

private:
    // Events go through the window, so they reach whichever widget is under the pointer or holds
    // the grab, as real input would.
    QWindow* window() const { return m_host->windowHandle(); }
    QPoint inHost(QPoint local) const { return m_button->mapTo(m_host, local); }
    void hoverButton();

    QWidget* m_host = nullptr;
    SButton* m_button = nullptr;
};

void TestSButton::init()
{
    m_host = new QWidget;
    m_host->resize(200, 120);
    m_button = new SButton(m_host);
    m_button->setGeometry(40, 30, 80, 40);
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host));
    // Start every test with the pointer parked over the host, away from the button.
    QTest::mouseMove(window(), QPoint(5, 5));
}

void TestSButton::cleanup()
{
    delete m_host;
    m_host = nullptr;
    m_button = nullptr;
}

void TestSButton::hoverButton()
{
    QTest::mouseMove(window(), inHost(QPoint(4, 4)));
    QCOMPARE(m_button->look(), int(SButton::LookHover));
}

void TestSButton::oleColors_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QColor>("color");
    QTest::newRow("red is the low byte") << 0x0000FFu << QColor(255, 0, 0);
    QTest::newRow("blue is the third byte") << 0xFF0000u << QColor(0, 0, 255);
    QTest::newRow("default normal back") << 0xFFCC33u << QColor(51, 204, 255);
    QTest::newRow("panel grey") << 0xFBFBFBu << QColor(251, 251, 251);
    QTest::newRow("high byte ignored") << 0x02336699u << QColor(0x99, 0x66, 0x33);
    const QPalette pal = QGuiApplication::palette();
    QTest::newRow("15 button face") << 0x8000000Fu << pal.color(QPalette::Active, QPalette::Button);
    QTest::newRow("17 grey text") << 0x80000011u << pal.color(QPalette::Disabled, QPalette::Text);
    QTest::newRow("21 dark shadow") << 0x80000015u << pal.color(QPalette::Active, QPalette::Shadow);
}

void TestSButton::oleColors()
{
    QFETCH(quint32, value);
    QFETCH(QColor, color);
    QCOMPARE(oleColor(value).rgb(), color.rgb());
}

void TestSButton::defaults()
{
    SButton b;
    QCOMPARE(b.backColorClick(), 0xFF9933u);
    QCOMPARE(b.backColorHover(), 0xFFCC66u);
    QCOMPARE(b.backColorNormal(), 0xFFCC33u);
    QCOMPARE(b.borderColorClick(), 0u);
    QCOMPARE(b.borderColorHover(), 0u);
    QCOMPARE(b.borderColorNormal(), 0u);
    QCOMPARE(b.borderStyle(), 0);
    QCOMPARE(b.caption(), QStringLiteral("SButton"));
    QVERIFY(b.isEnabled());
    QCOMPARE(b.foreColorClick(), 0xFFFFFFu);
    QCOMPARE(b.foreColorHover(), 0xFFFFFFu);
    QCOMPARE(b.foreColorNormal(), 0xFFFFFFu);
    QCOMPARE(b.look(), int(SButton::LookNormal));
    QVERIFY(!b.outlineVisible());
    auto* label = b.findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("SButton"));
    // The Qt property names are the control's own.
    QCOMPARE(b.property("BackColorNormal").toUInt(), 0xFFCC33u);
    QCOMPARE(b.property("Caption").toString(), QStringLiteral("SButton"));
}

void TestSButton::pressRaisesClickBeforePressedLook()
{
    QList<int> looksSeenByClick;
    connect(m_button, &SButton::Click, this, [&] { looksSeenByClick << m_button->look(); });

    hoverButton();
    QTest::mousePress(window(), Qt::LeftButton, {}, inHost(QPoint(4, 4)));
    QCOMPARE(looksSeenByClick, QList<int>{SButton::LookHover});
    QCOMPARE(m_button->look(), int(SButton::LookPressed));

    QTest::mouseRelease(window(), Qt::LeftButton, {}, inHost(QPoint(4, 4)));
    QCOMPARE(looksSeenByClick.size(), 1);
    QCOMPARE(m_button->look(), int(SButton::LookHover));
}

void TestSButton::otherButtonsRaiseNothing_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestSButton::otherButtonsRaiseNothing()
{
    QFETCH(Qt::MouseButton, button);
    QSignalSpy clicks(m_button, &SButton::Click);
    // On the bare surface, away from the caption.
    const QPoint p = inHost(QPoint(4, 4));
    hoverButton();

    QTest::mousePress(window(), button, {}, p);
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(m_button->look(), int(SButton::LookHover));
    QTest::mouseRelease(window(), button, {}, p);
    QCOMPARE(m_button->look(), int(SButton::LookHover));

    // Pressing it does not change the pressed look either, but its release ends it.
    QTest::mousePress(window(), Qt::LeftButton, {}, p);
    QCOMPARE(clicks.count(), 1);
    QTest::mousePress(window(), button, {}, p);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(m_button->look(), int(SButton::LookPressed));
    QTest::mouseRelease(window(), button, {}, p);
    QCOMPARE(m_button->look(), int(SButton::LookHover));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, p);
    QCOMPARE(clicks.count(), 1);
}

void TestSButton::releaseAwayStillKeepsClick()
{
    QSignalSpy clicks(m_button, &SButton::Click);
    QTest::mousePress(window(), Qt::LeftButton, {}, inHost(QPoint(4, 4)));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(m_button->look(), int(SButton::LookPressed));
    // Dragging off with the button held: the move outside ends the pressed look, and the release
    // away from the button cannot take the click back.
    QTest::mouseMove(window(), QPoint(190, 110));
    QCOMPARE(m_button->look(), int(SButton::LookNormal));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, QPoint(190, 110));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(m_button->look(), int(SButton::LookHover));
}

void TestSButton::hoverTakesGrabAndLeavingReleasesIt()
{
    QSignalSpy hovers(m_button, &SButton::Hover);
    QTest::mouseMove(window(), inHost(QPoint(5, 5)));
    QCOMPARE(m_button->look(), int(SButton::LookHover));
    QCOMPARE(hovers.count(), 1);
    QCOMPARE(QWidget::mouseGrabber(), m_button);

    // Every move inside raises Hover again.
    QTest::mouseMove(window(), inHost(QPoint(6, 5)));
    QCOMPARE(hovers.count(), 2);

    // Thanks to the grab the button sees the move that leaves it.
    QTest::mouseMove(window(), QPoint(190, 5));
    QCOMPARE(m_button->look(), int(SButton::LookNormal));
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(hovers.count(), 2);
}

void TestSButton::edgePoints_data()
{
    QTest::addColumn<QPoint>("local");
    QTest::addColumn<bool>("inside");
    // The button is 80 x 40.
    QTest::newRow("right edge") << QPoint(80, 20) << true;
    QTest::newRow("bottom edge") << QPoint(40, 40) << true;
    QTest::newRow("corner") << QPoint(80, 40) << true;
    QTest::newRow("origin") << QPoint(0, 0) << true;
    QTest::newRow("past right") << QPoint(81, 20) << false;
    QTest::newRow("past bottom") << QPoint(40, 41) << false;
    QTest::newRow("left of it") << QPoint(-1, 20) << false;
    QTest::newRow("above it") << QPoint(40, -1) << false;
}

void TestSButton::edgePoints()
{
    QFETCH(QPoint, local);
    QFETCH(bool, inside);
    hoverButton();
    QTest::mouseMove(window(), inHost(local));
    QCOMPARE(m_button->look(), int(inside ? SButton::LookHover : SButton::LookNormal));
    QCOMPARE(QWidget::mouseGrabber() == m_button, inside);
}

void TestSButton::captionHoverTakesNoGrab()
{
    m_button->setCaption(QStringLiteral("常用"));
    auto* label = m_button->findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(label);
    QVERIFY(label->geometry().contains(m_button->rect().center()));
    QSignalSpy hovers(m_button, &SButton::Hover);

    QTest::mouseMove(window(), m_button->mapTo(m_host, m_button->rect().center()));
    QCOMPARE(m_button->look(), int(SButton::LookHover));
    QCOMPARE(hovers.count(), 1);
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
}

void TestSButton::captionPressClicks()
{
    auto* label = m_button->findChild<QLabel*>(QStringLiteral("Label1"));
    const QPoint onCaption = label->mapTo(m_host, label->rect().center());
    QCOMPARE(m_host->childAt(onCaption), label);
    QSignalSpy clicks(m_button, &SButton::Click);
    QTest::mousePress(window(), Qt::LeftButton, {}, onCaption);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(m_button->look(), int(SButton::LookPressed));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, onCaption);
    QCOMPARE(m_button->look(), int(SButton::LookHover));
    QTest::mousePress(window(), Qt::RightButton, {}, onCaption);
    QCOMPARE(clicks.count(), 1);
    QTest::mouseRelease(window(), Qt::RightButton, {}, onCaption);
}

void TestSButton::lookColours_data()
{
    QTest::addColumn<int>("look");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<QColor>("border");
    QTest::newRow("normal") << int(SButton::LookNormal) << QColor(255, 0, 0) << QColor(0, 0, 255);
    QTest::newRow("hover") << int(SButton::LookHover) << QColor(0, 255, 0) << QColor(255, 0, 0);
    QTest::newRow("pressed") << int(SButton::LookPressed) << QColor(0, 0, 255) << QColor(0, 255, 0);
}

void TestSButton::lookColours()
{
    QFETCH(int, look);
    QFETCH(QColor, back);
    QFETCH(QColor, border);
    m_button->setBorderStyle(1);
    m_button->setBackColorNormal(Red);
    m_button->setBackColorHover(Green);
    m_button->setBackColorClick(Blue);
    m_button->setBorderColorNormal(Blue);
    m_button->setBorderColorHover(Red);
    m_button->setBorderColorClick(Green);
    m_button->setForeColorNormal(0x111111);
    m_button->setForeColorHover(0x222222);
    m_button->setForeColorClick(0x333333);

    if (look >= SButton::LookHover)
        hoverButton();
    if (look == SButton::LookPressed)
        QTest::mousePress(window(), Qt::LeftButton, {}, inHost(QPoint(4, 4)));
    QCOMPARE(m_button->look(), look);

    const QImage image = m_button->grab().toImage();
    QCOMPARE(image.pixelColor(3, 3), back);
    QCOMPARE(image.pixelColor(0, 20), border);
    QCOMPARE(image.pixelColor(79, 39), border);
    const QColor fore = oleColor(look == 0 ? 0x111111 : look == 1 ? 0x222222 : 0x333333);
    QCOMPARE(m_button->currentForeColor(), fore);
    auto* label = m_button->findChild<QLabel*>(QStringLiteral("Label1"));
    QCOMPARE(label->palette().color(QPalette::WindowText), fore);

    if (look == SButton::LookPressed)
        QTest::mouseRelease(window(), Qt::LeftButton, {}, inHost(QPoint(4, 4)));
}

void TestSButton::borderStyle_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("outlined");
    QTest::newRow("0 hides") << 0 << false;
    QTest::newRow("1 shows") << 1 << true;
    QTest::newRow("2 hides") << 2 << false;
    QTest::newRow("-1 hides") << -1 << false;
}

void TestSButton::borderStyle()
{
    QFETCH(int, style);
    QFETCH(bool, outlined);
    m_button->setColors(Red, Blue, 0xFFFFFF);
    m_button->setBorderStyle(style);
    QCOMPARE(m_button->outlineVisible(), outlined);
    QCOMPARE(pixelAt(m_button, QPoint(0, 20)), outlined ? QColor(0, 0, 255) : QColor(255, 0, 0));
}

void TestSButton::outlineOnDevicePixels_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QPoint>("position");
    for (qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0}) {
        for (const QPoint& position : {QPoint(40, 30), QPoint(41, 31), QPoint(43, 30), QPoint(42, 33)})
            QTest::addRow("%g at %d,%d", ratio, position.x(), position.y()) << ratio << position;
    }
}

void TestSButton::outlineOnDevicePixels()
{
    QFETCH(qreal, ratio);
    QFETCH(QPoint, position);
    // A host of its own colour shows any strip of the button's ground left outside the outline.
    m_host->setAutoFillBackground(true);
    QPalette pal = m_host->palette();
    pal.setColor(QPalette::Window, QColor(255, 0, 255));
    m_host->setPalette(pal);
    m_button->setColors(0xFFFFFF, Blue, 0xFFFFFF);
    m_button->setBorderStyle(1);
    m_button->setCaption(QStringLiteral("···"));
    m_button->setGeometry(QRect(position, QSize(41, 17)));

    QImage image(QSize(int(200 * ratio) + 1, int(120 * ratio) + 1), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    m_host->render(&image);
    const auto snap = [ratio](int v) { return int(std::floor(v * ratio + 0.5)); };
    // The device pixels Qt gives the button: its logical edges scaled and rounded.
    const QRect box(QPoint(snap(position.x()), snap(position.y())),
                    QPoint(snap(position.x() + 41) - 1, snap(position.y() + 17) - 1));
    const QRgb blue = qRgb(0, 0, 255);
    const QRgb host = qRgb(255, 0, 255);
    QStringList faults;
    for (int y = box.top() - 1; y <= box.bottom() + 1; ++y) {
        for (int x = box.left() - 1; x <= box.right() + 1; ++x) {
            const bool outside = !box.contains(x, y);
            const bool ring =
                !outside && (x == box.left() || x == box.right() || y == box.top() || y == box.bottom());
            const QRgb p = image.pixel(x, y);
            const bool fine = outside ? p == host : ring ? p == blue : p != blue && p != host;
            if (!fine)
                faults << QStringLiteral("%1,%2").arg(x).arg(y);
        }
    }
    // Four sides one device pixel wide that meet at the corners, nothing of the button outside them.
    QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("wrong pixels at ") + faults.mid(0, 12).join(u' ')));
}

void TestSButton::disabledIgnoresInputAndUsesSystemColours()
{
    m_button->setBorderStyle(1);
    m_button->setColors(Red, Blue, Green);
    // Pressed first, so the system colours must win over any look.
    QTest::mousePress(window(), Qt::LeftButton, {}, inHost(QPoint(4, 4)));
    QCOMPARE(m_button->look(), int(SButton::LookPressed));

    m_button->setEnabled(false);
    const QColor face = oleColor(0x8000000F);
    const QColor shadow = oleColor(0x80000015);
    // Grey text on the button face: the caption must stay readable.
    QVERIFY(face.rgb() != oleColor(0x80000011).rgb());
    QCOMPARE(m_button->currentBackColor(), face);
    QCOMPARE(m_button->currentBorderColor(), shadow);
    QCOMPARE(m_button->currentForeColor(), oleColor(0x80000011));
    const QImage image = m_button->grab().toImage();
    QCOMPARE(image.pixelColor(3, 3).rgb(), face.rgb());
    QCOMPARE(image.pixelColor(0, 20).rgb(), shadow.rgb());
    QTest::mouseRelease(window(), Qt::LeftButton, {}, inHost(QPoint(4, 4)));

    QSignalSpy clicks(m_button, &SButton::Click);
    QSignalSpy hovers(m_button, &SButton::Hover);
    const int lookBefore = m_button->look();
    QTest::mouseMove(window(), inHost(QPoint(4, 30)));
    QTest::mousePress(window(), Qt::LeftButton, {}, inHost(QPoint(4, 30)));
    QTest::mouseRelease(window(), Qt::LeftButton, {}, inHost(QPoint(4, 30)));
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(hovers.count(), 0);
    QCOMPARE(m_button->look(), lookBefore);
    QCOMPARE(QWidget::mouseGrabber(), nullptr);

    m_button->setEnabled(true);
    QCOMPARE(pixelAt(m_button, QPoint(3, 3)).rgb(), oleColor(Red).rgb());
}

void TestSButton::hideReleasesGrab()
{
    hoverButton();
    QCOMPARE(QWidget::mouseGrabber(), m_button);
    m_button->hide();
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    m_button->show();
    QCOMPARE(m_button->look(), int(SButton::LookNormal));
}

void TestSButton::propertySettersNotify()
{
    QSignalSpy changed(m_button, &SButton::propertyChanged);
    m_button->setCaption(QStringLiteral("···"));
    m_button->setBackColorHover(Red);
    m_button->setBorderStyle(1);
    QFont f = m_button->font();
    f.setPointSizeF(f.pointSizeF() + 3);
    m_button->setFont(f);
    m_button->setEnabled(false);
    QStringList seen;
    for (const auto& args : changed)
        seen << args.at(0).toString();
    QCOMPARE(seen, (QStringList{"Caption", "BackColorHover", "BorderStyle", "Font", "Enabled"}));

    // The caption takes the new font at once and stays centred.
    auto* label = m_button->findChild<QLabel*>(QStringLiteral("Label1"));
    QCOMPARE(label->font(), f);
    QCOMPARE(label->geometry().center().x(), m_button->rect().center().x());
}

void TestSButton::designerStoreWritesInOrderWithoutDefaults()
{
    SButton fresh(m_host);
    PropertyBag empty;
    fresh.writeProperties(empty);
    QVERIFY2(empty.isEmpty(), qPrintable(names(empty).join(',')));

    SButton b(m_host);
    QFont f = b.font();
    f.setFamily(QStringLiteral("Noto Sans CJK SC"));
    f.setPointSizeF(10.5);
    b.setForeColorNormal(0x404040);
    b.setFont(f);
    b.setBorderStyle(1);
    b.setCaption(QStringLiteral("···"));
    b.setBackColorNormal(0xFFFFFF);
    b.setBorderColorClick(0x808080);
    b.setBackColorClick(0xFFFFFF);
    b.setEnabled(false);
    b.setForeColorClick(0x404040);
    PropertyBag bag;
    b.writeProperties(bag);
    QCOMPARE(names(bag), (QStringList{"BackColorClick", "BackColorNormal", "BorderColorClick", "BorderStyle",
                                      "Caption", "Enabled", "Font", "ForeColorClick", "ForeColorNormal"}));

    SButton copy(m_host);
    copy.readProperties(bag);
    PropertyBag again;
    copy.writeProperties(again);
    QCOMPARE(again, bag);
    QCOMPARE(copy.font(), f);
    QVERIFY(!copy.isEnabled());
}

void TestSButton::designerStoreReadsDefaultsForMissing()
{
    m_button->setCaption(QStringLiteral("x"));
    m_button->setBackColorHover(Red);
    m_button->setBorderStyle(1);
    QSignalSpy changed(m_button, &SButton::propertyChanged);
    // Stored names may differ in case; a colour may come back signed.
    m_button->readProperties({{QStringLiteral("bordercolornormal"), int(0x80000015)},
                              {QStringLiteral("ForeColorHover"), 0x123456u}});
    QCOMPARE(m_button->borderColorNormal(), 0x80000015u);
    QCOMPARE(m_button->foreColorHover(), 0x123456u);
    QCOMPARE(m_button->caption(), QStringLiteral("SButton"));
    QCOMPARE(m_button->backColorHover(), 0xFFCC66u);
    QCOMPARE(m_button->borderStyle(), 0);
    QCOMPARE(changed.count(), 0);
}

QTEST_MAIN(TestSButton)
#include "tst_sbutton.moc"
