// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmAbout.h"

#include "widgets/Artwork.h"
#include "widgets/Surface.h"
#include "widgets/Twips.h"

#include <QLabel>

#ifndef VEMRA_VERSION_MAJOR
#define VEMRA_VERSION_MAJOR 1
#define VEMRA_VERSION_MINOR 0
#define VEMRA_VERSION_REVISION 0
#endif

QString FrmAbout::versionLine()
{
    // The third number of the version is always written as 0.
    return QStringLiteral("版本号：%1.%2.0.%3")
        .arg(VEMRA_VERSION_MAJOR)
        .arg(VEMRA_VERSION_MINOR)
        .arg(VEMRA_VERSION_REVISION);
}

FrmAbout::FrmAbout(QWidget* mainWindow, const QString& note)
    : SecondaryWindow(mainWindow, QSize(4050, 2550), true)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("关于本软件"));
    titleLabel()->setText(QStringLiteral("关于本软件"));
    // Nothing is lost by closing the About window with Escape, as with the platform's close request.
    setClosesOnEscape(true);

    Surface* panel = interfacePanel();
    auto* logo = new QLabel(panel);
    logo->setObjectName(QStringLiteral("ImgLogo"));
    logo->setFixedSize(64, 64);
    logo->setPixmap(Artwork::logo(devicePixelRatioF()));

    auto* version = new QLabel(versionLine(), panel);
    version->setObjectName(QStringLiteral("LblVersion"));
    version->setTextFormat(Qt::PlainText);
    QPalette vp = version->palette();
    vp.setColor(QPalette::WindowText, QColor(128, 128, 128));
    version->setPalette(vp);
    version->adjustSize();

    auto* maker = new QLabel(QStringLiteral("Vemra便笺 · 便笺与定时提醒"), panel);
    maker->setObjectName(QStringLiteral("Label1"));
    maker->setTextFormat(Qt::PlainText);
    maker->setPalette(vp);
    maker->adjustSize();

    const int centre = panel->width() / 2;
    logo->move(centre - logo->width() / 2, Twips::toPx(180));
    version->move(centre - version->width() / 2, logo->y() + logo->height() + Twips::toPx(120));
    maker->move(centre - maker->width() / 2, version->y() + version->height() + Twips::toPx(60));
    if (!note.isEmpty()) {
        auto* line = new QLabel(note, panel);
        line->setObjectName(QStringLiteral("LblNote"));
        line->setTextFormat(Qt::PlainText);
        line->setPalette(vp);
        line->adjustSize();
        line->move(centre - line->width() / 2, maker->y() + maker->height() + Twips::toPx(60));
    }
    centreOn(mainWindow);
}
