// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/RunFile.h"

#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <sys/stat.h>

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

/// The script expected for a Java source, with the source folder already quoted for sh; "%P" in
/// runLines stands for the script's private folder.
QString expectedJavaScript(const QString& quotedFolder, QString runLines, const QString& privateFolder)
{
    runLines.replace(QStringLiteral("%P"), privateFolder);
    return QStringLiteral("#!/bin/sh\n"
                          "set +x\n"
                          "cd %1 || exit 1\n"
                          "%2"
                          "rm -rf -- '%3'\n")
        .arg(quotedFolder, runLines, privateFolder);
}

QStringList runFolders(const QString& tempFolder)
{
    return QDir(tempFolder).entryList({QStringLiteral("vemra-run-*")}, QDir::AllEntries | QDir::Hidden);
}

/// Forwards to the real launcher and remembers what it started, so a real run can be followed.
class ForwardingLauncher : public ProcessLauncher
{
public:
    bool startDetached(const QString& program, const QStringList& arguments,
                       const QString& workingDirectory = QString()) override
    {
        launches.append({program, arguments, workingDirectory});
        return m_real.startDetached(program, arguments, workingDirectory);
    }
    QList<LaunchRecord> launches;

private:
    SystemProcessLauncher m_real;
};

} // namespace

class TestRunFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsByExtension_data();
    void startsByExtension();
    void optionLikeNamesStayFileNames_data();
    void optionLikeNamesStayFileNames();
    void othersGoToTheOpener_data();
    void othersGoToTheOpener();
    void nothingForMissingFileOrFolder_data();
    void nothingForMissingFileOrFolder();
    void javaSourceWritesAndRunsScript_data();
    void javaSourceWritesAndRunsScript();
    void javaSourceWithOptionLikeName_data();
    void javaSourceWithOptionLikeName();
    void javaScriptNeverWritesThroughALink_data();
    void javaScriptNeverWritesThroughALink();
    void javaScriptThatCannotBeWrittenStartsNothing();
    void openableFilePath();
    void realScriptsRun();
    void realOptionLikeScriptsRun();
    void realJavaSourceCompilesAndRuns_data();
    void realJavaSourceCompilesAndRuns();

private:
    /// The script a Java run was started with, after checking that it lies alone in a folder of
    /// its own under the temporary folder, readable by nobody else.
    QString launchedJavaScript(const LaunchRecord& launch);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_tempFolder;
    std::optional<QByteArray> m_savedTmpdir;
    QString m_savedCurrent;
    RecordingLauncher m_launcher;
    RecordingOpener m_opener;
};

void TestRunFile::initTestCase()
{
    if (qEnvironmentVariableIsSet("TMPDIR"))
        m_savedTmpdir = qgetenv("TMPDIR");
}

void TestRunFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_launcher.launches.clear();
    m_opener.opened.clear();
    // The scripts' private folders land inside this test's own folder, where the test can see
    // whether they were cleaned up.
    m_tempFolder = m_dir->filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(m_tempFolder));
    qputenv("TMPDIR", QFile::encodeName(m_tempFolder));
    m_savedCurrent = QDir::currentPath();
}

void TestRunFile::cleanup()
{
    QDir::setCurrent(m_savedCurrent);
    if (m_savedTmpdir)
        qputenv("TMPDIR", *m_savedTmpdir);
    else
        qunsetenv("TMPDIR");
}

