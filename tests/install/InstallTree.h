// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Installs the build into a temporary prefix with `cmake --install`, as a user or a package would,
// and lists what landed there.

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace InstallTree {

/// The id of the launcher, the icon and the AppStream component.
inline const QString kAppId = QStringLiteral("io.github.vemranotes.VemraNotes");

/// Runs `cmake --install <build> --prefix <prefix>`; an empty text on success, else what went wrong.
inline QString install(const QString& prefix)
{
    const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
    if (cmake.isEmpty())
        return QStringLiteral("cmake is not on the PATH");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(cmake, {QStringLiteral("--install"), QStringLiteral(VEMRA_BUILD_DIR),
                          QStringLiteral("--prefix"), prefix});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QStringLiteral("cmake --install failed:\n") + QString::fromLocal8Bit(process.readAll());
    return QString();
}

/// Every file and link below root, as sorted paths relative to it.
inline QStringList files(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found;
}

/// The files an install must give, relative to the prefix, sorted.
inline QStringList expectedFiles()
{
    QStringList expected = {
        QStringLiteral("bin/VemraNotes"),
        QStringLiteral(VEMRA_INSTALLED_MODULE),
        QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"),
        QStringLiteral("share/icons/hicolor/scalable/apps/") + kAppId + QStringLiteral(".svg"),
        QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"),
        QStringLiteral("share/vemranotes/Sounds/Alarm.wav"),
        QStringLiteral("share/vemranotes/workdays-cn.txt"),
        QStringLiteral("share/vemranotes/Vemra便笺使用帮助.pdf"), // a link to the one in doc/
        QStringLiteral("share/doc/vemranotes/Vemra便笺使用帮助.pdf"),
        QStringLiteral("share/doc/vemranotes/copyright"),
        QStringLiteral("share/doc/vemranotes/changelog.gz"),
        QStringLiteral("share/man/man1/VemraNotes.1.gz"),
    };
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + kAppId +
                        QStringLiteral(".png");
    expected.sort();
    return expected;
}

} // namespace InstallTree
