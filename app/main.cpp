// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AppId.h"
#include "platform/DataFolder.h"
#include "platform/ExecutablePath.h"
#include "platform/FolderHandle.h"
#include "platform/InstanceChannel.h"
#include "platform/NoServices.h"
#include "platform/QtTexts.h"
#include "platform/SingleInstance.h"
#include "platform/SystemFonts.h"
#include "platform/SystemPlatform.h"
#include "platform/ThreadPriority.h"
#include "platform/WindowSystem.h"
#include "shell/FrmMain.h"
#include "shell/Shutdown.h"
#include "tasks/FrmMessage.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QList>
#include <QTimer>

#include <cstdio>

#include <future>
#include <memory>
#include <pwd.h>
#include <thread>
#include <unistd.h>
#include <utility>

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
    SingleInstance::State state = SingleInstance::State::NotTried;
};

// The lock belongs to the data, so it is taken on the data folder before anything in it is read.
DataFolderLock lockDataFolder(const QString& perUser)
{
    DataFolderLock lock;
    lock.folders = findFolders(perUser);
    lock.instance = std::make_unique<SingleInstance>(lock.folders.data);
    lock.instance->acquire();
    lock.state = lock.instance->state();
    if (lock.state == SingleInstance::State::Held && !lock.folders.portable) {
        const QStringList copied = DataFolder::copyShippedData(executableFolder(), lock.folders.data);
        const QString told = DataFolder::copiedNotice(copied, executableFolder(), lock.folders.data);
        if (!told.isEmpty())
            lock.folders.notice +=
                (lock.folders.notice.isEmpty() ? QString() : QStringLiteral("\r\n")) + told;
    }
    return lock;
}

const QString kNoticeTitle = QStringLiteral("便笺数据文件夹");

/// What the user is told at start about the data folder; empty when there is nothing to tell.
QString startNotice(const DataFolderLock& lock)
{
    const QString folder = FolderHandle::displayPath(lock.folders.data);
    QStringList parts;
    if (!lock.folders.notice.isEmpty())
        parts << lock.folders.notice;
    if (lock.state == SingleInstance::State::Unavailable) {
        const QString reason =
            lock.folders.dataProblem.isEmpty() ? lock.instance->failure() : lock.folders.dataProblem;
        parts << QStringLiteral(
                     "便笺数据文件夹“%1”无法使用：%2。\r\n无法确保只有一个Vemra便笺在改写这些便笺，"
                     "所以程序不启动。")
                     .arg(folder, reason);
    } else if (!lock.folders.dataProblem.isEmpty()) {
        parts << QStringLiteral(
                     "便笺数据文件夹“%1”无法写入：%2。\r\n便笺可以查看和复制出去，但改动无法保存在那里。")
                     .arg(folder, lock.folders.dataProblem);
    }
    return parts.join(QStringLiteral("\r\n"));
}

/// Also on the standard error, for a start from a terminal and for a session where the window
/// cannot be seen.
void printNotice(const QString& notice)
{
    std::fprintf(
        stderr, "VemraNotes: %s\n",
        QString(notice).replace(QStringLiteral("\r\n"), QStringLiteral(" ")).toLocal8Bit().constData());
}

/// How long a second start tries to reach the running copy: that copy listens from its first
/// drawing on, which may still be a moment away.
constexpr int kReachMs = 1500;

/// Opens the channel for later starts once the window has been drawn (the start is measured to the
/// first picture), and then does what this start itself was asked for.
class AfterFirstPaint : public QObject
{
public:
    AfterFirstPaint(FrmMain* window, InstanceChannel* channel, QString address, StartVerb verb)
        : QObject(window), m_window(window), m_channel(channel), m_address(std::move(address)), m_verb(verb)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint) {
            m_window->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_channel->listen(m_address);
                if (m_verb != StartVerb::Show && m_verb != StartVerb::Due)
                    m_window->followStartVerb(InstanceChannel::wordOf(m_verb));
            });
        }
        return false;
    }

private:
    FrmMain* m_window;
    InstanceChannel* m_channel;
    QString m_address;
    StartVerb m_verb;
};

} // namespace

