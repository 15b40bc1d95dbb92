// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/OleColor.h"
#include "widgets/SSwitch.h"

#include <QSignalSpy>
#include <QTest>

/// The on/off switch driven through its window, as the pointer would.
class TestSSwitch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaults();
    void knobGeometry_data();
    void knobGeometry();
    void clickFlipsThenRaisesClick();
    void twoClicksReturnAndRaiseTwice();
    void clickOnKnobAndTrack_data();
    void clickOnKnobAndTrack();
    void nonClicksChangeNothing_data();
    void nonClicksChangeNothing();
    void disabledClickChangesNothing();
    void hostValueRaisesNoClick();
    void drawsTrackOutlineAndKnob();
    void designerStore();

private:
    QWindow* window() const { return m_host->windowHandle(); }
    QPoint inHost(QPoint local) const { return m_switch->mapTo(m_host, local); }
    void click(QPoint local);

    QWidget* m_host = nullptr;
    SSwitch* m_switch = nullptr;
};

void TestSSwitch::init()
{
    m_host = new QWidget;
    m_host->resize(160, 80);
    m_switch = new SSwitch(m_host);
    m_switch->setGeometry(20, 20, 41, 17); // 615 x 255 twips
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host));
}

void TestSSwitch::cleanup()
{
    delete m_host;
    m_host = nullptr;
    m_switch = nullptr;
}

void TestSSwitch::click(QPoint local)
{
    QTest::mouseClick(window(), Qt::LeftButton, {}, inHost(local));
}

void TestSSwitch::defaults()
{
    SSwitch s;
    QCOMPARE(s.backColorOff(), 0xE1E1E1u);
    QCOMPARE(s.backColorOn(), 0xFFCC33u);
    QVERIFY(!s.value());
    QVERIFY(s.isEnabled());
    QVERIFY(s.findChild<QWidget*>(QStringLiteral("Picture1")));
    QVERIFY(s.findChild<QWidget*>(QStringLiteral("Picture2")));
    QCOMPARE(s.property("BackColorOn").toUInt(), 0xFFCC33u);
}

void TestSSwitch::knobGeometry_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QRectF>("knob");
    QTest::newRow("615x255 off") << QSize(41, 17) << false << QRectF(15, 15, 292.5, 225);
    QTest::newRow("615x255 on") << QSize(41, 17) << true << QRectF(307.5, 15, 292.5, 225);
    QTest::newRow("900x300 off") << QSize(60, 20) << false << QRectF(15, 15, 435, 270);
    QTest::newRow("900x300 on") << QSize(60, 20) << true << QRectF(450, 15, 435, 270);
}

void TestSSwitch::knobGeometry()
{
    QFETCH(QSize, pixels);
    QFETCH(bool, on);
    QFETCH(QRectF, knob);
    m_switch->resize(pixels);
    m_switch->setValue(on);
    QCOMPARE(m_switch->knobTwips(), knob);
    QCOMPARE(m_switch->trackTwips(), QRectF(0, 0, pixels.width() * 15.0, pixels.height() * 15.0));

    // The knob widget is the twip rectangle in whole pixels, one pixel in from the chosen end.
    auto* picture2 = m_switch->findChild<QWidget*>(QStringLiteral("Picture2"));
    QCOMPARE(picture2->y(), 1);
    QCOMPARE(picture2->height(), qRound(knob.height() / 15));
    if (on)
        QCOMPARE(picture2->geometry().right(), pixels.width() - 2);
    else
        QCOMPARE(picture2->x(), 1);
}

void TestSSwitch::clickFlipsThenRaisesClick()
{
    QList<bool> valuesSeen;
    connect(m_switch, &SSwitch::Click, this, [&] { valuesSeen << m_switch->value(); });
    click(QPoint(30, 8));
    QCOMPARE(valuesSeen, QList<bool>{true});
    QCOMPARE(m_switch->knobTwips().left(), 307.5);
}

void TestSSwitch::twoClicksReturnAndRaiseTwice()
{
    QSignalSpy clicks(m_switch, &SSwitch::Click);
    click(QPoint(5, 8));
    QVERIFY(m_switch->value());
    click(QPoint(5, 8));
    QVERIFY(!m_switch->value());
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(m_switch->knobTwips().left(), 15.0);
}

