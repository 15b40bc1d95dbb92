// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr char kAnswer[] = "ok\n";
constexpr int kAnswerMs = 2000;
constexpr int kRetryMs = 50;
constexpr char kFallbackName[] = ".VemraNotes.channel";

/// A socket's place: its folder, held through a descriptor, its name there, and the address that
/// reaches it. A path too long for an address goes through the descriptor instead.
struct Place
{
    int folderFd = -1;
    QByteArray name;
    sockaddr_un address = {};
    socklen_t length = 0;

    Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    ~Place()
    {
        if (folderFd >= 0)
            ::close(folderFd);
    }
    int takeFolder() { return std::exchange(folderFd, -1); }
};

bool locate(const QString& path, Place& place)
{
    const QByteArray bytes = QFile::encodeName(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    if (slash < 0)
        return false;
    place.name = bytes.mid(slash + 1);
    if (place.name.isEmpty() || place.name == "." || place.name == "..")
        return false;
    const QByteArray folder = slash == 0 ? QByteArray("/") : bytes.left(slash);
    place.folderFd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (place.folderFd < 0)
        return false;
    QByteArray reach = bytes;
    if (std::size_t(reach.size()) >= sizeof(place.address.sun_path))
        reach = "/proc/self/fd/" + QByteArray::number(place.folderFd) + '/' + place.name;
    if (std::size_t(reach.size()) >= sizeof(place.address.sun_path))
        return false;
    place.address.sun_family = AF_UNIX;
    std::memcpy(place.address.sun_path, reach.constData(), std::size_t(reach.size()));
    place.length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(reach.size()) + 1);
    return true;
}

