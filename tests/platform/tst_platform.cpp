// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Autostart.h"
#include "platform/CommonDialog.h"
#include "platform/QtTexts.h"
#include "platform/SingleInstance.h"
#include "platform/SystemPlatform.h"
#include "platform/WindowSystem.h"

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
    void singleInstanceLockIsExclusivePerDataFolder();
    void singleInstanceLockStaysAndOutlivesNoChild();
    void platformToRequest_data();
    void platformToRequest();
    void canPlaceWindows_data();
    void canPlaceWindows();
    void emergencyFolders_data();
    void emergencyFolders();
    void qtSpeaksChinese_data();
    void qtSpeaksChinese();
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
    QTest::newRow("plain") << "/usr/bin/vemra"
                           << "\"/usr/bin/vemra\"";
    QTest::newRow("dollar") << "/a$b"
                            << "\"/a\\\\$b\"";
    QTest::newRow("quote") << "/a\"b"
                           << "\"/a\\\\\"b\"";
    QTest::newRow("backslash") << "/a\\b"
                               << "\"/a\\\\\\\\b\"";
    QTest::newRow("percent") << "/100%/v"
                             << "\"/100%%/v\"";
}

void TestPlatformLayer::execArgumentQuoting()
{
    QFETCH(QString, path);
    QFETCH(QString, exec);
    // Through the entry the session reads: the one quoting rule of every desktop entry we write.
    QTemporaryDir config;
    XdgAutostart autostart(config.path());
    autostart.enable(QStringLiteral("VemraNotes"), path);
    QFile entry(autostart.entryPath(QStringLiteral("VemraNotes")));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(entry.readAll()).split(u'\n').contains(QStringLiteral("Exec=") + exec));
}

void TestPlatformLayer::singleInstanceLockIsExclusivePerDataFolder()
{
    QTemporaryDir data;
    SingleInstance first(data.path());
    QVERIFY(first.acquire());
    QVERIFY(first.acquire()); // asking again keeps it
    QCOMPARE(first.lockPath(), data.path() + QStringLiteral("/.VemraNotes.lock"));
    SingleInstance second(data.path());
    QVERIFY(!second.acquire());
    // The same folder under another name is the same data.
    const QString link = data.path() + QStringLiteral("-link");
    QVERIFY(QFile::link(data.path(), link));
    SingleInstance throughLink(link);
    QVERIFY(!throughLink.acquire());
    QVERIFY(QFile::remove(link));
    // Another folder is other data.
    QTemporaryDir other;
    SingleInstance elsewhere(other.path());
    QVERIFY(elsewhere.acquire());
    // A folder where no lock can be had is never run unlocked: the start is refused, with a reason.
    SingleInstance nowhere(data.path() + QStringLiteral("/no/such/folder"));
    QVERIFY(!nowhere.acquire());
    QCOMPARE(nowhere.state(), SingleInstance::State::Unavailable);
    QVERIFY(!nowhere.failure().isEmpty());
}

void TestPlatformLayer::singleInstanceLockStaysAndOutlivesNoChild()
{
    QTemporaryDir data;
    QProcess child;
    {
        SingleInstance first(data.path());
        QVERIFY(first.acquire());
        // A program started while the lock is held (a command action) must not inherit it.
        child.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        QVERIFY(child.waitForStarted());
    }
    // Gone with its holder, while the file stays: two processes must never lock two different
    // files of one name.
    QVERIFY(QFile::exists(data.path() + QStringLiteral("/.VemraNotes.lock")));
    SingleInstance next(data.path());
    const bool acquired = next.acquire();
    child.kill();
    child.waitForFinished();
    QVERIFY2(acquired, "the lock went to a child process");
    QVERIFY(QFile::exists(data.path() + QStringLiteral("/.VemraNotes.lock")));
}

