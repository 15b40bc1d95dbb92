#include "editor/RunFile.h"

#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString& path, const QByteArray& content = QByteArray())
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The script expected for a Java source, with the folder already quoted for sh.
QString expectedJavaScript(const QString& quotedFolder, const QString& name, const QString& base)
{
    return QStringLiteral("#!/bin/sh\n"
                          "set +x\n"
                          "cd %1 || exit 1\n"
                          "javac '%2'\n"
                          "java -cp . '%3'\n"
                          "rm -f -- '%3.class'\n"
                          "rm -f -- \"$0\"\n")
        .arg(quotedFolder, name, base);
}

} // namespace

class TestRunFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void startsByExtension_data();
    void startsByExtension();
    void othersGoToTheOpener_data();
    void othersGoToTheOpener();
    void nothingForMissingFileOrFolder_data();
    void nothingForMissingFileOrFolder();
    void javaSourceWritesAndRunsScript_data();
    void javaSourceWritesAndRunsScript();
    void javaScriptThatCannotBeWrittenStartsNothing();
    void openableFilePath();
    void realScriptsRun();
    void realJavaSourceCompilesAndRuns();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingLauncher m_launcher;
    RecordingOpener m_opener;
};

void TestRunFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_launcher.launches.clear();
    m_opener.opened.clear();
}

// clang-format off
void TestRunFile::startsByExtension_data()
{
    // "%1" in program or arguments stands for the file's full path.
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("sh") << "run.sh" << "sh" << QStringList{"%1"};
    QTest::newRow("SH upper case") << "Run.SH" << "sh" << QStringList{"%1"};
    QTest::newRow("bat started directly") << "x.BAT" << "%1" << QStringList{};
    QTest::newRow("exe started directly") << "tool.exe" << "%1" << QStringList{};
    QTest::newRow("py") << "job.py" << "python3" << QStringList{"%1"};
    QTest::newRow("jar") << "app.jar" << "java" << QStringList{"-jar", "%1"};
    QTest::newRow("spaces and quotes stay one argument") << "my 'odd' $(x).py" << "python3" << QStringList{"%1"};
}
// clang-format on

void TestRunFile::startsByExtension()
{
    QFETCH(QString, fileName);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const QString path = m_dir->filePath(fileName);
    QVERIFY(writeFile(path));

    RunFile(path, m_launcher, m_opener);

    QCOMPARE(m_launcher.launches.size(), 1);
    const LaunchRecord& launch = m_launcher.launches.first();
    QCOMPARE(launch.program, program == u"%1" ? path : program);
    QStringList expected;
    for (const QString& argument : arguments)
        expected.append(argument == u"%1" ? path : argument);
    QCOMPARE(launch.arguments, expected);
    QVERIFY(m_opener.opened.isEmpty());
}

// clang-format off
void TestRunFile::othersGoToTheOpener_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("text file") << "notes.txt";
    QTest::newRow("no extension") << "tool";
    QTest::newRow("double extension") << "backup.tar.gz";
    QTest::newRow("near miss") << "module.pyc";
    QTest::newRow("dot only in the folder name") << "scripts.py/tool";
    QTest::newRow("hidden file") << ".bashrc";
}
// clang-format on

void TestRunFile::othersGoToTheOpener()
{
    QFETCH(QString, relativePath);
    const QString path = m_dir->filePath(relativePath);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(writeFile(path));

    RunFile(path, m_launcher, m_opener);

    QCOMPARE(m_opener.opened, QList<QUrl>{QUrl::fromLocalFile(path)});
    QVERIFY(m_launcher.launches.isEmpty());
}

// clang-format off
void TestRunFile::nothingForMissingFileOrFolder_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("makeFolder");
    QTest::newRow("missing script") << "missing.py" << false;
    QTest::newRow("folder with a script's name") << "folder.sh" << true;
    QTest::newRow("plain folder") << "folder" << true;
}
// clang-format on

void TestRunFile::nothingForMissingFileOrFolder()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, makeFolder);
    const QString path = m_dir->filePath(relativePath);
    if (makeFolder)
        QVERIFY(QDir().mkpath(path));

    RunFile(path, m_launcher, m_opener);

    QVERIFY(m_launcher.launches.isEmpty());
    QVERIFY(m_opener.opened.isEmpty());
}

// clang-format off
void TestRunFile::javaSourceWritesAndRunsScript_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("quotedFolderName");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("base");
    QTest::newRow("plain") << "work" << "work" << "Hello.java" << "Hello";
    QTest::newRow("space and quote in folder") << "my 'src' dir" << "my '\\''src'\\'' dir" << "Hello.java"
                                               << "Hello";
    QTest::newRow("upper-case extension") << "work" << "work" << "Hello.JAVA" << "Hello";
    QTest::newRow("quote in file name") << "work" << "work" << "It's.java" << "It'\\''s";
}
// clang-format on

