// SPDX-License-Identifier: GPL-3.0-or-later
// The services that need Qt Multimedia or Qt Network live in a module loaded on first use: the real
// executable starts without mapping either library, and each service works once asked for.
#include "platform/HostResolver.h"
#include "platform/HttpClient.h"
#include "platform/LazyServices.h"
#include "platform/MediaPlayer.h"
#include "platform/ServiceModule.h"
#include "support/ProcessProbe.h"
#include "support/WindowTest.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
const QString kMultimedia = QStringLiteral("libQt6Multimedia.so");
const QString kNetwork = QStringLiteral("libQt6Network.so");

/// The file names of the shared libraries mapped into a process, versions cut off
/// ("libQt6Network.so.6.4.2" gives "libQt6Network.so").
QSet<QString> mappedLibraries(const QString& pid)
{
    QSet<QString> names;
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return names;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const int slash = line.indexOf('/');
        if (slash < 0)
            continue;
        QString name = QFileInfo(QString::fromLocal8Bit(line.mid(slash))).fileName();
        const int so = name.indexOf(QLatin1String(".so"));
        if (so > 0)
            names.insert(name.left(so + 3));
    }
    return names;
}

/// One HTTP answer per connection, then the connection is closed.
class OneAnswerServer : public QTcpServer
{
public:
    explicit OneAnswerServer(QByteArray answer) : m_answer(std::move(answer))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n"))
                        return;
                    socket->write(m_answer);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }
    QByteArray request() const { return m_request; }

private:
    QByteArray m_answer;
    QByteArray m_request;
};
} // namespace

class TestServices : public QObject
{
    Q_OBJECT
private slots:
    void executableStartsWithoutMultimediaOrNetwork();
    void moduleIsLoadedOnFirstUseFromBesideTheProgram();
    void soundAndMusicComeFromTheModule();
    void resolverResolvesLiterals_data();
    void resolverResolvesLiterals();
    void httpClientFetchesFromLoopback_data();
    void httpClientFetchesFromLoopback();
};

void TestServices::executableStartsWithoutMultimediaOrNetwork()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    for (const char* sub : {"app", "home", "config", "runtime", "cache", "data", "state"})
        QVERIFY(dir.mkpath(QString::fromLatin1(sub)));
    QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    // Copies, not links: the application looks for its data and its module beside the resolved path.
    const QString built = QStringLiteral(VEMRA_BUILD_DIR "/VemraNotes");
    const QString module = QStringLiteral(VEMRA_BUILD_DIR "/") + ServiceModule::fileName();
    QVERIFY2(QFileInfo(built).isExecutable(), qPrintable(built + QStringLiteral(" is not built")));
    QVERIFY2(QFileInfo(module).isFile(), qPrintable(module + QStringLiteral(" is not built")));
    const QString app = dir.filePath(QStringLiteral("app/VemraNotes"));
    QVERIFY(QFile::copy(built, app));
    QVERIFY(QFile::copy(module, dir.filePath(QStringLiteral("app/")) + ServiceModule::fileName()));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("app/portable")), QByteArray()));

    const QProcessEnvironment environment = sandboxEnvironment(dir.path());

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir.filePath(QStringLiteral("home")));
    process.start(app, QStringList());
    QVERIFY2(process.waitForStarted(20000), qPrintable(process.errorString()));
    // Started: the window exists, the notes are read and the settings written.
    QTRY_VERIFY_WITH_TIMEOUT((QFile::exists(dir.filePath(QStringLiteral("app/Config.ini"))) &&
                              catchesTermination(process.processId())) ||
                                 process.state() == QProcess::NotRunning,
                             20000);
    QCOMPARE(process.state(), QProcess::Running);

    const QSet<QString> mapped = mappedLibraries(QString::number(process.processId()));
    ::kill(pid_t(process.processId()), SIGTERM);
    const bool ended = process.waitForFinished(20000);
    if (!ended)
        process.kill();
    // The maps were read: the window's own libraries are there.
    QVERIFY2(mapped.contains(QStringLiteral("libQt6Widgets.so")), qPrintable(mapped.values().join(u' ')));
    QVERIFY2(!mapped.contains(kMultimedia), "Qt Multimedia is mapped at start");
    QVERIFY2(!mapped.contains(kNetwork), "Qt Network is mapped at start");
    QVERIFY(!mapped.contains(ServiceModule::fileName()));
    QVERIFY2(ended, process.readAll().constData());
}

