// SPDX-License-Identifier: GPL-3.0-or-later
// Two real copies of the executable, each portable in a folder of its own, on one private X
// display, their Notes folders joined by a small two-way sync step run from this test's event loop
// the way Syncthing works: a file new or changed since the last pass is written under a hidden
// temporary name beside its place and renamed over it, a file deleted on one side is deleted on the
// other, and a file changed on both sides keeps one version in place and the other as a conflict
// copy. Keys typed into either window (automatic save on), into the note shown and into notes added
// with Ctrl+N, must end, once both close, as the same notes on both sides, each typed text exactly
// once, and nothing may be left only in a recovery folder.
//
// The randomised soak runs only with VEMRA_SOAK or VEMRA_SOAK_ROUNDS set (40 rounds by default;
// VEMRA_SOAK_SEED picks the sequence).
#include "support/FolderFiles.h"
#include "support/ProcessProbe.h"
#include "support/WindowTest.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

/// A two-way sync of two folders in passes, as a file sync tool does it.
class SyncStep
{
public:
    SyncStep(QString a, QString b) : m_a(std::move(a)), m_b(std::move(b)) {}

    void run()
    {
        const Files inA = snapshot(m_a);
        const Files inB = snapshot(m_b);
        QSet<QString> names(m_base.keyBegin(), m_base.keyEnd());
        for (const QString& name : inA.keys() + inB.keys())
            names.insert(name);
        for (const QString& name : std::as_const(names)) {
            const auto a = valueOf(inA, name);
            const auto b = valueOf(inB, name);
            const auto base = valueOf(m_base, name);
            if (a == b) {
                remember(name, a);
                continue;
            }
            const bool aChanged = a != base;
            const bool bChanged = b != base;
            bool done = false;
            if (aChanged && !bChanged)
                done = put(m_b, name, b, a);
            else if (bChanged && !aChanged)
                done = put(m_a, name, a, b);
            else if (!a || !b)
                // Deleted on one side, changed on the other: the change wins and comes back.
                done = a ? put(m_b, name, b, a) : put(m_a, name, a, b);
            else
                done = conflict(name, *a, *b);
            if (done)
                remember(name, a != base || !b ? a : b);
        }
        ++m_passes;
    }

    int conflicts() const { return m_conflicts; }

private:
    using Files = QHash<QString, QByteArray>;

    static Files snapshot(const QString& folder)
    {
        Files files;
        for (const QString& name : filesIn(folder))
            files.insert(name, readRaw(folder + u'/' + name));
        return files;
    }
    static std::optional<QByteArray> valueOf(const Files& files, const QString& name)
    {
        const auto found = files.constFind(name);
        return found == files.constEnd() ? std::nullopt : std::optional<QByteArray>(*found);
    }
    void remember(const QString& name, const std::optional<QByteArray>& bytes)
    {
        if (bytes)
            m_base.insert(name, *bytes);
        else
            m_base.remove(name);
    }
    /// Brings the file to the state wanted, unless it changed since the pass read it (the tool then
    /// leaves it to the next pass, as a real one rescans before replacing).
    static bool put(const QString& folder, const QString& name, const std::optional<QByteArray>& seen,
                    const std::optional<QByteArray>& wanted)
    {
        const QString target = folder + u'/' + name;
        const QByteArray now = readRaw(target);
        if (seen ? now != *seen : QFileInfo::exists(target))
            return false;
        if (!wanted)
            return QFile::remove(target);
        const QString temporary = folder + QStringLiteral("/.syncthing.") + name + QStringLiteral(".tmp");
        if (!putFile(temporary, *wanted))
            return false;
        return std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) ==
               0;
    }
    /// Both sides changed the file: A's version stays in place on both, B's becomes a conflict copy
    /// on both.
    bool conflict(const QString& name, const QByteArray& a, const QByteArray& b)
    {
        const QString copy = QFileInfo(name).completeBaseName() + QStringLiteral(".sync-conflict-") +
                             QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                             QStringLiteral("-B%1.txt").arg(++m_conflicts);
        if (!put(m_a, copy, std::nullopt, b) || !put(m_b, copy, std::nullopt, b))
            return false;
        remember(copy, b);
        return put(m_b, name, b, a);
    }

    QString m_a;
    QString m_b;
    /// What both sides held after the last pass that brought them together.
    Files m_base;
    int m_passes = 0;
    int m_conflicts = 0;
};

} // namespace

