// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Autostart.h"
#include "platform/SingleInstance.h"
#include "shell/AppSettings.h"
#include "shell/IniFile.h"
#include "support/Fakes.h"
#include "support/FolderFiles.h"
#include "tasks/TaskStore.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestIniFile : public QObject
{
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void readMissingFileOrFolderGivesDefault();
    void write_data();
    void write();
    void unchangedValueWritesNoFile();
    void batchWritesOnceIntoOneSection();
    void unstorableArgumentsWriteNothing();
    void binaryFileIsReadAndAppendedToWithoutLoss();
    void hugeFileIsLookedAtInPartAndNeverRewritten();
    void noNameIsWrittenThroughALink_data();
    void noNameIsWrittenThroughALink();

private:
    QString put(const QByteArray& bytes);
    QByteArray contents() const;
    QString m_path;
    QTemporaryDir m_dir;
};

QString TestIniFile::put(const QByteArray& bytes)
{
    m_path = m_dir.filePath(QStringLiteral("Config.ini"));
    QFile::remove(m_path);
    if (bytes.isNull())
        return m_path;
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write Config.ini");
    return m_path;
}

QByteArray TestIniFile::contents() const
{
    QFile file(m_path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void TestIniFile::read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QString general = QStringLiteral("General");
    const QString dflt = QStringLiteral("<default>");
    QTest::newRow("plain") << QByteArray("[General]\r\nLeft=810\r\n") << general << "Left"
                           << "810";
    QTest::newRow("first-run blanks") << QByteArray("[General]\r\nLeft = 731\r\n") << general << "Left"
                                      << "731";
    QTest::newRow("names ignore case") << QByteArray("[general]\r\nautorun=1\r\n") << general << "AutoRun"
                                       << "1";
    QTest::newRow("blanks and tabs around")
        << QByteArray("  [ General ] \r\n \tTop\t=  \t5 \t\r\n") << general << "Top"
        << "5";
    QTest::newRow("after the first =") << QByteArray("[General]\r\nK=a=b\r\n") << general << "K"
                                       << "a=b";
    QTest::newRow("double quotes") << QByteArray("[General]\r\nK=\"a b\"\r\n") << general << "K"
                                   << "a b";
    QTest::newRow("single quotes") << QByteArray("[General]\r\nK='x'\r\n") << general << "K"
                                   << "x";
    QTest::newRow("quotes keep inner blanks") << QByteArray("[General]\r\nK=\" a \"\r\n") << general << "K"
                                              << " a ";
    QTest::newRow("unmatched quotes stay") << QByteArray("[General]\r\nK=\"x'\r\n") << general << "K"
                                           << "\"x'";
    QTest::newRow("lone quote stays") << QByteArray("[General]\r\nK=\"\r\n") << general << "K"
                                      << "\"";
    QTest::newRow("empty quotes") << QByteArray("[General]\r\nK=\"\"\r\n") << general << "K"
                                  << "";
    QTest::newRow("present but empty") << QByteArray("[General]\r\nK=\r\n") << general << "K"
                                       << "";
    QTest::newRow("missing key") << QByteArray("[General]\r\nLeft=1\r\n") << general << "Top" << dflt;
    QTest::newRow("missing section") << QByteArray("[Other]\r\nLeft=1\r\n") << general << "Left" << dflt;
    QTest::newRow("no section at all") << QByteArray("Left=1\r\n") << general << "Left" << dflt;
    QTest::newRow("key of the next section")
        << QByteArray("[General]\r\n[Other]\r\nLeft=1\r\n") << general << "Left" << dflt;
    QTest::newRow("line without =") << QByteArray("[General]\r\nLeft\r\nLeft=4\r\n") << general << "Left"
                                    << "4";
    QTest::newRow("first of two") << QByteArray("[General]\r\nLeft=1\r\nLeft=2\r\n") << general << "Left"
                                  << "1";
    QTest::newRow("section given twice")
        << QByteArray("[General]\r\nA=1\r\n[Other]\r\nB=2\r\n[GENERAL]\r\nB=3\r\n") << general << "B"
        << "3";
    QTest::newRow("comment after header")
        << QByteArray("[General] ; window\r\nLeft=6\r\n") << general << "Left"
        << "6";
    QTest::newRow("line feeds only") << QByteArray("[General]\nLeft=5\nTop=6") << general << "Top"
                                     << "6";
    QTest::newRow("utf-8 mark") << QByteArray("\xEF\xBB\xBF[General]\r\nLeft=5\r\n") << general << "Left"
                                << "5";
    QTest::newRow("gbk value") << QByteArray("[General]\r\nName=\xB1\xE3\xBC\xE3\r\n") << general << "Name"
                               << "便笺";
    QTest::newRow("utf-8 value") << QByteArray("[General]\r\nName=便笺\r\n") << general << "Name"
                                 << "便笺";
    QTest::newRow("gbk section") << QByteArray("[\xB1\xE3\xBC\xE3]\r\nK=v\r\n") << "便笺"
                                 << "K"
                                 << "v";
    QTest::newRow("at most 254") << QByteArray("[General]\r\nK=") + QByteArray(300, 'v') << general << "K"
                                 << QString(254, u'v');
    QTest::newRow("10000-character line")
        << QByteArray("[General]\r\n") + QByteArray(10000, 'x') + "\r\nK=1" << general << "K"
        << "1";
}

void TestIniFile::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(ReadIniValue(put(file), section, key, QStringLiteral("<default>")), expected);
}