QString TestRunFile::launchedJavaScript(const LaunchRecord& launch)
{
    if (launch.program != u"sh" || launch.arguments.size() != 1)
        return QString();
    const QString script = launch.arguments.first();
    const QFileInfo info(script);
    const QFileInfo folder(info.path());
    if (info.fileName() != u"RunBat.sh" || !info.isFile() || info.isSymLink() ||
        folder.path() != m_tempFolder || !folder.fileName().startsWith(u"vemra-run-"))
        return QString();
    struct stat status
    {
    };
    if (::lstat(QFile::encodeName(folder.filePath()).constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        (status.st_mode & 077) != 0 || status.st_uid != ::geteuid())
        return QString();
    return script;
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
void TestRunFile::optionLikeNamesStayFileNames_data()
{
    // Named relative to the working folder, as a caller may; "%1" stands for the full path.
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("-x.py") << "-x.py" << "python3" << QStringList{"%1"};
    QTest::newRow("@opts.py") << "@opts.py" << "python3" << QStringList{"%1"};
    QTest::newRow("--help.sh") << "--help.sh" << "sh" << QStringList{"%1"};
    QTest::newRow("-c.sh") << "-c.sh" << "sh" << QStringList{"%1"};
    QTest::newRow("-jar.jar") << "-jar.jar" << "java" << QStringList{"-jar", "%1"};
    QTest::newRow("@opts.jar") << "@opts.jar" << "java" << QStringList{"-jar", "%1"};
    // A bare program name would be looked up on PATH instead of in the working folder.
    QTest::newRow("-x.exe") << "-x.exe" << "%1" << QStringList{};
    QTest::newRow("tool.bat") << "tool.bat" << "%1" << QStringList{};
}
// clang-format on

void TestRunFile::optionLikeNamesStayFileNames()
{
    QFETCH(QString, fileName);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const QString path = m_dir->filePath(fileName);
    QVERIFY(writeFile(path));
    QVERIFY(QDir::setCurrent(m_dir->path()));

    RunFile(fileName, m_launcher, m_opener);

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
    // A script of the old name in the source's folder is somebody else's file now: left alone.
    const QByteArray stale(4096, '#');
    QVERIFY(writeFile(folder + QStringLiteral("RunBat.sh"), stale));

    RunFile(folder + fileName, m_launcher, m_opener);

    QCOMPARE(m_launcher.launches.size(), 1);
    const LaunchRecord& launch = m_launcher.launches.first();
    const QString script = launchedJavaScript(launch);
    QVERIFY2(!script.isEmpty(), qPrintable(launch.arguments.join(u' ')));
    QCOMPARE(launch.workingDirectory, folder);
    QVERIFY(m_opener.opened.isEmpty());
    QCOMPARE(readFile(folder + QStringLiteral("RunBat.sh")), stale);

    QString quotedName = fileName;
    quotedName.replace(u'\'', QStringLiteral("'\\''"));
    const QString quotedFolder = u'\'' + m_dir->path() + u'/' + quotedFolderName + u'\'';
    const QString runLines =
        QStringLiteral("javac -d '%P' './%1'\njava -cp '%P' '%2'\n").arg(quotedName, base);
    QCOMPARE(QString::fromUtf8(readFile(script)),
             expectedJavaScript(quotedFolder, runLines, QFileInfo(script).path()));
}

// clang-format off
void TestRunFile::javaSourceWithOptionLikeName_data()
{
    // No class can carry such a name, so the launcher runs the source itself (compiling it in
    // memory and starting its first class), and always with "./" in front.
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("runLines");
    QTest::newRow("-version.java") << "-version.java" << "java './-version.java'\n";
    QTest::newRow("@opts.java") << "@opts.java" << "java './@opts.java'\n";
    QTest::newRow("--help.java") << "--help.java" << "java './--help.java'\n";
    QTest::newRow("-cp.java") << "-cp.java" << "java './-cp.java'\n";
    QTest::newRow("space in name") << "my prog.java" << "java './my prog.java'\n";
    QTest::newRow("quote in name") << "It's.java" << "java './It'\\''s.java'\n";
    QTest::newRow("class name is fine") << "Hello2.java" << "javac -d '%P' './Hello2.java'\njava -cp '%P' 'Hello2'\n";
    QTest::newRow("non-ASCII class name") << "你好.java" << "javac -d '%P' './你好.java'\njava -cp '%P' '你好'\n";
}
// clang-format on

void TestRunFile::javaSourceWithOptionLikeName()
{
    QFETCH(QString, fileName);
    QFETCH(QString, runLines);
    const QString folder = m_dir->filePath(QStringLiteral("src")) + u'/';
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(folder + fileName, "class Hello {}"));

    RunFile(folder + fileName, m_launcher, m_opener);

    QCOMPARE(m_launcher.launches.size(), 1);
    const LaunchRecord& launch = m_launcher.launches.first();
    const QString script = launchedJavaScript(launch);
    QVERIFY2(!script.isEmpty(), qPrintable(launch.arguments.join(u' ')));
    QCOMPARE(QString::fromUtf8(readFile(script)),
             expectedJavaScript(u'\'' + folder.chopped(1) + u'\'', runLines, QFileInfo(script).path()));
}

// clang-format off
void TestRunFile::javaScriptNeverWritesThroughALink_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("link to a file") << true;
    QTest::newRow("dangling link") << false;
}
// clang-format on

