// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/TranslateServer.h"
#include "support/WindowTest.h"
#include "translate/GoogleTranslate.h"
#include "widgets/TextBoxW.h"

#include <QLabel>
#include <QtTest>

namespace {

enum class Trigger
{
    CtrlT,
    Caption
};

const QByteArray HelloWorld = R"([[["Hello world","你好世界",null,null,1]],null,"zh-CN"])";
const QString NetworkTitle = QStringLiteral("翻译功能异常");
const QString NetworkMessage = QStringLiteral("网络连接异常，无法进行翻译。");

QByteArray configWithHost(const QString& host)
{
    QByteArray ini = "[General]\r\nLeft=10\r\nTop=10\r\nAutoRun=0\r\nAutoSave=0\r\n";
    if (!host.isNull())
        ini += "TranslateHost=" + host.toLatin1() + "\r\n";
    return ini;
}

} // namespace

Q_DECLARE_METATYPE(Trigger)

class TestTranslateCommand : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void unreachableHostShowsMessage_data();
    void unreachableHostShowsMessage();
    void reachableWithoutSelectionDoesNothing_data();
    void reachableWithoutSelectionDoesNothing();
    void translatesSelection_data();
    void translatesSelection();
    void resultGoesToSelectionCurrentOnArrival_data();
    void resultGoesToSelectionCurrentOnArrival();
    void silentServiceLeavesTextUnchanged_data();
    void silentServiceLeavesTextUnchanged();
    void hostSettingSurvivesSavesAndIsReadAtEveryTranslation();

private:
    /// Opens the window on a Config.ini naming the host (a null host leaves the key out).
    void openWindow(const QString& host);
    void trigger(Trigger how);
    void select(int start, int length)
    {
        editor->setSelStart(start);
        editor->setSelLength(length);
    }

    std::unique_ptr<TestPlatform> tp;
    std::unique_ptr<TranslateServer> server;
    std::unique_ptr<FrmMain> w;
    TextBoxW* editor = nullptr;
};

void TestTranslateCommand::init()
{
    tp = std::make_unique<TestPlatform>();
    server = std::make_unique<TranslateServer>();
    QVERIFY(server->start());
}

void TestTranslateCommand::cleanup()
{
    w.reset();
    server.reset();
    tp.reset();
}

void TestTranslateCommand::openWindow(const QString& host)
{
    QVERIFY(writeFile(tp->path(QStringLiteral("Config.ini")), configWithHost(host)));
    w = std::make_unique<FrmMain>(tp->platform());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    editor = control<TextBoxW>(w.get(), QStringLiteral("Text1"));
    QVERIFY(editor);
    editor->setFocus();
}

void TestTranslateCommand::trigger(Trigger how)
{
    if (how == Trigger::CtrlT) {
        QTest::keyClick(editor, Qt::Key_T, Qt::ControlModifier);
        return;
    }
    // The panel exists once it was first opened.
    QWidget* quick = w->findChild<QWidget*>(QStringLiteral("Picture15"));
    if (!quick || !quick->isVisible())
        QTest::keyClick(editor, Qt::Key_Q, Qt::ControlModifier);
    QTest::mouseClick(control<QWidget>(w.get(), QStringLiteral("Label11_0")), Qt::LeftButton);
}

void TestTranslateCommand::unreachableHostShowsMessage_data()
{
    QTest::addColumn<Trigger>("how");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("askedHost");

    // The network is tested before the selection is looked at.
    QTest::newRow("ctrl+t, nothing selected") << Trigger::CtrlT << true << "你好" << 0 << "127.0.0.1";
    QTest::newRow("ctrl+t, chinese selected") << Trigger::CtrlT << true << "你好" << 2 << "127.0.0.1";
    QTest::newRow("caption, latin selected") << Trigger::Caption << true << "hello" << 5 << "127.0.0.1";
    QTest::newRow("no host configured") << Trigger::CtrlT << false << "hello" << 5 << "translate.google.com";
}

