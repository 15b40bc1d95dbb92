// SPDX-License-Identifier: GPL-3.0-or-later
// Reminders that reach the user: the D-Bus notifier against a fake notification service on a
// private bus that the test starts, and the reminder actions announcing their windows through the
// recording notifier.
#include "platform/DBusNotifier.h"
#include "support/Fakes.h"
#include "tasks/TaskActions.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

struct NotifyCall
{
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
};

} // namespace

/// Answers like a desktop's notification service and keeps what it was asked.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<NotifyCall> calls;
    QList<uint> closed;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
    {
        calls.append({appName, replacesId, appIcon, summary, body, actions, hints, timeout});
        return 40 + uint(calls.size()); // ids of a service that has shown others before
    }
    void CloseNotification(uint id) { closed.append(id); }
    QStringList GetCapabilities() { return capabilities; }

public:
    QStringList capabilities = {QStringLiteral("actions"), QStringLiteral("body")};
};

class TestNotifications : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void postCarriesSummaryBodyIconAndUrgency_data();
    void postCarriesSummaryBodyIconAndUrgency();
    void clickOnItsOwnNotificationRunsTheAction();
    void withdrawClosesEvenBeforeTheServiceAnswered();
    void closedByTheUserIsForgotten();
    void noServiceChangesNothing();

    void reminderWindowsAreAnnounced_data();
    void reminderWindowsAreAnnounced();
    void otherActionsPostNothing_data();
    void otherActionsPostNothing();
    void clickBringsTheReminderWindowForward();
    void buttonsSnoozeOrCloseTheReminder_data();
    void buttonsSnoozeOrCloseTheReminder();

private:
    bool registerService();
    /// Returns once every signal the service sent before has reached the notifier: a click on a
    /// fresh notification comes after them on the same connection.
    void barrier(DBusNotifier& notifier);
    void emitSignal(const QString& name, const QList<QVariant>& arguments);

    QTemporaryDir m_busFolder;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<FakeNotificationService> m_service;
    QString m_serviceConnection;
    int m_connections = 0;
};

void TestNotifications::initTestCase()
{
    QVERIFY(m_busFolder.isValid());
    // A bus of our own that activates nothing: no real notification daemon may start on it.
    const QString config = m_busFolder.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                       "<allow own=\"*\"/></policy></busconfig>\n")
            .arg(m_busFolder.path())
            .toUtf8());
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon (package dbus) is needed");
    QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine() || m_daemon.state() != QProcess::Running, 20000);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY2(m_address.startsWith(QStringLiteral("unix:")), qPrintable(m_address));
}

void TestNotifications::cleanupTestCase()
{
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void TestNotifications::init()
{
    m_service = std::make_unique<FakeNotificationService>();
    m_serviceConnection = QStringLiteral("fake-service-%1").arg(++m_connections);
}

void TestNotifications::cleanup()
{
    QDBusConnection::disconnectFromBus(m_serviceConnection);
    m_service.reset();
}

bool TestNotifications::registerService()
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_serviceConnection);
    return bus.isConnected() && bus.registerObject(kPath, m_service.get(), QDBusConnection::ExportAllSlots) &&
           bus.registerService(kInterface);
}

void TestNotifications::emitSignal(const QString& name, const QList<QVariant>& arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, name);
    signal.setArguments(arguments);
    QVERIFY(QDBusConnection(m_serviceConnection).send(signal));
}

void TestNotifications::barrier(DBusNotifier& notifier)
{
    bool through = false;
    const qsizetype before = m_service->calls.size();
    notifier.post(QStringLiteral("barrier"), QString(), Notifier::Urgency::Normal, [&] { through = true; });
    QTRY_COMPARE(m_service->calls.size(), before + 1);
    emitSignal(QStringLiteral("ActionInvoked"),
               {uint(40 + m_service->calls.size()), QStringLiteral("default")});
    QTRY_VERIFY(through);
}