void TestIniFile::readMissingFileOrFolderGivesDefault()
{
    QCOMPARE(ReadIniValue(put(QByteArray()), "General", "Left", "7"), QStringLiteral("7"));
    QCOMPARE(ReadIniValue(m_dir.path(), "General", "Left", "7"), QStringLiteral("7"));
    QVERIFY(!WriteIniValue(m_dir.path(), "General", "Left", "7"));
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("missing file") << QByteArray() << "Left"
                                  << "5" << QByteArray("[General]\r\nLeft=5\r\n");
    QTest::newRow("line replaced without blanks")
        << QByteArray("[General]\r\nLeft = 731\r\nTop = 270\r\n") << "Left"
        << "810" << QByteArray("[General]\r\nLeft=810\r\nTop = 270\r\n");
    QTest::newRow("key keeps its spelling") << QByteArray("[general]\r\nautorun=0\r\n") << "AutoRun"
                                            << "1" << QByteArray("[general]\r\nautorun=1\r\n");
    QTest::newRow("line feeds stay") << QByteArray("[General]\nLeft=1\nTop=2\n") << "Left"
                                     << "5" << QByteArray("[General]\nLeft=5\nTop=2\n");
    QTest::newRow("appended to its section")
        << QByteArray("[General]\r\nLeft=1\r\n\r\n[Other]\r\nX=1\r\n") << "Top"
        << "2" << QByteArray("[General]\r\nLeft=1\r\nTop=2\r\n\r\n[Other]\r\nX=1\r\n");
    QTest::newRow("empty section") << QByteArray("[General]") << "Left"
                                   << "5" << QByteArray("[General]\r\nLeft=5\r\n");
    QTest::newRow("last line without break") << QByteArray("[General]\r\nLeft=1") << "Top"
                                             << "2" << QByteArray("[General]\r\nLeft=1\r\nTop=2\r\n");
    QTest::newRow("section appended") << QByteArray("[Other]\r\nX=1\r\n") << "Left"
                                      << "5" << QByteArray("[Other]\r\nX=1\r\n[General]\r\nLeft=5\r\n");
    QTest::newRow("no section and no break") << QByteArray("Left=1") << "Left"
                                             << "5" << QByteArray("Left=1\r\n[General]\r\nLeft=5\r\n");
    QTest::newRow("other lines byte for byte")
        << QByteArray("; comment\r\n[General]\r\n  odd \t line\r\nName=\xB1\xE3\r\nLeft=1\r\n\r\n") << "Left"
        << "2" << QByteArray("; comment\r\n[General]\r\n  odd \t line\r\nName=\xB1\xE3\r\nLeft=2\r\n\r\n");
    QTest::newRow("mark kept") << QByteArray("\xEF\xBB\xBF[General]\r\nLeft=1\r\n") << "Left"
                               << "2" << QByteArray("\xEF\xBB\xBF[General]\r\nLeft=2\r\n");
    QTest::newRow("long line kept") << QByteArray("[General]\r\n") + QByteArray(10000, 'y') << "Left"
                                    << "1"
                                    << QByteArray("[General]\r\n") + QByteArray(10000, 'y') +
                                           "\r\nLeft=1\r\n";
    QTest::newRow("value in utf-8") << QByteArray("[General]\r\n") << "Name"
                                    << "便笺" << QByteArray("[General]\r\nName=\xE4\xBE\xBF\xE7\xAC\xBA\r\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QVERIFY(WriteIniValue(put(before), QStringLiteral("General"), key, value));
    QCOMPARE(contents(), after);
    QCOMPARE(ReadIniValue(m_path, QStringLiteral("General"), key, QString()), value);
}

void TestIniFile::unchangedValueWritesNoFile()
{
    put("[General]\r\nLeft=810\r\nTop = 270\r\n");
    struct stat before
    {
    };
    QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &before), 0);
    QVERIFY(WriteIniValue(m_path, "General", "Left", "810"));
    struct stat after
    {
    };
    QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino); // an atomic rewrite would bring a new inode
    QVERIFY(WriteIniValue(m_path, "General", "Top", "270"));
    QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &after), 0);
    QVERIFY(after.st_ino != before.st_ino); // "Top = 270" does not read exactly Top=270
    QCOMPARE(contents(), QByteArray("[General]\r\nLeft=810\r\nTop=270\r\n"));
}