class TestSyncPeers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void typedAndAddedOnBothSidesEndEqual();
    void anotherComputersOrderMovesNothing();
    void randomisedSoak();

private:
    struct Peer
    {
        QString root;
        QString app;
        QProcess* process = nullptr;
        QByteArray window;
        QString notes() const { return app + QStringLiteral("/Notes"); }
        QString recycle() const { return app + QStringLiteral("/Notes.recycle"); }
    };
    /// Folders, executable and settings of one copy below the temporary folder; starts it.
    bool startPeer(Peer& peer, const QString& name, int left);
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr);
    bool focus(const Peer& peer);
    /// Focuses the peer's window and sends it keys or text while the sync step keeps running.
    bool type(const Peer& peer, const QString& text);
    bool key(const Peer& peer, const QString& keys);
    /// Both note folders hold the text (one file each, after a few sync passes).
    bool reachedBoth(const QString& text);
    bool bothHoldWithout(const QString& text);
    /// What each folder holds, for a failure message.
    QString describe() const;
    void closeBoth();
    /// The final checks: the same notes on both sides, each typed text once, nothing else left in
    /// a recovery folder.
    void checkEnd(const QStringList& kept, const QStringList& removed = {});

    QProcess m_xvfb;
    QString m_display;
    std::unique_ptr<QTemporaryDir> m_root;
    Peer m_peers[2];
    std::unique_ptr<SyncStep> m_sync;
    QTimer m_syncTimer;
    QList<QProcess*> m_processes;
};

void TestSyncPeers::initTestCase()
{
    for (const char* program : {"Xvfb", "xdotool"})
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty(),
                 "Xvfb and xdotool are installed by scripts/deps.sh");
    m_display = startPrivateXvfb(m_xvfb);
    QVERIFY2(!m_display.isEmpty(), "Xvfb did not start");
    m_syncTimer.setInterval(200);
    connect(&m_syncTimer, &QTimer::timeout, this, [this] {
        if (m_sync)
            m_sync->run();
    });
}

void TestSyncPeers::cleanupTestCase()
{
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
}

void TestSyncPeers::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_peers[0] = Peer{};
    m_peers[1] = Peer{};
    QVERIFY2(startPeer(m_peers[0], QStringLiteral("a"), 0), "copy A did not show its window");
    QVERIFY2(startPeer(m_peers[1], QStringLiteral("b"), 640), "copy B did not show its window");
    m_sync = std::make_unique<SyncStep>(m_peers[0].notes(), m_peers[1].notes());
    m_syncTimer.start();
}

void TestSyncPeers::cleanup()
{
    m_syncTimer.stop();
    m_sync.reset();
    endProcesses(m_processes);
    m_root.reset();
}

bool TestSyncPeers::startPeer(Peer& peer, const QString& name, int left)
{
    peer.root = m_root->filePath(name);
    for (const char* sub : {"app/Notes", "home", "config", "runtime", "cache", "data", "state"}) {
        if (!QDir().mkpath(peer.root + u'/' + QString::fromLatin1(sub)))
            return false;
    }
    peer.app = peer.root + QStringLiteral("/app");
    // Every change is saved at once, so what a window holds is in its folder for the sync to see.
    const QByteArray config =
        "[General]\r\nLeft=" + QByteArray::number(left) + "\r\nTop=0\r\nAutoRun=0\r\nAutoSave=1\r\n";
    if (!QFile::setPermissions(peer.root + QStringLiteral("/runtime"),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
        !QFile::copy(QStringLiteral(VEMRA_BUILD_DIR "/VemraNotes"),
                     peer.app + QStringLiteral("/VemraNotes")) ||
        !writeFile(peer.app + QStringLiteral("/portable"), QByteArray()) ||
        !writeFile(peer.app + QStringLiteral("/Config.ini"), config))
        return false;

    QProcessEnvironment environment = sandboxEnvironment(peer.root);
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    peer.process = new QProcess;
    peer.process->setObjectName(QStringLiteral("copy ") + name);
    m_processes.append(peer.process);
    peer.process->setProcessEnvironment(environment);
    peer.process->setProcessChannelMode(QProcess::MergedChannels);
    peer.process->setWorkingDirectory(peer.root + QStringLiteral("/home"));
    peer.process->start(peer.app + QStringLiteral("/VemraNotes"), {});
    if (!peer.process->waitForStarted(20000) ||
        !xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--sync"),
                  QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                  QString::number(peer.process->processId()), QStringLiteral("--name"),
                  QStringLiteral("Vemra")},
                 &peer.window))
        return false;
    // xdotool matches any of the conditions unless told --all: the other copy's window has the name too.
    peer.window = peer.window.split('\n').value(0);
    const qint64 pid = peer.process->processId();
    return QTest::qWaitFor(
               [&] { return catchesTermination(pid) || peer.process->state() != QProcess::Running; },
               20000) &&
           peer.process->state() == QProcess::Running;
}