void TestRunFile::javaSourceWritesAndRunsScript()
{
    QFETCH(QString, folderName);
    QFETCH(QString, quotedFolderName);
    QFETCH(QString, fileName);
    QFETCH(QString, base);
    const QString folder = m_dir->filePath(folderName) + u'/';
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(folder + fileName, "class Hello {}"));
    // A longer stale script from an earlier run is replaced completely.
    QVERIFY(writeFile(folder + QStringLiteral("RunBat.sh"), QByteArray(4096, '#')));

    RunFile(folder + fileName, m_launcher, m_opener);

    QCOMPARE(m_launcher.launches.size(), 1);
    const LaunchRecord& launch = m_launcher.launches.first();
    QCOMPARE(launch.program, QStringLiteral("sh"));
    QCOMPARE(launch.arguments, QStringList{folder + QStringLiteral("RunBat.sh")});
    QCOMPARE(launch.workingDirectory, folder);
    QVERIFY(m_opener.opened.isEmpty());

    QString quotedName = fileName;
    quotedName.replace(u'\'', QStringLiteral("'\\''"));
    const QString quotedFolder = u'\'' + m_dir->path() + u'/' + quotedFolderName + u'\'';
    QCOMPARE(QString::fromUtf8(readFile(folder + QStringLiteral("RunBat.sh"))),
             expectedJavaScript(quotedFolder, quotedName, base));
}

void TestRunFile::javaScriptThatCannotBeWrittenStartsNothing()
{
    // A folder in the script's place makes the write fail even for a privileged user.
    const QString folder = m_dir->path() + u'/';
    QVERIFY(QDir().mkpath(folder + QStringLiteral("RunBat.sh")));
    QVERIFY(writeFile(folder + QStringLiteral("Hello.java")));

    RunFile(folder + QStringLiteral("Hello.java"), m_launcher, m_opener);

    QVERIFY(m_launcher.launches.isEmpty());
    QVERIFY(m_opener.opened.isEmpty());
}

void TestRunFile::openableFilePath()
{
    const QString file = m_dir->filePath(QStringLiteral("a file.txt"));
    QVERIFY(writeFile(file));
    QVERIFY(isOpenableFilePath(file));
    QVERIFY(!isOpenableFilePath(m_dir->path()));
    QVERIFY(!isOpenableFilePath(m_dir->filePath(QStringLiteral("missing.txt"))));
    QVERIFY(!isOpenableFilePath(QString()));
    // An existing file named relative to the working folder is not an absolute path.
    const QString relative = QDir::current().relativeFilePath(file);
    QVERIFY(QFileInfo::exists(relative));
    QVERIFY(!isOpenableFilePath(relative));
}

void TestRunFile::realScriptsRun()
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vemra run 'q' XXXXXX"));
    QVERIFY(dir.isValid());
    const QString python = dir.filePath(QStringLiteral("job one.py"));
    const QString shell = dir.filePath(QStringLiteral("job two.sh"));
    QVERIFY(writeFile(python, "import os\n"
                              "here = os.path.dirname(os.path.abspath(__file__))\n"
                              "open(os.path.join(here, 'py.marker'), 'w').write('py ran')\n"));
    QVERIFY(writeFile(shell, "printf 'sh ran' > \"$(dirname \"$0\")/sh.marker\"\n"));

    SystemProcessLauncher launcher;
    RunFile(python, launcher, m_opener);
    RunFile(shell, launcher, m_opener);

    QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath(QStringLiteral("py.marker"))), QByteArray("py ran"),
                              60000);
    QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath(QStringLiteral("sh.marker"))), QByteArray("sh ran"),
                              60000);
    QVERIFY(m_opener.opened.isEmpty());
}

void TestRunFile::realJavaSourceCompilesAndRuns()
{
    if (QStandardPaths::findExecutable(QStringLiteral("javac")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("java")).isEmpty())
        QSKIP("no Java compiler on PATH");
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vemra java 'q' XXXXXX"));
    QVERIFY(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("Hello.java"));
    QVERIFY(writeFile(source, "import java.nio.file.*;\n"
                              "public class Hello {\n"
                              "    public static void main(String[] args) throws Exception {\n"
                              "        Files.writeString(Path.of(\"hello.out\"), \"hello from java\");\n"
                              "    }\n"
                              "}\n"));

    SystemProcessLauncher launcher;
    RunFile(source, launcher, m_opener);

    // The program writes into its own folder, and the script cleans up after it.
    QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath(QStringLiteral("hello.out"))),
                              QByteArray("hello from java"), 120000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(dir.filePath(QStringLiteral("RunBat.sh"))), 30000);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Hello.class"))));
    QVERIFY(QFile::exists(source));
}

QTEST_GUILESS_MAIN(TestRunFile)
#include "tst_runfile.moc"
