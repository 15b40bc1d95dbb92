// SPDX-License-Identifier: GPL-3.0-or-later
// Captions and outlines of the main window, measured from the pixels as the screen would show them
// at whole and fractional device pixel ratios.
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "widgets/SButton.h"
#include "widgets/TextBoxW.h"

#include <QImage>
#include <QLabel>
#include <QtTest>
#include <cmath>

namespace {

// The grey outline of the flat buttons; a test about another control sets its own.
QColor kOutline(128, 128, 128);

QColor outlineColourOf(QWidget* widget)
{
    if (auto* button = qobject_cast<SButton*>(widget))
        return button->currentBorderColor();
    if (auto* box = qobject_cast<TextBoxW*>(widget))
        return box->outlineColor();
    return QColor();
}

// The window drawn the way its backing store is drawn at this device pixel ratio.
QImage renderAt(QWidget* window, qreal ratio)
{
    QImage image(QSize(int(std::ceil(window->width() * ratio)), int(std::ceil(window->height() * ratio))),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::magenta);
    window->render(&image);
    return image;
}

int snap(qreal v)
{
    return int(std::floor(v + 0.5));
}

// The device pixels a widget owns: Qt clips a widget to its logical edges scaled and rounded.
QRect deviceRect(QWidget* widget, qreal ratio)
{
    const QPoint origin = widget->mapTo(widget->window(), QPoint(0, 0));
    const int left = snap(origin.x() * ratio);
    const int top = snap(origin.y() * ratio);
    const int right = snap((origin.x() + widget->width()) * ratio);
    const int bottom = snap((origin.y() + widget->height()) * ratio);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

bool same(QRgb a, const QColor& b)
{
    return qAbs(qRed(a) - b.red()) <= 2 && qAbs(qGreen(a) - b.green()) <= 2 && qAbs(qBlue(a) - b.blue()) <= 2;
}

// Whether a pixel of the outline's own colour counts as ink: not where a misplaced outline could
// fall, but in the fields, whose digits are drawn in the outline's grey.
bool g_outlineGreyIsInk = false;

// A pixel of a caption: darkened by a quarter of the way from the ground to the text or more.
bool ink(QRgb pixel, const QColor& ground)
{
    return qGray(ground.rgb()) - qGray(pixel) > 48 && (g_outlineGreyIsInk || !same(pixel, kOutline));
}

struct InkBox
{
    int top = -1, bottom = -1, left = -1, right = -1;
    bool found() const { return top >= 0; }
};

InkBox inkIn(const QImage& image, const QRect& area, const QColor& ground)
{
    InkBox box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!ink(image.pixel(x, y), ground))
                continue;
            if (!box.found()) {
                box = {y, y, x, x};
            } else {
                box.top = qMin(box.top, y);
                box.bottom = qMax(box.bottom, y);
                box.left = qMin(box.left, x);
                box.right = qMax(box.right, x);
            }
        }
    }
    return box;
}

// Prints the rows of the image as text (# outline, o ink, . ground, , anything else), so that a
// failure shows what was drawn; returns a note for the failure message.
QString picture(const QImage& image, const QRect& area, const QColor& ground)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        QString row = QStringLiteral("%1 ").arg(y, 4);
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            row += same(p, kOutline) ? u'#' : ink(p, ground) ? u'o' : same(p, ground) ? u'.' : u',';
        }
        qInfo().noquote() << row;
    }
    return QStringLiteral("the pixels are printed above");
}

} // namespace

class TestPixelFit : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void captionsSitInTheMiddleOfTheirOutline_data();
    void captionsSitInTheMiddleOfTheirOutline();
    void labelsLineUpWithTheButtonsBesideThem_data();
    void labelsLineUpWithTheButtonsBesideThem();
    void outlinesAreWholeDevicePixels_data();
    void outlinesAreWholeDevicePixels();

private:
    QWidget* widget(const QString& name) { return control<QWidget>(w.get(), name); }
    void click(const QString& name) { QTest::mouseClick(widget(name), Qt::LeftButton); }
    // Opens whatever panel shows the control: the settings panel, the time panel or the presets.
    void reveal(const QString& name);

    std::unique_ptr<TestPlatform> tp;
    std::unique_ptr<FrmMain> w;
};