void TestSSwitch::clickOnKnobAndTrack_data()
{
    QTest::addColumn<QPoint>("local");
    QTest::newRow("knob") << QPoint(10, 8);
    QTest::newRow("track") << QPoint(35, 8);
    QTest::newRow("outline") << QPoint(0, 0);
    QTest::newRow("far corner") << QPoint(40, 16);
}

void TestSSwitch::clickOnKnobAndTrack()
{
    QFETCH(QPoint, local);
    QSignalSpy clicks(m_switch, &SSwitch::Click);
    click(local);
    QVERIFY(m_switch->value());
    QCOMPARE(clicks.count(), 1);
}

void TestSSwitch::nonClicksChangeNothing_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::newRow("right click") << Qt::RightButton << QPoint(10, 8);
    QTest::newRow("middle click") << Qt::MiddleButton << QPoint(10, 8);
    QTest::newRow("left, released away") << Qt::LeftButton << QPoint(100, 40);
}

void TestSSwitch::nonClicksChangeNothing()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, releaseAt);
    QSignalSpy clicks(m_switch, &SSwitch::Click);
    QTest::mousePress(window(), button, {}, inHost(QPoint(10, 8)));
    QTest::mouseMove(window(), inHost(releaseAt));
    QTest::mouseRelease(window(), button, {}, inHost(releaseAt));
    QVERIFY(!m_switch->value());
    QCOMPARE(clicks.count(), 0);
}

void TestSSwitch::disabledClickChangesNothing()
{
    m_switch->setEnabled(false);
    const QImage before = m_switch->grab().toImage();
    QSignalSpy clicks(m_switch, &SSwitch::Click);
    click(QPoint(10, 8));
    QVERIFY(!m_switch->value());
    QCOMPARE(clicks.count(), 0);
    // Enabled has no visible effect.
    m_switch->setEnabled(true);
    QCOMPARE(m_switch->grab().toImage(), before);
}

void TestSSwitch::hostValueRaisesNoClick()
{
    QSignalSpy clicks(m_switch, &SSwitch::Click);
    QSignalSpy changed(m_switch, &SSwitch::propertyChanged);
    m_switch->setValue(true);
    QVERIFY(m_switch->value());
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("Value"));
}

void TestSSwitch::drawsTrackOutlineAndKnob()
{
    m_switch->setBackColorOn(0x808080);
    for (bool on : {false, true}) {
        m_switch->setValue(on);
        const QColor track = on ? QColor(128, 128, 128) : QColor(225, 225, 225);
        QCOMPARE(m_switch->trackColor(), track);
        const QImage image = m_switch->grab().toImage();
        // The outline has the track's colour: only the track and the knob are seen.
        QCOMPARE(image.pixelColor(0, 0), track);
        QCOMPARE(image.pixelColor(40, 16), track);
        const QPoint knobCentre(on ? 30 : 10, 8);
        const QPoint otherEnd(on ? 10 : 30, 8);
        QCOMPARE(image.pixelColor(knobCentre), QColor(Qt::white));
        QCOMPARE(image.pixelColor(otherEnd), track);
    }
}

void TestSSwitch::designerStore()
{
    PropertyBag none;
    m_switch->writeProperties(none);
    QVERIFY(none.isEmpty());

    m_switch->setValue(true);
    m_switch->setEnabled(false);
    m_switch->setBackColorOn(0x808080);
    m_switch->setBackColorOff(0x101010);
    PropertyBag bag;
    m_switch->writeProperties(bag);
    QStringList names;
    for (const auto& entry : bag)
        names << entry.first;
    QCOMPARE(names, (QStringList{"BackColorOff", "BackColorOn", "Enabled", "Value"}));

    SSwitch copy(m_host);
    QSignalSpy clicks(&copy, &SSwitch::Click);
    copy.readProperties(bag);
    QVERIFY(copy.value());
    QVERIFY(!copy.isEnabled());
    QCOMPARE(copy.backColorOn(), 0x808080u);
    QCOMPARE(copy.backColorOff(), 0x101010u);
    QCOMPARE(clicks.count(), 0);

    // Missing entries fall back to the defaults.
    copy.readProperties({{QStringLiteral("Value"), true}});
    QCOMPARE(copy.backColorOn(), 0xFFCC33u);
    QCOMPARE(copy.backColorOff(), 0xE1E1E1u);
    QVERIFY(copy.isEnabled());
    QVERIFY(copy.value());
}

QTEST_MAIN(TestSSwitch)
#include "tst_sswitch.moc"