void TestNotifications::postCarriesSummaryBodyIconAndUrgency_data()
{
    QTest::addColumn<Notifier::Urgency>("urgency");
    QTest::addColumn<uchar>("level"); // the freedesktop.org levels: 1 normal, 2 critical
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("shown");
    const QString prompt = QStringLiteral("泡面好了\n<b>别烫着</b>");
    QTest::newRow("normal") << Notifier::Urgency::Normal << uchar(1) << prompt << prompt;
    QTest::newRow("critical") << Notifier::Urgency::Critical << uchar(2) << prompt << prompt;
    // A preset's prompt is its task's text.
    QTest::newRow("body repeating the summary")
        << Notifier::Urgency::Critical << uchar(2) << QStringLiteral("泡面 ") << QString();
}

void TestNotifications::postCarriesSummaryBodyIconAndUrgency()
{
    QFETCH(Notifier::Urgency, urgency);
    QFETCH(uchar, level);
    QFETCH(QString, body);
    QFETCH(QString, shown);
    QVERIFY(registerService());
    DBusNotifier notifier(QStringLiteral("Vemra便笺"), QStringLiteral("io.github.vemranotes.VemraNotes"),
                          QStringLiteral("io.github.vemranotes.VemraNotes"), m_address);
    notifier.post(QStringLiteral("泡面"), body, urgency, [] {});
    QTRY_COMPARE(m_service->calls.size(), 1);
    const NotifyCall& call = m_service->calls.first();
    QCOMPARE(call.appName, QStringLiteral("Vemra便笺"));
    QCOMPARE(call.replacesId, 0u);
    QCOMPARE(call.appIcon, QStringLiteral("io.github.vemranotes.VemraNotes"));
    QCOMPARE(call.summary, QStringLiteral("泡面"));
    QCOMPARE(call.body, shown);
    // A default action, so a click on the notification is reported back.
    QVERIFY(call.actions.size() == 2 && call.actions.first() == QStringLiteral("default"));
    // Urgency travels as a byte: services ignore (or reject) any other type.
    const QVariant sent = call.hints.value(QStringLiteral("urgency"));
    QCOMPARE(sent.metaType(), QMetaType::fromType<uchar>());
    QCOMPARE(sent.value<uchar>(), level);
    QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(),
             QStringLiteral("io.github.vemranotes.VemraNotes"));
    QCOMPARE(call.timeout, -1);
    // The reminder's window sounds; the notification adds none.
    QCOMPARE(call.hints.value(QStringLiteral("suppress-sound")), QVariant(true));
}

void TestNotifications::clickOnItsOwnNotificationRunsTheAction()
{
    QVERIFY(registerService());
    DBusNotifier notifier(QStringLiteral("Vemra便笺"), QString(), QString(), m_address);
    QStringList clicked;
    notifier.post(QStringLiteral("a"), QStringLiteral("first"), Notifier::Urgency::Normal,
                  [&] { clicked << QStringLiteral("first"); });
    notifier.post(QStringLiteral("a"), QStringLiteral("second"), Notifier::Urgency::Normal,
                  [&] { clicked << QStringLiteral("second"); });
    QTRY_COMPARE(m_service->calls.size(), 2);
    // Another program's notification, and an action that is not the default, run nothing.
    emitSignal(QStringLiteral("ActionInvoked"), {7u, QStringLiteral("default")});
    emitSignal(QStringLiteral("ActionInvoked"), {42u, QStringLiteral("snooze")});
    emitSignal(QStringLiteral("ActionInvoked"), {42u, QStringLiteral("default")});
    QTRY_COMPARE(clicked, QStringList{QStringLiteral("second")});
    emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("default")});
    QTRY_COMPARE(clicked, (QStringList{QStringLiteral("second"), QStringLiteral("first")}));
}

