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
///       "Version": 1,
///       "Tasks": [
///         {"TaskText":"...","TimeText":"-00:29:59","Status":0,"ActionKind":1,"ActionArg":"...","Due":"..."},
///         ...
///       ]
///     }
///
/// Due (ISO 8601, UTC) is written for running countdowns only. Keys the reader does not know are
/// ignored, so the file can be annotated by hand.
class TaskStore
{
public:
    /// The format written, and the only one read.
    static constexpr int Version = 1;
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

        /// True when the user should be told, once, that the kept list was not usable.
        bool unusable() const { return !problem.isEmpty(); }
    };

    /// Result of reading the file's text.
    struct Parsed
    {
        bool ok = false;
        QList<StoredTask> tasks;
        /// Why the text is not a task list; "" when ok.
        QString problem;
    };

    /// A store for Tasks.json in folder; clock names the file an unusable one is moved to.
    TaskStore(const QString& folder, const Clock& clock);

    QString filePath() const { return m_path; }

    /// Reads the kept list. A missing file gives an empty list and no problem. A file that cannot be
    /// read, cannot be parsed or holds a record outside the task record's forms gives an empty list:
    /// it is renamed to "Tasks.json.bad-<UTC time>" (a name not yet taken, so no earlier such file is
    /// replaced) and the problem is reported.
    Loaded load();
    /// Writes the list durably. Refused with EEXIST at the rename step while an unusable file could
    /// not be moved aside, so that it is never written over.
    DurableFile::WriteResult save(const QList<StoredTask>& tasks);
    /// Removes the file, as the switch being off asks at close. True when no file is left.
    [[nodiscard]] bool removeFile();

    /// The text of the file for a list.
    static QByteArray serialise(const QList<StoredTask>& tasks);
    /// The list in a file's text, or why there is none. All or nothing: one bad record spoils the file.
    static Parsed parse(const QByteArray& bytes);

    /// The title and message the window shows once when the kept list was not usable.
    static QString noticeTitle();
    static QString noticeMessage(const Loaded& loaded);

private:
    QString setAside();

    QString m_path;
    const Clock& m_clock;
    // An unusable file is still at m_path: saving would destroy it.
    bool m_blocked = false;
};