void TestPlatformLayer::platformToRequest_data()
{
    QTest::addColumn<QByteArray>("qpa");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Wayland session with XWayland")
        << QByteArray() << QByteArray(":0") << QByteArray("wayland-0") << QByteArray("xcb;wayland");
    QTest::newRow("X11 session") << QByteArray() << QByteArray(":1") << QByteArray() << QByteArray("xcb");
    QTest::newRow("Wayland without XWayland")
        << QByteArray() << QByteArray() << QByteArray("wayland-0") << QByteArray();
    QTest::newRow("no display at all") << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("user chose Wayland")
        << QByteArray("wayland") << QByteArray(":0") << QByteArray("wayland-0") << QByteArray();
    QTest::newRow("user chose offscreen")
        << QByteArray("offscreen") << QByteArray(":0") << QByteArray() << QByteArray();
    QTest::newRow("empty variable counts as unset")
        << QByteArray("") << QByteArray(":0") << QByteArray("wayland-1") << QByteArray("xcb;wayland");
}

void TestPlatformLayer::platformToRequest()
{
    QFETCH(QByteArray, qpa);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, expected);
    QCOMPARE(WindowSystem::platformToRequest(qpa, display, wayland), expected);
}

void TestPlatformLayer::canPlaceWindows_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("canPlace");
    QTest::newRow("xcb") << "xcb" << true;
    QTest::newRow("offscreen") << "offscreen" << true;
    QTest::newRow("wayland") << "wayland" << false;
    QTest::newRow("wayland-egl") << "wayland-egl" << false;
    QTest::newRow("wayland-brcm") << "wayland-brcm" << false;
    QTest::newRow("eglfs") << "eglfs" << true;
}

void TestPlatformLayer::canPlaceWindows()
{
    QFETCH(QString, platform);
    QFETCH(bool, canPlace);
    QCOMPARE(WindowSystem::canPlaceWindows(platform), canPlace);
}

void TestPlatformLayer::dialogAnswersComeFromTheQueue()
{
    CommonDialog dialog(QStringLiteral("浏览音乐文件"),
                        QStringLiteral("支持的音乐文件类型|*.mp3;*.wav;*.wma"));
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

void TestPlatformLayer::qtSpeaksChinese_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("chinese");
    QTest::newRow("file dialog, look in")
        << QByteArray("QFileDialog") << QByteArray("Look in:") << "查找范围";
    QTest::newRow("file dialog, file name")
        << QByteArray("QFileDialog") << QByteArray("File &name:") << "文件名称";
    QTest::newRow("file dialog, open") << QByteArray("QFileDialog") << QByteArray("&Open") << "打开";
    QTest::newRow("dialog button, cancel") << QByteArray("QPlatformTheme") << QByteArray("Cancel") << "取消";
    QTest::newRow("context menu, copy") << QByteArray("QWidgetTextControl") << QByteArray("&Copy") << "复制";
    QTest::newRow("context menu, paste")
        << QByteArray("QWidgetTextControl") << QByteArray("&Paste") << "粘贴";
    QTest::newRow("context menu, select all")
        << QByteArray("QWidgetTextControl") << QByteArray("Select All") << "全选";
}

void TestPlatformLayer::qtSpeaksChinese()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, source);
    QFETCH(QString, chinese);
    static const bool installed = QtTexts::installChinese(QCoreApplication::instance());
    QVERIFY2(installed, "qtbase_zh_CN.qm not found (package qt6-translations-l10n)");
    QVERIFY2(QCoreApplication::translate(context.constData(), source.constData()).contains(chinese),
             qPrintable(QCoreApplication::translate(context.constData(), source.constData())));
}

void TestPlatformLayer::emergencyFolders_data()
{
    QTest::addColumn<QString>("stateHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QStringList>("folders");
    QTest::newRow("state home set") << "/s"
                                    << "/h" << QStringList{"/s/VemraNotes", "/h", "/t"};
    QTest::newRow("state home unset") << ""
                                      << "/h" << QStringList{"/h/.local/state/VemraNotes", "/h", "/t"};
    QTest::newRow("relative values are ignored") << "s"
                                                 << "h" << QStringList{"/t"};
    QTest::newRow("no home at all") << ""
                                    << "" << QStringList{"/t"};
}

void TestPlatformLayer::emergencyFolders()
{
    QFETCH(QString, stateHome);
    QFETCH(QString, home);
    QFETCH(QStringList, folders);
    QCOMPARE(SystemPlatform::emergencyFolders(stateHome, home, QStringLiteral("/t")), folders);
}

QTEST_GUILESS_MAIN(TestPlatformLayer)
#include "tst_platform.moc"
