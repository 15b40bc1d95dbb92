// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TranslateServer.h"
#include "translate/GoogleTranslate.h"
#include "translate/Json.h"
#include "translate/TranslateClient.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QtTest>

namespace {

const QString ServiceKey = TranslateServer::DefaultServiceKey.toString();

QByteArray expectedTarget(const QString& language, const QString& token, const QString& q)
{
    return ("/translate_a/single?client=webapp&sl=auto&tl=" + language +
            "&hl=zh-CN&dt=at&dt=bd&dt=ex&dt=ld&dt=md&dt=qca&dt=rw&dt=rm&dt=ss&dt=t&dt=gt"
            "&source=bh&ssel=0&tsel=0&kc=1&tk=" +
            token + "&q=" + q)
        .toLatin1();
}

} // namespace

class TestTranslateClient : public QObject
{
    Q_OBJECT
private slots:
    void requestToken_data();
    void requestToken();
    void encodeUriComponent_data();
    void encodeUriComponent();
    void regexMatchesEndWithEmptyElement_data();
    void regexMatchesEndWithEmptyElement();
    void targetLanguageCodes_data();
    void targetLanguageCodes();
    void hostSettings_data();
    void hostSettings();

    void translatesThroughBothRequests_data();
    void translatesThroughBothRequests();
    void malformedSentenceEntryEndsWithCollectedText();
    void noServiceKeySendsNoSecondRequest();
    void failingAnswers_data();
    void failingAnswers();
    void unreachableServerGivesEmpty();
    void silentServerEndsAtTimeLimitWhileEventsRun();
    void answerAtTheSizeLimitIsRead();
    void secondTranslationRunsInsideTheFirstWait();
};

void TestTranslateClient::requestToken_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tkk");
    QTest::addColumn<QString>("token");

    // Expected tokens come from a separate reference run of the service's token rule.
    QTest::newRow("empty, zero key") << ""
                                     << "0.0"
                                     << "0.0";
    QTest::newRow("empty") << "" << ServiceKey << "906517.741747";
    QTest::newRow("ascii") << "hello" << ServiceKey << "979553.554503";
    QTest::newRow("one letter changed") << "hellp" << ServiceKey << "596411.1023453";
    QTest::newRow("ascii, zero key") << "hello"
                                     << "0.0"
                                     << "29979.29979";
    QTest::newRow("two words") << "Hello world"
                               << "406398.2087938574"
                               << "452588.54418";
    QTest::newRow("chinese") << "你好，世界" << ServiceKey << "368366.203400";
    QTest::newRow("crlf") << "line one\r\nline two" << ServiceKey << "223296.388134";
    QTest::newRow("quotes and backslash") << "it's \"q\" \\ back" << ServiceKey << "928183.568785";
    QTest::newRow("two-byte utf8") << "é" << ServiceKey << "177437.274811";
    QTest::newRow("surrogate pair") << QStringLiteral("😀") << ServiceKey << "450249.23215";
    QTest::newRow("lone high surrogate inside")
        << (QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b")) << ServiceKey << "797955.698725";
    QTest::newRow("lone low surrogate")
        << (QStringLiteral("a") + QChar(0xDE00) + QStringLiteral("b")) << ServiceKey << "410433.50983";
    QTest::newRow("high surrogate at end") << QString(QChar(0xD83D)) << ServiceKey << "96865.523783";
    QTest::newRow("key without second part") << "hello"
                                             << "427110"
                                             << "110006.469456";
    QTest::newRow("non-numeric key") << "hello"
                                     << "abc.def"
                                     << "29979.29979";
    QTest::newRow("empty key") << "hello"
                               << ""
                               << "29979.29979";
    QTest::newRow("negative parts") << "hello"
                                    << "-5.-7"
                                    << "112701.-112698";
    QTest::newRow("first part beyond 32 bits") << "hello"
                                               << "4294967296.1"
                                               << "29978.29978";
}

void TestTranslateClient::requestToken()
{
    QFETCH(QString, text);
    QFETCH(QString, tkk);
    QFETCH(QString, token);
    QCOMPARE(ComputeRequestToken(text, tkk), token);
}

