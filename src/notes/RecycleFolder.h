// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>

#include <sys/types.h>

class Clock;

/// Notes.recycle beside Notes (inside it, hidden, when the application folder is read-only): removed
/// notes, the original bytes of note files that did not decode cleanly, and files that appeared in
/// Notes while the application ran. A log in the folder records the order and time of every arrival,
/// so the limit never drops what was just removed or anything removed in the last kMinDays days,
/// whatever the file names, a wall clock that jumped or a damaged log say. Only files the log names
/// are ever deleted, and only in a real folder of this user: a link or another user's folder at the
/// name is refused, and then nothing can be put there.
class RecycleFolder
{
public:
    /// Arrivals kept whatever their age; older ones beyond them go once they are kMinDays old.
    static constexpr int kKeep = 200;
    static constexpr int kMinDays = 30;

    /// The clock names and dates the arrivals.
    RecycleFolder(const QByteArray& appFolder, const Clock* clock);

    /// Mode bits of Notes: nothing made here is more open to others.
    void setNotesMode(mode_t mode) { m_notesMode = mode; }
    QByteArray path() const;

    /// Moves name out of fromDir, under its own name (a suffix " (2)" … when taken) or, with asText,
    /// under a new removal name. False when it stayed where it was.
    bool moveIn(int fromDir, const QByteArray& name, bool asText);
    /// Keeps the bytes of name in fromDir under its own name, as a second link (a copy across file
    /// systems), durably. 0 or the error.
    int keepOriginal(int fromDir, const QByteArray& name);
    /// Writes each text as a new removal, durably. Returns the texts that could not be written, with
    /// the first error in *firstError.
    QStringList writeTexts(const QStringList& texts, int* firstError);

private:
    /// Opens the folder, creating it; -1 with errno set, also when it is not a folder of our own.
    int open();
    QByteArray nextName();
    qint64 nowMs() const;
    /// The first of count sequence numbers for new arrivals.
    qint64 takeSequence(int recycleFd, qsizetype count);
    /// Logs names as the newest arrivals, then prunes; the names themselves are never pruned then.
    void arrived(int recycleFd, const QList<QByteArray>& names);
    void prune(int recycleFd, const QSet<QByteArray>& protectedNames);

    QByteArray m_appFolder;
    const Clock* m_clock;
    mode_t m_notesMode = 0700;
    /// The application folder refused the folder: it lives inside Notes, hidden.
    bool m_inside = false;
    QByteArray m_lastStamp;
    int m_lastCounter = 0;
    /// Next sequence number of the log; 0 until the log was read.
    qint64 m_nextSequence = 0;
};