void TestNotifications::withdrawClosesEvenBeforeTheServiceAnswered()
{
    QVERIFY(registerService());
    DBusNotifier notifier(QStringLiteral("Vemra便笺"), QString(), QString(), m_address);
    bool clicked = false;
    // One withdrawn before even the service's capabilities are known never reaches it at all.
    notifier.withdraw(notifier.post(QStringLiteral("a"), QStringLiteral("never"), Notifier::Urgency::Normal,
                                    [&] { clicked = true; }));
    barrier(notifier); // notification 41
    // Withdrawn before the event loop ran: the service's answer has not come yet.
    const Notifier::Ticket early = notifier.post(QStringLiteral("a"), QStringLiteral("b"),
                                                 Notifier::Urgency::Normal, [&] { clicked = true; });
    notifier.withdraw(early);
    QTRY_COMPARE(m_service->closed, QList<uint>{42u});
    emitSignal(QStringLiteral("ActionInvoked"), {42u, QStringLiteral("default")});

    bool lateClicked = false;
    const Notifier::Ticket late = notifier.post(QStringLiteral("a"), QStringLiteral("c"),
                                                Notifier::Urgency::Normal, [&] { lateClicked = true; });
    QTRY_COMPARE(m_service->calls.size(), 3);
    // Its id is known once a click on it gets through.
    emitSignal(QStringLiteral("ActionInvoked"), {43u, QStringLiteral("default")});
    QTRY_VERIFY(lateClicked);
    notifier.withdraw(late);
    QTRY_COMPARE(m_service->closed, (QList<uint>{42u, 43u}));
    notifier.withdraw(late); // twice is harmless
    notifier.withdraw(999);
    barrier(notifier);
    QCOMPARE(m_service->closed, (QList<uint>{42u, 43u}));
    QVERIFY(!clicked);
    QVERIFY(std::none_of(m_service->calls.cbegin(), m_service->calls.cend(),
                         [](const NotifyCall& c) { return c.body == QLatin1String("never"); }));
}

void TestNotifications::closedByTheUserIsForgotten()
{
    QVERIFY(registerService());
    DBusNotifier notifier(QStringLiteral("Vemra便笺"), QString(), QString(), m_address);
    int clicks = 0;
    const Notifier::Ticket ticket =
        notifier.post(QStringLiteral("a"), QStringLiteral("b"), Notifier::Urgency::Normal, [&] { ++clicks; });
    QTRY_COMPARE(m_service->calls.size(), 1);
    emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("default")});
    QTRY_COMPARE(clicks, 1);
    emitSignal(QStringLiteral("NotificationClosed"), {41u, 2u});
    barrier(notifier);
    // Gone: a late click does nothing, and withdrawing asks the service nothing.
    emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("default")});
    notifier.withdraw(ticket);
    barrier(notifier);
    QCOMPARE(clicks, 1);
    QVERIFY(m_service->closed.isEmpty());
}

void TestNotifications::noServiceChangesNothing()
{
    // No service on the bus, and no bus at all: the reminder window comes as it always did.
    DBusNotifier noService(QStringLiteral("Vemra便笺"), QString(), QString(), m_address);
    DBusNotifier noBus(QStringLiteral("Vemra便笺"), QString(), QString(),
                       QStringLiteral("unix:path=") + m_busFolder.filePath(QStringLiteral("none")));
    for (DBusNotifier* notifier : {&noService, &noBus}) {
        RecordingLauncher launcher;
        int shown = 0;
        ActionContext context{launcher, [&](const QString&, const QString&) { ++shown; }, {}, {}};
        context.notifier = notifier;
        PerformAction({QStringLiteral("t"), QStringLiteral("-**:**:**"), 1, TaskAction::Message, QString()},
                      0, true, context);
        QCOMPARE(shown, 1);
    }
    // A service that starts later is used by the next reminder.
    QVERIFY(registerService());
    noService.post(QStringLiteral("later"), QStringLiteral("b"), Notifier::Urgency::Normal, [] {});
    QTRY_VERIFY(!m_service->calls.isEmpty() && m_service->calls.last().summary == QStringLiteral("later"));
}

