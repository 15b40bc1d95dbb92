// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Artwork.h"
#include "widgets/ImageList.h"

#include <QTest>

namespace {

QColor groundOf(int index)
{
    if (index == 16)
        return QColor(232, 17, 35);
    const bool hover = index == 17 || (index <= 14 ? index % 2 == 0 : index == 19);
    return hover ? QColor(240, 240, 240) : QColor(255, 255, 255);
}

/// Positions (in device pixels) that differ from the ground: the glyph.
QList<QPoint> inkOf(const QImage& image, const QColor& ground)
{
    QList<QPoint> ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != ground)
                ink << QPoint(x, y);
    return ink;
}

} // namespace

/// The vector-drawn pictures: sizes at every ratio, grounds, glyphs, and the other artwork.
class TestImageList : public QObject
{
    Q_OBJECT

private slots:
    void pictureSizesAndGrounds_data();
    void pictureSizesAndGrounds();
    void outOfRangeIsNull_data();
    void outOfRangeIsNull();
    void hoverIsTheSameGlyph_data();
    void hoverIsTheSameGlyph();
    void glyphsDiffer();
    void iconRendersAtRequestedSize_data();
    void iconRendersAtRequestedSize();
    void artwork();
};

void TestImageList::pictureSizesAndGrounds_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<qreal>("dpr");
    for (qreal dpr : {1.0, 1.5, 2.0})
        for (int index = 1; index <= ImageList::Count; ++index)
            QTest::addRow("%d @%gx", index, dpr) << index << dpr;
}

void TestImageList::pictureSizesAndGrounds()
{
    QFETCH(int, index);
    QFETCH(qreal, dpr);
    const QPixmap pm = ImageList::picture(index, dpr);
    QVERIFY(!pm.isNull());
    QCOMPARE(pm.devicePixelRatio(), dpr);
    QCOMPARE(pm.deviceIndependentSize(), QSizeF(16, 16));
    const int side = qRound(16 * dpr);
    QCOMPARE(pm.size(), QSize(side, side));

    const QImage image = pm.toImage();
    const QColor ground = groundOf(index);
    for (const QPoint& corner :
         {QPoint(0, 0), QPoint(side - 1, 0), QPoint(0, side - 1), QPoint(side - 1, side - 1)})
        QCOMPARE(image.pixelColor(corner), ground);

    // A glyph is drawn, inside a margin, in grey (white on the red picture).
    const QList<QPoint> ink = inkOf(image, ground);
    QVERIFY(ink.size() >= side / 2);
    for (const QPoint& p : ink) {
        QVERIFY2(p.x() >= dpr && p.y() >= dpr && p.x() < side - dpr && p.y() < side - dpr,
                 qPrintable(QStringLiteral("ink at %1,%2").arg(p.x()).arg(p.y())));
    }
    const QColor darkest = index == 16 ? QColor(Qt::white) : QColor(128, 128, 128);
    QVERIFY(std::any_of(ink.begin(), ink.end(), [&](QPoint p) { return image.pixelColor(p) == darkest; }));
}

void TestImageList::outOfRangeIsNull_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("0") << 0;
    QTest::newRow("20") << 20;
    QTest::newRow("-1") << -1;
}

void TestImageList::outOfRangeIsNull()
{
    QFETCH(int, index);
    QVERIFY(ImageList::picture(index).isNull());
    QVERIFY(ImageList::picture(index, 2.0).isNull());
    QVERIFY(ImageList::icon(index).isNull());
}

void TestImageList::hoverIsTheSameGlyph_data()
{
    QTest::addColumn<int>("normal");
    QTest::addColumn<int>("hover");
    QTest::addColumn<qreal>("dpr");
    const QList<QPair<int, int>> pairs = {{1, 2},   {3, 4},   {5, 6},   {7, 8},  {9, 10},
                                          {11, 12}, {13, 14}, {15, 17}, {18, 19}};
    for (const auto& pair : pairs)
        for (qreal dpr : {1.0, 1.5})
            QTest::addRow("%d/%d @%gx", pair.first, pair.second, dpr) << pair.first << pair.second << dpr;
}