void TestTranslateCommand::unreachableHostShowsMessage()
{
    QFETCH(Trigger, how);
    QFETCH(bool, configured);
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(QString, askedHost);

    openWindow(configured ? server->hostSetting() : QString());
    tp->resolver.reachable = false;
    editor->setText(text);
    select(0, length);

    QString title;
    QString message;
    ModalCloser closer;
    closer.inspect = [&](QWidget* modal) {
        title = control<QLabel>(modal, QStringLiteral("LblFormTitle"))->text();
        message = control<QLabel>(modal, QStringLiteral("LblMessage"))->text();
    };
    trigger(how);

    QCOMPARE(closer.seen, QStringList{QStringLiteral("FrmMessage")});
    QCOMPARE(title, NetworkTitle);
    QCOMPARE(message, NetworkMessage);
    QCOMPARE(tp->sound.played, QStringList{tp->path(QStringLiteral("Sounds/Alarm.wav"))});
    QCOMPARE(tp->resolver.asked, QStringList{askedHost});
    QCOMPARE(editor->text(), text);
    QVERIFY(server->requests.isEmpty());
}

void TestTranslateCommand::reachableWithoutSelectionDoesNothing_data()
{
    QTest::addColumn<Trigger>("how");
    QTest::newRow("ctrl+t") << Trigger::CtrlT;
    QTest::newRow("caption") << Trigger::Caption;
}

void TestTranslateCommand::reachableWithoutSelectionDoesNothing()
{
    QFETCH(Trigger, how);
    openWindow(server->hostSetting());
    editor->setText(QStringLiteral("你好 hello"));
    editor->setSelStart(3);
    ModalCloser closer;
    trigger(how);
    QTest::qWait(100);
    QCOMPARE(editor->text(), QStringLiteral("你好 hello"));
    QVERIFY(server->requests.isEmpty());
    QVERIFY(closer.seen.isEmpty());
}

void TestTranslateCommand::translatesSelection_data()
{
    QTest::addColumn<Trigger>("how");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("result");

    const QByteArray sentences = R"([[["第一句。","One.",null,null,1],["第二句。","Two.",null,null,1]]])";
    QTest::newRow("chinese asks english")
        << Trigger::CtrlT << "前 你好世界 后" << 2 << 4 << HelloWorld << "en"
        << "前 Hello world 后";
    QTest::newRow("leading spaces are not looked at, but sent")
        << Trigger::CtrlT << "  你好世界" << 0 << 6 << HelloWorld << "en"
        << "Hello world";
    QTest::newRow("full-width punctuation asks english")
        << Trigger::CtrlT << "，好" << 0 << 2 << HelloWorld << "en"
        << "Hello world";
    QTest::newRow("latin asks chinese") << Trigger::CtrlT << "One. Two." << 0 << 9 << sentences << "zh-CN"
                                        << "第一句。第二句。";
    QTest::newRow("digit first asks chinese") << Trigger::CtrlT << "3个苹果" << 0 << 4 << sentences << "zh-CN"
                                              << "第一句。第二句。";
    QTest::newRow("latin then chinese asks chinese")
        << Trigger::CtrlT << "x你好" << 0 << 3 << sentences << "zh-CN"
        << "第一句。第二句。";
    QTest::newRow("two lines go as one text")
        << Trigger::CtrlT << "第一行\r\n第二行" << 0 << 8 << HelloWorld << "en"
        << "Hello world";
    QTest::newRow("caption, chinese") << Trigger::Caption << "你好世界!" << 0 << 4 << HelloWorld << "en"
                                      << "Hello world!";
    QTest::newRow("caption, latin") << Trigger::Caption << "a One. Two." << 2 << 9 << sentences << "zh-CN"
                                    << "a 第一句。第二句。";
    QTest::newRow("empty translation keeps the text")
        << Trigger::CtrlT << "你好" << 0 << 2 << QByteArray(R"([[]])") << "en"
        << "你好";
    QTest::newRow("error page keeps the text")
        << Trigger::CtrlT << "hello" << 0 << 5 << QByteArray("<html>500</html>") << "zh-CN"
        << "hello";
}

void TestTranslateCommand::translatesSelection()
{
    QFETCH(Trigger, how);
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QByteArray, answer);
    QFETCH(QString, language);
    QFETCH(QString, result);

    server->setTranslation(HttpAnswer::json(answer));
    openWindow(server->hostSetting());
    editor->setText(text);
    select(start, length);
    const QString selected = editor->selText();
    ModalCloser closer;
    trigger(how);

    QCOMPARE(editor->text(), result);
    QCOMPARE(server->paths(), QStringList({QStringLiteral("/"), TranslatePath.toString()}));
    const ServedRequest& request = server->requests.at(1);
    QCOMPARE(request.query(QStringLiteral("tl")), language);
    QCOMPARE(request.query(QStringLiteral("q")), selected);
    QCOMPARE(request.query(QStringLiteral("tk")),
             ComputeRequestToken(selected, TranslateServer::DefaultServiceKey.toString()));
    QCOMPARE(tp->resolver.asked, QStringList{QStringLiteral("127.0.0.1")});
    QVERIFY(closer.seen.isEmpty());
}

