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
///     VemraNotes unsaved notes 2
///     Notes: 2
///     Data: /home/me/.local/share/VemraNotes
///
///     === 1: 5 ===
///     first
///     === 2: 12 ===
///     second note
///
/// Each block counts its text in UTF-16 units, so a note may hold any line, even one that looks
/// like a block's head. The head (the first three lines) says what the file holds, so that a file
/// can be offered without reading its notes; files of the first form, without the Notes line, are
/// still read.
namespace EmergencyFile {

/// One file found for a data folder: what its head says, none of its notes.
struct Found
{
    QString path;
    /// How many notes it holds; -1 when its head does not say (a file of the first form).
    int count = -1;
    qint64 bytes = 0;
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
/// never reached through a link, of a size our own writer could have made. Only their heads are
/// read.
QList<Found> find(const QStringList& folders, const QString& dataFolder);

/// The notes of a file find() gave, read whole now; false when it is no longer such a file of
/// dataFolder's (cut short, changed, gone).
bool load(const QString& path, const QString& dataFolder, QStringList* texts);

} // namespace EmergencyFile
