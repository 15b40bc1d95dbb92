// SPDX-License-Identifier: GPL-3.0-or-later
// The real executable as a screen reader sees it: on a private X server and session bus, with the
// accessibility bus of at-spi2-core, a pyatspi script (kReader below) opens the settings panel through
// the "选项" button's action and reads the switches; then toggles one through its own action.
#include "support/ProcessProbe.h"
#include "support/WindowTest.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const char kReader[] =
    R"PY(# Reads the switches of the running application through AT-SPI, as a screen reader would: presses the
# push button "选项" through its action, prints one line per check box of the application's tree
# ("<name>\t<checked 0/1>\t<focusable 0/1>"), toggles "断电保护" through its action and prints the
# check boxes again after a line "--". Run inside a private session bus, with the application started
# by the caller on the same display.
import sys
import time

import pyatspi


def find_app(name, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def walk(node, role, found):
    try:
        if node.getRole() == role:
            found.append(node)
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                walk(child, role, found)
    except Exception:
        pass


def nodes(app, role):
    found = []
    walk(app, role, found)
    return found


def press(node):
    action = node.queryAction()
    action.doAction(0)
    time.sleep(0.5)


def print_switches(app):
    for node in nodes(app, pyatspi.ROLE_CHECK_BOX):
        states = node.getState()
        print("%s\t%d\t%d" % (node.name, states.contains(pyatspi.STATE_CHECKED),
                               states.contains(pyatspi.STATE_FOCUSABLE)))


def main():
    app = find_app(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 20)
    if app is None:
        print("application not found on the accessibility bus", file=sys.stderr)
        return 1
    options = [n for n in nodes(app, pyatspi.ROLE_PUSH_BUTTON) if n.name == "选项"]
    if not options:
        print("no push button named 选项", file=sys.stderr)
        return 1
    press(options[0])
    print_switches(app)
    print("--")
    for node in nodes(app, pyatspi.ROLE_CHECK_BOX):
        if node.name == "断电保护":
            press(node)
    print_switches(app)
    sys.stdout.flush()
    return 0


sys.exit(main())
)PY";
} // namespace

class TestAccessibleTree : public QObject
{
    Q_OBJECT
private slots:
    void switchesAreNamedCheckBoxesWithTheirState();
};

void TestAccessibleTree::switchesAreNamedCheckBoxesWithTheirState()
{
    for (const char* program : {"Xvfb", "dbus-run-session"})
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty(),
                 "Xvfb and dbus are installed by scripts/deps.sh");
    QVERIFY2(QFileInfo::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")) &&
                 QFileInfo::exists(QStringLiteral("/usr/lib/python3/dist-packages/pyatspi")),
             "at-spi2-core and python3-pyatspi are installed by scripts/deps.sh");
    QTemporaryDir root;
    const QString script = root.filePath(QStringLiteral("reader.py"));
    QVERIFY(writeFile(script, QByteArray(kReader)));
    for (const char* sub : {"app", "home", "config", "runtime", "cache", "data", "state"})
        QVERIFY(QDir().mkpath(root.filePath(QString::fromLatin1(sub))));
    QVERIFY(QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString app = root.filePath(QStringLiteral("app/VemraNotes"));
    QVERIFY(QFile::copy(QStringLiteral(VEMRA_BUILD_DIR "/VemraNotes"), app));
    QVERIFY(writeFile(root.filePath(QStringLiteral("app/portable")), QByteArray()));

    QProcess xvfb;
    const QString display = startPrivateXvfb(xvfb);
    QVERIFY2(!display.isEmpty(), "Xvfb did not start");

    QProcessEnvironment environment = sandboxEnvironment(root.path());
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    QProcess session;
    session.setProcessEnvironment(environment);
    session.setProcessChannelMode(QProcess::SeparateChannels);
    // The application and the reader share the private session bus; SIGTERM closes the application
    // the normal way once the reader is done.
    session.start(QStringLiteral("dbus-run-session"),
                  {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("\"$1\" & app=$!; /usr/bin/python3 \"$2\" VemraNotes 30; rc=$?; "
                                  "kill -TERM $app; wait $app; exit $rc"),
                   QStringLiteral("sh"), app, script});
    QVERIFY(session.waitForStarted(10000));
    const bool finished = session.waitForFinished(90000);
    if (!finished)
        session.kill();
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    const QString errors = QString::fromUtf8(session.readAllStandardError());
    QVERIFY2(finished && session.exitCode() == 0, qPrintable(errors));
    // The registry daemon says hello on the same output: only the reader's lines count.
    QStringList lines;
    for (const QString& line : QString::fromUtf8(session.readAllStandardOutput()).split(u'\n')) {
        if (line == QLatin1String("--") || line.count(u'\t') == 2)
            lines << line;
    }
    // Name, checked, focusable; before and after the toggle of "断电保护".
    QCOMPARE(lines, (QStringList{QStringLiteral("开机时启动\t0\t1"), QStringLiteral("断电保护\t0\t1"),
                                 QStringLiteral("保留待办\t0\t1"), QStringLiteral("--"),
                                 QStringLiteral("开机时启动\t0\t1"), QStringLiteral("断电保护\t1\t1"),
                                 QStringLiteral("保留待办\t0\t1")}));
}

QTEST_GUILESS_MAIN(TestAccessibleTree)
#include "tst_accessibletree.moc"