void TestIniFile::batchWritesOnceIntoOneSection()
{
    const QList<QPair<QString, QString>> pairs{
        {"Left", "810"}, {"Top", "270"}, {"AutoRun", "1"}, {"AutoSave", "0"}};
    QVERIFY(WriteIniValues(put("[Other]\r\nX=1\r\n"), "General", pairs));
    QCOMPARE(contents(),
             QByteArray("[Other]\r\nX=1\r\n[General]\r\nLeft=810\r\nTop=270\r\nAutoRun=1\r\nAutoSave=0\r\n"));
    struct stat before
    {
    };
    ::stat(QFile::encodeName(m_path).constData(), &before);
    QVERIFY(WriteIniValues(m_path, "General", pairs));
    struct stat after
    {
    };
    ::stat(QFile::encodeName(m_path).constData(), &after);
    QCOMPARE(after.st_ino, before.st_ino);
    QVERIFY(WriteIniValues(m_path, "general", {{"autosave", "1"}, {"Left", "-120"}}));
    QCOMPARE(
        contents(),
        QByteArray("[Other]\r\nX=1\r\n[General]\r\nLeft=-120\r\nTop=270\r\nAutoRun=1\r\nAutoSave=1\r\n"));
}

void TestIniFile::unstorableArgumentsWriteNothing()
{
    put(QByteArray());
    QVERIFY(!WriteIniValue(m_path, "General", "", "1"));
    QVERIFY(!WriteIniValue(m_path, "", "Left", "1"));
    QVERIFY(!WriteIniValue(m_path, "General", "A=B", "1"));
    QVERIFY(!WriteIniValue(m_path, "General", "Left", "1\r\n[Evil]"));
    QVERIFY(!WriteIniValue(m_path, "Gen]eral", "Left", "1"));
    QVERIFY(!WriteIniValues(m_path, "General", {{"Left", "1"}, {"Top", "2\n"}}));
    QVERIFY(!QFileInfo::exists(m_path));
    QVERIFY(!WriteIniValue(m_dir.filePath(QStringLiteral("missing/Config.ini")), "General", "Left", "1"));
}