void TestTranslateClient::encodeUriComponent_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("plain") << "hello" << true << "hello";
    QTest::newRow("unreserved kept") << "A-Z a_z 0.9!~*'()" << true << "A-Z%20a_z%200.9!~*'()";
    QTest::newRow("reserved encoded") << "#&=+/?:@$,;%" << true << "%23%26%3D%2B%2F%3F%3A%40%24%2C%3B%25";
    QTest::newRow("crlf") << "line one\r\nline two" << true << "line%20one%0D%0Aline%20two";
    QTest::newRow("quote and backslash") << "it's \"q\" \\ back" << true << "it's%20%22q%22%20%5C%20back";
    QTest::newRow("chinese") << "你好，世界" << true << "%E4%BD%A0%E5%A5%BD%EF%BC%8C%E4%B8%96%E7%95%8C";
    QTest::newRow("two bytes") << "é" << true << "%C3%A9";
    QTest::newRow("surrogate pair") << QStringLiteral("😀") << true << "%F0%9F%98%80";
    QTest::newRow("control and nul") << QString::fromLatin1("\x7f\0", 2) << true << "%7F%00";
    QTest::newRow("lone high") << (QStringLiteral("a") + QChar(0xD83D)) << false << "";
    QTest::newRow("lone low") << (QString(QChar(0xDE00)) + QStringLiteral("a")) << false << "";
    QTest::newRow("swapped pair") << (QString(QChar(0xDE00)) + QChar(0xD83D)) << false << "";
}

void TestTranslateClient::encodeUriComponent()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, encoded);
    bool succeeded = !ok;
    QCOMPARE(EncodeUriComponent(text, &succeeded), encoded);
    QCOMPARE(succeeded, ok);
}

void TestTranslateClient::regexMatchesEndWithEmptyElement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("matches");
    QTest::newRow("key") << "x tkk:'1.2', y"
                         << "tkk:.*?," << QStringList({"tkk:'1.2',", ""});
    QTest::newRow("ignoring case") << "TKK:'3.4',TkK:'5.6',"
                                   << "tkk:.*?," << QStringList({"TKK:'3.4',", "TkK:'5.6',", ""});
    QTest::newRow("not across lines") << "tkk:'1\n.2',"
                                      << "tkk:.*?," << QStringList({""});
    QTest::newRow("none") << "no key here"
                          << "tkk:.*?," << QStringList({""});
    QTest::newRow("bad pattern") << "abc"
                                 << "(" << QStringList({""});
}

void TestTranslateClient::regexMatchesEndWithEmptyElement()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QStringList, matches);
    QCOMPARE(RegexMatches(text, pattern), matches);
}

void TestTranslateClient::targetLanguageCodes_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("code");
    const char* codes[] = {"zh-CN", "en", "zh-TW", "ru", "de", "fr", "ja", "ko"};
    for (int i = 0; i < 8; ++i)
        QTest::addRow("%d", i) << i << QString::fromLatin1(codes[i]);
    QTest::newRow("8") << 8 << "";
    QTest::newRow("9") << 9 << "";
    QTest::newRow("-1") << -1 << "";
}

void TestTranslateClient::targetLanguageCodes()
{
    QFETCH(int, target);
    QFETCH(QString, code);
    QCOMPARE(TargetLanguageCode(target), code);
}

void TestTranslateClient::hostSettings_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("host");
    QTest::newRow("default") << DefaultTranslateHost.toString() << "https://translate.google.com"
                             << "translate.google.com";
    QTest::newRow("bare host") << "translate.example.cn"
                               << "https://translate.example.cn"
                               << "translate.example.cn";
    QTest::newRow("http with port") << "http://127.0.0.1:8080"
                                    << "http://127.0.0.1:8080"
                                    << "127.0.0.1";
    QTest::newRow("https trailing slash") << "https://t.example.org/"
                                          << "https://t.example.org"
                                          << "t.example.org";
    QTest::newRow("host with port") << "t.example.org:8443"
                                    << "https://t.example.org:8443"
                                    << "t.example.org";
    QTest::newRow("ipv6") << "http://[::1]:99"
                          << "http://[::1]:99"
                          << "::1";
}