void TestServices::moduleIsLoadedOnFirstUseFromBesideTheProgram()
{
    // This program links no Qt Multimedia, so only the module can bring it in.
    const QString self = QString::number(QCoreApplication::applicationPid());
    QVERIFY(!mappedLibraries(self).contains(kMultimedia));
    QVERIFY(!ServiceModule::isLoaded());
    QCOMPARE(ServiceModule::searchFolders().value(0), QCoreApplication::applicationDirPath());

    ServiceModule* module = ServiceModule::instance();
    QVERIFY2(module, qPrintable(ServiceModule::errorString()));
    QVERIFY(ServiceModule::isLoaded());
    QCOMPARE(ServiceModule::errorString(), QString());
    QCOMPARE(ServiceModule::instance(), module);
    const QSet<QString> mapped = mappedLibraries(self);
    QVERIFY(mapped.contains(ServiceModule::fileName()));
    QVERIFY(mapped.contains(kMultimedia));
}

void TestServices::soundAndMusicComeFromTheModule()
{
    // The module's alarm player answers a missing file itself (with the desktop beep); the
    // stand-in's own fallback is only for a missing module.
    int fallbacks = 0;
    LazySoundPlayer sound([&] { ++fallbacks; });
    sound.playWav(QStringLiteral("/nonexistent/Alarm.wav"), true);
    QCOMPARE(fallbacks, 0);

    ServiceModule* module = ServiceModule::instance();
    QVERIFY(module);
    std::unique_ptr<MediaPlayer> player = module->media().create();
    QVERIFY(player);
    std::unique_ptr<MediaPlayer> lazy = LazyMediaPlayerFactory().create();
    QVERIFY(lazy);
    // No file: nothing plays and nothing fails.
    lazy->play(QString(), 0.5f);
    lazy->stop();
}

void TestServices::resolverResolvesLiterals_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("resolves");
    QTest::newRow("IPv4 loopback") << "127.0.0.1" << true;
    QTest::newRow("IPv6 loopback") << "::1" << true;
    QTest::newRow("other IPv4") << "192.0.2.7" << true;
    QTest::newRow("empty") << "" << false;
}

void TestServices::resolverResolvesLiterals()
{
    QFETCH(QString, host);
    QFETCH(bool, resolves);
    LazyHostResolver resolver;
    QCOMPARE(resolver.resolves(host), resolves);
    QVERIFY(ServiceModule::isLoaded());
}

void TestServices::httpClientFetchesFromLoopback_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("contentType");
    QTest::newRow("200 with charset")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=GBK\r\nContent-Length: 5\r\n"
                      "Connection: close\r\n\r\nhello")
        << qint64(100) << true << QByteArray("hello") << QStringLiteral("text/plain; charset=GBK");
    QTest::newRow("404 is an answer too")
        << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\nConnection: close\r\n\r\ngone")
        << qint64(100) << true << QByteArray("gone") << QString();
    QTest::newRow("body at the limit")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n12345") << qint64(5)
        << true << QByteArray("12345") << QString();
    QTest::newRow("body over the limit")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 6\r\nConnection: close\r\n\r\n123456") << qint64(5)
        << false << QByteArray() << QString();
    QTest::newRow("no HTTP at all") << QByteArray("nonsense\r\n\r\n") << qint64(100) << false << QByteArray()
                                    << QString();
}

void TestServices::httpClientFetchesFromLoopback()
{
    QFETCH(QByteArray, answer);
    QFETCH(qint64, maxBytes);
    QFETCH(bool, answered);
    QFETCH(QByteArray, body);
    QFETCH(QString, contentType);
    OneAnswerServer server(answer);
    QVERIFY(server.listen(QHostAddress::LocalHost));

    LazyHttpClient client;
    const HttpAnswer got = client.get(server.url(QStringLiteral("/page?x=1")), 10000, maxBytes);
    QVERIFY(server.request().startsWith("GET /page?x=1 HTTP/1.1\r\n"));
    QCOMPARE(got.answered, answered);
    QCOMPARE(got.body, body);
    QCOMPARE(got.contentType, contentType);
}

QTEST_MAIN(TestServices)
#include "tst_services.moc"