void TestPixelFit::init()
{
    tp = std::make_unique<TestPlatform>();
    w = std::make_unique<FrmMain>(tp->platform());
    w->ensurePanels();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
}

void TestPixelFit::cleanup()
{
    w.reset();
    tp.reset();
}

void TestPixelFit::reveal(const QString& name)
{
    if (name.startsWith(QLatin1String("Label3_")) || name == QLatin1String("SButton1") ||
        name == QLatin1String("SButton2") || name == QLatin1String("SButton7") ||
        name.startsWith(QLatin1String("SSwitch"))) {
        click(QStringLiteral("Picture4"));
        QVERIFY(widget(QStringLiteral("Picture9"))->isVisible());
        return;
    }
    click(QStringLiteral("Picture5"));
    if (name.startsWith(QLatin1String("SButton6_"))) {
        click(QStringLiteral("SButton4"));
        QVERIFY(widget(QStringLiteral("Picture11"))->isVisible());
    } else if (name.startsWith(QLatin1String("Txt"))) {
        click(QStringLiteral("SButton5_0"));
        click(QStringLiteral("Label4_1"));
        QVERIFY(widget(QStringLiteral("Picture13"))->isVisible());
    }
    QVERIFY(widget(name)->isVisible());
}

namespace {
const QStringList kOutlined = {
    QStringLiteral("SButton1"),   QStringLiteral("SButton2"),   QStringLiteral("SButton7"),
    QStringLiteral("SButton4"),   QStringLiteral("SButton5_0"), QStringLiteral("SButton5_1"),
    QStringLiteral("SButton6_0"), QStringLiteral("SButton6_1"), QStringLiteral("SButton6_2"),
    QStringLiteral("SButton6_3"), QStringLiteral("SButton6_4"), QStringLiteral("SButton6_5"),
    QStringLiteral("SButton6_6"), QStringLiteral("TxtHour"),    QStringLiteral("TxtMinute")};

QColor groundOf(const QString& name)
{
    return name.startsWith(QLatin1String("SButton6_")) ? QColor(251, 251, 251) : QColor(Qt::white);
}
} // namespace

void TestPixelFit::captionsSitInTheMiddleOfTheirOutline_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("ratio");
    for (qreal ratio : {1.0, 1.5, 2.0})
        for (const QString& name : kOutlined)
            QTest::addRow("%s at %g", qPrintable(name), ratio) << name << ratio;
}

void TestPixelFit::captionsSitInTheMiddleOfTheirOutline()
{
    QFETCH(QString, name);
    QFETCH(qreal, ratio);
    reveal(name);
    const QImage image = renderAt(w.get(), ratio);
    const QRect box = deviceRect(widget(name), ratio);
    const QColor ground = groundOf(name);
    kOutline = outlineColourOf(widget(name));
    g_outlineGreyIsInk = name.startsWith(QLatin1String("Txt"));
    const InkBox caption = inkIn(image, box.adjusted(1, 1, -1, -1), ground);
    g_outlineGreyIsInk = false;
    if (!caption.found())
        QFAIL(qPrintable(picture(image, box, ground)));
    const int above = caption.top - (box.top() + 1);
    const int below = (box.bottom() - 1) - caption.bottom;
    const int left = caption.left - (box.left() + 1);
    const int right = (box.right() - 1) - caption.right;
    qInfo("%s at %g: %d above, %d below, %d left, %d right", qPrintable(name), ratio, above, below, left,
          right);
    // Centred buttons' captions both ways, the fields' digits up and down; nothing reaches into the outline.
    bool fits = qAbs(above - below) <= 1 && above >= 0 && below >= 0;
    if (name.startsWith(QLatin1String("SButton")))
        fits = fits && qAbs(left - right) <= 1 && left >= 1 && right >= 1;
    if (!fits)
        QFAIL(qPrintable(picture(image, box.adjusted(-1, -1, 1, 1), ground)));
}

