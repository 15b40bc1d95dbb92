// SPDX-License-Identifier: GPL-3.0-or-later
// What `cmake --install` gives: the executable, its read-only files, a launcher the menu shows with
// its icon, and AppStream data; checked file by file and by the desktop's own validators.
#include "InstallTree.h"
#include "platform/Autostart.h"
#include "platform/DataFolder.h"

#include <QFileInfo>
#include <QImage>
#include <QLibrary>
#include <QSettings>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <filesystem>

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installsExactlyTheExpectedFiles();
    void executableRunsAndTheRestIsData();
    void serviceModuleIsInstalledApartFromTheExecutable();
    void helpIsDocumentationTheApplicationStillFinds();
    void docsAreCompressedAndDated();
    void iconsHaveTheirSizes();
    void scalableIconIsAnSvgOfItsOwn();
    void launcherNamesTheExecutableAndIcon_data();
    void launcherNamesTheExecutableAndIcon();
    void nothingPointsIntoTheBuild();
    void launcherPassesDesktopFileValidate();
    void metainfoPassesAppstreamValidate();
    void metainfoDescribesTheLauncher();
    void autostartEntryShowsTheApplication_data();
    void autostartEntryShowsTheApplication();

private:
    QString installed(const QString& relative) const { return m_prefix.filePath(relative); }
    QString launcherPath() const
    {
        return installed(QStringLiteral("share/applications/") + InstallTree::kAppId +
                         QStringLiteral(".desktop"));
    }
    QString metainfoPath() const
    {
        return installed(QStringLiteral("share/metainfo/") + InstallTree::kAppId +
                         QStringLiteral(".metainfo.xml"));
    }
    /// The lines of a desktop entry that set key, as "key=value": in the main group, or in the group
    /// a key "group/key" names.
    static QStringList keyLines(const QString& path, const QString& key);
    /// Runs a validator on file; its whole output when it complains (warnings included), else empty.
    static QString complaints(const QString& program, const QStringList& arguments);

    QTemporaryDir m_prefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    const QString error = InstallTree::install(m_prefix.path());
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestInstall::installsExactlyTheExpectedFiles()
{
    QCOMPARE(InstallTree::files(m_prefix.path()), InstallTree::expectedFiles());
}

