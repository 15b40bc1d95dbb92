// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QSocketNotifier;

/// What a start of the application asks for. With a copy already running on the same data the
/// request goes to that copy; otherwise the new process does it itself once its window is drawn.
enum class StartVerb
{
    /// A plain start: the window, brought forward.
    Show,
    /// A new note, the editor focused.
    New,
    /// The to-do page, its text box focused.
    Todo,
    /// The note list open, its search box focused.
    Search,
    /// Started by a reminder's timer: a normal start, but a running copy is left alone.
    Due,
};

/// The command line as the application reads it, before Qt is started.
struct StartRequest
{
    StartVerb verb = StartVerb::Show;
    bool help = false;
    /// Set when the line cannot be followed: the usage goes to the standard error.
    QString error;
};

namespace StartArguments {
/// Reads the arguments after the program's name: at most one verb of ours, --help, and the options
/// Qt takes itself (-platform xcb, -style=name, ...), which are passed on to Qt untouched.
StartRequest parse(const QList<QByteArray>& arguments);
/// The usage text, ending with a newline.
QString usage();
} // namespace StartArguments

/// A local socket on which the copy that holds the data folder's lock hears later starts of the
/// application. Only processes of the same user are heard, each for one short line naming a verb;
/// the copy answers "ok" once it has taken the verb. Plain AF_UNIX with a QSocketNotifier: Qt
/// Network stays out of the start-up.
class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    /// Longest line a peer may send, its newline included.
    static constexpr int kLongestLine = 16;
    /// Peers heard at the same time; a new one beyond them takes the place of the one connected
    /// longest, so peers that connect and never write cannot shut later starts out.
    static constexpr int kMostPeers = 16;
    /// A peer that has not sent its line by then is dropped; each peer has its own time.
    static constexpr int kPeerTimeoutMs = 500;

    /// Where the channel of a data folder lies: in the runtime folder when that is a folder of ours
    /// alone, named after the data folder's device and inode (so every path that reaches the folder
    /// agrees), else a hidden name in the data folder itself. Empty when the data folder cannot be
    /// examined.
    static QString address(const QString& dataFolder, const QString& runtimeFolder);
    /// The word a verb travels as; empty for Due, which never travels.
    static QByteArray wordOf(StartVerb verb);
    static std::optional<StartVerb> verbOf(const QByteArray& word);

    enum class Delivery
    {
        Delivered,
        /// Nobody listened or answered in time.
        NotReached,
        /// The listener is a process of another user: nothing was said to it.
        Stranger,
        /// Something other than a socket lies at the channel's place.
        NotASocket,
    };
    /// Sends a verb to the copy listening at path and waits for its answer. The listener may still
    /// be on its way (it listens from its first drawing on), so a missing or refusing socket is tried
    /// again until the time is up. Nothing is sent unless the listener runs as this process's user.
    static Delivery send(const QString& path, StartVerb verb, int timeoutMs);
    /// Sends one raw line (its newline included) and waits for the answer.
    static Delivery sendLine(const QString& path, const QByteArray& line, int timeoutMs);
    /// Why a later start could not reach the running copy at path, in words for the user; empty for
    /// Delivered.
    static QString describe(Delivery delivery, const QString& path);

    explicit InstanceChannel(QObject* parent = nullptr);
    ~InstanceChannel() override;
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    /// Listens at path. Only the holder of the data folder's lock calls this, so whatever lies at
    /// that name (a socket a copy left when it ended, another user's socket, a file, a link) is not
    /// a running copy's and is replaced; the name alone goes, a link is never followed. A folder
    /// there is left alone and the channel stays closed. False when it cannot listen.
    bool listen(const QString& path);
    bool isListening() const { return m_fd >= 0; }
    /// The user whose processes are heard; this process's own by default (tests name another).
    void setAcceptedUid(unsigned uid) { m_acceptedUid = uid; }

signals:
    void verbReceived(StartVerb verb);

private:
    void acceptPeers();
    /// Reads what the peer sent, and takes its verb once its line is whole.
    void hear(QSocketNotifier* peer);
    void dropPeer(QSocketNotifier* peer);
    void close();

    int m_fd = -1;
    int m_folderFd = -1;
    QByteArray m_name;
    unsigned long long m_inode = 0;
    unsigned m_acceptedUid;
    /// The peers being heard, the one connected longest first.
    QList<QSocketNotifier*> m_peers;
    QSocketNotifier* m_notifier = nullptr;
};
