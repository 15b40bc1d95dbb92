#include "platform/AppId.h"
#include "platform/DataFolder.h"
#include "platform/ExecutablePath.h"
#include "platform/FolderHandle.h"
#include "platform/QtTexts.h"
#include "platform/SingleInstance.h"
#include "platform/SystemPlatform.h"
#include "platform/WindowSystem.h"
#include "shell/FrmMain.h"
#include "shell/Shutdown.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>

#include <pwd.h>
#include <unistd.h>

namespace {
// The executable's own folder, known before Qt starts, so a second instance can leave at once. It
// is held open: its name may not be UTF-8, and it may be renamed while we run.
QString executableFolder()
{
    static const QString folder = [] {
        const QByteArray path = ExecutablePath::folder();
        return path.isEmpty() ? QDir::currentPath() : FolderHandle::pin(path);
    }();
    return folder;
}

QString homeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? QFile::decodeName(entry->pw_dir) : QDir::rootPath();
}

AppFolders findFolders()
{
    const QString executable = executableFolder();
    // The installed layout is relative to the executable, so a copy installed under any prefix
    // finds its own share/ folder.
    const QString installedShare = QDir::cleanPath(FolderHandle::displayPath(executable) +
                                                   QStringLiteral("/" VEMRA_RELATIVE_DATADIR "/vemranotes"));
    const QString perUser = DataFolder::perUserFolder(qEnvironmentVariable("XDG_DATA_HOME"), homeFolder());
    AppFolders folders = DataFolder::resolve(executable, perUser, installedShare);
    if (!folders.portable)
        folders.data = FolderHandle::pin(QFile::encodeName(folders.data));
    return folders;
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
    // The lock belongs to the data, so it is taken on the data folder before anything in it is read.
    const AppFolders folders = findFolders();
    SingleInstance instance(folders.data);
    if (!instance.acquire())
        return 0;
    if (!folders.portable)
        DataFolder::copyShippedData(executableFolder(), folders.data);

    const QByteArray platform = WindowSystem::platformToRequest(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    // The choice was for this process only: programs the application starts pick their own.
    if (!platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");

    QApplication::setApplicationName(QStringLiteral("VemraNotes"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setDesktopFileName(kAppId);
    QApplication::setQuitOnLastWindowClosed(true);
    substituteChineseFonts();
    QtTexts::installChinese(&app);

    SystemPlatform services(folders);
    FrmMain window(services.platform(), nullptr, FrmMain::NoteLoading::AfterFirstPaint);
    Shutdown::closeOnTerminationSignals(&window);
    window.show();
    return app.exec();
}