int main(int argc, char** argv)
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    // Answered before anything starts, whatever else the line says: packagers and scripts ask it.
    // The third number of the version is always 0, as the About window writes it.
    if (arguments.contains("--version")) {
        std::printf("VemraNotes %d.%d.0.%d\n", VEMRA_VERSION_MAJOR, VEMRA_VERSION_MINOR,
                    VEMRA_VERSION_REVISION);
        return 0;
    }
    const StartRequest request = StartArguments::parse(arguments);
    if (!request.error.isEmpty()) {
        std::fprintf(stderr, "VemraNotes: %s\n\n%s", request.error.toLocal8Bit().constData(),
                     StartArguments::usage().toLocal8Bit().constData());
        return 2;
    }
    if (request.help) {
        std::fputs(StartArguments::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");

    // While Qt connects to the window system on this thread, another one finds and locks the data
    // folder, and then loads the font configuration that the first caption will need. Nothing reads
    // the data before the lock is held. The environment is read here: the other thread must not
    // read it while Qt may change it.
    //
    // The fonts are a head start only, at a lower priority: on two processors even a thread that
    // only computes slows Qt's connection, which waits on the X server at every step, by more than
    // half of what it saves. Nothing waits for them either: on a busy machine the first text
    // measured loads the configuration itself, as it would without the head start.
    const QString perUser = DataFolder::perUserFolder(qEnvironmentVariable("XDG_DATA_HOME"), homeFolder());
    std::promise<DataFolderLock> locked;
    std::future<DataFolderLock> locking = locked.get_future();
    const std::jthread headStart([perUser, &locked] {
        DataFolderLock lock = lockDataFolder(perUser);
        const bool runs = lock.state != SingleInstance::State::HeldElsewhere;
        locked.set_value(std::move(lock));
        if (runs) {
            ThreadPriority::yieldToOthers();
            SystemFonts::loadConfiguration();
        }
    });

    const QByteArray platform = WindowSystem::platformToRequest(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    const DataFolderLock lock = locking.get();
    // A second start while another instance runs hands its request to that one and ends: the data
    // stays the other one's. A reminder's timer only starts the application when it is not running.
    if (lock.state == SingleInstance::State::HeldElsewhere) {
        if (request.verb == StartVerb::Due)
            return 0;
        const QString address = InstanceChannel::address(lock.folders.data, runtimeFolder);
        const InstanceChannel::Delivery delivery = InstanceChannel::send(address, request.verb, kReachMs);
        // Nobody answering is a copy of another session (its own runtime folder): it is left alone
        // silently, as ever. Something else in the channel's place, or another user's process
        // listening there, would leave the user with nothing and no word why.
        if (delivery == InstanceChannel::Delivery::Delivered ||
            delivery == InstanceChannel::Delivery::NotReached)
            return 0;
        const QString notice =
            QStringLiteral("Vemra便笺已在使用便笺数据文件夹“%1”，但这次启动无法联系到它：%2。\r\n"
                           "请从任务栏切换到正在运行的Vemra便笺。")
                .arg(FolderHandle::displayPath(lock.folders.data),
                     InstanceChannel::describe(delivery, FolderHandle::displayPath(address)));
        printNotice(notice);
        FrmMessage::ShowMessage(nullptr, NoServices::sound(), lock.folders.resources, kNoticeTitle, notice);
        return 1;
    }
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
    const QString notice = startNotice(lock);
    if (!notice.isEmpty())
        printNotice(notice);
    // Never run without the lock: the message says why, and nothing in the folder is touched.
    if (lock.state != SingleInstance::State::Held) {
        FrmMessage::ShowMessage(nullptr, services.platform().sound, folders.resources, kNoticeTitle, notice);
        return 1;
    }
    FrmMain window(services.platform(), nullptr, FrmMain::NoteLoading::AfterFirstPaint);
    Shutdown::closeOnTerminationSignals(&window);
    InstanceChannel channel;
    QObject::connect(&channel, &InstanceChannel::verbReceived, &window,
                     [&window](StartVerb verb) { window.followStartVerb(InstanceChannel::wordOf(verb)); });
    new AfterFirstPaint(&window, &channel, InstanceChannel::address(folders.data, runtimeFolder),
                        request.verb);
    window.show();
    if (!notice.isEmpty())
        QTimer::singleShot(0, &window, [&window, notice] { window.showMessage(kNoticeTitle, notice); });
    return app.exec();
}
