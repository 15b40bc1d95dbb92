#include "shell/Shutdown.h"

#include "platform/TerminationSignals.h"

#include <QGuiApplication>
#include <QPointer>
#include <QSessionManager>
#include <QWidget>

void Shutdown::closeOnTerminationSignals(QWidget* mainWindow)
{
    QPointer<QWidget> window(mainWindow);
    auto* termination = new TerminationSignals(qApp);
    QObject::connect(termination, &TerminationSignals::received, qApp, [window] {
        if (window)
            window->close();
    });
    // The session ends: close now, while the session manager still waits for us.
    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, qApp,
        [window](QSessionManager&) {
            if (window)
                window->close();
        },
        Qt::DirectConnection);
}
