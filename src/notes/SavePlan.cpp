// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/SavePlan.h"

#include <QStringDecoder>

#include <algorithm>
#include <sys/stat.h>

using namespace FolderFiles;

namespace {

QByteArray numberedName(int n)
{
    return QByteArray::number(n) + ".txt";
}

// The plan while it is made: the listing taken in, then the names, then the writes.
struct Planner
{
    SavePlan plan;
    QStringList wanted;
    QList<QByteArray> names;
    QHash<QByteArray, QString> wantedByName;
    QSet<QByteArray> moved;

    void takeListing(const std::vector<Entry>& listing, const QSet<QByteArray>& kept, bool notesRecreated);
    void assignNames();
    void resolveChanged(const SavePlan::Reader& reread);
    bool resolve(const QByteArray& name, const FileRead& read);
    void planWrites();
    void planRemovals();
};

void Planner::takeListing(const std::vector<Entry>& listing, const QSet<QByteArray>& kept,
                          bool notesRecreated)
{
    plan.seen.reserve(qsizetype(listing.size()));
    for (const Entry& entry : listing) {
        if (isHidden(entry.name))
            continue; // a sync tool's or an editor's file, being written right now perhaps
        if (!entry.statOk || !S_ISREG(entry.st.st_mode) || kept.contains(entry.name) ||
            !SavePlan::isUtf8(entry.name))
            plan.blocked.insert(entry.name);
        else
            plan.seen.insert(entry.name, FileStamp::of(entry.st));
    }
    for (auto it = plan.records.begin(); it != plan.records.end();) {
        if (plan.seen.contains(it.key()) || plan.blocked.contains(it.key())) {
            ++it;
            continue;
        }
        // Deleted from outside since we last looked: the store hears of it at its next look, unless
        // the whole folder went (then nothing of it is a deletion of a note).
        if (!notesRecreated)
            plan.vanished.append(it->text);
        it = plan.records.erase(it);
    }
}

void Planner::assignNames()
{
    names.clear();
    wantedByName.clear();
    names.reserve(wanted.size());
    wantedByName.reserve(wanted.size());
    int n = 1;
    for (const QString& text : wanted) {
        while (!plan.blocked.isEmpty() && plan.blocked.contains(numberedName(n)))
            ++n;
        names.append(numberedName(n++));
        wantedByName.insert(names.last(), text);
    }
}

void Planner::resolveChanged(const SavePlan::Reader& reread)
{
    // A file whose stamp is not the one we recorded was changed or put there by someone else. Unless
    // it still holds what we know, this save leaves it exactly as it is and does not use its name:
    // the store takes it in at its next look, and only then may a save replace or move it.
    bool blockedMore = false;
    for (auto it = plan.seen.begin(); it != plan.seen.end();) {
        const auto record = plan.records.constFind(it.key());
        if (record != plan.records.cend() && record->stamp == it.value()) {
            ++it;
            continue;
        }
        const FileRead read = reread(it.key());
        if (resolve(it.key(), read)) {
            it.value() = read.file.stamp;
            ++it;
            continue;
        }
        if (read.outcome == ReadOutcome::Missing) {
            const auto gone = plan.records.constFind(it.key());
            if (gone != plan.records.cend()) {
                plan.vanished.append(gone->text);
                plan.records.erase(gone);
            }
        } else {
            plan.blocked.insert(it.key());
            blockedMore = true;
        }
        plan.outsideChange = true;
        it = plan.seen.erase(it);
    }
    if (blockedMore)
        assignNames();
}

// Whether a file changed outside holds what the save may treat as known; its record is then the
// file as read. Otherwise what the last look recorded stays: the next look reports the change.
bool Planner::resolve(const QByteArray& name, const FileRead& read)
{
    if (read.outcome != ReadOutcome::Read)
        return false;
    const auto record = plan.records.find(name);
    // Touched, copied back or re-linked, but still holding what we know it holds.
    if (record != plan.records.end() && read.file.text == record->text) {
        *record = read.file;
        return true;
    }
    // Put there from outside, holding exactly what this save is about to write there.
    const auto wanted = wantedByName.constFind(name);
    if (record == plan.records.end() && wanted != wantedByName.cend() && read.file.canonical &&
        read.file.text == *wanted) {
        plan.records.insert(name, KnownFile{read.file.stamp, read.file.text, true, false});
        return true;
    }
    return false;
}

void Planner::planWrites()
{
    // A text already in a file keeps that file: in place, or renamed to its new number (a second
    // link staged, so the bytes are never rewritten, whatever their encoding).
    QSet<QByteArray> inPlace;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const auto record = plan.records.constFind(names.at(i));
        if (record != plan.records.cend() && plan.seen.contains(names.at(i)) &&
            (record->text.isSharedWith(wanted.at(i)) || record->text == wanted.at(i)))
            inPlace.insert(names.at(i));
    }
    QHash<QString, QList<QByteArray>> movable;
    for (auto it = plan.seen.cbegin(); it != plan.seen.cend(); ++it) {
        if (!inPlace.contains(it.key()))
            movable[plan.records.value(it.key()).text].append(it.key());
    }
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (inPlace.contains(names.at(i)))
            continue;
        NoteWrite write{names.at(i), wanted.at(i), {}, true, false};
        const auto source = movable.find(wanted.at(i));
        if (source != movable.end() && !source->isEmpty()) {
            write.linkFrom = source->takeLast();
            const KnownFile& record = plan.records[write.linkFrom];
            write.canonical = record.canonical;
            write.lossy = record.lossy;
            moved.insert(write.linkFrom);
        }
        plan.writes.append(write);
    }
}

