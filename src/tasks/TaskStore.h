// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/DurableFile.h"
#include "tasks/TaskItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

class Clock;

/// Keeps the to-do list in Tasks.json in the data folder, for users who want their to-dos to survive a
/// restart. The file is written by our own JSON codec, one task per line:
///
///     {
///       "Version": 2,
///       "Tasks": [
///         {"TaskText":"...","TimeText":"-00:29:59","Status":0,"ActionKind":1,"ActionArg":"...","Due":"..."},
///         {"TaskText":"...","TimeText":"+07:30","Status":0,"ActionKind":4,"ActionArg":"...","Held":true},
///         ...
///       ],
///       "Serial": "<32 hex digits>",
///       "Signature": "<64 hex digits>"
///     }
///
/// Due (ISO 8601, UTC) is written for running timers only: a countdown's end, or the occurrence a
/// clock time waits for; Held for tasks held back. Repeat, for a task that repeats, is "daily",
/// "weekdays", "workdays" (China's statutory working days), "days:135" (Monday 1 to Sunday 7) or
/// "cycle:2700" (a countdown's full length in seconds); a rule this version does not know, or one
/// that does not fit the task's timer, is kept as it is and holds its task. Other keys the reader
/// does not know are ignored, so the file can be annotated by hand.
///
/// The data folder may be synced or shared, so a task that would run something (mayRunSomething) is
/// armed after a restart only when this user wrote it on this machine: Signature is the HMAC-SHA256,
/// under the user's key (UserKey, outside the data folder), of the text serialise() gives for the
/// tasks read. A file without it, with a wrong one, or read without the key brings such tasks back
/// held. Version 1 files, which had no signature, are still read that way.
///
/// A signature says who wrote a list, not that it is the list this copy wrote last: an older list of
/// ours, put back by a sync tool or from a backup, would bring back a command the user removed since.
/// So every signed save draws a new random Serial, signed with the list, and records it beside the
/// key (lastListPath(), outside the data folder); only a list whose Serial is recorded there is armed.
/// The record names the new serial before the list is written and drops the old one only once the
/// new list is in place, so a crash in between leaves whichever list is on the disk armed, and an
/// older one never.
class TaskStore
{
public:
    /// The format written.
    static constexpr int Version = 2;
    /// The oldest format still read.
    static constexpr int OldestVersion = 1;
    /// A to-do list is a few kilobytes; anything this large is not one.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;
    static QString fileName() { return QStringLiteral("Tasks.json"); }

    /// What reading the file gave.
    struct Loaded
    {
        /// The kept tasks in their order; empty when there was no file or an unusable one.
        QList<StoredTask> tasks;
        /// Full path the unusable file was moved to; "" when the file was fine or absent, or when it
        /// could not be moved (then it stays where it was and is never written over).
        QString setAsidePath;
        /// Why the file was not used; "" when it was used or absent.
        QString problem;
        /// Where the key is, and why it could not be used when the list needed it ("" when it could,
        /// or when there was none yet).
        QString keyPath;
        QString keyProblem;

        /// True when the user should be told, once, that the kept list was not usable.
        bool unusable() const { return !problem.isEmpty(); }
        /// True when the list was signed under the user's key but is not the last one this copy
        /// wrote (an older copy put back).
        bool notLastWritten = false;

        /// How many tasks came back held.
        int heldCount() const;
    };

    /// Result of reading the file's text.
    struct Parsed
    {
        bool ok = false;
        QList<StoredTask> tasks;
        /// Why the text is not a task list; "" when ok.
        QString problem;
        int version = 0;
        /// The Signature's text as it stands in the file; empty when there is none.
        QByteArray signature;
        /// The Serial's text as it stands in the file; empty when there is none.
        QByteArray serial;
    };

    /// A store for Tasks.json in folder; clock names the file an unusable one is moved to; keyPath is
    /// the user's key (see UserKey), "" for none.
    TaskStore(const QString& folder, const Clock& clock, const QString& keyPath);

    QString filePath() const { return m_path; }
    /// Where the serials of the last list written into this folder are recorded: beside the key, one
    /// file per data folder; "" without a key path.
    QString lastListPath() const { return m_lastListPath; }

    /// Reads the kept list. A missing file gives an empty list and no problem. A file that cannot be
    /// read (a link, a FIFO, a device or a folder is not even opened for reading), cannot be parsed or
    /// holds a record outside the task record's forms gives an empty list: it is renamed to
    /// "Tasks.json.bad-<UTC time>" (a name not yet taken, so no earlier such file is replaced) and the
    /// problem is reported. Tasks that would run something come back held unless the file's signature
    /// verifies under the user's key; a task marked held stays held either way.
    Loaded load();
    /// Writes the list durably, signed under the user's key, which is created on the first save that
    /// finds none; without a usable key the list is written unsigned (and its tasks that would run
    /// something are then held at the next start). Refused with EEXIST at the rename step while an
    /// unusable file could not be moved aside, so that it is never written over.
    DurableFile::WriteResult save(const QList<StoredTask>& tasks);
    /// Removes the file, as the switch being off asks at close. True when no file is left.
    [[nodiscard]] bool removeFile();

    /// The text of the file for a list, without a signature: what the signature is computed over.
    static QByteArray serialise(const QList<StoredTask>& tasks);
    /// That text with its serial (when not empty) and its signature under key, over both, added.
    static QByteArray sign(const QByteArray& serialised, const QByteArray& key,
                           const QByteArray& serial = QByteArray());
    /// True when the parsed file is of the current version and its signature is the one key gives
    /// for its tasks and serial.
    static bool verify(const Parsed& parsed, const QByteArray& key);
    /// The list in a file's text, or why there is none. All or nothing: one bad record spoils the file.
    /// The signature is read, not checked.
    static Parsed parse(const QByteArray& bytes);

    /// The title and message the window shows once when the kept list was not usable.
    static QString noticeTitle();
    static QString noticeMessage(const Loaded& loaded);
    /// The question the window asks once when tasks came back held: each one with what it would
    /// do (the command line, the file, the power action), then how to arm them.
    static QString heldQuestion(const Loaded& loaded);

private:
    /// Holds back what the file cannot vouch for: every task that would run something, unless the
    /// signature verifies under the user's key.
    void trust(Parsed& parsed, Loaded& loaded);
    QString setAside();
    /// The serials the record holds; empty when there is none or it cannot be read.
    QList<QByteArray> recordedSerials() const;
    bool record(const QList<QByteArray>& serials) const;

    QString m_path;
    const Clock& m_clock;
    QString m_keyPath;
    QByteArray m_key;
    QString m_lastListPath;
    // The serial of the list in the file as far as this copy knows: read from it when it was ours,
    // or written by the last save; empty for none.
    QByteArray m_serial;
    // An unusable file is still at m_path: saving would destroy it.
    bool m_blocked = false;
};