bool TestSyncPeers::xdotool(const QStringList& arguments, QByteArray* output)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    // The event loop runs meanwhile: the sync step goes on while keys are typed.
    if (!tool.waitForStarted(10000) ||
        !QTest::qWaitFor([&tool] { return tool.state() == QProcess::NotRunning; }, 20000))
        return false;
    if (output)
        *output = tool.readAllStandardOutput().trimmed();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool TestSyncPeers::focus(const Peer& peer)
{
    // Without a window manager the keyboard goes where the focus was put last: make sure it is
    // this window before a key is sent.
    const auto focused = [this, &peer] {
        QByteArray window;
        return xdotool({QStringLiteral("getwindowfocus")}, &window) && window == peer.window;
    };
    return xdotool(
               {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(peer.window)}) &&
           QTest::qWaitFor(focused, 5000);
}

bool TestSyncPeers::type(const Peer& peer, const QString& text)
{
    if (!focus(peer) ||
        !xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text}))
        return false;
    // The keys are in the window's queue once the window answers the next request.
    QTest::qWait(300);
    return true;
}

bool TestSyncPeers::key(const Peer& peer, const QString& keys)
{
    if (!focus(peer) || !xdotool({QStringLiteral("key"), keys}))
        return false;
    QTest::qWait(300);
    return true;
}

bool TestSyncPeers::reachedBoth(const QString& text)
{
    return QTest::qWaitFor(
        [&] {
            return textsIn(m_peers[0].notes()).count(text) == 1 &&
                   textsIn(m_peers[1].notes()).count(text) == 1;
        },
        10000);
}

bool TestSyncPeers::bothHoldWithout(const QString& text)
{
    return QTest::qWaitFor(
        [&] {
            return !textsIn(m_peers[0].notes()).contains(text) && !textsIn(m_peers[1].notes()).contains(text);
        },
        10000);
}