void Planner::planRemovals()
{
    for (auto it = plan.seen.cbegin(); it != plan.seen.cend(); ++it) {
        if (!wantedByName.contains(it.key()))
            plan.removals.append(it.key());
    }
    // What decoding could not represent exists only in the file itself: keep its bytes before the
    // file is replaced or removed, unless it lives on under another number.
    QList<QByteArray> touched = plan.removals;
    for (const NoteWrite& write : plan.writes)
        touched.append(write.name);
    for (const QByteArray& name : touched) {
        const auto record = plan.records.constFind(name);
        if (record != plan.records.cend() && record->lossy && !moved.contains(name))
            plan.lossyOriginals.append(name);
    }
}

} // namespace

FileStamp FileStamp::of(const struct stat& st)
{
    FileStamp stamp;
    stamp.size = qint64(st.st_size);
    stamp.mtimeNs = nanoseconds(st.st_mtim);
    stamp.ctimeNs = nanoseconds(st.st_ctim);
    stamp.inode = quint64(st.st_ino);
    stamp.device = quint64(st.st_dev);
    stamp.mode = st.st_mode & 07777;
    return stamp;
}

SavePlan SavePlan::make(const std::vector<Entry>& listing, const QSet<QByteArray>& kept, Records records,
                        bool notesRecreated, const QStringList& noteTexts, const Reader& reread)
{
    Planner planner;
    planner.plan.records = std::move(records);
    planner.takeListing(listing, kept, notesRecreated);
    for (const QString& text : noteTexts) {
        if (!isBlank(text))
            planner.wanted.append(text);
    }
    planner.assignNames();
    planner.resolveChanged(reread);
    planner.planWrites();
    planner.planRemovals();
    return std::move(planner.plan);
}

bool SavePlan::isBlank(QStringView text)
{
    // Spaces go first, then the CR LF pairs: what is left is empty exactly when the text without its
    // spaces is a run of CR LF pairs.
    bool expectLf = false;
    for (QChar c : text) {
        if (c == u' ')
            continue;
        if (!expectLf && c == u'\r')
            expectLf = true;
        else if (expectLf && c == u'\n')
            expectLf = false;
        else
            return false;
    }
    return !expectLf;
}

bool SavePlan::isUtf8(const QByteArray& bytes)
{
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return quint8(c) < 0x80; }))
        return true;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // decode() is lazy: the conversion runs only when the result becomes a QString.
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}