void TestInstall::executableRunsAndTheRestIsData()
{
    const QFileInfo executable(installed(QStringLiteral("bin/VemraNotes")));
    QVERIFY(executable.isExecutable());
    QVERIFY(executable.size() > 0);
    // It answers --version without a display, as packaging scripts ask it.
    QProcess version;
    version.start(executable.filePath(), {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(10000));
    QCOMPARE(version.exitCode(), 0);
    const QString said = QString::fromUtf8(version.readAllStandardOutput());
    QVERIFY2(QRegularExpression(QStringLiteral("^VemraNotes \\d+(\\.\\d+){3}\n$")).match(said).hasMatch(),
             qPrintable(said));
    // Launchers, icons and data are read, never run.
    for (const QString& file : InstallTree::expectedFiles()) {
        if (file.startsWith(QStringLiteral("share/"))) {
            QVERIFY2(!QFileInfo(installed(file)).isExecutable(), qPrintable(file));
            QVERIFY2(QFileInfo(installed(file)).size() > 0, qPrintable(file));
        }
    }
    QFile wav(installed(QStringLiteral("share/vemranotes/Sounds/Alarm.wav")));
    QVERIFY(wav.open(QIODevice::ReadOnly));
    QCOMPARE(wav.read(4), QByteArray("RIFF"));
    QFile pdf(installed(QStringLiteral("share/vemranotes/Vemra便笺使用帮助.pdf")));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
}

void TestInstall::serviceModuleIsInstalledApartFromTheExecutable()
{
    // Qt Multimedia and Qt Network are needed by the module alone; the executable names neither,
    // so neither is loaded at start.
    QFile executable(installed(QStringLiteral("bin/VemraNotes")));
    QVERIFY(executable.open(QIODevice::ReadOnly));
    const QByteArray program = executable.readAll();
    QVERIFY(program.contains("libQt6Widgets.so"));
    QVERIFY(!program.contains("libQt6Multimedia.so"));
    QVERIFY(!program.contains("libQt6Network.so"));

    QFile moduleFile(installed(QStringLiteral(VEMRA_INSTALLED_MODULE)));
    QVERIFY(moduleFile.open(QIODevice::ReadOnly));
    const QByteArray module = moduleFile.readAll();
    QVERIFY(module.contains("libQt6Multimedia.so"));
    QVERIFY(module.contains("libQt6Network.so"));
    QLibrary library(moduleFile.fileName());
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    QVERIFY(library.resolve("vemraServiceModule"));
}

void TestInstall::helpIsDocumentationTheApplicationStillFinds()
{
    // The document lives in the doc folder; the application's own folder links to it relatively, so
    // the link holds wherever the tree is installed.
    const QString link = installed(QStringLiteral("share/vemranotes/Vemra便笺使用帮助.pdf"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QByteArray::fromStdString(std::filesystem::read_symlink(QFile::encodeName(link).toStdString())),
             QByteArray("../doc/vemranotes/Vemra便笺使用帮助.pdf"));
    QCOMPARE(QFileInfo(link).canonicalFilePath(),
             QFileInfo(installed(QStringLiteral("share/doc/vemranotes/Vemra便笺使用帮助.pdf")))
                 .canonicalFilePath());
    // The lookup the installed executable makes: its share folder, where the help button finds it.
    const QString resources = DataFolder::resourceFolder(installed(QStringLiteral("bin")),
                                                         installed(QStringLiteral("share/vemranotes")));
    QCOMPARE(resources, installed(QStringLiteral("share/vemranotes")));
    QVERIFY(QFileInfo(resources + QStringLiteral("/Vemra便笺使用帮助.pdf")).isFile());
}

void TestInstall::docsAreCompressedAndDated()
{
    // gzip -9n: maximum compression, and no name or time stamp in the header, so the same sources
    // give the same bytes.
    for (const QString& file : {QStringLiteral("share/doc/vemranotes/changelog.gz"),
                                QStringLiteral("share/man/man1/VemraNotes.1.gz")}) {
        QFile gz(installed(file));
        QVERIFY(gz.open(QIODevice::ReadOnly));
        const QByteArray header = gz.read(10);
        QVERIFY2(header.startsWith("\x1f\x8b\x08"), qPrintable(file));
        QVERIFY2(!(header.at(3) & 0x08), qPrintable(file + " names its source"));
        QCOMPARE(header.mid(4, 4), QByteArray(4, '\0'));
        QCOMPARE(int(header.at(8)), 2); // the best compression
    }
    QProcess gunzip;
    gunzip.start(QStringLiteral("gzip"),
                 {QStringLiteral("-dc"), installed(QStringLiteral("share/doc/vemranotes/changelog.gz"))});
    QVERIFY(gunzip.waitForFinished());
    const QString changelog = QString::fromUtf8(gunzip.readAllStandardOutput());
    // A native package's entry: no Debian revision, a maintainer line with an RFC 2822 date.
    QVERIFY2(QRegularExpression(QStringLiteral("^vemranotes \\(\\d+(\\.\\d+)+\\) unstable; urgency=medium\n"))
                 .match(changelog)
                 .hasMatch(),
             qPrintable(changelog));
    QVERIFY2(QRegularExpression(QStringLiteral("\n -- .+ <.+@.+>  \\w{3}, \\d{2} \\w{3} \\d{4} "
                                               "\\d{2}:\\d{2}:\\d{2} [+-]\\d{4}\n$"))
                 .match(changelog)
                 .hasMatch(),
             qPrintable(changelog));
}

void TestInstall::iconsHaveTheirSizes()
{
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path = installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) +
                                       InstallTree::kAppId + ".png");
        QImage icon;
        QVERIFY2(icon.load(path, "PNG"), qPrintable(path));
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
        // Drawn, not blank: the middle of the logo is opaque, its corner transparent.
        QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    }
}

