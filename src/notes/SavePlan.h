// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "notes/NoteJournal.h"
#include "platform/FolderFiles.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

/// The status fields of a file of Notes that change whenever anything writes, replaces or renames it.
struct FileStamp
{
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    quint32 mode = 0;
    bool operator==(const FileStamp&) const = default;

    static FileStamp of(const struct stat& st);
};

/// What this store knows a file of Notes holds.
struct KnownFile
{
    FileStamp stamp;
    QString text;
    /// The bytes are exactly what a save writes for the text.
    bool canonical = false;
    /// Decoding lost something: the original bytes go to the recovery folder before the file is
    /// first replaced or removed.
    bool lossy = false;
};

/// A file of Notes read again, as a save or a look found it.
struct FileRead
{
    FolderFiles::ReadOutcome outcome = FolderFiles::ReadOutcome::Failed;
    /// Of the file read (outcome Read only), and what it holds.
    KnownFile file;
};

/// What a save does to Notes, decided without touching it: which texts are written under which
/// names, which files only move to another number (a second link, never rewritten), which go, which
/// names are left alone, and which lossy originals must be kept first. Hidden files, files this store
/// did not load and files changed outside since it last looked are never touched: a changed file is
/// read again (reread), and only when it still holds what the store knows, or exactly the text the
/// save puts there, does the save use its name.
struct SavePlan
{
    using Records = QHash<QByteArray, KnownFile>;
    using Reader = std::function<FileRead(const QByteArray& name)>;

    /// The files to put into Notes at 1.txt ... in folder order: new texts, or (linkFrom set) a
    /// known file moved to another number.
    QList<NoteWrite> writes;
    /// Files of Notes the save removes.
    QList<QByteArray> removals;
    /// Names the save leaves as they are and does not number a note with.
    QSet<QByteArray> blocked;
    /// Lossy files about to be replaced or removed: their bytes go to the recovery folder first.
    QList<QByteArray> lossyOriginals;
    /// The files the save may keep, reuse or remove, with their stamp as listed (as read, when a
    /// changed file turned out to hold what is known).
    QHash<QByteArray, FileStamp> seen;
    /// What the store knows of Notes once the listing is taken in.
    Records records;
    /// Texts of known files that were deleted from outside.
    QStringList vanished;
    /// Some file was changed or put there from outside and is left alone.
    bool outsideChange = false;

    /// Plans a save of noteTexts (blank ones are dropped) over listing, a listing of Notes with the
    /// status of each name. kept: names the store did not load. notesRecreated: Notes itself was made
    /// again, so nothing missing from it was deleted.
    static SavePlan make(const std::vector<FolderFiles::Entry>& listing, const QSet<QByteArray>& kept,
                         Records records, bool notesRecreated, const QStringList& noteTexts,
                         const Reader& reread);

    /// Nothing left after removing every space and then every CR LF pair.
    static bool isBlank(QStringView text);
    /// Bytes that are valid UTF-8: a name that is not could never be shown or written back as it is.
    static bool isUtf8(const QByteArray& bytes);
};
