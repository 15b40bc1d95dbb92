// SPDX-License-Identifier: GPL-3.0-or-later
// A later start of the application reaches the running window through the instance channel.
// Strangers and noise on the socket are not heard.
#include "platform/InstanceChannel.h"
#include "support/Unprivileged.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
    void strangersAndNoiseAreNotHeard_data();
    void strangersAndNoiseAreNotHeard();
};

void TestStartVerbs::strangersAndNoiseAreNotHeard_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("stranger");
    QTest::addColumn<bool>("heard");
    QTest::newRow("the user's own verb") << QByteArray("new\n") << false << true;
    QTest::newRow("another user's verb") << QByteArray("new\n") << true << false;
    QTest::newRow("unknown word") << QByteArray("format\n") << false << false;
    QTest::newRow("due never travels") << QByteArray("due\n") << false << false;
    QTest::newRow("verb with an argument") << QByteArray("new x\n") << false << false;
    QTest::newRow("two lines") << QByteArray("new\nnew\n") << false << false;
    QTest::newRow("blanks before a verb") << QByteArray(InstanceChannel::kLongestLine, ' ') + "new\n"
                                          << false << false;
    QTest::newRow("endless line") << QByteArray(4096, 'n') << false << false;
}

void TestStartVerbs::strangersAndNoiseAreNotHeard()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, stranger);
    QFETCH(bool, heard);
    QTemporaryDir folder;
    const QString address = folder.filePath(QStringLiteral("channel"));
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

QTEST_MAIN(TestStartVerbs)
#include "tst_startverbs.moc"
