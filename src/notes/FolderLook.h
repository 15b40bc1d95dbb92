// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "notes/SavePlan.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

/// What changed in Notes since the store last looked, decided from a listing of the folder without
/// touching it. A file that only moved to another name is no change (another copy renumbering its
/// files); a file is taken in only once two looks found it the same, kSettleMs or more apart (or
/// last modified over a second ago). Hidden files are never read.
struct FolderLook
{
    /// What changed in the folder, as texts of notes.
    struct Change
    {
        enum Kind
        {
            /// A file appeared: after is its text.
            Added,
            /// A file's text went from before to after.
            Changed,
            /// A file went: before was its text.
            Removed
        };
        Kind kind = Added;
        QString before;
        QString after;
        /// Where the new text sits in folder order: the text of the note file before it, or null
        /// when it comes first.
        QString previous;
    };
    struct Result
    {
        QList<Change> changes;
        /// Some file was still being written (it changed between two looks): look again shortly.
        bool unsettled = false;
        /// Set only when some text moved to another name: the texts of the note files in folder
        /// order, which the list takes, so that a save never moves them back.
        QStringList order;
    };
    /// A file found changing at a look: its stamp then, and when (monotonic ms).
    struct Sighting
    {
        FileStamp stamp;
        qint64 atMs = 0;
    };
    using Sightings = QHash<QByteArray, Sighting>;
    static constexpr int kSettleMs = 250;

    /// Compares listing (of Notes, with the status of each name; kept: names the store did not load)
    /// with records, what the store knows, and takes what it finds into records and sightings.
    /// vanished: texts of files a save found deleted since. A file whose stamp is not the known one
    /// and that has settled is read with reread; nowMs (monotonic) and wallNs (real time) are when
    /// the look happens.
    static Result compare(const std::vector<FolderFiles::Entry>& listing, const QSet<QByteArray>& kept,
                          SavePlan::Records* records, Sightings* sightings, const QStringList& vanished,
                          qint64 nowMs, qint64 wallNs, const SavePlan::Reader& reread);

    /// Folder order of two file names: numbered files (1.txt, 2.txt, ... 10.txt) in numeric order
    /// first, then the others in byte order.
    static bool lessInFolderOrder(const QByteArray& a, const QByteArray& b);
};
