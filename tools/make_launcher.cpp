// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the installed launcher of the application below a share/ tree: the desktop entry and the
// application icon in the hicolor theme, as a scalable SVG and as PNG pictures at every common size.
//   make_launcher <app-id> <share-folder>
// gives <share-folder>/applications/<app-id>.desktop,
//       <share-folder>/icons/hicolor/scalable/apps/<app-id>.svg and
//       <share-folder>/icons/hicolor/<N>x<N>/apps/<app-id>.png for N = 16 … 256.

#include "platform/DesktopEntry.h"

#include "widgets/Artwork.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgGenerator>

#include <cstdio>

namespace {

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
/// The side of the SVG's own coordinate system: the logo is drawn on this grid.
constexpr int kSvgGrid = 64;

bool fail(const QString& path)
{
    std::fprintf(stderr, "make_launcher: cannot write %s\n", qPrintable(path));
    return false;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size() ||
        !file.flush())
        return fail(path);
    return true;
}

bool writeSvg(const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(path);
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setTitle(QStringLiteral("Vemra便笺"));
    svg.setDescription(QStringLiteral("Vemra便笺 application icon"));
    svg.setSize(QSize(kSvgGrid, kSvgGrid));
    svg.setViewBox(QRect(0, 0, kSvgGrid, kSvgGrid));
    QPainter painter;
    if (!painter.begin(&svg))
        return fail(path);
    // The logo's own drawing, so the theme gets paths that stay sharp at any size.
    Artwork::paintLogo(painter, QRectF(0, 0, kSvgGrid, kSvgGrid));
    return painter.end() || fail(path);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: make_launcher <app-id> <share-folder>\n");
        return 2;
    }
    const QString id = args.at(1);
    const QString share = args.at(2);

    const std::string entry = DesktopEntry::installedContents(id.toStdString());
    if (!writeFile(share + QStringLiteral("/applications/") + id + QStringLiteral(".desktop"),
                   QByteArray::fromStdString(entry)))
        return 1;

    const QString hicolor = share + QStringLiteral("/icons/hicolor/");
    if (!writeSvg(hicolor + QStringLiteral("scalable/apps/") + id + QStringLiteral(".svg")))
        return 1;
    const QIcon icon = Artwork::applicationIcon();
    for (const int size : kIconSizes) {
        const QString path = hicolor + QStringLiteral("%1x%1/apps/").arg(size) + id + QStringLiteral(".png");
        const QPixmap picture = icon.pixmap(QSize(size, size), 1.0);
        if (picture.isNull() || picture.size() != QSize(size, size) ||
            !QDir().mkpath(QFileInfo(path).absolutePath()) || !picture.save(path, "PNG"))
            return fail(path) ? 0 : 1;
    }
    return 0;
}