void TestInstall::scalableIconIsAnSvgOfItsOwn()
{
    QFile file(
        installed(QStringLiteral("share/icons/hicolor/scalable/apps/") + InstallTree::kAppId + ".svg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), QStringLiteral("svg"));
    QCOMPARE(xml.namespaceUri(), QStringLiteral("http://www.w3.org/2000/svg"));
    // A square view box, so the theme scales it to any icon size without distortion.
    const QStringList viewBox = xml.attributes().value(QStringLiteral("viewBox")).toString().split(u' ');
    QCOMPARE(viewBox.size(), 4);
    QVERIFY(viewBox.at(2).toDouble() > 0);
    QCOMPARE(viewBox.at(2), viewBox.at(3));
    int drawn = 0;
    while (!xml.atEnd()) {
        const bool element = xml.readNext() == QXmlStreamReader::StartElement;
        // Vectors only: a picture inside the SVG would blur when the theme shows it large.
        QVERIFY(!element || xml.name() != QStringLiteral("image"));
        if (element &&
            QStringList{"path", "rect", "ellipse", "circle", "polygon", "polyline"}.contains(xml.name()))
            ++drawn;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(drawn > 0);
}

void TestInstall::launcherNamesTheExecutableAndIcon_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("type") << "Type"
                          << "Application";
    QTest::newRow("exec by name") << "Exec"
                                  << "VemraNotes";
    QTest::newRow("icon by name") << "Icon" << InstallTree::kAppId;
    QTest::newRow("Chinese name") << "Name[zh_CN]"
                                  << "Vemra便笺";
    QTest::newRow("English name") << "Name"
                                  << "Vemra Notes";
    QTest::newRow("Chinese comment") << "Comment[zh_CN]"
                                     << "随手记下便笺，按时提醒待办";
    QTest::newRow("category") << "Categories"
                              << "Utility;";
    QTest::newRow("no terminal") << "Terminal"
                                 << "false";
    // The launcher's menu in GNOME and KDE.
    QTest::newRow("actions") << "Actions"
                             << "new-note;todo;search;";
    QTest::newRow("new note") << "Desktop Action new-note/Exec"
                              << "VemraNotes --new";
    QTest::newRow("to-do, in Chinese") << "Desktop Action todo/Name[zh_CN]"
                                       << "待办";
    QTest::newRow("search") << "Desktop Action search/Exec"
                            << "VemraNotes --search";
}

void TestInstall::launcherNamesTheExecutableAndIcon()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QCOMPARE(keyLines(launcherPath(), key), QStringList{key + u'=' + value});
}

QStringList TestInstall::keyLines(const QString& path, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read ") + path};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (lines.first() != QStringLiteral("[Desktop Entry]"))
        return {QStringLiteral("no [Desktop Entry] first in ") + path};
    const qsizetype slash = key.indexOf(u'/');
    const QString group = slash < 0 ? QStringLiteral("Desktop Entry") : key.left(slash);
    const QString name = key.mid(slash + 1);
    QStringList found;
    QString current;
    for (const QString& line : lines) {
        if (line.startsWith(u'[') && line.endsWith(u']'))
            current = line.mid(1, line.size() - 2);
        else if (current == group && line.startsWith(name + u'='))
            found << key.left(slash + 1) + line;
    }
    return found;
}

void TestInstall::nothingPointsIntoTheBuild()
{
    for (const QString& file : {launcherPath(), metainfoPath()}) {
        QFile text(file);
        QVERIFY(text.open(QIODevice::ReadOnly));
        const QByteArray content = text.readAll();
        QVERIFY2(!content.contains(VEMRA_BUILD_DIR), qPrintable(file));
        QVERIFY2(!content.contains(QFile::encodeName(m_prefix.path())), qPrintable(file));
    }
}

QString TestInstall::complaints(const QString& program, const QStringList& arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return program + QStringLiteral(" is not installed (scripts/deps.sh installs it)");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return program + QStringLiteral(" did not finish");
    const QString output = QString::fromUtf8(process.readAll()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("%1 failed (%2):\n%3").arg(program).arg(process.exitCode()).arg(output);
    return output;
}

void TestInstall::launcherPassesDesktopFileValidate()
{
    // Warnings count too: a clean entry says nothing.
    const QString said = complaints(QStringLiteral("desktop-file-validate"), {launcherPath()});
    QVERIFY2(said.isEmpty(), qPrintable(said));
}

void TestInstall::metainfoPassesAppstreamValidate()
{
    const QString said = complaints(QStringLiteral("appstreamcli"),
                                    {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfoPath()});
    QVERIFY2(said.contains(QStringLiteral("Validation was successful")), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("W:")) && !said.contains(QStringLiteral("E:")), qPrintable(said));
}

void TestInstall::metainfoDescribesTheLauncher()
{
    QFile file(metainfoPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QMap<QString, QStringList> texts;
    QStringList releases;
    QString contentRating;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("release"))
            releases << xml.attributes().value(QStringLiteral("version")).toString() + u' ' +
                            xml.attributes().value(QStringLiteral("date")).toString();
        else if (name == QLatin1String("content_rating"))
            contentRating = xml.attributes().value(QStringLiteral("type")).toString();
        else if (QStringList{"id", "launchable", "binary", "image", "summary"}.contains(name))
            texts[name] << xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(texts.value(QStringLiteral("id")), QStringList{InstallTree::kAppId});
    QCOMPARE(texts.value(QStringLiteral("launchable")),
             QStringList{InstallTree::kAppId + QStringLiteral(".desktop")});
    QCOMPARE(texts.value(QStringLiteral("binary")), QStringList{QStringLiteral("VemraNotes")});
    QCOMPARE(texts.value(QStringLiteral("summary")).size(), 2); // English and Chinese
    QCOMPARE(texts.value(QStringLiteral("image")).size(), 1);
    QVERIFY(texts.value(QStringLiteral("image")).first().endsWith(QStringLiteral("/docs/screenshot.png")));
    QCOMPARE(releases.size(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+(\\.\\d+)+ \\d{4}-\\d{2}-\\d{2}$"))
                .match(releases.first())
                .hasMatch());
    QCOMPARE(contentRating, QStringLiteral("oars-1.1"));
}

void TestInstall::autostartEntryShowsTheApplication_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    // Session settings list autostart entries by their Name and Icon.
    QTest::newRow("name") << "Name"
                          << "Vemra便笺";
    QTest::newRow("icon as the launcher's") << "Icon" << InstallTree::kAppId;
    QTest::newRow("the executable by path") << "Exec"
                                            << "\"" + installed(QStringLiteral("bin/VemraNotes")) + "\"";
}

void TestInstall::autostartEntryShowsTheApplication()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    XdgAutostart autostart(config.path());
    autostart.enable(QStringLiteral("VemraNotes"), installed(QStringLiteral("bin/VemraNotes")));
    const QString entry = autostart.entryPath(QStringLiteral("VemraNotes"));
    QCOMPARE(keyLines(entry, key), QStringList{key + u'=' + value});
    const QString said = complaints(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY2(said.isEmpty(), qPrintable(said));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
