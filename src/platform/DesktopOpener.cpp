// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

bool SystemDesktopOpener::open(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

void SystemDesktopOpener::openOrTell(const QUrl& url, std::function<void()> notOpened)
{
    // QDesktopServices starts xdg-open and forgets it, so a file type no program opens goes
    // unnoticed. xdg-open itself says so: 3 when it found no program, 4 when the one it found failed.
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!url.isLocalFile() || xdgOpen.isEmpty()) {
        DesktopOpener::openOrTell(url, std::move(notOpened));
        return;
    }
    auto* process = new QProcess;
    // Without pipes: on some desktops xdg-open waits for the viewer, which must not write into a
    // pipe no one reads, nor lose it when we close.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, notOpened](int exitCode, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && (exitCode == 3 || exitCode == 4))
                             notOpened();
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, notOpened](QProcess::ProcessError e) {
                         if (e == QProcess::FailedToStart) {
                             notOpened();
                             process->deleteLater();
                         }
                     });
    process->start(xdgOpen, {url.toLocalFile()});
}