/// A peer being heard: the notifier of its socket, which it closes when it goes, and what it sent so
/// far.
class Peer : public QSocketNotifier
{
public:
    Peer(int fd, QObject* parent) : QSocketNotifier(fd, QSocketNotifier::Read, parent) {}
    ~Peer() override { ::close(int(socket())); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    QByteArray line;
};

/// Writes the line on a connected socket and reads the answer.
InstanceChannel::Delivery exchange(int fd, const QByteArray& line)
{
    qsizetype sent = 0;
    while (sent < line.size()) {
        const ssize_t wrote =
            ::send(fd, line.constData() + sent, std::size_t(line.size() - sent), MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return InstanceChannel::Delivery::NotReached;
        sent += wrote;
    }
    QByteArray answer;
    const QDeadlineTimer deadline(kAnswerMs);
    while (answer.size() < qsizetype(sizeof kAnswer - 1)) {
        pollfd wait = {fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[sizeof kAnswer];
        const ssize_t got = ::recv(fd, buffer, sizeof kAnswer - 1 - std::size_t(answer.size()), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        answer.append(buffer, got);
    }
    return answer == kAnswer ? InstanceChannel::Delivery::Delivered : InstanceChannel::Delivery::NotReached;
}

} // namespace

// ---- The command line ---------------------------------------------------------------------------

StartRequest StartArguments::parse(const QList<QByteArray>& arguments)
{
    // Qt's own options, which QApplication takes out of the command line after this; it reads them
    // with one dash or two. Those of the first list take a value.
    static const QList<QByteArray> withValue = {"platform",        "platformpluginpath",
                                                "platformtheme",   "plugin",
                                                "qwindowgeometry", "geometry",
                                                "qwindowtitle",    "title",
                                                "qwindowicon",     "icon",
                                                "display",         "name",
                                                "session",         "style",
                                                "stylesheet"};
    static const QList<QByteArray> alone = {"reverse", "nograb",      "dograb",
                                            "sync",    "widgetcount", "qmljsdebugger"};
    static const std::pair<const char*, StartVerb> verbs[] = {{"--new", StartVerb::New},
                                                              {"--todo", StartVerb::Todo},
                                                              {"--search", StartVerb::Search},
                                                              {"--due", StartVerb::Due}};
    StartRequest request;
    bool verbSeen = false;
    for (qsizetype i = 0; i < arguments.size() && request.error.isEmpty(); ++i) {
        const QByteArray& argument = arguments.at(i);
        if (argument == "--help" || argument == "-h") {
            request.help = true;
            continue;
        }
        const auto verb = std::find_if(std::begin(verbs), std::end(verbs),
                                       [&argument](const auto& entry) { return argument == entry.first; });
        if (verb != std::end(verbs)) {
            if (verbSeen && request.verb != verb->second)
                request.error = QStringLiteral("only one of --new, --todo, --search and --due can be given");
            request.verb = verb->second;
            verbSeen = true;
            continue;
        }
        const QByteArray option = argument.startsWith("--")  ? argument.mid(2)
                                  : argument.startsWith('-') ? argument.mid(1)
                                                             : QByteArray();
        const qsizetype equals = option.indexOf('=');
        const QByteArray key = option.left(equals < 0 ? option.size() : equals);
        if (!key.isEmpty() && withValue.contains(key)) {
            if (equals < 0 && ++i >= arguments.size())
                request.error =
                    QStringLiteral("option %1 needs a value").arg(QString::fromLocal8Bit(argument));
            continue;
        }
        if (!key.isEmpty() && alone.contains(key) && (equals < 0 || key == "qmljsdebugger"))
            continue;
        request.error = QStringLiteral("unknown argument: %1").arg(QString::fromLocal8Bit(argument));
    }
    return request;
}

QString StartArguments::usage()
{
    return QStringLiteral(
        "Usage: VemraNotes [--new | --todo | --search | --due] [Qt options]\n"
        "用法：VemraNotes [--new | --todo | --search | --due] [Qt 选项]\n"
        "\n"
        "Starts Vemra便笺, or brings forward the copy that already runs on the same notes.\n"
        "启动 Vemra便笺；它已在运行时，把它的窗口调到前面。\n"
        "\n"
        "  --new       a new note, ready for typing            新建便笺\n"
        "  --todo      the to-do page, ready for a new task    打开待办\n"
        "  --search    the note list with its search box       搜索便笺\n"
        "  --due       for a reminder's timer: starts the program unless it runs\n"
        "              供提醒定时器使用：程序未运行时才启动\n"
        "  -h, --help  this text                               显示本说明\n"
        "\n"
        "Qt's own options (-platform, -display, -style, -reverse, ...) are accepted too.\n");
}

// ---- The channel --------------------------------------------------------------------------------

QString InstanceChannel::address(const QString& dataFolder, const QString& runtimeFolder)
{
    struct stat data = {};
    if (::stat(QFile::encodeName(dataFolder).constData(), &data) != 0 || !S_ISDIR(data.st_mode))
        return QString();
    // Another user's or an open runtime folder would let others see, replace or answer the channel.
    struct stat runtime = {};
    if (!runtimeFolder.isEmpty() && runtimeFolder.startsWith(u'/') &&
        ::stat(QFile::encodeName(runtimeFolder).constData(), &runtime) == 0 && S_ISDIR(runtime.st_mode) &&
        runtime.st_uid == ::geteuid() && (runtime.st_mode & 077) == 0)
        return runtimeFolder + QStringLiteral("/VemraNotes-%1-%2")
                                   .arg(qulonglong(data.st_dev), 0, 16)
                                   .arg(qulonglong(data.st_ino), 0, 16);
    return dataFolder + u'/' + QLatin1String(kFallbackName);
}

QByteArray InstanceChannel::wordOf(StartVerb verb)
{
    switch (verb) {
    case StartVerb::Show:
        return "show";
    case StartVerb::New:
        return "new";
    case StartVerb::Todo:
        return "todo";
    case StartVerb::Search:
        return "search";
    case StartVerb::Due:
        break;
    }
    return QByteArray();
}

std::optional<StartVerb> InstanceChannel::verbOf(const QByteArray& word)
{
    for (StartVerb verb : {StartVerb::Show, StartVerb::New, StartVerb::Todo, StartVerb::Search}) {
        if (word == wordOf(verb))
            return verb;
    }
    return std::nullopt;
}

InstanceChannel::Delivery InstanceChannel::send(const QString& path, StartVerb verb, int timeoutMs)
{
    const QByteArray word = wordOf(verb);
    return word.isEmpty() ? Delivery::NotReached : sendLine(path, word + '\n', timeoutMs);
}

InstanceChannel::Delivery InstanceChannel::sendLine(const QString& path, const QByteArray& line,
                                                    int timeoutMs)
{
    Place place;
    if (!locate(path, place))
        return Delivery::NotReached;
    const QDeadlineTimer deadline(timeoutMs);
    const auto notASocket = [&place] {
        struct stat st = {};
        return ::fstatat(place.folderFd, place.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
               !S_ISSOCK(st.st_mode);
    };
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return Delivery::NotReached;
        // connect() follows a link: one at the place is refused as a file there is, and waited out
        // as a copy still starting is.
        int connected = -1;
        errno = ECONNREFUSED;
        if (!notASocket()) {
            do
                connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&place.address), place.length);
            while (connected != 0 && errno == EINTR);
        }
        if (connected == 0) {
            // The listener's user is known from its socket before a word is said: another user's
            // process at our place (a planted socket, or a link to one) hears nothing.
            ucred listener = {};
            socklen_t size = sizeof listener;
            const bool ours = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &listener, &size) == 0 &&
                              listener.uid == ::geteuid();
            const Delivery delivery = ours ? exchange(fd, line) : Delivery::Stranger;
            ::close(fd);
            return delivery;
        }
        const int error = errno;
        ::close(fd);
        if ((error != ENOENT && error != ECONNREFUSED && error != EAGAIN) || deadline.hasExpired())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
    // A file or a link in the socket's place refuses as a copy still starting does; the running copy
    // takes the place back when it starts listening, so only what is still there at the end counts.
    return notASocket() ? Delivery::NotASocket : Delivery::NotReached;
}

QString InstanceChannel::describe(Delivery delivery, const QString& path)
{
    switch (delivery) {
    case Delivery::Delivered:
        break;
    case Delivery::NotReached:
        return QStringLiteral("它没有在“%1”应答").arg(path);
    case Delivery::Stranger:
        return QStringLiteral("在“%1”等候的是另一个用户的程序，没有向它发送任何内容").arg(path);
    case Delivery::NotASocket:
        return QStringLiteral("“%1”处是一个文件或链接，而不是它的通道；它下次启动时会收回这个位置").arg(path);
    }
    return QString();
}

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent), m_acceptedUid(::geteuid()) {}

