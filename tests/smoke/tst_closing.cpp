// SPDX-License-Identifier: GPL-3.0-or-later
// The real executable on a real (virtual) X display: text typed on the keyboard survives every way
// of closing from outside — a termination signal and the window manager's close request — though
// the automatic save is off. Nothing reaches the user's own display, home or session.
#include "support/ProcessProbe.h"
#include "support/WindowTest.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <xcb/xcb.h>

namespace {

// Asks the window to close the way a window manager does: WM_PROTOCOLS / WM_DELETE_WINDOW.
bool sendDeleteWindow(const QByteArray& display, quint32 window)
{
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    const auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, quint16(qstrlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : XCB_ATOM_NONE;
        free(reply);
        return result;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    // A round trip: the server has handled the event before this connection goes away.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    const bool ok = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return ok;
}

} // namespace

class TestClosing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void typedTextSurvivesAnOutsideClose_data();
    void typedTextSurvivesAnOutsideClose();
    void keptToDosSurviveTwoRestarts();
    void aPlantedCommandNeverRuns();

private:
    /// The folders below root and a portable copy of the executable in root/app; empty on failure.
    QString prepareApp(const QTemporaryDir& root);
    /// Starts the executable of app with its folders below root; the main window's X id, or empty.
    QByteArray startVemra(QProcess& vemra, const QTemporaryDir& root, const QString& app);
    bool tool(const QStringList& arguments, QByteArray* output = nullptr);

    QProcess m_xvfb;
    QByteArray m_display;
    QProcessEnvironment m_environment;
};

void TestClosing::initTestCase()
{
    for (const char* program : {"Xvfb", "xdotool"})
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty(),
                 "Xvfb and xdotool are installed by scripts/deps.sh");
    m_display = startPrivateXvfb(m_xvfb).toLatin1();
    QVERIFY2(!m_display.isEmpty(), "Xvfb did not start");
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    for (const char* variable :
         {"WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "QT_QPA_PLATFORM"})
        m_environment.remove(QString::fromLatin1(variable));
}

void TestClosing::cleanupTestCase()
{
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
}

bool TestClosing::tool(const QStringList& arguments, QByteArray* output)
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput().trimmed();
    return true;
}

QString TestClosing::prepareApp(const QTemporaryDir& root)
{
    for (const char* sub : {"app", "home", "config", "runtime", "data", "state"}) {
        if (!QDir().mkpath(root.filePath(QString::fromLatin1(sub))))
            return QString();
    }
    const QString app = root.filePath(QStringLiteral("app"));
    // Data beside the executable, as in the build folder.
    if (!QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
        !QFile::copy(QStringLiteral(VEMRA_BUILD_DIR "/VemraNotes"), app + QStringLiteral("/VemraNotes")) ||
        !writeFile(app + QStringLiteral("/portable"), QByteArray()))
        return QString();
    return app;
}

QByteArray TestClosing::startVemra(QProcess& vemra, const QTemporaryDir& root, const QString& app)
{
    QProcessEnvironment environment = m_environment;
    const std::pair<const char*, const char*> folders[] = {{"HOME", "home"},
                                                           {"XDG_CONFIG_HOME", "config"},
                                                           {"XDG_RUNTIME_DIR", "runtime"},
                                                           {"XDG_DATA_HOME", "data"},
                                                           {"XDG_STATE_HOME", "state"}};
    for (const auto& [variable, sub] : folders)
        environment.insert(QString::fromLatin1(variable), root.filePath(QString::fromLatin1(sub)));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    vemra.setProcessEnvironment(environment);
    vemra.setProcessChannelMode(QProcess::MergedChannels);
    vemra.start(app + QStringLiteral("/VemraNotes"), {});
    if (!vemra.waitForStarted(20000))
        return QByteArray();
    QByteArray window;
    if (!tool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
               QStringLiteral("--pid"), QString::number(vemra.processId()), QStringLiteral("--name"),
               QStringLiteral("Vemra")},
              &window))
        return QByteArray();
    return window.split('\n').value(0);
}

