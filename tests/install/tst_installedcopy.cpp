// SPDX-License-Identifier: GPL-3.0-or-later
// An installed copy used by an ordinary user, end to end: the build is installed into a temporary
// prefix, made root-owned and read-only as a package would leave it, and started by a throwaway
// unprivileged user on a private X server. The user types a note and closes the window with its
// close button; the note must be in ~/.local/share/VemraNotes/Notes/, survive the next start, and
// the installed tree must be left exactly as it was.
//
// It needs root (to create the user and to drop to it); without root it is skipped.
#include "InstallTree.h"
#include "support/ProcessProbe.h"
#include "support/WindowTest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTyped = QStringLiteral("Bought milk at 5pm, e2e 42");

QString findTool(const QString& name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/local/sbin"),
                                                 QStringLiteral("/usr/local/bin"),
                                                 QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                                 QStringLiteral("/sbin"), QStringLiteral("/bin")});
}

/// Runs a tool to its end; its output when it failed, else empty.
QString run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QStringLiteral("%1 %2 failed: %3")
            .arg(program, arguments.join(u' '),
                 QString::fromLocal8Bit(process.readAll()) + process.errorString());
    return QString();
}

QString output(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

struct stat statOf(const QString& path)
{
    struct stat st = {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

} // namespace

class TestInstalledCopy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void typedNoteLandsInThePerUserFolder();

private:
    QString path(const QString& relative) const { return m_root.filePath(relative); }
    QString dataFolder() const { return path(QStringLiteral("home/.local/share/VemraNotes")); }
    /// Starts the installed executable as the throwaway user.
    QProcess* startAsUser();
    /// Waits until the window is up and closes on SIGTERM; returns its X window id.
    QString waitForWindow(QProcess* process);
    /// Every file below the prefix with its owner, mode and content digest.
    std::map<QString, QByteArray> prefixSnapshot() const;
    QProcessEnvironment xEnvironment() const;

    QTemporaryDir m_root;
    QString m_user;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    QProcess m_xServer;
    QString m_display;
    QList<QProcess*> m_processes;
};

void TestInstalledCopy::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("creating the throwaway user and dropping to it needs root; run the suite as root (CI does)");
    for (const char* tool : {"useradd", "userdel", "setpriv", "Xvfb", "xdotool"})
        QVERIFY2(!findTool(QString::fromLatin1(tool)).isEmpty(),
                 qPrintable(QStringLiteral("%1 is missing (scripts/deps.sh installs it)").arg(tool)));
    QVERIFY(m_root.isValid());
    QCOMPARE(::chmod(QFile::encodeName(m_root.path()).constData(), 0755), 0);

    // Installed by root, then made read-only for everybody, root-owned all the way.
    const QString prefix = path(QStringLiteral("prefix"));
    const QString error = InstallTree::install(prefix);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QString failed =
        run(findTool(QStringLiteral("chown")), {QStringLiteral("-R"), QStringLiteral("0:0"), prefix});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    failed =
        run(findTool(QStringLiteral("chmod")), {QStringLiteral("-R"), QStringLiteral("a-w,a+rX"), prefix});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));

    m_user = QStringLiteral("vemra-e2e-%1").arg(::getpid());
    failed = run(findTool(QStringLiteral("useradd")),
                 {QStringLiteral("--create-home"), QStringLiteral("--home-dir"), path(QStringLiteral("home")),
                  QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                  QStringLiteral("--user-group"), m_user});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    const passwd* entry = ::getpwnam(m_user.toUtf8().constData());
    QVERIFY(entry);
    m_uid = entry->pw_uid;
    m_gid = entry->pw_gid;
    QVERIFY(m_uid != 0);
    const QByteArray runtime = QFile::encodeName(path(QStringLiteral("runtime")));
    QCOMPARE(::mkdir(runtime.constData(), 0700), 0);
    QCOMPARE(::chown(runtime.constData(), m_uid, m_gid), 0);

    // A private X server that any local user may reach.
    m_display = startPrivateXvfb(m_xServer, findTool(QStringLiteral("Xvfb")));
    QVERIFY2(!m_display.isEmpty(), "Xvfb did not start");
}

void TestInstalledCopy::cleanupTestCase()
{
    for (QProcess* process : std::as_const(m_processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
        if (QTest::currentTestFailed())
            qWarning("application output:\n%s", process->readAll().constData());
        delete process;
    }
    m_processes.clear();
    if (m_xServer.state() != QProcess::NotRunning) {
        m_xServer.terminate();
        m_xServer.waitForFinished(10000);
    }
    if (!m_user.isEmpty())
        run(findTool(QStringLiteral("userdel")), {QStringLiteral("--remove"), m_user});
    // Writable again, so the temporary folder can be removed.
    if (QFileInfo::exists(path(QStringLiteral("prefix"))))
        run(findTool(QStringLiteral("chmod")),
            {QStringLiteral("-R"), QStringLiteral("u+w"), path(QStringLiteral("prefix"))});
}

QProcessEnvironment TestInstalledCopy::xEnvironment() const
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    return environment;
}