void TestSyncPeers::closeBoth()
{
    // Let the last changes travel and settle before the windows close.
    QTest::qWait(1500);
    for (Peer& peer : m_peers)
        QCOMPARE(::kill(pid_t(peer.process->processId()), SIGTERM), 0);
    for (Peer& peer : m_peers) {
        const bool finished =
            QTest::qWaitFor([&] { return peer.process->state() == QProcess::NotRunning; }, 20000);
        QVERIFY2(finished, "a copy did not close");
        QCOMPARE(peer.process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(peer.process->exitCode(), 0);
    }
    m_syncTimer.stop();
    // What the closing saves wrote travels too; two passes carry a change and its echo.
    m_sync->run();
    m_sync->run();
}

QString TestSyncPeers::describe() const
{
    QString out;
    for (const Peer& peer : m_peers) {
        for (const QString& folder : {peer.notes(), peer.recycle()}) {
            out += folder.mid(m_root->path().size()) + QStringLiteral(":\n");
            for (const QString& name : filesIn(folder, true))
                out +=
                    QStringLiteral("  %1: %2\n").arg(name, QString::fromUtf8(readRaw(folder + u'/' + name)));
        }
    }
    return out + QStringLiteral("conflict copies made: %1").arg(m_sync ? m_sync->conflicts() : 0);
}

void TestSyncPeers::checkEnd(const QStringList& kept, const QStringList& removed)
{
    QStringList inA = textsIn(m_peers[0].notes());
    QStringList inB = textsIn(m_peers[1].notes());
    const QString report = describe();
    std::fputs(qPrintable(report + u'\n'), stderr);
    // No hidden temporary of ours or of theirs is left in either folder.
    for (const Peer& peer : m_peers)
        QCOMPARE(filesIn(peer.notes(), true), filesIn(peer.notes()));

    // Nothing typed was lost: each kept text is a note on both sides, once.
    for (const QString& text : kept) {
        QVERIFY2(inA.count(text) == 1, qPrintable(text + QStringLiteral(" in A\n") + report));
        QVERIFY2(inB.count(text) == 1, qPrintable(text + QStringLiteral(" in B\n") + report));
    }
    // Whatever else a recovery folder holds is a text still in Notes, or one typed half-way (a save
    // at each key).
    for (const Peer& peer : m_peers) {
        for (const QString& text : textsIn(peer.recycle())) {
            const auto typedOnce = [&text](const QString& typed) { return typed.startsWith(text); };
            const bool accounted = std::any_of(kept.cbegin(), kept.cend(), typedOnce) ||
                                   std::any_of(removed.cbegin(), removed.cend(), typedOnce);
            QVERIFY2(accounted,
                     qPrintable(u'"' + text + QStringLiteral("\" only in a recovery folder\n") + report));
        }
    }
    // The same notes on both sides, and nothing besides what was typed: a half-typed text or a
    // second copy left as a note is one the user has to clean away.
    std::sort(inA.begin(), inA.end());
    std::sort(inB.begin(), inB.end());
    QVERIFY2(inA == inB, qPrintable(report));
    QStringList expected = kept;
    std::sort(expected.begin(), expected.end());
    QVERIFY2(inA == expected, qPrintable(report));
}

void TestSyncPeers::typedAndAddedOnBothSidesEndEqual()
{
    Peer& a = m_peers[0];
    Peer& b = m_peers[1];
    QVERIFY(type(a, QStringLiteral("alpha typed in A")));
    QVERIFY2(reachedBoth(QStringLiteral("alpha typed in A")), qPrintable(describe()));
    QVERIFY(type(b, QStringLiteral("beta typed in B")));
    QVERIFY2(reachedBoth(QStringLiteral("beta typed in B")), qPrintable(describe()));

    QVERIFY(key(a, QStringLiteral("ctrl+n")));
    QVERIFY(type(a, QStringLiteral("gamma added in A")));
    QVERIFY(key(b, QStringLiteral("ctrl+n")));
    QVERIFY(type(b, QStringLiteral("delta added in B")));
    QVERIFY2(reachedBoth(QStringLiteral("gamma added in A")), qPrintable(describe()));
    QVERIFY2(reachedBoth(QStringLiteral("delta added in B")), qPrintable(describe()));

    // One note removed on each side from the note list, by keyboard, while both run: each removal
    // is kept aside where it was made and leaves both folders.
    QStringList kept{QStringLiteral("alpha typed in A"), QStringLiteral("beta typed in B"),
                     QStringLiteral("gamma added in A"), QStringLiteral("delta added in B")};
    QStringList removed;
    for (Peer* peer : {&a, &b}) {
        // Ctrl+F opens the list at its search box; four Tabs pass the list's three buttons.
        for (const char* keys : {"ctrl+f", "Tab", "Tab", "Tab", "Tab", "Down", "Delete", "Escape"})
            QVERIFY(key(*peer, QString::fromLatin1(keys)));
        // The pointer over the window's bare surface saves at once ("断电保护" is on).
        for (const char* x : {"300", "302"}) {
            QVERIFY(
                xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
                         QString::fromLatin1(peer->window), QString::fromLatin1(x), QStringLiteral("13")}));
            QTest::qWait(100);
        }
        // Both folders settle on the same notes, one fewer; a note that only moved on its way may
        // pass through a recovery folder meanwhile, so the one removed is told by what is left.
        QStringList left;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         QStringList inA = textsIn(a.notes());
                         QStringList inB = textsIn(b.notes());
                         inA.sort();
                         inB.sort();
                         left = inA;
                         return inA == inB && inA.size() == kept.size() - 1;
                     },
                     10000),
                 qPrintable(describe()));
        QString gone;
        for (const QString& text : kept) {
            if (!left.contains(text))
                gone = text;
        }
        QVERIFY2(!gone.isEmpty() && textsIn(peer->recycle()).contains(gone), qPrintable(describe()));
        kept.removeOne(gone);
        removed.append(gone);
    }

    closeBoth();
    checkEnd(kept, removed);
}