void TestNotifications::reminderWindowsAreAnnounced_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("arg");
    QTest::addColumn<QString>("body");
    QTest::addColumn<Notifier::Urgency>("urgency");
    QTest::newRow("message: the prompt, until dismissed")
        << int(TaskAction::Message) << QStringLiteral("该喝水了") << QStringLiteral("该喝水了")
        << Notifier::Urgency::Critical;
    QTest::newRow("music: the file's name")
        << int(TaskAction::Music) << QStringLiteral("/home/u/音乐/起床.wav") << QStringLiteral("起床.wav")
        << Notifier::Urgency::Normal;
}

void TestNotifications::reminderWindowsAreAnnounced()
{
    QFETCH(int, kind);
    QFETCH(QString, arg);
    QFETCH(QString, body);
    QFETCH(Notifier::Urgency, urgency);
    RecordingLauncher launcher;
    RecordingNotifier notifier;
    QStringList seen;
    auto whileShown = [&] {
        // The notification is up while the window is, and only then.
        seen << QStringLiteral("window");
        QCOMPARE(notifier.posted.size(), 1);
        QVERIFY(notifier.withdrawn.isEmpty());
    };
    ActionContext context{launcher,
                          [&](const QString&, const QString&) { whileShown(); },
                          [&](int, const QString&) { whileShown(); },
                          {}};
    context.notifier = &notifier;
    PerformAction({QStringLiteral("泡面好了"), QStringLiteral("-**:**:**"), 1, kind, arg}, 0, true, context);
    QCOMPARE(seen, QStringList{QStringLiteral("window")});
    QCOMPARE(notifier.posted.size(), 1);
    QCOMPARE(notifier.posted.first().summary, QStringLiteral("泡面好了"));
    QCOMPARE(notifier.posted.first().body, body);
    QCOMPARE(notifier.posted.first().urgency, urgency);
    QCOMPARE(notifier.withdrawn, QList<Notifier::Ticket>{notifier.posted.first().ticket});
}

void TestNotifications::otherActionsPostNothing_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("power") << int(TaskAction::Power);
    QTest::newRow("open file") << int(TaskAction::OpenFile);
    QTest::newRow("command") << int(TaskAction::Command);
}

void TestNotifications::otherActionsPostNothing()
{
    QFETCH(int, kind);
    RecordingLauncher launcher;
    RecordingNotifier notifier;
    ActionContext context{launcher, {}, {}, [](const QString&) {}};
    context.notifier = &notifier;
    PerformAction({QStringLiteral("t"), QStringLiteral("-**:**:**"), 1, kind, QStringLiteral("5")}, 0, true,
                  context);
    QVERIFY(notifier.posted.isEmpty());
}

void TestNotifications::clickBringsTheReminderWindowForward()
{
    RecordingLauncher launcher;
    RecordingNotifier notifier;
    QWidget mainWindow;
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    bool reminderActive = false;
    bool mainRestored = false;
    ActionContext context{launcher,
                          [&](const QString&, const QString&) {
                              QDialog reminder(&mainWindow);
                              // Modal to the main window only, so the window standing in for
                              // another program below can take the focus from it.
                              reminder.setWindowModality(Qt::WindowModal);
                              reminder.show();
                              QVERIFY(QTest::qWaitForWindowExposed(&reminder));
                              // The user went elsewhere meanwhile and minimized the application.
                              mainWindow.showMinimized();
                              QTRY_VERIFY(mainWindow.isMinimized());
                              QWidget otherProgram;
                              otherProgram.show();
                              otherProgram.activateWindow();
                              QTRY_VERIFY(otherProgram.isActiveWindow());
                              QVERIFY(!reminder.isActiveWindow());
                              QCOMPARE(notifier.posted.size(), 1);
                              notifier.posted.first().activated();
                              mainRestored = !mainWindow.isMinimized();
                              QTRY_VERIFY(reminder.isActiveWindow());
                              reminderActive = reminder.isActiveWindow();
                          },
                          {},
                          {}};
    context.notifier = &notifier;
    context.window = &mainWindow;
    PerformAction({QStringLiteral("泡面"), QStringLiteral("-**:**:**"), 1, TaskAction::Message, QString()}, 0,
                  true, context);
    QVERIFY(mainRestored);
    QVERIFY(reminderActive);
    // After the window closed, a late click brings the main window forward and harms nothing.
    QWidget otherProgram;
    otherProgram.show();
    otherProgram.activateWindow();
    QTRY_VERIFY(otherProgram.isActiveWindow());
    notifier.posted.first().activated();
    QTRY_VERIFY(mainWindow.isActiveWindow());
}

