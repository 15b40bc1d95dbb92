// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FolderFiles.h"

#include "notes/NoteFiles.h"
#include "notes/NoteFolder.h"

#include <QDir>
#include <QFile>

#include <algorithm>

void writeRaw(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList entriesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QByteArray readRaw(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList filesIn(const QString& folder, bool withHidden)
{
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::System | (withHidden ? QDir::Hidden : QDir::Filters()));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return NoteFolder::lessInFolderOrder(a.toUtf8(), b.toUtf8());
    });
    return names;
}

QStringList textsIn(const QString& folder, bool withHidden)
{
    QStringList texts;
    for (const QString& name : filesIn(folder, withHidden))
        texts.append(ReadNoteFile(folder + u'/' + name));
    return texts;
}
