#include "platform/AppId.h"
#include "platform/DataFolder.h"
#include "platform/ExecutablePath.h"
#include "platform/FolderHandle.h"
#include "platform/QtTexts.h"
#include "platform/SingleInstance.h"
#include "platform/SystemFonts.h"
#include "platform/SystemPlatform.h"
#include "platform/WindowSystem.h"
#include "shell/FrmMain.h"
#include "shell/Shutdown.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <future>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {
// The executable's own folder, found without Qt, which is starting meanwhile. It is held open: its
// name may not be UTF-8, and it may be renamed while we run.
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

AppFolders findFolders(const QString& perUser)
{
    const QString executable = executableFolder();
    // The installed layout is relative to the executable, so a copy installed under any prefix
    // finds its own share/ folder.
    const QString installedShare = QDir::cleanPath(FolderHandle::displayPath(executable) +
                                                   QStringLiteral("/" VEMRA_RELATIVE_DATADIR "/vemranotes"));
    AppFolders folders = DataFolder::resolve(executable, perUser, installedShare);
    if (!folders.portable)
        folders.data = FolderHandle::pin(QFile::encodeName(folders.data));
    return folders;
}

struct DataFolderLock
{
    AppFolders folders;
    std::unique_ptr<SingleInstance> instance;
    bool held = false;
};

// The lock belongs to the data, so it is taken on the data folder before anything in it is read.
DataFolderLock lockDataFolder(const QString& perUser)
{
    DataFolderLock lock;
    lock.folders = findFolders(perUser);
    lock.instance = std::make_unique<SingleInstance>(lock.folders.data);
    lock.held = lock.instance->acquire();
    if (lock.held && !lock.folders.portable)
        DataFolder::copyShippedData(executableFolder(), lock.folders.data);
    return lock;
}

} // namespace

int main(int argc, char** argv)
{
    // While Qt connects to the window system on this thread, another one finds and locks the data
    // folder and loads the font configuration that the first caption will need: the start then
    // waits for neither. Nothing reads the data before the lock is held. The environment is read
    // here: the other thread must not read it while Qt may change it.
    const QString perUser = DataFolder::perUserFolder(qEnvironmentVariable("XDG_DATA_HOME"), homeFolder());
    std::future<DataFolderLock> locking = std::async(std::launch::async, [perUser] {
        DataFolderLock lock = lockDataFolder(perUser);
        if (lock.held)
            SystemFonts::loadConfiguration();
        return lock;
    });

    const QByteArray platform = WindowSystem::platformToRequest(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    const DataFolderLock lock = locking.get();
    if (!lock.held)
        return 0;
    const AppFolders& folders = lock.folders;
    // The choice was for this process only: programs the application starts pick their own.
    if (!platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");

    QApplication::setApplicationName(QStringLiteral("VemraNotes"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setDesktopFileName(kAppId);
    QApplication::setQuitOnLastWindowClosed(true);
    QtTexts::installChinese(&app);

    SystemPlatform services(folders);
    FrmMain window(services.platform(), nullptr, FrmMain::NoteLoading::AfterFirstPaint);
    Shutdown::closeOnTerminationSignals(&window);
    window.show();
    return app.exec();
}