void TestNotifications::buttonsSnoozeOrCloseTheReminder_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QString>("pressed");
    QTest::addColumn<QStringList>("actions"); // as the service receives them
    QTest::addColumn<bool>("snoozed");
    QTest::addColumn<bool>("closed");
    const QStringList drawn = {QStringLiteral("actions"), QStringLiteral("body")};
    const QStringList message = {"default", "查看", "snooze", "稍后提醒", "close", "知道了"};
    const QStringList music = {"default", "查看", "snooze", "稍后提醒", "close", "停止"};
    const QStringList plain = {"default", "查看"};
    const int m = TaskAction::Message;
    const int u = TaskAction::Music;
    QTest::newRow("message, snooze") << m << drawn << "snooze" << message << true << true;
    QTest::newRow("message, got it") << m << drawn << "close" << message << false << true;
    QTest::newRow("music, snooze") << u << drawn << "snooze" << music << true << true;
    QTest::newRow("music, stop") << u << drawn << "close" << music << false << true;
    QTest::newRow("message, service without buttons")
        << m << QStringList{QStringLiteral("body")} << "snooze" << plain << false << false;
    QTest::newRow("music, service without buttons")
        << u << QStringList() << "close" << plain << false << false;
}

void TestNotifications::buttonsSnoozeOrCloseTheReminder()
{
    QFETCH(int, kind);
    QFETCH(QStringList, capabilities);
    QFETCH(QString, pressed);
    QFETCH(QStringList, actions);
    QFETCH(bool, snoozed);
    QFETCH(bool, closed);
    m_service->capabilities = capabilities;
    QVERIFY(registerService());
    DBusNotifier notifier(QStringLiteral("Vemra便笺"), QString(), QString(), m_address);
    RecordingLauncher launcher;
    QList<int> snoozes;
    bool windowClosed = false;
    // The reminder window is open while this runs: the button is pressed on its notification.
    const auto whileOpen = [&] {
        QTRY_COMPARE(m_service->calls.size(), 1);
        QCOMPARE(m_service->calls.first().actions, actions);
        emitSignal(QStringLiteral("ActionInvoked"), {41u, pressed});
        barrier(notifier);
    };
    ActionContext context{launcher,
                          [&](const QString&, const QString&) { whileOpen(); },
                          [&](int, const QString&) { whileOpen(); },
                          {}};
    context.notifier = &notifier;
    context.snooze = [&](int index) {
        QVERIFY(!windowClosed); // snoozed first, then the window goes
        snoozes << index;
    };
    context.closeReminder = [&] { windowClosed = true; };
    PerformAction({QStringLiteral("泡面"), QStringLiteral("-**:**:**"), 1, kind, QStringLiteral("/m/a.wav")},
                  3, true, context);
    QCOMPARE(snoozes, snoozed ? QList<int>{3} : QList<int>());
    QCOMPARE(windowClosed, closed);
    // The notification goes with the window, whichever closed it.
    QTRY_VERIFY(m_service->closed.contains(41u));
}

QTEST_MAIN(TestNotifications)
#include "tst_notifications.moc"