void TestClosing::keptToDosSurviveTwoRestarts()
{
    QTemporaryDir root;
    const QString app = prepareApp(root);
    QVERIFY(!app.isEmpty());
    QVERIFY(writeFile(app + QStringLiteral("/Config.ini"),
                      "[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=0\r\nKeepTasks=1\r\n"));
    // A countdown due in a day, a clock time and a task without a timer, as a close left them.
    const QString due = QDateTime::currentDateTimeUtc().addDays(1).toString(Qt::ISODateWithMs);
    const QByteArray kept =
        "{\"Version\":1,\"Tasks\":["
        "{\"TaskText\":\"倒计时\",\"TimeText\":\"-23:59:59\",\"Status\":0,\"ActionKind\":1,\"ActionArg\":"
        "\"a\",\"Due\":\"" +
        due.toUtf8() +
        "\"},"
        "{\"TaskText\":\"定时\",\"TimeText\":\"+17:45\",\"Status\":0,\"ActionKind\":1,\"ActionArg\":\"b\"},"
        "{\"TaskText\":\"无时间\",\"TimeText\":\"------\",\"Status\":2,\"ActionKind\":1,\"ActionArg\":\"c\"}]"
        "}";
    QVERIFY(writeFile(app + QStringLiteral("/Tasks.json"), kept));

    for (int run = 0; run < 2; ++run) {
        QProcess vemra;
        const QByteArray window = startVemra(vemra, root, app);
        QVERIFY2(!window.isEmpty(), "the main window did not appear");
        // The close button at the right of the title row.
        QVERIFY(tool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::fromLatin1(window),
                      QStringLiteral("447"), QStringLiteral("13"), QStringLiteral("click"),
                      QStringLiteral("1")}));
        const bool finished = vemra.waitForFinished(20000);
        QVERIFY2(finished, vemra.readAll().constData());
        QCOMPARE(vemra.exitCode(), 0);
        // Each start restored the three, and each close wrote them back, due moment and all.
        const QByteArray written = readFile(app + QStringLiteral("/Tasks.json"));
        for (const QByteArray& part :
             {QByteArray("倒计时"), QByteArray("\"+17:45\""), QByteArray("无时间"), QByteArray("\"Due\":\"")})
            QVERIFY2(written.contains(part), written.constData());
        QVERIFY2(written.contains(due.left(16).toUtf8()), written.constData());
        QCOMPARE(written.count("\"TaskText\""), 3);
    }
}

void TestClosing::aPlantedCommandNeverRuns()
{
    QTemporaryDir root;
    const QString app = prepareApp(root);
    QVERIFY(!app.isEmpty());
    QVERIFY(writeFile(app + QStringLiteral("/Config.ini"),
                      "[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=0\r\nKeepTasks=1\r\n"));
    // What a synced folder can bring: a command due an hour ago and one two seconds after the start,
    // in a list nobody wrote on this machine.
    const QString ran = root.filePath(QStringLiteral("ran"));
    const QByteArray command = "touch " + QFile::encodeName(ran);
    QVERIFY(writeFile(app + QStringLiteral("/Tasks.json"),
                      "{\"Version\":1,\"Tasks\":["
                      "{\"TaskText\":\"a\",\"TimeText\":\"-00:00:02\",\"Status\":0,\"ActionKind\":4,"
                      "\"ActionArg\":\"" +
                          command +
                          "\"},"
                          "{\"TaskText\":\"b\",\"TimeText\":\"-00:00:01\",\"Status\":0,\"ActionKind\":4,"
                          "\"ActionArg\":\"" +
                          command + "\",\"Due\":\"" +
                          QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODate).toUtf8() +
                          "\"}]}"));
    QProcess vemra;
    QVERIFY2(!startVemra(vemra, root, app).isEmpty(), "the main window did not appear");
    QTest::qWait(4000);
    QVERIFY(!QFile::exists(ran));
    vemra.kill();
    vemra.waitForFinished(5000);
}

void TestClosing::typedTextSurvivesAnOutsideClose_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("SIGTERM") << "signal";
    QTest::newRow("window manager's close") << "window manager";
    QTest::newRow("SIGTERM, the notes folder refusing the save") << "signal, refused";
}

void TestClosing::typedTextSurvivesAnOutsideClose()
{
    QFETCH(QString, how);
    QTemporaryDir root;
    const QString app = prepareApp(root);
    QVERIFY(!app.isEmpty());
    QProcess vemra;
    const QByteArray window = startVemra(vemra, root, app);
    QVERIFY2(!window.isEmpty(), "the main window did not appear");
    QVERIFY(tool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(window)}));
    QVERIFY(tool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                  QStringLiteral("typed, never saved by hand")}));
    // The keys are in the window's queue once the window answers the next request.
    QTest::qWait(300);

    const bool refused = how.endsWith(QLatin1String("refused"));
    if (refused) {
        QVERIFY(QDir(app + QStringLiteral("/Notes")).removeRecursively());
        QVERIFY(writeFile(app + QStringLiteral("/Notes"), "in the way"));
    }
    if (how.startsWith(QLatin1String("signal")))
        QCOMPARE(::kill(pid_t(vemra.processId()), SIGTERM), 0);
    else
        QVERIFY(sendDeleteWindow(m_display, window.toUInt()));
    // Waited for first: the output is only read for the message once the wait is over.
    const bool finished = vemra.waitForFinished(20000);
    QVERIFY2(finished, vemra.readAll().constData());
    QCOMPARE(vemra.exitStatus(), QProcess::NormalExit);
    QCOMPARE(vemra.exitCode(), 0);

    const QByteArray ini = readFile(app + QStringLiteral("/Config.ini"));
    QVERIFY2(ini.contains("AutoSave=0"), ini.constData());
    if (refused) {
        // Nobody was there to answer: the text went to the emergency file without a question.
        const QDir state(root.filePath(QStringLiteral("state/VemraNotes")));
        const QStringList rescued = state.entryList(QDir::Files);
        QCOMPARE(rescued.size(), 1);
        QVERIFY(readFile(state.filePath(rescued.constFirst())).endsWith("typed, never saved by hand\n"));
        return;
    }
    QCOMPARE(readFile(app + QStringLiteral("/Notes/1.txt")),
             utf8WithBom(QStringLiteral("typed, never saved by hand")));
}

QTEST_GUILESS_MAIN(TestClosing)
#include "tst_closing.moc"
