// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// The per-user secret that tells what this user wrote on this machine from what arrived in the data
/// folder some other way (a sync tool, another computer, someone else's hands). It never enters the
/// data folder: it lives in the user's configuration folder, a regular file of the user's alone with
/// mode 0600 and exactly Bytes random bytes. A file there that is anything else is not trusted, and
/// is never replaced by a new key behind the user's back either: what signed with it would no longer
/// verify, and what planted it would learn nothing from a fresh key it cannot read.
namespace UserKey {

/// Size of the key.
inline constexpr qsizetype Bytes = 32;

/// Where the key of the to-do list belongs: "$XDG_CONFIG_HOME/VemraNotes/tasks.key" when
/// XDG_CONFIG_HOME is an absolute path, else "$HOME/.config/VemraNotes/tasks.key"; "" when neither
/// is known.
QString defaultPath();

/// Outcome of reading or creating the key.
class [[nodiscard]] Result
{
public:
    enum class Status
    {
        Ok,
        /// There is no key yet (or no place for one was given).
        Missing,
        /// Something is at the key's place that is not a key of ours: a link, a FIFO, a folder, a file
        /// of another user, with other permissions or of another size.
        Untrusted,
        /// The key could not be read or created (no permission, no space, an I/O error).
        Failed
    };

    static Result success(QByteArray key) { return Result(Status::Ok, std::move(key), QString()); }
    static Result failure(Status status, const QString& problem) { return Result(status, {}, problem); }

    Status status() const { return m_status; }
    bool ok() const { return m_status == Status::Ok; }
    /// The key; empty unless ok.
    const QByteArray& key() const { return m_key; }
    /// Why there is no key, in a few words; "" when ok.
    const QString& problem() const { return m_problem; }

private:
    Result(Status status, QByteArray key, QString problem)
        : m_status(status), m_key(std::move(key)), m_problem(std::move(problem))
    {
    }

    Status m_status;
    QByteArray m_key;
    QString m_problem;
};

/// Reads the key at path without ever creating it; never follows a link and never blocks on a FIFO.
Result read(const QString& path);

/// Reads the key at path, creating it first (and its folder, mode 0700) when there is none. Two
/// processes creating it at the same moment end with one key, which both return.
Result obtain(const QString& path);

} // namespace UserKey