void TestSyncPeers::anotherComputersOrderMovesNothing()
{
    // As a sync tool puts a file in place: a hidden temporary file renamed over the name.
    const auto putAll = [this](const QStringList& texts) {
        const QString notes = m_peers[0].notes();
        for (int i = 0; i < texts.size(); ++i) {
            const QString temporary = notes + QStringLiteral("/.incoming.tmp");
            if (!putFile(temporary, utf8WithBom(texts[i])) ||
                std::rename(QFile::encodeName(temporary).constData(),
                            QFile::encodeName(notes + QStringLiteral("/%1.txt").arg(i + 1)).constData()) != 0)
                return false;
        }
        return true;
    };
    const auto bothHold = [this](const QStringList& texts) {
        return QTest::qWaitFor(
            [&] { return textsIn(m_peers[0].notes()) == texts && textsIn(m_peers[1].notes()) == texts; },
            10000);
    };
    const QStringList texts{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"),
                            QStringLiteral("four")};
    QVERIFY(putAll(texts));
    QVERIFY2(bothHold(texts), qPrintable(describe()));
    QTest::qWait(1500);

    // Another computer's order comes in at A: the same notes under other numbers. Both copies take
    // it; neither moves the files back, now or when it closes, so nothing travels to and fro.
    const QStringList reordered{QStringLiteral("three"), QStringLiteral("one"), QStringLiteral("four"),
                                QStringLiteral("two")};
    QVERIFY(putAll(reordered));
    QVERIFY2(bothHold(reordered), qPrintable(describe()));
    closeBoth();
    QVERIFY2(textsIn(m_peers[0].notes()) == reordered, qPrintable(describe()));
    QVERIFY2(textsIn(m_peers[1].notes()) == reordered, qPrintable(describe()));
    checkEnd(texts);
}

void TestSyncPeers::randomisedSoak()
{
    const int rounds = qEnvironmentVariableIsSet("VEMRA_SOAK_ROUNDS")
                           ? qEnvironmentVariableIntValue("VEMRA_SOAK_ROUNDS")
                           : (qEnvironmentVariableIsSet("VEMRA_SOAK") ? 40 : 0);
    if (rounds <= 0)
        QSKIP("the soak runs with VEMRA_SOAK_ROUNDS set, or as tst_syncpeers_soak in a build with "
              "VEMRA_SOAK=ON");
    const quint32 seed = qEnvironmentVariableIsSet("VEMRA_SOAK_SEED")
                             ? quint32(qEnvironmentVariableIntValue("VEMRA_SOAK_SEED"))
                             : quint32(QDateTime::currentMSecsSinceEpoch());
    std::fprintf(stderr, "soak: %d rounds, VEMRA_SOAK_SEED=%u\n", rounds, seed);
    QRandomGenerator random(seed);
    QStringList kept;
    // The text each side's editor shows last typed there, or none.
    QString current[2];
    for (int round = 0; round < rounds; ++round) {
        const int side = int(random.bounded(2));
        Peer& peer = m_peers[side];
        const QString text = QStringLiteral("r%1 side%2 n%3").arg(round).arg(side).arg(random.bounded(1000));
        const quint32 action = random.bounded(2);
        if (action == 1 || current[side].isEmpty()) {
            QVERIFY(key(peer, QStringLiteral("ctrl+n")));
            QVERIFY(type(peer, text));
            current[side] = text;
            kept.append(text);
        } else {
            // Typed at the end of the note the editor shows: that note's text grows.
            QVERIFY(type(peer, u' ' + text));
            kept.removeOne(current[side]);
            current[side] += u' ' + text;
            kept.append(current[side]);
        }
        // Sometimes the other side acts before this change arrived, sometimes after.
        if (random.bounded(2))
            QTest::qWait(int(random.bounded(1500)));
    }
    closeBoth();
    checkEnd(kept);
}

QTEST_GUILESS_MAIN(TestSyncPeers)
#include "tst_syncpeers.moc"
