// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package `cpack -G DEB` makes, built once into a temporary folder: lintian has nothing to
// say at its default level, the control fields name what the package needs, the copyright file is
// machine-readable, the binaries are stripped and hardened, and a minimal system gets a CJK font
// with it.
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString output; // stdout and stderr together
};

Run run(const QString& program, const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        result.output = program + QStringLiteral(" did not finish: ") + process.errorString();
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void lintianHasNothingToSay();
    void controlFields_data();
    void controlFields();
    void copyrightIsMachineReadable();
    void noMaintainerScripts();
    void binariesAreStrippedAndHardened_data();
    void binariesAreStrippedAndHardened();
    void minimalInstallPullsInACjkFont();

private:
    QString field(const QString& name) const;
    QString unpacked(const QString& path) const { return m_root.filePath(QStringLiteral("root/") + path); }

    QTemporaryDir m_root;
    QString m_deb;
};

void TestPackage::initTestCase()
{
    QVERIFY(m_root.isValid());
    const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
    QVERIFY2(!cpack.isEmpty(), "cpack (package cmake) is needed");
    const Run packed = run(cpack, {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                                   QStringLiteral(VEMRA_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
                                   m_root.filePath(QStringLiteral("out"))});
    QVERIFY2(packed.exitCode == 0, qPrintable(packed.output));
    const QStringList debs = QDir(m_root.filePath(QStringLiteral("out")))
                                 .entryList({QStringLiteral("vemranotes_*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    m_deb = m_root.filePath(QStringLiteral("out/") + debs.first());
    const Run extracted = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, unpacked(QString())});
    QVERIFY2(extracted.exitCode == 0, qPrintable(extracted.output));
}

QString TestPackage::field(const QString& name) const
{
    return run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, name}).output.trimmed();
}

void TestPackage::lintianHasNothingToSay()
{
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty())
        QSKIP("lintian is not installed (scripts/deps.sh installs it)");
    // Informational tags (I:) and overrides are not shown at the default level; errors and warnings
    // are, and every one of them fails.
    const Run said = run(lintian, {m_deb}, 240000);
    QVERIFY2(said.exitCode >= 0, qPrintable(said.output));
    const QStringList complaints =
        said.output.split(u'\n').filter(QRegularExpression(QStringLiteral("^[EW]: ")));
    QVERIFY2(complaints.isEmpty(), qPrintable(said.output));
}

void TestPackage::controlFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    // The interface is Chinese: without a CJK font every label is a row of boxes.
    QTest::newRow("a CJK font and the libraries")
        << "Depends"
        << "(^|, )fonts-noto-cjk \\| fonts-wqy-microhei \\| fonts-wqy-zenhei(,|$).*libqt6widgets6|"
           "libqt6widgets6.*(^|, )fonts-noto-cjk \\| fonts-wqy-microhei \\| fonts-wqy-zenhei(,|$)";
    QTest::newRow("sound, opener, Qt's translations")
        << "Recommends"
        << "^gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, xdg-utils, qt6-translations-l10n$";
    QTest::newRow("Wayland and input method") << "Suggests"
                                              << "^qt6-wayland, fcitx5-frontend-qt6$";
    QTest::newRow("section") << "Section"
                             << "^x11$";
    QTest::newRow("homepage") << "Homepage"
                              << "^https://github.com/vemranotes/vemranotes$";
    // A summary line and an extended description of several paragraphs, the Chinese one last.
    QTest::newRow("description") << "Description"
                                 << "^Sticky notes with timed reminders \\(Vemra便笺\\)\\n( \\S[^\\n]*\\n)+ "
                                    "\\.\\n(.|\\n)* 便笺与定时提醒";
}

void TestPackage::controlFields()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    const QString value = field(name);
    QVERIFY2(QRegularExpression(pattern).match(value).hasMatch(), qPrintable(name + ": " + value));
    if (name == QLatin1String("Homepage")) {
        // Software centres link to the page the package names.
        QFile metainfo(unpacked(QStringLiteral("usr/share/metainfo/" VEMRA_APP_ID ".metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QVERIFY(metainfo.readAll().contains("<url type=\"homepage\">" + value.toUtf8() + "</url>"));
    }
}

