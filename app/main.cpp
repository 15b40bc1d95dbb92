#include "platform/SingleInstance.h"
#include "platform/SystemPlatform.h"
#include "shell/FrmMain.h"
#include "shell/Shutdown.h"

#include <QApplication>
#include <QFont>

#include <climits>
#include <unistd.h>

namespace {
// The executable's own path, known before Qt starts, so a second instance can leave at once.
QString executablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0)
        return QString();
    return QString::fromLocal8Bit(buffer, int(n));
}

// The window asks for the Chinese system fonts by name; on Linux desktops CJK fonts of the machine
// stand in for them.
void substituteChineseFonts()
{
    const QStringList fallbacks = {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                                   QStringLiteral("Droid Sans Fallback")};
    for (const QString& family : {QStringLiteral("黑体"), QStringLiteral("微软雅黑")})
        QFont::insertSubstitutions(family, fallbacks);
}
} // namespace

int main(int argc, char** argv)
{
    SingleInstance instance(executablePath());
    if (!instance.acquire())
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VemraNotes"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setQuitOnLastWindowClosed(true);
    substituteChineseFonts();

    SystemPlatform platform;
    FrmMain window(platform.platform());
    Shutdown::closeOnTerminationSignals(&window);
    window.show();
    return app.exec();
}