void TestTranslateClient::hostSettings()
{
    QFETCH(QString, setting);
    QFETCH(QString, base);
    QFETCH(QString, host);
    QCOMPARE(TranslateBaseUrl(setting), base);
    QCOMPARE(TranslateHostName(setting), host);
}

void TestTranslateClient::translatesThroughBothRequests_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("target");
    QTest::addColumn<QByteArray>("target2");

    QTest::newRow("english") << "hello" << 1 << expectedTarget("en", "979553.554503", "hello");
    QTest::newRow("two lines") << "line one\r\nline two" << 0
                               << expectedTarget("zh-CN", "223296.388134", "line%20one%0D%0Aline%20two");
    QTest::newRow("quotes and backslash")
        << "it's \"q\" \\ back" << 0
        << expectedTarget("zh-CN", "928183.568785", "it's%20%22q%22%20%5C%20back");
    QTest::newRow("chinese to english")
        << "你好，世界" << 1
        << expectedTarget("en", "368366.203400", "%E4%BD%A0%E5%A5%BD%EF%BC%8C%E4%B8%96%E7%95%8C");
    QTest::newRow("unknown target sends empty tl")
        << "hello" << 9 << expectedTarget("", "979553.554503", "hello");
}

void TestTranslateClient::translatesThroughBothRequests()
{
    QFETCH(QString, text);
    QFETCH(int, target);
    QFETCH(QByteArray, target2);

    TranslateServer server;
    QVERIFY(server.start());
    // Three sentences and a transliteration entry whose first element is null.
    server.setTranslation(HttpAnswer::json(
        R"([[["你好。","Hello.",null,null,1],["世界",  "world",null,null,1],[1.5,"x"],[null,null,"Nǐ hǎo."]],)"
        R"(null,"en",null,null,null,1,[],[["en"],null,[1],["en"]]])"));
    TranslateClient client(server.hostSetting());
    QCOMPARE(client.TranslateText(text, target), QStringLiteral("你好。世界1.5"));
    QCOMPARE(server.targets(), QList<QByteArray>({"/", target2}));
    // The service reads back exactly the text that was sent.
    QCOMPARE(server.requests.at(1).path, TranslatePath.toString());
    QCOMPARE(server.requests.at(1).query(QStringLiteral("q")), text);
    QCOMPARE(server.requests.at(1).query(QStringLiteral("tl")), TargetLanguageCode(target));
}

void TestTranslateClient::malformedSentenceEntryEndsWithCollectedText()
{
    TranslateServer server;
    QVERIFY(server.start());
    server.setTranslation(HttpAnswer::json(R"([[["a"],["b"],"not a list",["c"]]])"));
    TranslateClient client(server.hostSetting());
    QCOMPARE(client.TranslateText(QStringLiteral("x"), 0), QStringLiteral("ab"));
}

void TestTranslateClient::noServiceKeySendsNoSecondRequest()
{
    for (const QByteArray& startPage :
         {QByteArray("<html>no key</html>"), QByteArray("<html>tkk:1.2,</html>")}) {
        TranslateServer server;
        QVERIFY(server.start());
        server.setStartPage(startPage);
        TranslateClient client(server.hostSetting());
        QCOMPARE(client.TranslateText(QStringLiteral("hello"), 1), QString());
        QCOMPARE(server.targets(), QList<QByteArray>({"/"}));
    }
}

void TestTranslateClient::failingAnswers_data()
{
    QTest::addColumn<QByteArray>("startStatus");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("requests");

    QTest::newRow("error page") << QByteArray("200") << 500
                                << QByteArray("<html><body>Server Error</body></html>") << 2;
    QTest::newRow("not json") << QByteArray("200") << 200 << QByteArray("Hello, this is not JSON") << 2;
    QTest::newRow("object instead of nest")
        << QByteArray("200") << 200 << QByteArray(R"({"a":[["x"]]})") << 2;
    QTest::newRow("first element not a list")
        << QByteArray("200") << 200 << QByteArray(R"(["x",[["y"]]])") << 2;
    QTest::newRow("empty answer") << QByteArray("200") << 200 << QByteArray() << 2;
    QTest::newRow("start page is an error page carrying a key")
        << QByteArray("503") << 200 << QByteArray(R"([[["ok"]]])") << 2;
}

