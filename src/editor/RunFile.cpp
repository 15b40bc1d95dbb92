// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/RunFile.h"

#include "platform/DesktopOpener.h"
#include "platform/ProcessLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString ScriptName = QStringLiteral("RunBat.sh");

/// One word for sh, whatever it holds: inside single quotes only the quote itself needs care, and
/// it is written as quote, escaped quote, quote.
QString shellQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

/// True when the launcher can take base as the name of a class in the unnamed package. Anything
/// else (a leading "-" or "@" above all) would be read as an option or an argument file.
bool isJavaClassName(const QString& base)
{
    if (base.isEmpty())
        return false;
    const auto isPart = [](QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; };
    return (base.front().isLetter() || base.front() == u'_' || base.front() == u'$') &&
           std::all_of(base.begin(), base.end(), isPart);
}

/// A new folder only we can enter, under the temporary folder; empty when none could be made.
/// The script lives there, so no file or link someone left in the source's folder is ever
/// written through, replaced or removed.
QString makePrivateFolder()
{
    QString parent = QDir::tempPath();
    if (parent.isEmpty()) // TMPDIR names a folder that does not exist
        parent = QStringLiteral("/tmp");
    QByteArray pattern = QFile::encodeName(parent + QStringLiteral("/vemra-run-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr)
        return QString();
    return QFile::decodeName(pattern);
}

/// Creates path afresh: an existing file or link of that name makes it fail rather than be
/// followed.
bool writeNewFile(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return ::close(fd) == 0 && done == bytes.size();
}

} // namespace

bool isOpenableFilePath(const QString& trimmed)
{
    return trimmed.startsWith(u'/') && QFileInfo(trimmed).isFile();
}

QString javaRunScript(const QString& folder, const QString& name, const QString& privateFolder)
{
    const QString base = name.left(name.size() - 5); // without ".java"
    QString folderWithoutSlash = folder;
    if (folderWithoutSlash.size() > 1 && folderWithoutSlash.endsWith(u'/'))
        folderWithoutSlash.chop(1);
    // Every file name goes in as "./name", so a source called -version.java or @opts.java stays a
    // file name. Classes are compiled into the private folder: nothing is written into or deleted
    // from the source's folder, and removing that folder at the end takes the classes (inner ones
    // too) and the script with it. Stopping when cd fails keeps the run out of some other folder.
    const QString source = shellQuoted(QStringLiteral("./") + name);
    const QString classes = shellQuoted(privateFolder);
    QStringList lines = {
        QStringLiteral("#!/bin/sh"),
        QStringLiteral("set +x"),
        QStringLiteral("cd ") + shellQuoted(folderWithoutSlash) + QStringLiteral(" || exit 1"),
    };
    if (isJavaClassName(base)) {
        lines << QStringLiteral("javac -d ") + classes + u' ' + source
              << QStringLiteral("java -cp ") + classes + u' ' + shellQuoted(base);
    } else {
        // No class can carry such a name; the launcher compiles the source itself and starts the
        // first class it declares.
        lines << QStringLiteral("java ") + source;
    }
    lines << QStringLiteral("rm -rf -- ") + classes;
    return lines.join(u'\n') + u'\n';
}

void RunFile(const QString& givenPath, ProcessLauncher& launcher, DesktopOpener& opener)
{
    if (!QFileInfo(givenPath).isFile())
        return;
    // An absolute path can never be taken for an option ("-x.py", "@opts.jar"), and a program is
    // then started from its folder instead of being looked up on PATH.
    const QString path = givenPath.startsWith(u'/') ? givenPath : QDir::currentPath() + u'/' + givenPath;

    const qsizetype dot = path.lastIndexOf(u'.');
    const QString extension = (dot >= 0 ? path.mid(dot + 1) : path).toLower();
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);

    // Every program gets its arguments as a list, so no shell ever splits or expands the path.
    if (extension == u"sh") {
        launcher.startDetached(QStringLiteral("sh"), {path});
    } else if (extension == u"bat" || extension == u"exe") {
        launcher.startDetached(path, {});
    } else if (extension == u"py") {
        launcher.startDetached(QStringLiteral("python3"), {path});
    } else if (extension == u"jar") {
        launcher.startDetached(QStringLiteral("java"), {QStringLiteral("-jar"), path});
    } else if (extension == u"java") {
        const QString privateFolder = makePrivateFolder();
        if (privateFolder.isEmpty())
            return;
        const QString script = privateFolder + u'/' + ScriptName;
        if (!writeNewFile(script, javaRunScript(folder, name, privateFolder).toUtf8()) ||
            !launcher.startDetached(QStringLiteral("sh"), {script}, folder))
            QDir(privateFolder).removeRecursively();
    } else {
        opener.open(QUrl::fromLocalFile(path));
    }
}
