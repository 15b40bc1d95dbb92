// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Shutdown.h"

#include "platform/TerminationSignals.h"
#include "shell/FrmMain.h"

#include <QGuiApplication>
#include <QPointer>
#include <QSessionManager>
#include <QWidget>

void Shutdown::closeOnTerminationSignals(FrmMain* mainWindow)
{
    QPointer<FrmMain> window(mainWindow);
    auto* termination = new TerminationSignals(qApp);
    QObject::connect(termination, &TerminationSignals::received, qApp, [window] {
        if (window)
            window->closeWithoutQuestions();
    });
    // The session ends: close now, while the session manager still waits for us.
    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, qApp,
        [window](QSessionManager&) {
            if (window)
                window->closeWithoutQuestions();
        },
        Qt::DirectConnection);
}
