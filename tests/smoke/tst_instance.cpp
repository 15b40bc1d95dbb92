// SPDX-License-Identifier: GPL-3.0-or-later
// One process per data folder, whatever executable and session it comes from: two copies (or a
// copy and a hard link) of the real executable in one folder, started with different runtime
// folders, share the data, so the second leaves at once, silently, while the first runs on.
// A later start hands its request (--new, ...) to the running copy. Everything the processes could
// touch lies in a temporary folder.
#include "support/ProcessProbe.h"
#include "support/WindowTest.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

class TestInstance : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void secondProcessOnTheSameDataLeaves_data();
    void secondProcessOnTheSameDataLeaves();
    void otherDataFoldersRunSideBySide();
    void unusableDataFolderIsToldAndNothingRuns();
    void secondStartWithNewGivesTheFirstANote();
    void commandLineAnsweredWithoutStarting_data();
    void commandLineAnsweredWithoutStarting();

private:
    QString path(const QString& relative) const { return m_root->filePath(relative); }
    QProcess* start(const QString& executable, const QString& runtime);
    /// Starts an X server of the test's own; its display name, or empty.
    QString startXvfb(QProcess& xvfb);

    std::unique_ptr<QTemporaryDir> m_root;
    QList<QProcess*> m_processes;
};

void TestInstance::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    for (const char* sub : {"app", "home", "config", "runtime1", "runtime2", "cache", "data", "state"})
        QVERIFY(QDir().mkpath(path(QString::fromLatin1(sub))));
    for (const char* runtime : {"runtime1", "runtime2"})
        QVERIFY(QFile::setPermissions(path(QString::fromLatin1(runtime)),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString built = QStringLiteral(VEMRA_BUILD_DIR "/VemraNotes");
    QVERIFY2(QFileInfo(built).isExecutable(), qPrintable(built + QStringLiteral(" is not built")));
    QVERIFY(QFile::copy(built, path(QStringLiteral("app/VemraNotes"))));
}

void TestInstance::cleanup()
{
    endProcesses(m_processes);
    m_root.reset();
}

QProcess* TestInstance::start(const QString& executable, const QString& runtime)
{
    QProcessEnvironment environment = sandboxEnvironment(m_root->path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(runtime));

    auto* process = new QProcess;
    process->setObjectName(executable + u' ' + runtime);
    m_processes.append(process);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(path(QStringLiteral("home")));
    process->start(path(executable), QStringList());
    return process;
}

QString TestInstance::startXvfb(QProcess& xvfb)
{
    for (const char* program : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            qWarning("Xvfb and xdotool are installed by scripts/deps.sh");
            return QString();
        }
    }
    return startPrivateXvfb(xvfb);
}

void TestInstance::secondProcessOnTheSameDataLeaves_data()
{
    QTest::addColumn<bool>("portable");
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<QString>("dataFolder");
    QTest::newRow("portable folder, copy") << true << false << "app";
    QTest::newRow("portable folder, hard link") << true << true << "app";
    QTest::newRow("per-user folder, copy") << false << false << "data/VemraNotes";
}

