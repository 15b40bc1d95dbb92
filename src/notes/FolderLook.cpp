// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/FolderLook.h"

#include <algorithm>
#include <sys/stat.h>

using namespace FolderFiles;

namespace {

using Change = FolderLook::Change;

bool isNumberedName(const QByteArray& name, QByteArrayView* digits)
{
    if (!name.endsWith(".txt") || name.size() <= 4)
        return false;
    const QByteArrayView stem = QByteArrayView(name).chopped(4);
    for (char c : stem) {
        if (c < '0' || c > '9')
            return false;
    }
    *digits = stem;
    return true;
}

int compareNumbers(QByteArrayView a, QByteArrayView b)
{
    while (a.size() > 1 && a.front() == '0')
        a = a.sliced(1);
    while (b.size() > 1 && b.front() == '0')
        b = b.sliced(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

// A look while it is made: the changes found file by file, then paired up.
struct Looker
{
    SavePlan::Records& records;
    FolderLook::Sightings& sightings;
    qint64 nowMs;
    qint64 wallNs;
    FolderLook::Result result;
    QList<Change> found;
    std::vector<QByteArray> present; // note files known after this look
    QSet<QByteArray> listedNames;

    void lookAt(const Entry& entry, const SavePlan::Reader& reread);
    void forgetUnlisted(const QStringList& vanished);
    void pairMoves();
};

void Looker::lookAt(const Entry& entry, const SavePlan::Reader& reread)
{
    if (!entry.statOk || !S_ISREG(entry.st.st_mode) || !SavePlan::isUtf8(entry.name))
        return;
    const FileStamp stamp = FileStamp::of(entry.st);
    const auto record = records.find(entry.name);
    if (record != records.end() && record->stamp == stamp) {
        present.push_back(entry.name);
        return;
    }
    // A file still being written changes between two looks: it waits for the next one.
    const auto last = sightings.constFind(entry.name);
    const bool settled =
        last != sightings.cend() && last->stamp == stamp &&
        (nowMs - last->atMs >= FolderLook::kSettleMs || wallNs - stamp.mtimeNs > qint64(1000) * 1000 * 1000);
    if (!settled) {
        if (last == sightings.cend() || !(last->stamp == stamp))
            sightings.insert(entry.name, {stamp, nowMs});
        result.unsettled = true;
        if (record != records.end())
            present.push_back(entry.name);
        return;
    }
    FileRead read = reread(entry.name);
    sightings.remove(entry.name);
    if (read.outcome != ReadOutcome::Read || !(read.file.stamp == stamp)) {
        result.unsettled = read.outcome != ReadOutcome::Failed;
        if (record != records.end())
            present.push_back(entry.name);
        return;
    }
    if (record == records.end())
        found.append({Change::Added, {}, read.file.text, {}});
    else if (record->text != read.file.text)
        found.append({Change::Changed, record->text, read.file.text, {}});
    records.insert(entry.name, std::move(read.file));
    present.push_back(entry.name);
}

void Looker::forgetUnlisted(const QStringList& vanished)
{
    for (auto it = records.begin(); it != records.end();) {
        if (listedNames.contains(it.key())) {
            ++it;
            continue;
        }
        found.append({Change::Removed, it->text, {}, {}});
        it = records.erase(it);
    }
    for (const QString& text : vanished)
        found.append({Change::Removed, text, {}, {}});
    for (auto it = sightings.begin(); it != sightings.end();) {
        if (listedNames.contains(it.key()))
            ++it;
        else
            it = sightings.erase(it);
    }
}

bool take(QHash<QString, int>& counts, const QString& text)
{
    const auto it = counts.find(text);
    if (it == counts.end() || it.value() == 0)
        return false;
    --it.value();
    return true;
}

void Looker::pairMoves()
{
    // A text that left one name and arrived at another was moved, not changed: another copy of the
    // application renumbered its files.
    QHash<QString, int> gone;
    QHash<QString, int> came;
    for (const Change& change : found) {
        if (change.kind != Change::Added)
            ++gone[change.before];
        if (change.kind != Change::Removed)
            ++came[change.after];
    }
    QHash<QString, int> movedGone;
    for (auto it = gone.cbegin(); it != gone.cend(); ++it) {
        const int both = qMin(it.value(), came.value(it.key()));
        if (both > 0)
            movedGone.insert(it.key(), both);
    }
    QHash<QString, int> movedCame = movedGone;
    QHash<QString, QString> previousOf;
    std::sort(present.begin(), present.end(), &FolderLook::lessInFolderOrder);
    QString previous;
    for (const QByteArray& name : present) {
        const QString& text = records[name].text;
        if (!previousOf.contains(text))
            previousOf.insert(text, previous);
        previous = text;
        if (!movedGone.isEmpty())
            result.order.append(text);
    }
    for (Change change : found) {
        const bool leftAlone = change.kind != Change::Added && take(movedGone, change.before);
        const bool cameAlone = change.kind != Change::Removed && take(movedCame, change.after);
        if (change.kind == Change::Changed && leftAlone != cameAlone) {
            change.kind = leftAlone ? Change::Added : Change::Removed;
        } else if (leftAlone || cameAlone) {
            continue;
        }
        if (change.kind != Change::Removed)
            change.previous = previousOf.value(change.after);
        result.changes.append(change);
    }
}

} // namespace

FolderLook::Result FolderLook::compare(const std::vector<Entry>& listing, const QSet<QByteArray>& kept,
                                       SavePlan::Records* records, Sightings* sightings,
                                       const QStringList& vanished, qint64 nowMs, qint64 wallNs,
                                       const SavePlan::Reader& reread)
{
    Looker looker{*records, *sightings, nowMs, wallNs, {}, {}, {}, {}};
    for (const Entry& entry : listing) {
        if (isHidden(entry.name) || kept.contains(entry.name))
            continue;
        looker.listedNames.insert(entry.name);
        looker.lookAt(entry, reread);
    }
    looker.forgetUnlisted(vanished);
    looker.pairMoves();
    return looker.result;
}

bool FolderLook::lessInFolderOrder(const QByteArray& a, const QByteArray& b)
{
    QByteArrayView digitsA;
    QByteArrayView digitsB;
    const bool numberedA = isNumberedName(a, &digitsA);
    const bool numberedB = isNumberedName(b, &digitsB);
    if (numberedA != numberedB)
        return numberedA;
    if (numberedA) {
        const int byNumber = compareNumbers(digitsA, digitsB);
        if (byNumber != 0)
            return byNumber < 0;
    }
    return a < b;
}
