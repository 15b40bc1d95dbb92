// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the launcher of the build: the application icon as a PNG and a desktop entry that starts
// the built executable with that icon.
//   make_desktop_entry <executable> <icon.png> <entry.desktop>

#include "platform/DesktopEntry.h"

#include "widgets/Artwork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: make_desktop_entry <executable> <icon.png> <entry.desktop>\n");
        return 2;
    }
    const QString executable = QFileInfo(args.at(1)).absoluteFilePath();
    const QString iconPath = QFileInfo(args.at(2)).absoluteFilePath();

    const QPixmap icon = Artwork::applicationIcon().pixmap(QSize(256, 256), 1.0);
    if (icon.isNull() || !icon.save(iconPath, "PNG")) {
        std::fprintf(stderr, "make_desktop_entry: cannot write %s\n", qPrintable(iconPath));
        return 1;
    }

    const std::string text = DesktopEntry::contents(executable.toStdString(), iconPath.toStdString());
    QFile entry(args.at(3));
    if (!entry.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        entry.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        std::fprintf(stderr, "make_desktop_entry: cannot write %s\n", qPrintable(args.at(3)));
        return 1;
    }
    entry.close();
    // Launchers only offer entries that may be executed.
    entry.setPermissions(entry.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return 0;
}