void TestPixelFit::labelsLineUpWithTheButtonsBesideThem_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<qreal>("ratio");
    const QList<QPair<QString, QString>> pairs = {{QStringLiteral("Label2_5"), QStringLiteral("SButton5_0")},
                                                  {QStringLiteral("Label2_6"), QStringLiteral("SButton5_1")},
                                                  {QStringLiteral("Label3_0"), QStringLiteral("SSwitch1")},
                                                  {QStringLiteral("Label3_1"), QStringLiteral("SSwitch2")},
                                                  {QStringLiteral("Label3_5"), QStringLiteral("SSwitch3")},
                                                  {QStringLiteral("Label3_2"), QStringLiteral("SButton1")},
                                                  {QStringLiteral("Label3_3"), QStringLiteral("SButton2")},
                                                  {QStringLiteral("Label3_4"), QStringLiteral("SButton7")}};
    for (qreal ratio : {1.0, 1.5, 2.0})
        for (const auto& [label, partner] : pairs)
            QTest::addRow("%s at %g", qPrintable(label), ratio) << label << partner << ratio;
}

void TestPixelFit::labelsLineUpWithTheButtonsBesideThem()
{
    QFETCH(QString, label);
    QFETCH(QString, partner);
    QFETCH(qreal, ratio);
    reveal(label);
    const QImage image = renderAt(w.get(), ratio);
    const QColor ground =
        label.startsWith(QLatin1String("Label3_")) ? QColor(251, 251, 251) : QColor(Qt::white);
    kOutline = QColor(128, 128, 128);
    const QRect row = deviceRect(widget(partner), ratio);
    const QRect area = deviceRect(widget(label), ratio);
    // The whole height of the row, across the label's width.
    const QRect band(area.left(), qMin(row.top(), area.top()), area.width(),
                     qMax(row.bottom(), area.bottom()) - qMin(row.top(), area.top()) + 1);
    const InkBox text = inkIn(image, band, ground);
    if (!text.found())
        QFAIL(qPrintable(picture(image, band, ground)));
    const int above = text.top - row.top();
    const int below = row.bottom() - text.bottom;
    qInfo("%s beside %s at %g: %d above, %d below", qPrintable(label), qPrintable(partner), ratio, above,
          below);
    if (qAbs(above - below) > 1)
        QFAIL(qPrintable(picture(image, band, ground)));
}

void TestPixelFit::outlinesAreWholeDevicePixels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("ratio");
    for (qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0})
        for (const QString& name : kOutlined)
            QTest::addRow("%s at %g", qPrintable(name), ratio) << name << ratio;
}

void TestPixelFit::outlinesAreWholeDevicePixels()
{
    QFETCH(QString, name);
    QFETCH(qreal, ratio);
    reveal(name);
    const QImage image = renderAt(w.get(), ratio);
    const QRect box = deviceRect(widget(name), ratio);
    kOutline = outlineColourOf(widget(name));
    int missing = 0;
    int doubled = 0;
    int outside = 0;
    // The outermost ring of the widget's pixels is the outline, corners included ...
    for (int x = box.left(); x <= box.right(); ++x) {
        missing += !same(image.pixel(x, box.top()), kOutline) + !same(image.pixel(x, box.bottom()), kOutline);
        // ... one device pixel wide (away from the corners, which the side lines own) ...
        if (x > box.left() + 1 && x < box.right() - 1)
            doubled += same(image.pixel(x, box.top() + 1), kOutline) +
                       same(image.pixel(x, box.bottom() - 1), kOutline);
        // ... and nothing of it is drawn outside the widget.
        outside +=
            same(image.pixel(x, box.top() - 1), kOutline) + same(image.pixel(x, box.bottom() + 1), kOutline);
    }
    for (int y = box.top(); y <= box.bottom(); ++y) {
        missing += !same(image.pixel(box.left(), y), kOutline) + !same(image.pixel(box.right(), y), kOutline);
        if (y > box.top() + 1 && y < box.bottom() - 1)
            doubled += same(image.pixel(box.left() + 1, y), kOutline) +
                       same(image.pixel(box.right() - 1, y), kOutline);
        outside +=
            same(image.pixel(box.left() - 1, y), kOutline) + same(image.pixel(box.right() + 1, y), kOutline);
    }
    qInfo("%s at %g: %d outline pixels missing, %d doubled, %d outside", qPrintable(name), ratio, missing,
          doubled, outside);
    if (missing != 0 || doubled != 0 || outside != 0)
        QFAIL(qPrintable(picture(image, box.adjusted(-2, -2, 2, 2), groundOf(name))));
}

QTEST_MAIN(TestPixelFit)
#include "tst_pixelfit.moc"