void TestIniFile::binaryFileIsReadAndAppendedToWithoutLoss()
{
    QByteArray binary(64 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(11);
    generator.fillRange(reinterpret_cast<quint32*>(binary.data()), binary.size() / 4);
    binary.replace(100, 1, "\n");
    put(binary);
    QCOMPARE(ReadIniValue(m_path, "General", "Left", "d"), QStringLiteral("d"));
    QVERIFY(WriteIniValue(m_path, "General", "Left", "3"));
    const QByteArray after = contents();
    QVERIFY(after.startsWith(binary));
    QCOMPARE(ReadIniValue(m_path, "General", "Left", "d"), QStringLiteral("3"));
}

void TestIniFile::hugeFileIsLookedAtInPartAndNeverRewritten()
{
    put("[General]\r\nLeft=5\r\n");
    const qint64 size = qint64(100) * 1024 * 1024;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(::ftruncate(fd, size), 0);
    const QByteArray farKey("\r\nTop=9\r\n");
    QCOMPARE(::pwrite(fd, farKey.constData(), size_t(farKey.size()), 50 * 1024 * 1024),
             ssize_t(farKey.size()));
    ::close(fd);

    QCOMPARE(ReadIniValue(m_path, "General", "Left", "d"), QStringLiteral("5"));
    QCOMPARE(ReadIniValue(m_path, "General", "Top", "d"), QStringLiteral("d"));
    QVERIFY(!WriteIniValue(m_path, "General", "Left", "6"));
    QCOMPARE(QFileInfo(m_path).size(), size);
    QCOMPARE(ReadIniValue(m_path, "General", "Left", "d"), QStringLiteral("5"));
}

void TestIniFile::noNameIsWrittenThroughALink_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Config.ini") << "Config.ini";
    QTest::newRow("Tasks.json") << "Tasks.json";
    QTest::newRow("lock file") << ".VemraNotes.lock";
    QTest::newRow("autostart entry") << "config/autostart/VemraNotes.desktop";
}

void TestIniFile::noNameIsWrittenThroughALink()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString outside = dir.filePath(QStringLiteral("home/.profile"));
    // Someone's file that happens to read as settings too, as a shell profile may.
    const QByteArray profile = "PATH=$HOME/bin:$PATH\n[General]\nLeft=5\nKeepTasks=0\n";
    QVERIFY(QDir().mkpath(data + QStringLiteral("/config/autostart")) &&
            QDir().mkpath(dir.filePath(QStringLiteral("home"))));
    QVERIFY(putFile(outside, profile));
    const QString at = data + u'/' + name;
    QVERIFY(QFile::link(outside, at));

    if (name == u"Config.ini") {
        bool autoRun = true;
        bool autoSave = true;
        std::optional<bool> keepTasks;
        const WindowPlacement placement =
            loadSettings(at, QSize(1000, 800), QSize(458, 595), &autoRun, &autoSave, &keepTasks);
        QCOMPARE(placement.ignoredLinkTarget, outside);
        QCOMPARE(placement.left, 271);
        QVERIFY(!keepTasks.has_value());
        saveSettings(at, QPoint(40, 50), false, false);
        QCOMPARE(ReadIniValue(at, "General", "Left", "d"), QStringLiteral("40"));
    } else if (name == u"Tasks.json") {
        FakeClock clock;
        TaskStore store(data, clock, dir.filePath(QStringLiteral("key/tasks.key")));
        QVERIFY(store.save({}).ok());
        QVERIFY(TaskStore::parse(readRaw(at)).ok);
    } else if (name == SingleInstance::kLockName) {
        SingleInstance lock(data);
        QVERIFY(lock.acquire());
        QVERIFY(lock.holdsFolder() && !lock.holdsFile());
    } else {
        XdgAutostart(data + QStringLiteral("/config"))
            .enable(QStringLiteral("VemraNotes"), QStringLiteral("/usr/bin/VemraNotes"));
        QVERIFY(readRaw(at).contains("Exec="));
    }
    QCOMPARE(readRaw(outside), profile);
    // The lock's link stays where it is (the lock on the folder holds); every other name now is ours.
    QCOMPARE(QFileInfo(at).isSymLink(), name == SingleInstance::kLockName);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
