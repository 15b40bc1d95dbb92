// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

/// Where the notes go when the notes folder refuses the last save before the application ends: one
/// plain UTF-8 file in the first folder of a list that takes it (the user's state folder, the home
/// folder, the temporary folder), which a person can read and the next start offers to restore.
///
///     VemraNotes unsaved notes 1
///     Data: /home/me/.local/share/VemraNotes
///
///     === 1: 5 ===
///     first
///     === 2: 12 ===
///     second note
///
/// Each block counts its text in UTF-16 units, so a note may hold any line, even one that looks
/// like a block's head.
namespace EmergencyFile {

/// One file found for a data folder.
struct Found
{
    QString path;
    QStringList texts;
};

/// The file's text for the notes of a data folder.
QByteArray serialise(const QString& dataFolder, const QStringList& texts);
/// The data folder and notes of a file's text; false when it is not such a file.
bool parse(const QByteArray& bytes, QString* dataFolder, QStringList* texts);

/// Writes the texts durably into the first folder of folders where that works (creating it, private
/// to the user) into a new file named with the time; returns the file's path, or "" when no folder
/// took it. A name already taken (an earlier file, or anyone's file or link in a shared folder) is
/// never opened: the name gets an unpredictable tail instead, until one is ours.
QString write(const QStringList& folders, const QString& dataFolder, const QStringList& texts,
              const QDateTime& now);

/// The files of ours, in folders, that hold notes of dataFolder: regular files owned by this user,
/// never reached through a link, of a size our own writer could have made.
QList<Found> find(const QStringList& folders, const QString& dataFolder);

} // namespace EmergencyFile