void TestPackage::copyrightIsMachineReadable()
{
    QFile file(unpacked(QStringLiteral("usr/share/doc/vemranotes/copyright")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.startsWith(
        QStringLiteral("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));
    // Every file is covered, and each licence named in a Files paragraph has its own paragraph.
    QVERIFY(text.contains(QStringLiteral("\n\nFiles: *\nCopyright: 2026 The VemraNotes developers\n"
                                         "License: GPL-3.0-or-later\n")));
    const QRegularExpression named(QStringLiteral("^Files: .*\\n(?:.+\\n)*?License: (\\S+)\\n"),
                                   QRegularExpression::MultilineOption);
    QStringList licences;
    for (const QRegularExpressionMatch& match : named.globalMatch(text))
        licences << match.captured(1);
    QCOMPARE(licences, (QStringList{QStringLiteral("GPL-3.0-or-later"), QStringLiteral("CC0-1.0")}));
    for (const QString& licence : licences)
        QVERIFY2(text.contains(QStringLiteral("\n\nLicense: ") + licence + QStringLiteral("\n ")),
                 qPrintable(licence));
    QVERIFY(text.contains(QStringLiteral("\"/usr/share/common-licenses/GPL-3\"")));
}

void TestPackage::noMaintainerScripts()
{
    // The module sits in a private folder: nothing for ldconfig, so nothing runs at install.
    const Run listed = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--info"), m_deb});
    QCOMPARE(listed.exitCode, 0);
    for (const QString& script : {"preinst", "postinst", "prerm", "postrm", "triggers"})
        QVERIFY2(!listed.output.contains(QRegularExpression(QStringLiteral("\\s") + script + "\\s")),
                 qPrintable(listed.output));
}

void TestPackage::binariesAreStrippedAndHardened_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fortified"); // the module calls no C function the fortification checks
    QTest::newRow("executable") << "usr/bin/VemraNotes" << true;
    QTest::newRow("module") << QStringLiteral("usr/" VEMRA_INSTALLED_MODULE) << false;
}

void TestPackage::binariesAreStrippedAndHardened()
{
    QFETCH(QString, path);
    QFETCH(bool, fortified);
    const Run sections = run(QStringLiteral("readelf"), {QStringLiteral("-SW"), unpacked(path)});
    QCOMPARE(sections.exitCode, 0);
    QVERIFY2(!sections.output.contains(QStringLiteral(" .symtab ")), "not stripped");
    QVERIFY2(!sections.output.contains(QStringLiteral(" .comment ")), "a .comment section is left");
    const Run dynamic = run(QStringLiteral("readelf"), {QStringLiteral("-dlW"), unpacked(path)});
    QCOMPARE(dynamic.exitCode, 0);
    QVERIFY2(dynamic.output.contains(QStringLiteral("GNU_RELRO")), "no read-only relocations");
    QVERIFY2(dynamic.output.contains(QRegularExpression(QStringLiteral("\\(FLAGS\\).*\\bBIND_NOW\\b|"
                                                                       "\\(FLAGS_1\\).*\\bNOW\\b"))),
             "symbols are not bound at load");
    QVERIFY2(dynamic.output.contains(QStringLiteral("Shared library: [libc.so.6]")), "libc is not needed");
    const Run symbols =
        run(QStringLiteral("readelf"), {QStringLiteral("--dyn-syms"), QStringLiteral("-W"), unpacked(path)});
    QCOMPARE(symbols.output.contains(QRegularExpression(QStringLiteral("__\\w+_chk@"))), fortified);
}

void TestPackage::minimalInstallPullsInACjkFont()
{
    // A system of the required and important packages and what they depend on, as a minimal
    // Debian installs it, taken from this machine's own status file. apt-get -s only reads the
    // package lists; it changes nothing.
    QFile status(QStringLiteral("/var/lib/dpkg/status"));
    QVERIFY(status.open(QIODevice::ReadOnly));
    QHash<QString, QString> paragraphs; // installed package -> its paragraph
    QStringList wanted;
    const QRegularExpression name(QStringLiteral("^Package: (\\S+)$"), QRegularExpression::MultilineOption);
    for (const QString& paragraph : QString::fromUtf8(status.readAll()).split(QStringLiteral("\n\n"))) {
        if (!paragraph.contains(QRegularExpression(QStringLiteral("^Status: install ok installed$"),
                                                   QRegularExpression::MultilineOption)))
            continue;
        const QString package = name.match(paragraph).captured(1);
        paragraphs.insert(package, paragraph.trimmed());
        if (paragraph.contains(QRegularExpression(QStringLiteral("^Priority: (required|important)$"),
                                                  QRegularExpression::MultilineOption)))
            wanted << package;
    }
    const QRegularExpression depends(QStringLiteral("^(?:Pre-)?Depends: (.*)$"),
                                     QRegularExpression::MultilineOption);
    QSet<QString> kept;
    while (!wanted.isEmpty()) {
        const QString package = wanted.takeLast();
        if (kept.contains(package) || !paragraphs.contains(package))
            continue;
        kept.insert(package);
        for (const QRegularExpressionMatch& line : depends.globalMatch(paragraphs.value(package))) {
            // Every alternative that is installed: the real system has them all anyway.
            for (const QString& item : line.captured(1).split(QRegularExpression(QStringLiteral("[,|]"))))
                wanted << item.trimmed().section(u' ', 0, 0).section(u':', 0, 0);
        }
    }
    QByteArray minimal;
    for (const QString& package : std::as_const(kept))
        minimal += paragraphs.value(package).toUtf8() + "\n\n";
    QVERIFY(minimal.contains("Package: dpkg\n"));
    QFile scratch(m_root.filePath(QStringLiteral("status")));
    QVERIFY(scratch.open(QIODevice::WriteOnly));
    scratch.write(minimal);
    scratch.close();

    const Run simulated =
        run(QStringLiteral("apt-get"),
            {QStringLiteral("-s"), QStringLiteral("--no-install-recommends"), QStringLiteral("-o"),
             QStringLiteral("Dir::State::status=") + scratch.fileName(), QStringLiteral("-o"),
             QStringLiteral("Dir::State::extended_states=") + m_root.filePath("states"), QStringLiteral("-o"),
             QStringLiteral("Debug::NoLocking=1"), QStringLiteral("install"), m_deb});
    if (simulated.exitCode != 0 && simulated.output.contains(QStringLiteral("no installation candidate")))
        QSKIP("the package lists are missing (apt-get update)");
    QVERIFY2(simulated.exitCode == 0, qPrintable(simulated.output));
    QVERIFY2(simulated.output.contains(QRegularExpression(
                 QStringLiteral("^Inst (fonts-noto-cjk|fonts-wqy-microhei|fonts-wqy-zenhei) "),
                 QRegularExpression::MultilineOption)),
             qPrintable(simulated.output));
    QVERIFY2(simulated.output.contains(QRegularExpression(QStringLiteral("^Inst vemranotes "),
                                                          QRegularExpression::MultilineOption)),
             qPrintable(simulated.output));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