void TestRunFile::javaScriptNeverWritesThroughALink()
{
    QFETCH(bool, targetExists);
    const QString folder = m_dir->filePath(QStringLiteral("shared")) + u'/';
    QVERIFY(QDir().mkpath(folder));
    const QString target = m_dir->filePath(QStringLiteral("precious.txt"));
    if (targetExists)
        QVERIFY(writeFile(target, "precious"));
    const QString link = folder + QStringLiteral("RunBat.sh");
    QVERIFY(QFile::link(target, link));
    QVERIFY(writeFile(folder + QStringLiteral("Hello.java"), "class Hello {}"));

    RunFile(folder + QStringLiteral("Hello.java"), m_launcher, m_opener);

    QCOMPARE(m_launcher.launches.size(), 1);
    QVERIFY(!launchedJavaScript(m_launcher.launches.first()).isEmpty());
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    if (targetExists)
        QCOMPARE(readFile(target), QByteArray("precious"));
    else
        QVERIFY(!QFileInfo::exists(target));
}

void TestRunFile::javaScriptThatCannotBeWrittenStartsNothing()
{
    // A temporary folder that is a plain file makes the private folder fail even for root.
    const QString notAFolder = m_dir->filePath(QStringLiteral("not-a-folder"));
    QVERIFY(writeFile(notAFolder));
    qputenv("TMPDIR", QFile::encodeName(notAFolder));
    const QString folder = m_dir->path() + u'/';
    QVERIFY(writeFile(folder + QStringLiteral("Hello.java")));

    RunFile(folder + QStringLiteral("Hello.java"), m_launcher, m_opener);

    QVERIFY(m_launcher.launches.isEmpty());
    QVERIFY(m_opener.opened.isEmpty());
    QVERIFY(!QFile::exists(folder + QStringLiteral("RunBat.sh")));
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

void TestRunFile::realOptionLikeScriptsRun()
{
    // Named relative to the working folder: given as they are, sh and python3 would read them as
    // options and never run them.
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("-x.py")), "open('py.marker', 'w').write('py ran')\n"));
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("--help.sh")), "printf 'sh ran' > sh.marker\n"));

    SystemProcessLauncher launcher;
    RunFile(QStringLiteral("-x.py"), launcher, m_opener);
    RunFile(QStringLiteral("--help.sh"), launcher, m_opener);

    // Both start in the test's working folder, which is the scripts' own folder here.
    QTRY_COMPARE_WITH_TIMEOUT(readFile(m_dir->filePath(QStringLiteral("py.marker"))), QByteArray("py ran"),
                              60000);
    QTRY_COMPARE_WITH_TIMEOUT(readFile(m_dir->filePath(QStringLiteral("sh.marker"))), QByteArray("sh ran"),
                              60000);
}

// clang-format off
void TestRunFile::realJavaSourceCompilesAndRuns_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("classKeyword");
    QTest::newRow("Hello.java") << "Hello.java" << QByteArray("public class");
    QTest::newRow("-version.java") << "-version.java" << QByteArray("class");
    QTest::newRow("@opts.java") << "@opts.java" << QByteArray("class");
}
// clang-format on

void TestRunFile::realJavaSourceCompilesAndRuns()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, classKeyword);
    if (QStandardPaths::findExecutable(QStringLiteral("javac")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("java")).isEmpty())
        QSKIP("no Java compiler on PATH");
    QTemporaryDir dir(m_dir->filePath(QStringLiteral("vemra java 'q' XXXXXX")));
    QVERIFY(dir.isValid());
    const QString source = dir.filePath(fileName);
    QVERIFY(writeFile(source, "import java.nio.file.*;\n" + classKeyword +
                                  " Hello {\n"
                                  "    public static void main(String[] args) throws Exception {\n"
                                  "        Files.writeString(Path.of(\"hello.out\"), \"hello from java\");\n"
                                  "    }\n"
                                  "}\n"));
    // A link of the old script name in the folder must survive the run, and so must its target.
    const QString target = m_dir->filePath(QStringLiteral("precious.txt"));
    QVERIFY(writeFile(target, "precious"));
    const QString link = dir.filePath(QStringLiteral("RunBat.sh"));
    QVERIFY(QFile::link(target, link));

    ForwardingLauncher launcher;
    RunFile(source, launcher, m_opener);
    QCOMPARE(launcher.launches.size(), 1);
    QVERIFY(!launchedJavaScript(launcher.launches.first()).isEmpty());

    // The program writes into its own folder, and the script cleans up after it.
    QTRY_COMPARE_WITH_TIMEOUT(readFile(dir.filePath(QStringLiteral("hello.out"))),
                              QByteArray("hello from java"), 120000);
    QTRY_VERIFY_WITH_TIMEOUT(runFolders(m_tempFolder).isEmpty(), 30000);
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.class")}, QDir::Files), QStringList());
    QVERIFY(QFile::exists(source));
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QCOMPARE(readFile(target), QByteArray("precious"));
}

QTEST_GUILESS_MAIN(TestRunFile)
#include "tst_runfile.moc"
