#include "platform/Autostart.h"
#include "platform/CommonDialog.h"
#include "platform/SingleInstance.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestPlatformLayer : public QObject
{
    Q_OBJECT
private slots:
    void autostartEntryQuotesPathWithSpaces();
    void autostartDisableRemovesEntryAndIsHarmlessTwice();
    void execArgumentQuoting_data();
    void execArgumentQuoting();
    void singleInstanceLockIsExclusivePerExecutable();
    void dialogAnswersComeFromTheQueue();
};

void TestPlatformLayer::autostartEntryQuotesPathWithSpaces()
{
    QTemporaryDir config;
    XdgAutostart autostart(config.path());
    autostart.enable(QStringLiteral("VemraNotes"), QStringLiteral("/opt/my apps/VemraNotes"));
    QFile file(config.path() + QStringLiteral("/autostart/VemraNotes.desktop"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    QVERIFY(text.contains(QStringLiteral("\nExec=\"/opt/my apps/VemraNotes\"\n")));
    QVERIFY(text.contains(QStringLiteral("\nType=Application\n")));
}

void TestPlatformLayer::autostartDisableRemovesEntryAndIsHarmlessTwice()
{
    QTemporaryDir config;
    XdgAutostart autostart(config.path());
    autostart.enable(QStringLiteral("VemraNotes"), QStringLiteral("/x/VemraNotes"));
    QVERIFY(QFile::exists(autostart.entryPath(QStringLiteral("VemraNotes"))));
    autostart.disable(QStringLiteral("VemraNotes"));
    QVERIFY(!QFile::exists(autostart.entryPath(QStringLiteral("VemraNotes"))));
    autostart.disable(QStringLiteral("VemraNotes"));
    QVERIFY(!QFile::exists(autostart.entryPath(QStringLiteral("VemraNotes"))));
}

void TestPlatformLayer::execArgumentQuoting_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << "/usr/bin/vemra" << "\"/usr/bin/vemra\"";
    QTest::newRow("dollar") << "/a$b" << "\"/a\\\\$b\"";
    QTest::newRow("quote") << "/a\"b" << "\"/a\\\\\"b\"";
    QTest::newRow("backslash") << "/a\\b" << "\"/a\\\\\\\\b\"";
    QTest::newRow("percent") << "/100%/v" << "\"/100%%/v\"";
}

void TestPlatformLayer::execArgumentQuoting()
{
    QFETCH(QString, path);
    QFETCH(QString, exec);
    QCOMPARE(XdgAutostart::quoteExecArgument(path), exec);
}

void TestPlatformLayer::singleInstanceLockIsExclusivePerExecutable()
{
    QTemporaryDir dir;
    const QString exe = dir.path() + QStringLiteral("/VemraNotes");
    SingleInstance first(exe);
    QVERIFY(first.acquire());
    SingleInstance second(exe);
    QVERIFY(!second.acquire());
    SingleInstance other(dir.path() + QStringLiteral("/Other"));
    QVERIFY(other.acquire());
}

void TestPlatformLayer::dialogAnswersComeFromTheQueue()
{
    CommonDialog dialog(QStringLiteral("浏览音乐文件"), QStringLiteral("支持的音乐文件类型|*.mp3;*.wav;*.wma"));
    QCOMPARE(dialog.qtFilter(), QStringLiteral("支持的音乐文件类型 (*.mp3 *.wav *.wma)"));
    CommonDialog::clearNextFileNames();
    CommonDialog::setNextFileName(QStringLiteral("/music/a.mp3"));
    CommonDialog::setNextFileName(QString());
    QCOMPARE(dialog.showOpen(nullptr), QStringLiteral("/music/a.mp3"));
    QCOMPARE(dialog.showOpen(nullptr), QString());
    QCOMPARE(dialog.showOpen(nullptr), QString());
    QCOMPARE(CommonDialog::askedCount(), 3);
    CommonDialog::clearNextFileNames();
}

QTEST_GUILESS_MAIN(TestPlatformLayer)
#include "tst_platform.moc"