InstanceChannel::~InstanceChannel()
{
    close();
}

void InstanceChannel::close()
{
    if (m_fd >= 0) {
        delete m_notifier;
        m_notifier = nullptr;
        ::close(m_fd);
        m_fd = -1;
        // Removed only while it is still the socket this channel made.
        struct stat st = {};
        if (::fstatat(m_folderFd, m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISSOCK(st.st_mode) && st.st_ino == m_inode)
            ::unlinkat(m_folderFd, m_name.constData(), 0);
    }
    if (m_folderFd >= 0)
        ::close(m_folderFd);
    m_folderFd = -1;
}

bool InstanceChannel::listen(const QString& path)
{
    close();
    Place place;
    if (path.isEmpty() || !locate(path, place))
        return false;
    const char* name = place.name.constData();
    struct stat st = {};
    if (::fstatat(place.folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // The name is ours, and this copy holds the lock: nothing there is a running copy's. Left
        // there, a file or a link would make later starts do nothing, and another user's socket
        // would hear them. The name goes, never what a link points to; a folder may hold anything.
        if (S_ISDIR(st.st_mode) || ::unlinkat(place.folderFd, name, 0) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&place.address), place.length) != 0) {
        ::close(fd);
        return false;
    }
    // Only the user can connect at all; the peer's user is checked all the same.
    if (::fchmodat(place.folderFd, name, 0600, AT_SYMLINK_NOFOLLOW) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
        ::fstatat(place.folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        ::close(fd);
        ::unlinkat(place.folderFd, name, 0);
        return false;
    }
    m_fd = fd;
    m_inode = st.st_ino;
    m_name = place.name;
    m_folderFd = place.takeFolder();
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InstanceChannel::acceptPeers);
    return true;
}

void InstanceChannel::acceptPeers()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        ucred user = {};
        socklen_t size = sizeof user;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &user, &size) != 0 || user.uid != m_acceptedUid) {
            ::close(fd);
            continue;
        }
        // A start sends its line as soon as it is connected: the peer connected longest has had its
        // time, and makes way rather than the newcomer. What a peer sent while this thread was busy
        // is still heard before it goes.
        if (m_peers.size() >= kMostPeers) {
            QSocketNotifier* oldest = m_peers.constFirst();
            hear(oldest);
            dropPeer(oldest);
        }
        auto* peer = new Peer(fd, this);
        m_peers.append(peer);
        QTimer::singleShot(kPeerTimeoutMs, peer, [this, peer] {
            hear(peer);
            dropPeer(peer);
        });
        connect(peer, &QSocketNotifier::activated, this, [this, peer] { hear(peer); });
    }
}

void InstanceChannel::hear(QSocketNotifier* notifier)
{
    if (!m_peers.contains(notifier))
        return;
    auto* peer = static_cast<Peer*>(notifier);
    const int fd = int(peer->socket());
    char buffer[kLongestLine];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        dropPeer(peer);
        return;
    }
    peer->line.append(buffer, got);
    const qsizetype end = peer->line.indexOf('\n');
    if (end < 0) {
        if (peer->line.size() >= kLongestLine)
            dropPeer(peer);
        return;
    }
    // One line that names a verb, and nothing after it.
    const std::optional<StartVerb> verb =
        end + 1 == peer->line.size() ? verbOf(peer->line.left(end)) : std::optional<StartVerb>();
    if (verb)
        ::send(fd, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    dropPeer(peer);
    if (verb)
        emit verbReceived(*verb);
}

void InstanceChannel::dropPeer(QSocketNotifier* peer)
{
    if (!m_peers.removeOne(peer))
        return;
    peer->setEnabled(false);
    peer->deleteLater();
}