QProcess* TestInstalledCopy::startAsUser()
{
    // What a desktop session gives its user, less the session bus (so nothing is started on one)
    // and with no choice of platform: the application picks xcb itself because DISPLAY is set.
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
    environment.insert(QStringLiteral("USER"), m_user);
    environment.insert(QStringLiteral("LOGNAME"), m_user);
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + path(QStringLiteral("runtime/no-bus")));
    environment.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("0"));

    auto* process = new QProcess;
    m_processes.append(process);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(path(QStringLiteral("home")));
    process->start(findTool(QStringLiteral("setpriv")),
                   {QStringLiteral("--reuid=%1").arg(m_uid), QStringLiteral("--regid=%1").arg(m_gid),
                    QStringLiteral("--init-groups"), QStringLiteral("--"),
                    path(QStringLiteral("prefix/bin/VemraNotes"))});
    return process;
}

QString TestInstalledCopy::waitForWindow(QProcess* process)
{
    const QString xdotool = findTool(QStringLiteral("xdotool"));
    QString window;
    const auto ready = [&] {
        if (process->state() == QProcess::NotRunning)
            return true;
        if (!catchesTermination(process->processId()))
            return false;
        window = output(xdotool,
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                         QStringLiteral("^Vemra便笺$")},
                        xEnvironment())
                     .section(u'\n', 0, 0);
        return !window.isEmpty();
    };
    if (!QTest::qWaitFor(ready, 30000) || process->state() != QProcess::Running)
        return QString();
    return window;
}

std::map<QString, QByteArray> TestInstalledCopy::prefixSnapshot() const
{
    std::map<QString, QByteArray> files;
    const QString prefix = path(QStringLiteral("prefix"));
    for (const QString& file : InstallTree::files(prefix)) {
        const struct stat st = statOf(prefix + u'/' + file);
        QFile content(prefix + u'/' + file);
        content.open(QIODevice::ReadOnly);
        files[file] = QByteArray::number(st.st_uid) + ' ' + QByteArray::number(st.st_mode, 8) + ' ' +
                      QCryptographicHash::hash(content.readAll(), QCryptographicHash::Sha1).toHex();
    }
    return files;
}

void TestInstalledCopy::typedNoteLandsInThePerUserFolder()
{
    const std::map<QString, QByteArray> installed = prefixSnapshot();
    QVERIFY(installed.count(QStringLiteral("bin/VemraNotes")));
    const QString xdotool = findTool(QStringLiteral("xdotool"));

    // First start: the per-user folder appears, private, holding the first-run settings.
    QProcess* first = startAsUser();
    const QString window = waitForWindow(first);
    QVERIFY2(!window.isEmpty(), "the installed copy did not open its window");
    QVERIFY(QFileInfo(dataFolder() + QStringLiteral("/Config.ini")).isFile());
    QCOMPARE(statOf(dataFolder()).st_mode & 07777, mode_t(0700));
    QCOMPARE(statOf(dataFolder()).st_uid, m_uid);

    // Type into the editor, which has the focus at start, then close with the close button (the
    // "×" 18 pixels wide, 2 from the right edge and 4 from the top of the 458-pixel-wide window).
    const QProcessEnvironment x = xEnvironment();
    QString failed = run(xdotool,
                         {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                          QStringLiteral("200"), QStringLiteral("300")},
                         x);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    failed = run(xdotool, {QStringLiteral("windowfocus"), window}, x);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    failed =
        run(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), kTyped}, x);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    failed = run(xdotool,
                 {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("447"),
                  QStringLiteral("13"), QStringLiteral("click"), QStringLiteral("1")},
                 x);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QVERIFY2(first->waitForFinished(30000), "the close button did not close the window");
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);

    const QString notes = dataFolder() + QStringLiteral("/Notes");
    const QByteArray expected = utf8WithBom(kTyped);
    QCOMPARE(QDir(notes).entryList(QDir::Files), QStringList{QStringLiteral("1.txt")});
    QCOMPARE(readFile(notes + QStringLiteral("/1.txt")), expected);
    QCOMPARE(statOf(notes + QStringLiteral("/1.txt")).st_uid, m_uid);

    // Second start: the note is loaded (a start that missed it would empty the folder at close)
    // and still there after a close by the system.
    QProcess* second = startAsUser();
    const QString secondWindow = waitForWindow(second);
    QVERIFY2(
        !secondWindow.isEmpty(),
        qPrintable(QStringLiteral("the second start did not open its window (running: %1, exit code %2): %3")
                       .arg(second->state() == QProcess::Running)
                       .arg(second->exitCode())
                       .arg(QString::fromLocal8Bit(second->readAll()))));
    QCOMPARE(::kill(pid_t(second->processId()), SIGTERM), 0);
    QVERIFY(second->waitForFinished(30000));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(QDir(notes).entryList(QDir::Files), QStringList{QStringLiteral("1.txt")});
    QCOMPARE(readFile(notes + QStringLiteral("/1.txt")), expected);

    // Nothing was written beside the executable, and nothing there changed.
    QCOMPARE(prefixSnapshot(), installed);
}

QTEST_GUILESS_MAIN(TestInstalledCopy)
#include "tst_installedcopy.moc"
