// SPDX-License-Identifier: GPL-3.0-or-later
// The real executable, started as a process: one instance per executable, and a termination signal
// closing it through the normal close so that settings and notes are saved. Everything the process
// could touch (application folder, home, configuration, runtime folder) lies in a temporary folder.
#include "support/ProcessProbe.h"
#include "support/WindowTest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>
#include <memory>

class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void secondStartLeavesAtOnceWritingNothing();
    void terminationSignalClosesAndSaves();

private:
    QString appPath(const QString& relative) const
    {
        return m_root->filePath(QStringLiteral("app/") + relative);
    }
    QProcess* startInstance();
    /// Starts the first instance and waits until it has loaded and can be closed by a signal.
    void startFirstAndWaitReady();
    /// Every file below the temporary root with its size, modification time and content digest.
    std::map<QString, QByteArray> snapshot() const;

    std::unique_ptr<QTemporaryDir> m_root;
    QProcessEnvironment m_environment;
    QList<QProcess*> m_processes;
    QByteArray m_noteBytes;
};

namespace {
QByteArray iniValue(const QByteArray& ini, const QByteArray& key)
{
    for (const QByteArray& line : ini.split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1).chopped(line.endsWith('\r') ? 1 : 0);
    return QByteArray();
}
} // namespace

void TestSmoke::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    for (const char* sub : {"app/Notes", "home", "config", "runtime", "cache", "data", "state"})
        QVERIFY(QDir().mkpath(m_root->filePath(QString::fromLatin1(sub))));
    // A runtime folder open to others is refused by Qt.
    QVERIFY(QFile::setPermissions(m_root->filePath(QStringLiteral("runtime")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    // A copy, not a link: the application folder is the folder of the resolved executable path.
    const QString built = QStringLiteral(VEMRA_BUILD_DIR "/VemraNotes");
    QVERIFY2(QFileInfo(built).isExecutable(), qPrintable(built + QStringLiteral(" is not built")));
    QVERIFY(QFile::copy(built, appPath(QStringLiteral("VemraNotes"))));
    QVERIFY(QFileInfo(appPath(QStringLiteral("VemraNotes"))).isExecutable());

    m_noteBytes = utf8WithBom(QStringLiteral("买牛奶\r\nmilk, 2 L\r\n周五前"));
    QVERIFY(writeFile(appPath(QStringLiteral("Notes/1.txt")), m_noteBytes));

    m_environment = sandboxEnvironment(m_root->path());
}

void TestSmoke::cleanup()
{
    endProcesses(m_processes);
    m_root.reset();
}

QProcess* TestSmoke::startInstance()
{
    auto* process = new QProcess;
    process->setObjectName(QStringLiteral("instance %1").arg(m_processes.size() + 1));
    m_processes.append(process);
    process->setProcessEnvironment(m_environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(m_root->filePath(QStringLiteral("home")));
    process->start(appPath(QStringLiteral("VemraNotes")), QStringList());
    return process;
}

void TestSmoke::startFirstAndWaitReady()
{
    QProcess* first = startInstance();
    QVERIFY2(first->waitForStarted(20000), qPrintable(first->errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(appPath(QStringLiteral("Config.ini"))) ||
                                 first->state() == QProcess::NotRunning,
                             20000);
    QTRY_VERIFY_WITH_TIMEOUT(catchesTermination(first->processId()) || first->state() == QProcess::NotRunning,
                             20000);
    QCOMPARE(first->state(), QProcess::Running);
}

std::map<QString, QByteArray> TestSmoke::snapshot() const
{
    std::map<QString, QByteArray> files;
    const QDir root(m_root->path());
    QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QByteArray stamp = QByteArray::number(info.size()) + ' ' +
                           QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ' ';
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            stamp += QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
        files[root.relativeFilePath(info.filePath())] = stamp;
    }
    return files;
}

void TestSmoke::secondStartLeavesAtOnceWritingNothing()
{
    startFirstAndWaitReady();
    if (QTest::currentTestFailed())
        return;
    const std::map<QString, QByteArray> before = snapshot();
    QVERIFY(before.count(QStringLiteral("app/Config.ini")));

    QProcess* second = startInstance();
    QVERIFY2(second->waitForFinished(20000), "the second instance kept running");
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    // It leaves before any window exists, so it has nothing to say either.
    QCOMPARE(second->readAll(), QByteArray());

    QCOMPARE(snapshot(), before);
    QCOMPARE(m_processes.first()->state(), QProcess::Running);
    QCOMPARE(readFile(appPath(QStringLiteral("Notes/1.txt"))), m_noteBytes);
}

void TestSmoke::terminationSignalClosesAndSaves()
{
    startFirstAndWaitReady();
    if (QTest::currentTestFailed())
        return;
    QProcess* first = m_processes.first();
    const QByteArray firstRun = readFile(appPath(QStringLiteral("Config.ini")));
    QVERIFY2(firstRun.startsWith("[General]\r\nLeft = "), firstRun.constData());

    QCOMPARE(::kill(pid_t(first->processId()), SIGTERM), 0);
    QVERIFY2(first->waitForFinished(20000), "the signal did not end the application");
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);

    // The close rewrote the first-run lines in the compact form, keeping the place in whole pixels.
    const QByteArray ini = readFile(appPath(QStringLiteral("Config.ini")));
    QVERIFY2(!ini.contains(" = "), ini.constData());
    const QRegularExpression number(QStringLiteral("^-?\\d+$"));
    for (const QByteArray key : {"Left", "Top"}) {
        const QByteArray value = iniValue(ini, key);
        QVERIFY2(number.match(QString::fromLatin1(value)).hasMatch(), ini.constData());
        const QByteArray firstRunLine = key + " = ";
        const int at = firstRun.indexOf(firstRunLine) + firstRunLine.size();
        const double firstRunValue = firstRun.mid(at, firstRun.indexOf('\r', at) - at).toDouble();
        QCOMPARE(value.toInt(), int(firstRunValue));
    }
    QCOMPARE(iniValue(ini, "AutoRun"), QByteArray("0"));
    QCOMPARE(iniValue(ini, "AutoSave"), QByteArray("0"));

    QVERIFY(QFileInfo(appPath(QStringLiteral("Notes"))).isDir());
    QCOMPARE(QDir(appPath(QStringLiteral("Notes"))).entryList(QDir::Files),
             QStringList{QStringLiteral("1.txt")});
    QCOMPARE(readFile(appPath(QStringLiteral("Notes/1.txt"))), m_noteBytes);
    // AutoRun off: the close removes the autostart entry, so none may exist.
    QVERIFY(!QFileInfo::exists(m_root->filePath(QStringLiteral("config/autostart/VemraNotes.desktop"))));
}

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
