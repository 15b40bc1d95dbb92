// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessLauncher.h"

#include <QProcess>

bool SystemProcessLauncher::startDetached(const QString& program, const QStringList& arguments,
                                          const QString& workingDirectory)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}
