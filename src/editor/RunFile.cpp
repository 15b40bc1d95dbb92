#include "editor/RunFile.h"

#include "platform/DesktopOpener.h"
#include "platform/ProcessLauncher.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

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

bool writeScript(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text.toUtf8();
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

} // namespace

bool isOpenableFilePath(const QString& trimmed)
{
    return trimmed.startsWith(u'/') && QFileInfo(trimmed).isFile();
}

QString javaRunScript(const QString& folder, const QString& name)
{
    const QString base = name.left(name.size() - 5); // without ".java"
    QString folderWithoutSlash = folder;
    if (folderWithoutSlash.size() > 1 && folderWithoutSlash.endsWith(u'/'))
        folderWithoutSlash.chop(1);
    // Seven lines, one per step of the batch file this replaces. The interpreter line and set +x
    // stand for "@echo off" and the drive change, which sh has no use for. Stopping when cd fails
    // keeps the clean-up from deleting files in some other folder.
    const QStringList lines = {
        QStringLiteral("#!/bin/sh"),
        QStringLiteral("set +x"),
        QStringLiteral("cd ") + shellQuoted(folderWithoutSlash) + QStringLiteral(" || exit 1"),
        QStringLiteral("javac ") + shellQuoted(name),
        QStringLiteral("java -cp . ") + shellQuoted(base),
        QStringLiteral("rm -f -- ") + shellQuoted(base + QStringLiteral(".class")),
        QStringLiteral("rm -f -- \"$0\""),
    };
    return lines.join(u'\n') + u'\n';
}

void RunFile(const QString& path, ProcessLauncher& launcher, DesktopOpener& opener)
{
    if (!QFileInfo(path).isFile())
        return;

    const qsizetype dot = path.lastIndexOf(u'.');
    const QString extension = (dot >= 0 ? path.mid(dot + 1) : path).toLower();
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash >= 0 ? path.left(slash + 1) : QStringLiteral("/");
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
        const QString script = folder + ScriptName;
        if (!writeScript(script, javaRunScript(folder, name)))
            return;
        launcher.startDetached(QStringLiteral("sh"), {script}, folder);
    } else {
        opener.open(QUrl::fromLocalFile(path));
    }
}