void TestTranslateClient::failingAnswers()
{
    QFETCH(QByteArray, startStatus);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, requests);

    TranslateServer server;
    QVERIFY(server.start());
    server.setHandler([&](const ServedRequest& request) {
        if (request.target == "/")
            return HttpAnswer::page(TranslateServer::startPageWithKey(ServiceKey), startStatus.toInt());
        return HttpAnswer::page(body, status);
    });
    TranslateClient client(server.hostSetting());
    const QString result = client.TranslateText(QStringLiteral("hello"), 1);
    // Any HTTP answer is read whatever its status: an error start page that holds a key still works.
    if (startStatus == "503")
        QCOMPARE(result, QStringLiteral("ok"));
    else
        QCOMPARE(result, QString());
    QCOMPARE(server.requests.size(), requests);
}

void TestTranslateClient::unreachableServerGivesEmpty()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    TranslateClient client(QStringLiteral("http://127.0.0.1:%1").arg(closedPort));
    QCOMPARE(client.HttpGetText(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort)), QString());
    QCOMPARE(client.TranslateText(QStringLiteral("hello"), 1), QString());
    QCOMPARE(client.HttpGetText(QStringLiteral("not an address")), QString());
    QCOMPARE(client.HttpGetText(QStringLiteral("ftp://127.0.0.1/x")), QString());
}

void TestTranslateClient::silentServerEndsAtTimeLimitWhileEventsRun()
{
    TranslateServer server;
    QVERIFY(server.start());
    server.setHandler([](const ServedRequest&) { return HttpAnswer::never(); });
    TranslateClient client(server.hostSetting());
    client.setTimeoutMs(500);
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
    tick.start(20);
    QCOMPARE(client.TranslateText(QStringLiteral("hello"), 1), QString());
    tick.stop();
    QVERIFY2(ticks >= 5, "the wait did not let timer events run");
    QCOMPARE(server.targets(), QList<QByteArray>({"/"}));
}

void TestTranslateClient::answerAtTheSizeLimitIsRead()
{
    // A nest of lists padded with blanks up to exactly the limit, and the same one byte longer.
    const QByteArray nest = R"([[["big"]]])";
    const QByteArray atLimit = nest + QByteArray(TranslateClient::MaxResponseBytes - nest.size(), ' ');
    for (const QByteArray& body : {atLimit, atLimit + ' '}) {
        TranslateServer server;
        QVERIFY(server.start());
        server.setTranslation(HttpAnswer::json(body));
        TranslateClient client(server.hostSetting());
        const QString expected =
            body.size() > TranslateClient::MaxResponseBytes ? QString() : QStringLiteral("big");
        QCOMPARE(client.TranslateText(QStringLiteral("hello"), 1), expected);
    }
}

void TestTranslateClient::secondTranslationRunsInsideTheFirstWait()
{
    TranslateServer server;
    QVERIFY(server.start());
    server.setHandler([](const ServedRequest& request) {
        if (request.target == "/")
            return HttpAnswer::page(TranslateServer::startPageWithKey(ServiceKey));
        HttpAnswer answer = HttpAnswer::json(R"([[["second"]]])");
        if (request.target.endsWith("&q=first")) {
            answer.body = R"([[["first"]]])";
            answer.delayMs = 400;
        }
        return answer;
    });
    TranslateClient client(server.hostSetting());
    QStringList finished;
    QTimer::singleShot(100, this,
                       [&] { finished.append(client.TranslateText(QStringLiteral("second"), 0)); });
    finished.append(client.TranslateText(QStringLiteral("first"), 0));
    QCOMPARE(finished, QStringList({"second", "first"}));
}

QTEST_GUILESS_MAIN(TestTranslateClient)
#include "tst_translateclient.moc"
