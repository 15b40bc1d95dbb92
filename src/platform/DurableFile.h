// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// Whole-file writes that survive a crash or a power cut, and whole-file reads that say why they
/// failed. Both return a typed result marked [[nodiscard]], so a caller cannot drop a failure by
/// accident; it has to look at it or cast it away on purpose.
///
/// QSaveFile is not used: it neither syncs the folder after the rename (a power cut can then bring
/// back the old name with the old contents) nor lets us choose the new file's mode.
namespace DurableFile {

/// The step of a durable write that failed.
enum class Step
{
    None,
    /// Creating the temporary file beside the target.
    Create,
    /// Writing the bytes into it.
    Write,
    /// Flushing it to the disk (fsync, then close).
    Sync,
    /// Renaming it over the target.
    Rename,
    /// Flushing the folder so the rename itself is on the disk. The new contents are in place.
    SyncFolder
};

/// Outcome of a durable write: ok, or the step that failed and its error number.
class [[nodiscard]] WriteResult
{
public:
    static WriteResult success() { return {}; }
    static WriteResult failure(Step step, int error) { return WriteResult(step, error); }

    bool ok() const { return m_step == Step::None; }
    /// The step that failed; Step::None when ok.
    Step step() const { return m_step; }
    /// errno of the failed step; 0 when ok.
    int error() const { return m_error; }
    /// One line for a log or a message: the step and the system's text for the error.
    QString describe() const;

private:
    WriteResult() = default;
    WriteResult(Step step, int error) : m_step(step), m_error(error) {}

    Step m_step = Step::None;
    int m_error = 0;
};

/// Replaces the file at path with data, all or nothing: a temporary file in the same folder (its name
/// begins with ".", so folder listings skip it) is created exclusively without following links,
/// written, flushed and renamed over the target, then the folder is flushed. A new file gets mode
/// (further narrowed by the umask); the default keeps it private to the user. On any failure before
/// the rename the target is untouched and the temporary file is gone.
WriteResult write(const QString& path, const QByteArray& data, unsigned mode = 0600);

/// Puts data into a new file at path, never into anything already there: the name is created
/// exclusively without following a link (a name taken, by a file or a link, fails at Step::Create
/// with EEXIST, so the caller can choose another), then written and flushed, file and folder. For
/// shared folders, where a rename could replace another user's file. A file that could not be
/// written whole is removed again.
WriteResult createNew(const QString& path, const QByteArray& data, unsigned mode = 0600);

/// Outcome of a whole-file read.
class [[nodiscard]] ReadResult
{
public:
    enum class Status
    {
        Ok,
        /// There is no file by that name.
        Missing,
        /// The file is larger than the caller allows; nothing was kept.
        TooLarge,
        /// Something is at the name but was not read: a folder (EISDIR), a symbolic link (ELOOP), a
        /// FIFO, socket or device (ENXIO), no permission, an I/O error.
        Failed
    };

    static ReadResult success(QByteArray bytes, qint64 fileSize = -1, unsigned mode = 0)
    {
        ReadResult result(Status::Ok, 0, std::move(bytes));
        result.m_fileSize = fileSize < 0 ? result.m_bytes.size() : fileSize;
        result.m_mode = mode;
        return result;
    }
    static ReadResult failure(Status status, int error) { return ReadResult(status, error, {}); }

    Status status() const { return m_status; }
    bool ok() const { return m_status == Status::Ok; }
    /// The file's contents; empty unless ok.
    const QByteArray& bytes() const { return m_bytes; }
    /// errno behind Missing or Failed; 0 otherwise.
    int error() const { return m_error; }
    /// The file's size when it was opened (more than bytes() after readHead); 0 unless ok.
    qint64 fileSize() const { return m_fileSize; }
    /// The file's permission bits; 0 unless ok.
    unsigned mode() const { return m_mode; }
    QString describe() const;

private:
    ReadResult(Status status, int error, QByteArray bytes)
        : m_status(status), m_error(error), m_bytes(std::move(bytes))
    {
    }

    Status m_status = Status::Ok;
    int m_error = 0;
    QByteArray m_bytes;
    qint64 m_fileSize = 0;
    unsigned m_mode = 0;
};

/// Reads the whole regular file at path, refusing one larger than maxBytes and anything that is not
/// a regular file; never follows a link at path and never blocks on what is there.
ReadResult read(const QString& path, qint64 maxBytes);

/// The first maxBytes bytes of the regular file at path (all of it when smaller), with the same
/// refusals as read() but none for size: what a file's head says can be checked before the rest is
/// ever read.
ReadResult readHead(const QString& path, qint64 maxBytes);

} // namespace DurableFile
