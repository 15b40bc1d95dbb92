// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Artwork.h"

#include "widgets/ImageList.h"
#include "widgets/VectorIconEngine.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int LogoSize = 64;

/// The logo on a 64-unit grid: a yellow sticky note with a taped top and three written lines, and
/// a small clock in the lower right corner for the reminders.
void drawLogo(QPainter& p, qreal scale)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);

    // Soft shadow under the note.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(QRectF(7, 7, 46, 52), 4, 4);

    // The note, its corner folded at the bottom left.
    QPainterPath note;
    note.moveTo(9, 4);
    note.lineTo(51, 4);
    note.quadTo(54, 4, 54, 7);
    note.lineTo(54, 55);
    note.quadTo(54, 58, 51, 58);
    note.lineTo(16, 58);
    note.lineTo(6, 48);
    note.lineTo(6, 7);
    note.quadTo(6, 4, 9, 4);
    p.setBrush(QColor(255, 214, 90));
    p.setPen(QPen(QColor(214, 160, 30), 1.2));
    p.drawPath(note);

    QPainterPath fold;
    fold.moveTo(6, 48);
    fold.lineTo(16, 48);
    fold.lineTo(16, 58);
    fold.closeSubpath();
    p.setBrush(QColor(240, 186, 60));
    p.drawPath(fold);

    // Tape strip along the top.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 193, 40));
    p.drawRect(QRectF(6.6, 4.6, 46.8, 7));

    // Written lines.
    QPen ink(QColor(170, 125, 40), 2.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(ink);
    p.drawLine(QPointF(13, 20), QPointF(46, 20));
    p.drawLine(QPointF(13, 28), QPointF(42, 28));
    p.drawLine(QPointF(13, 36), QPointF(30, 36));

    // Clock: white face, blue ring, two dark hands.
    const QPointF centre(46, 47);
    p.setPen(QPen(QColor(51, 153, 255), 3.2));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 13, 13);
    QPen hand(QColor(64, 64, 64), 2.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(hand);
    p.drawLine(centre, centre + QPointF(0, -8));
    p.drawLine(centre, centre + QPointF(6, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(64, 64, 64));
    p.drawEllipse(centre, 1.8, 1.8);

    p.restore();
}

QImage renderLogo(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawLogo(painter, side / qreal(LogoSize));
    return image;
}

} // namespace

void Artwork::paintLogo(QPainter& painter, const QRectF& target)
{
    painter.save();
    painter.translate(target.topLeft());
    drawLogo(painter, qMin(target.width(), target.height()) / LogoSize);
    painter.restore();
}

QPixmap Artwork::logo(qreal devicePixelRatio)
{
    if (!(devicePixelRatio > 0))
        return QPixmap();
    QPixmap pixmap = QPixmap::fromImage(renderLogo(qRound(LogoSize * devicePixelRatio)));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QPixmap Artwork::closeImage(int index, qreal devicePixelRatio)
{
    // The secondary windows close like the main window: a grey cross, red under the pointer.
    if (index == 1)
        return ImageList::picture(15, devicePixelRatio);
    if (index == 2)
        return ImageList::picture(16, devicePixelRatio);
    return QPixmap();
}

namespace {
QIcon logoIcon(const QList<QSize>& sizes)
{
    auto render = [](int side, QIcon::Mode mode) {
        QImage image = renderLogo(side);
        if (mode == QIcon::Disabled) {
            QPainter fade(&image);
            fade.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            fade.fillRect(image.rect(), QColor(0, 0, 0, 110));
        }
        return image;
    };
    return QIcon(new VectorIconEngine(render, sizes, QStringLiteral("VemraLogo")));
}
} // namespace

QIcon Artwork::applicationIcon()
{
    return logoIcon({QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64),
                     QSize(128, 128), QSize(256, 256)});
}

QIcon Artwork::windowIcon()
{
    return logoIcon(
        {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64)});
}
