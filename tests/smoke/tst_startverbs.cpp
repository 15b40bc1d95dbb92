// SPDX-License-Identifier: GPL-3.0-or-later
// A later start of the application reaches the running window through the instance channel: the
// command line is read, its verb travels over the socket, and the window comes forward with the
// page and the control the verb names. Strangers and noise on the socket are not heard.
#include "platform/InstanceChannel.h"
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/Unprivileged.h"
#include "support/WindowTest.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

/// Leaves a socket file with nobody listening, as a copy that crashed would.
bool leaveStaleSocket(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (std::size_t(bytes.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, bytes.constData(), std::size_t(bytes.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

/// A socket listening at path as another user would: it accepts one peer and returns 1 plus the
/// number of bytes that peer sent (0 when nobody came within three seconds).
int listenAsStranger(const QByteArray& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0)
        return 200;
    pollfd wait = {fd, POLLIN, 0};
    if (::poll(&wait, 1, 3000) != 1)
        return 0;
    const int peer = ::accept(fd, nullptr, nullptr);
    int heard = 0;
    char buffer[64];
    for (pollfd more = {peer, POLLIN, 0}; ::poll(&more, 1, 1000) == 1;) {
        const ssize_t got = ::recv(peer, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        heard += int(got);
    }
    return 1 + std::min(heard, 100);
}

/// A client socket connected (or connecting, with SOCK_NONBLOCK) to the socket at path.
int connectTo(const QString& path, int flags)
{
    sockaddr_un to = {};
    to.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(to.sun_path, bytes.constData(), std::size_t(bytes.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | flags, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    return fd;
}

/// Runs a client on another thread while this one serves the channel; its result once it is done.
template <typename Client> int whileServing(Client client)
{
    std::future<int> result = std::async(std::launch::async, client);
    if (!QTest::qWaitFor(
            [&result] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            10000))
        return -2;
    return result.get();
}

} // namespace

class TestStartVerbs : public QObject
{
    Q_OBJECT
private slots:
    void commandLineReachesTheWindow_data();
    void commandLineReachesTheWindow();
    void strangersAndNoiseAreNotHeard_data();
    void strangersAndNoiseAreNotHeard();
    void whatLiesAtThePlaceNeverSilencesAStart_data();
    void whatLiesAtThePlaceNeverSilencesAStart();
};

void TestStartVerbs::commandLineReachesTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("startOnTodoPage");
    // "help", "usage" (refused), or the verb's word ("" for --due, which never travels).
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("notesAdded");
    QTest::addColumn<bool>("todoPage");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("noteListOpen");

    const QStringList none;
    QTest::newRow("plain start") << none << false << "show" << 0 << false << "" << false;
    QTest::newRow("--new") << QStringList{"--new"} << false << "new" << 1 << false << "Text1" << false;
    QTest::newRow("--new from the to-do page, with Qt options")
        << QStringList{"-platform", "offscreen", "--new", "-style=fusion"} << true << "new" << 1 << false
        << "Text1" << false;
    QTest::newRow("--todo") << QStringList{"--todo"} << false << "todo" << 0 << true << "Text3" << false;
    QTest::newRow("--search") << QStringList{"--search"} << false << "search" << 0 << false << "Text2"
                              << true;
    QTest::newRow("--search from the to-do page")
        << QStringList{"--search"} << true << "search" << 0 << false << "Text2" << true;
    QTest::newRow("--due") << QStringList{"--due"} << false << "" << 0 << false << "" << false;
    QTest::newRow("--help") << QStringList{"--help"} << false << "help" << 0 << false << "" << false;
    QTest::newRow("-h") << QStringList{"-h"} << false << "help" << 0 << false << "" << false;
    QTest::newRow("unknown option") << QStringList{"--bogus"} << false << "usage" << 0 << false << ""
                                    << false;
    QTest::newRow("two verbs") << QStringList{"--new", "--todo"} << false << "usage" << 0 << false << ""
                               << false;
    QTest::newRow("a file name") << QStringList{"notes.txt"} << false << "usage" << 0 << false << "" << false;
    QTest::newRow("Qt option without its value")
        << QStringList{"-platform"} << false << "usage" << 0 << false << "" << false;
}

void TestStartVerbs::commandLineReachesTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, startOnTodoPage);
    QFETCH(QString, outcome);
    QFETCH(int, notesAdded);
    QFETCH(bool, todoPage);
    QFETCH(QString, focus);
    QFETCH(bool, noteListOpen);

    QList<QByteArray> bytes;
    for (const QString& argument : std::as_const(arguments))
        bytes.append(argument.toUtf8());
    const StartRequest request = StartArguments::parse(bytes);
    QCOMPARE(request.help, outcome == QLatin1String("help"));
    QCOMPARE(!request.error.isEmpty(), outcome == QLatin1String("usage"));
    if (request.help || !request.error.isEmpty())
        return;
    QCOMPARE(QString::fromLatin1(InstanceChannel::wordOf(request.verb)), outcome);

    TestPlatform tp;
    QTemporaryDir runtime;
    QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString address = InstanceChannel::address(tp.appFolder(), runtime.path());
    QVERIFY2(address.startsWith(runtime.path() + u'/'), qPrintable(address));
    QVERIFY(leaveStaleSocket(address));
    InstanceChannel channel;
    QVERIFY(channel.listen(address));

    FrmMain window(tp.platform());
    QObject::connect(&channel, &InstanceChannel::verbReceived, &window,
                     [&window](StartVerb verb) { window.followStartVerb(InstanceChannel::wordOf(verb)); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (startOnTodoPage)
        window.Picture5_MouseDown();
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    const int notes = window.NoteCount();

    const int delivered = whileServing([&address, verb = request.verb] {
        return int(InstanceChannel::send(address, verb, 2000) == InstanceChannel::Delivery::Delivered);
    });
    QCOMPARE(delivered, outcome.isEmpty() ? 0 : 1);
    QCOMPARE(window.isMinimized(), outcome.isEmpty());
    QCOMPARE(window.NoteCount(), notes + notesAdded);
    if (notesAdded)
        QCOMPARE(window.CurrentNote(), window.NoteCount() - 1);
    QCOMPARE(control<QWidget>(&window, QStringLiteral("Text1"))->isVisibleTo(&window), !todoPage);
    QCOMPARE(window.noteListOpen(), noteListOpen);
    if (!focus.isEmpty()) {
        QVERIFY(window.focusWidget());
        QCOMPARE(window.focusWidget()->objectName(), focus);
    }
}

void TestStartVerbs::strangersAndNoiseAreNotHeard_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("stranger");
    QTest::addColumn<bool>("heard");
    QTest::addColumn<bool>("deep");
    QTest::newRow("the user's own verb") << QByteArray("new\n") << false << true << false;
    QTest::newRow("a path too long for a socket address") << QByteArray("new\n") << false << true << true;
    QTest::newRow("another user's verb") << QByteArray("new\n") << true << false << false;
    QTest::newRow("unknown word") << QByteArray("format\n") << false << false << false;
    QTest::newRow("due never travels") << QByteArray("due\n") << false << false << false;
    QTest::newRow("verb with an argument") << QByteArray("new x\n") << false << false << false;
    QTest::newRow("two lines") << QByteArray("new\nnew\n") << false << false << false;
    QTest::newRow("blanks before a verb") << QByteArray(InstanceChannel::kLongestLine, ' ') + "new\n"
                                          << false << false << false;
    QTest::newRow("endless line") << QByteArray(4096, 'n') << false << false << false;
}

void TestStartVerbs::strangersAndNoiseAreNotHeard()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, stranger);
    QFETCH(bool, heard);
    QFETCH(bool, deep);
    QTemporaryDir folder;
    const QString place = deep ? folder.filePath(QString(120, u'd')) : folder.path();
    QVERIFY(QDir().mkpath(place));
    const QString address = place + QStringLiteral("/channel");
    InstanceChannel channel;
    QVERIFY(channel.listen(address));
    QSignalSpy received(&channel, &InstanceChannel::verbReceived);
    if (stranger) {
        // Even a socket anyone may reach hears its own user only.
        QVERIFY(::chmod(QFile::encodeName(folder.path()).constData(), 0711) == 0);
        QVERIFY(::chmod(QFile::encodeName(address).constData(), 0666) == 0);
        // Without root there is no other user to be: this user then stands for the stranger.
        if (::geteuid() != 0)
            channel.setAcceptedUid(::geteuid() + 1);
    }
    const auto client = [&address, &line] {
        return int(InstanceChannel::sendLine(address, line, 2000) == InstanceChannel::Delivery::Delivered);
    };
    const int delivered =
        whileServing([stranger, client] { return stranger ? runUnprivileged(client) : client(); });
    QCOMPARE(delivered, int(heard));
    QCOMPARE(received.count(), int(heard));
    if (heard)
        QCOMPARE(received.constFirst().constFirst().value<StartVerb>(), StartVerb::New);
    // Whatever came, the channel still hears the next start.
    if (stranger)
        channel.setAcceptedUid(::geteuid());
    QCOMPARE(whileServing([&address] { return int(InstanceChannel::send(address, StartVerb::Show, 2000)); }),
             int(InstanceChannel::Delivery::Delivered));
}

void TestStartVerbs::whatLiesAtThePlaceNeverSilencesAStart_data()
{
    using Delivery = InstanceChannel::Delivery;
    QTest::addColumn<QString>("place");
    QTest::addColumn<int>("delivery");
    QTest::newRow("another user's socket: nothing is said to it") << "stranger" << int(Delivery::Stranger);
    QTest::newRow("a file, taken back by the running copy") << "file" << int(Delivery::Delivered);
    QTest::newRow("a link, taken back, its target untouched") << "link" << int(Delivery::Delivered);
    QTest::newRow("a link to the listening socket: not followed")
        << "link to it" << int(Delivery::NotASocket);
    QTest::newRow("a file put there later: the start says so") << "late file" << int(Delivery::NotASocket);
    QTest::newRow("idle clients of the same user, then a start") << "idle" << int(Delivery::Delivered);
    QTest::newRow("more starts at once than are heard together") << "crowd" << int(Delivery::Delivered);
}

void TestStartVerbs::whatLiesAtThePlaceNeverSilencesAStart()
{
    QFETCH(QString, place);
    QFETCH(int, delivery);
    QTemporaryDir folder;
    const QString address = folder.filePath(QStringLiteral("channel"));
    const QString outside = folder.filePath(QStringLiteral("outside"));
    QVERIFY(writeFile(outside, "keep"));
    InstanceChannel channel;
    QSignalSpy received(&channel, &InstanceChannel::verbReceived);
    const auto send = [&address] { return int(InstanceChannel::send(address, StartVerb::New, 1500)); };

    if (place == QLatin1String("stranger")) {
        if (::geteuid() != 0)
            QSKIP("another user's socket needs root to make");
        // Left there while this user's copy could not listen: a start must not talk to it.
        QVERIFY(giveToUnprivileged(folder.path()));
        std::future<int> stranger = std::async(std::launch::async, [&address] {
            return runUnprivileged([path = QFile::encodeName(address)] { return listenAsStranger(path); });
        });
        QCOMPARE(send(), delivery);
        QCOMPARE(stranger.get(), 1); // reached, and not one byte heard
        return;
    }
    if (place == QLatin1String("file"))
        QVERIFY(writeFile(address, "planted"));
    if (place == QLatin1String("link"))
        QVERIFY(QFile::link(outside, address));
    QVERIFY(channel.listen(address));
    struct stat st = {};
    QVERIFY(::lstat(QFile::encodeName(address).constData(), &st) == 0 && S_ISSOCK(st.st_mode));
    QCOMPARE(readFile(outside), QByteArray("keep"));

    if (place == QLatin1String("late file") || place == QLatin1String("link to it")) {
        const QString moved = folder.filePath(QStringLiteral("moved"));
        if (place == QLatin1String("late file"))
            QVERIFY(QFile::remove(address) && writeFile(address, "planted"));
        else
            QVERIFY(QFile::rename(address, moved) && QFile::link(moved, address));
        QCOMPARE(whileServing(send), delivery);
        QVERIFY(InstanceChannel::describe(InstanceChannel::Delivery(delivery), address).contains(address));
        QCOMPARE(received.count(), 0);
        return;
    }
    // Peers that connect and never write, more than are heard at once, each still waiting.
    std::vector<int> idle;
    const auto closeIdle = qScopeGuard([&idle] {
        for (int fd : idle)
            ::close(fd);
    });
    if (place == QLatin1String("idle")) {
        for (int i = 0; i < InstanceChannel::kMostPeers + 2; ++i)
            idle.push_back(connectTo(address, SOCK_NONBLOCK));
        QTest::qWait(50);
    }
    if (place == QLatin1String("crowd")) {
        // Every one has sent its line before the window's thread comes to any: the ones that make way
        // for later ones are heard first.
        for (int i = 0; i <= InstanceChannel::kMostPeers; ++i) {
            idle.push_back(connectTo(address, 0));
            QCOMPARE(::send(idle.back(), "new\n", 4, MSG_NOSIGNAL), ssize_t(4));
        }
        QTest::qWait(100);
        int answered = 0;
        for (int fd : idle) {
            char answer[4] = {};
            pollfd wait = {fd, POLLIN, 0};
            answered +=
                ::poll(&wait, 1, 1000) == 1 && ::recv(fd, answer, 3, 0) == 3 && QByteArray(answer) == "ok\n";
        }
        QCOMPARE(answered, InstanceChannel::kMostPeers + 1);
        QCOMPARE(received.count(), InstanceChannel::kMostPeers + 1);
        return;
    }
    QCOMPARE(whileServing(send), delivery);
    QCOMPARE(received.count(), 1);
}

QTEST_MAIN(TestStartVerbs)
#include "tst_startverbs.moc"