void TestImageList::hoverIsTheSameGlyph()
{
    QFETCH(int, normal);
    QFETCH(int, hover);
    QFETCH(qreal, dpr);
    const QImage a = ImageList::picture(normal, dpr).toImage();
    const QImage b = ImageList::picture(hover, dpr).toImage();
    // Where the glyph is solid both pictures show the same grey; only the ground changes.
    const QList<QPoint> inkA = inkOf(a, groundOf(normal));
    QVERIFY(!inkA.isEmpty());
    for (const QPoint& p : inkA) {
        if (a.pixelColor(p) == QColor(128, 128, 128))
            QCOMPARE(b.pixelColor(p), QColor(128, 128, 128));
    }
    QCOMPARE(inkOf(b, groundOf(hover)).size(), inkA.size());
}

void TestImageList::glyphsDiffer()
{
    // Each normal picture has a glyph of its own; 15 and 16 share the cross in different colours.
    const QList<int> normals = {1, 3, 5, 7, 9, 11, 13, 15, 18};
    for (int i = 0; i < normals.size(); ++i)
        for (int j = i + 1; j < normals.size(); ++j)
            QVERIFY2(ImageList::picture(normals[i]).toImage() != ImageList::picture(normals[j]).toImage(),
                     qPrintable(QStringLiteral("%1 == %2").arg(normals[i]).arg(normals[j])));
}

void TestImageList::iconRendersAtRequestedSize_data()
{
    QTest::addColumn<int>("logical");
    QTest::addColumn<qreal>("dpr");
    QTest::newRow("16 @1x") << 16 << 1.0;
    QTest::newRow("16 @1.5x") << 16 << 1.5;
    QTest::newRow("16 @2x") << 16 << 2.0;
    QTest::newRow("24 @1x") << 24 << 1.0;
}

void TestImageList::iconRendersAtRequestedSize()
{
    QFETCH(int, logical);
    QFETCH(qreal, dpr);
    const QIcon icon = ImageList::icon(13);
    QVERIFY(!icon.isNull());
    const QPixmap pm = icon.pixmap(QSize(logical, logical), dpr);
    QCOMPARE(pm.size(), QSize(qRound(logical * dpr), qRound(logical * dpr)));
    QCOMPARE(pm.devicePixelRatio(), dpr);
    if (logical == 16)
        QCOMPARE(pm.toImage(), ImageList::picture(13, dpr).toImage());
}

void TestImageList::artwork()
{
    for (qreal dpr : {1.0, 2.0}) {
        const QPixmap logo = Artwork::logo(dpr);
        QCOMPARE(logo.deviceIndependentSize(), QSizeF(64, 64));
        QCOMPARE(logo.size(), QSize(qRound(64 * dpr), qRound(64 * dpr)));
        const QImage image = logo.toImage();
        // Transparent around, opaque in the middle of the note.
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 3).alpha(), 255);
    }

    QCOMPARE(Artwork::closeImage(1, 1.5).size(), QSize(24, 24));
    QCOMPARE(Artwork::closeImage(1).toImage().pixelColor(0, 0), QColor(255, 255, 255));
    QCOMPARE(Artwork::closeImage(2).toImage().pixelColor(0, 0), QColor(232, 17, 35));
    QVERIFY(Artwork::closeImage(0).isNull());
    QVERIFY(Artwork::closeImage(3).isNull());

    const QIcon app = Artwork::applicationIcon();
    for (int side : {16, 32, 48, 256}) {
        const QPixmap pm = app.pixmap(QSize(side, side), 1.0);
        QCOMPARE(pm.size(), QSize(side, side));
        QVERIFY(pm.toImage().pixelColor(side / 2, side / 3).alpha() > 0);
    }
}

QTEST_MAIN(TestImageList)
#include "tst_imagelist.moc"