void TestInstance::secondProcessOnTheSameDataLeaves()
{
    QFETCH(bool, portable);
    QFETCH(bool, hardLink);
    QFETCH(QString, dataFolder);
    const QByteArray note = utf8WithBom(QStringLiteral("别丢了我"));
    if (portable)
        QVERIFY(writeFile(path(QStringLiteral("app/Notes/1.txt")), note));
    const QString second = QStringLiteral("app/VemraNotes-2");
    if (hardLink)
        QCOMPARE(::link(QFile::encodeName(path(QStringLiteral("app/VemraNotes"))).constData(),
                        QFile::encodeName(path(second)).constData()),
                 0);
    else
        QVERIFY(QFile::copy(path(QStringLiteral("app/VemraNotes")), path(second)));

    QProcess* first = start(QStringLiteral("app/VemraNotes"), QStringLiteral("runtime1"));
    QVERIFY2(first->waitForStarted(20000), qPrintable(first->errorString()));
    const QString config = path(dataFolder + QStringLiteral("/Config.ini"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(config) || first->state() == QProcess::NotRunning, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(catchesTermination(first->processId()) || first->state() == QProcess::NotRunning,
                             20000);
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(QFile::exists(path(dataFolder + QStringLiteral("/.VemraNotes.lock"))));

    QProcess* other = start(second, QStringLiteral("runtime2"));
    QVERIFY2(other->waitForFinished(20000), "the second process kept running");
    QCOMPARE(other->exitStatus(), QProcess::NormalExit);
    QCOMPARE(other->exitCode(), 0);
    QCOMPARE(other->readAll(), QByteArray());
    QCOMPARE(first->state(), QProcess::Running);

    // The first one still owns the data and saves it when it closes.
    QCOMPARE(::kill(pid_t(first->processId()), SIGTERM), 0);
    QVERIFY(first->waitForFinished(20000));
    QCOMPARE(first->exitCode(), 0);
    if (portable)
        QCOMPARE(readFile(path(QStringLiteral("app/Notes/1.txt"))), note);
    // The lock file stays for the next start.
    QVERIFY(QFile::exists(path(dataFolder + QStringLiteral("/.VemraNotes.lock"))));
}

void TestInstance::otherDataFoldersRunSideBySide()
{
    // A second portable copy in another folder is other data: both run.
    QVERIFY(QDir().mkpath(path(QStringLiteral("app/Notes"))));
    QVERIFY(QDir().mkpath(path(QStringLiteral("app2/Notes"))));
    QVERIFY(QFile::copy(path(QStringLiteral("app/VemraNotes")), path(QStringLiteral("app2/VemraNotes"))));
    QProcess* first = start(QStringLiteral("app/VemraNotes"), QStringLiteral("runtime1"));
    QProcess* second = start(QStringLiteral("app2/VemraNotes"), QStringLiteral("runtime1"));
    for (QProcess* process : {first, second}) {
        QVERIFY(process->waitForStarted(20000));
        QTRY_VERIFY_WITH_TIMEOUT(
            catchesTermination(process->processId()) || process->state() == QProcess::NotRunning, 20000);
        QCOMPARE(process->state(), QProcess::Running);
    }
    QVERIFY(QFile::exists(path(QStringLiteral("app/Config.ini"))));
    QVERIFY(QFile::exists(path(QStringLiteral("app2/Config.ini"))));
}

void TestInstance::unusableDataFolderIsToldAndNothingRuns()
{
    // XDG_DATA_HOME names a file: the per-user folder cannot exist, so no lock can be held. The
    // message window must say so, naming the folder, on an X server where a window can be seen.
    QProcess xvfb;
    const auto stopX = qScopeGuard([&xvfb] {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    });
    const QString display = startXvfb(xvfb);
    QVERIFY2(!display.isEmpty(), "Xvfb did not start");

    QVERIFY(writeFile(path(QStringLiteral("datafile")), "not a folder"));
    QProcessEnvironment environment = sandboxEnvironment(m_root->path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("datafile")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime1")));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    auto* vemra = new QProcess;
    vemra->setObjectName(QStringLiteral("VemraNotes"));
    m_processes.append(vemra);
    vemra->setProcessEnvironment(environment);
    vemra->setProcessChannelMode(QProcess::MergedChannels);
    vemra->setWorkingDirectory(path(QStringLiteral("home")));
    vemra->start(path(QStringLiteral("app/VemraNotes")), QStringList());
    QVERIFY2(vemra->waitForStarted(20000), qPrintable(vemra->errorString()));

    const auto findWindow = [&environment] {
        QProcess xdotool;
        xdotool.setProcessEnvironment(environment);
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                       QStringLiteral("便笺数据文件夹")});
        return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0 &&
               !xdotool.readAllStandardOutput().trimmed().isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(findWindow() || vemra->state() == QProcess::NotRunning, 20000);
    QCOMPARE(vemra->state(), QProcess::Running);
    // The same words as the window's, on the standard error: the folder and why it cannot be used.
    QTRY_VERIFY_WITH_TIMEOUT(vemra->bytesAvailable() > 0, 5000);
    const QString said = QString::fromUtf8(vemra->readAll());
    QVERIFY2(said.contains(path(QStringLiteral("datafile/VemraNotes"))) &&
                 said.contains(QStringLiteral("不是文件夹")) && said.contains(QStringLiteral("不启动")),
             qPrintable(said));
    // Nothing was written anywhere.
    QCOMPARE(::kill(pid_t(vemra->processId()), SIGTERM), 0);
    QVERIFY(vemra->waitForFinished(20000));
    QCOMPARE(
        QDir(path(QStringLiteral("app"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("VemraNotes")});
    QCOMPARE(readFile(path(QStringLiteral("datafile"))), QByteArray("not a folder"));
}

void TestInstance::secondStartWithNewGivesTheFirstANote()
{
    // The first copy runs on an X server; a second start with --new leaves at once, and what is
    // typed next lands in a new note of the first copy, after the one it had.
    QProcess xvfb;
    const auto stopX = qScopeGuard([&xvfb] {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    });
    const QString display = startXvfb(xvfb);
    QVERIFY2(!display.isEmpty(), "Xvfb did not start");
    const QByteArray first = utf8WithBom(QStringLiteral("第一条"));
    QVERIFY(writeFile(path(QStringLiteral("app/Notes/1.txt")), first));
    QProcessEnvironment environment = sandboxEnvironment(m_root->path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime1")));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const auto run = [this, &environment](const QStringList& arguments) {
        auto* process = new QProcess;
        process->setObjectName(arguments.join(u' '));
        m_processes.append(process);
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(path(QStringLiteral("app/VemraNotes")), arguments);
        return process;
    };
    const auto xdotool = [&environment](const QStringList& arguments) {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("xdotool"), arguments);
        return tool.waitForFinished(20000) && tool.exitCode() == 0;
    };

    QProcess* vemra = run({});
    QVERIFY2(vemra->waitForStarted(20000), qPrintable(vemra->errorString()));
    QVERIFY(xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--pid"), QString::number(vemra->processId()), QStringLiteral("--name"),
                     QStringLiteral("Vemra")}));
    QTRY_VERIFY_WITH_TIMEOUT(catchesTermination(vemra->processId()) || vemra->state() == QProcess::NotRunning,
                             20000);

    QProcess* second = run({QStringLiteral("--new")});
    QVERIFY2(second->waitForFinished(10000), "the second start kept running");
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAll(), QByteArray());

    QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                     QStringLiteral("typed after --new")}));
    // The keys are in the window's queue once the window answers the next request.
    QTest::qWait(300);
    QCOMPARE(::kill(pid_t(vemra->processId()), SIGTERM), 0);
    QVERIFY(vemra->waitForFinished(20000));
    QCOMPARE(vemra->exitCode(), 0);
    QCOMPARE(readFile(path(QStringLiteral("app/Notes/1.txt"))), first);
    QCOMPARE(readFile(path(QStringLiteral("app/Notes/2.txt"))),
             utf8WithBom(QStringLiteral("typed after --new")));
}

void TestInstance::commandLineAnsweredWithoutStarting_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("onStandardOutput");
    QTest::newRow("--help") << "--help" << 0 << true;
    QTest::newRow("unknown option") << "--frobnicate" << 2 << false;
}

void TestInstance::commandLineAnsweredWithoutStarting()
{
    QFETCH(QString, argument);
    QFETCH(int, exitCode);
    QFETCH(bool, onStandardOutput);
    QProcess process;
    process.setProcessEnvironment(sandboxEnvironment(m_root->path()));
    process.start(path(QStringLiteral("app/VemraNotes")), {argument});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    const QByteArray& usage = onStandardOutput ? out : err;
    QVERIFY2(usage.contains("--new") && usage.contains("--todo") && usage.contains("--search"),
             usage.constData());
    QCOMPARE((onStandardOutput ? err : out), QByteArray());
    // Nothing started: no data folder, no lock, nothing beside the executable.
    QCOMPARE(
        QDir(path(QStringLiteral("app"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("VemraNotes")});
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("data/VemraNotes"))));
}

QTEST_GUILESS_MAIN(TestInstance)
#include "tst_instance.moc"