void TestTranslateCommand::resultGoesToSelectionCurrentOnArrival_data()
{
    QTest::addColumn<int>("newStart");
    QTest::addColumn<int>("newLength");
    QTest::addColumn<QString>("result");

    // The text is "你好世界 | target"; "你好世界" is selected when the command starts.
    QTest::newRow("another word") << 7 << 6 << "你好世界 | Hello world";
    QTest::newRow("a caret at the end") << 13 << 0 << "你好世界 | targetHello world";
    QTest::newRow("the whole text") << 0 << 13 << "Hello world";
}

void TestTranslateCommand::resultGoesToSelectionCurrentOnArrival()
{
    QFETCH(int, newStart);
    QFETCH(int, newLength);
    QFETCH(QString, result);

    // The selection moves as soon as the request is in, while the answer is still held back.
    bool movedDuringWait = false;
    server->setHandler([&](const ServedRequest& request) {
        if (request.path == QLatin1String("/"))
            return HttpAnswer::page(TranslateServer::startPageWithKey(TranslateServer::DefaultServiceKey));
        QTimer::singleShot(0, editor, [&] {
            select(newStart, newLength);
            movedDuringWait = true;
        });
        HttpAnswer late = HttpAnswer::json(HelloWorld);
        late.delayMs = 300;
        return late;
    });
    openWindow(server->hostSetting());
    editor->setText(QStringLiteral("你好世界 | target"));
    select(0, 4);
    trigger(Trigger::CtrlT);

    QVERIFY2(movedDuringWait, "the selection was not changed while the answer was awaited");
    QCOMPARE(server->requests.size(), 2);
    QCOMPARE(server->requests.at(1).query(QStringLiteral("q")), QStringLiteral("你好世界"));
    QCOMPARE(editor->text(), result);
}

void TestTranslateCommand::silentServiceLeavesTextUnchanged_data()
{
    QTest::addColumn<bool>("startPageAnswers");
    QTest::addColumn<int>("requests");
    QTest::newRow("start page never answers") << false << 1;
    QTest::newRow("translation never answers") << true << 2;
}

void TestTranslateCommand::silentServiceLeavesTextUnchanged()
{
    QFETCH(bool, startPageAnswers);
    QFETCH(int, requests);

    server->setHandler([startPageAnswers](const ServedRequest& request) {
        if (startPageAnswers && request.path == QLatin1String("/"))
            return HttpAnswer::page(TranslateServer::startPageWithKey(TranslateServer::DefaultServiceKey));
        return HttpAnswer::never();
    });
    openWindow(server->hostSetting());
    w->setTranslateTimeoutMs(300);
    editor->setText(QStringLiteral("你好世界"));
    select(0, 4);
    ModalCloser closer;
    trigger(Trigger::CtrlT);

    QCOMPARE(editor->text(), QStringLiteral("你好世界"));
    QCOMPARE(editor->selText(), QStringLiteral("你好世界"));
    QCOMPARE(server->requests.size(), requests);
    QVERIFY(closer.seen.isEmpty());
}

void TestTranslateCommand::hostSettingSurvivesSavesAndIsReadAtEveryTranslation()
{
    server->setTranslation(HttpAnswer::json(R"([[["first"]]])"));
    TranslateServer other;
    QVERIFY(other.start());
    other.setTranslation(HttpAnswer::json(R"([[["second"]]])"));
    openWindow(server->hostSetting());

    // Saving the window's own settings must not drop the user's host.
    w->SaveSettingsAndNotes();
    editor->setText(QStringLiteral("one"));
    select(0, 3);
    trigger(Trigger::CtrlT);
    QCOMPARE(editor->text(), QStringLiteral("first"));

    // An edit of Config.ini while the window is open counts from the next translation on.
    QVERIFY(writeFile(tp->path(QStringLiteral("Config.ini")), configWithHost(other.hostSetting())));
    select(0, 5);
    trigger(Trigger::CtrlT);
    QCOMPARE(editor->text(), QStringLiteral("second"));
    QCOMPARE(server->requests.size(), 2);
    QCOMPARE(other.requests.size(), 2);
}

QTEST_MAIN(TestTranslateCommand)
#include "tst_translatecommand.moc"
