// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteStore.h"

#include "notes/NoteSearch.h"
#include "notes/TextMetrics.h"

#include <algorithm>
#include <vector>

namespace {
// A save that keeps meeting files changed outside while it runs gives up after this many rounds; what
// it left alone is taken in by the next look.
constexpr int kSaveAttempts = 3;
// Kind of the writer's jobs that a newer one of the same kind replaces while it waits.
constexpr int kSaveJob = 1;
} // namespace

NoteStore::NoteStore(std::unique_ptr<NoteFolder> folder, QObject* parent)
    : QObject(parent),
      m_folder(std::move(folder)), m_texts{QString()}, m_entries{kEmptyEntry}, m_base{QString()},
      m_notesPath(m_folder->notesPath()), m_writer(std::make_unique<NoteWriter>())
{
    m_ids = {newId()};
}

NoteStore::~NoteStore() = default;

QString NoteStore::entryFor(const QString& text)
{
    // Not the save's blank test: only spaces at the ends count here, so a note of CR LF, spaces and
    // CR LF keeps a blank-looking title although the save skips it. Read in place: this runs after
    // every key, and a note can be megabytes long.
    QStringView rest(text);
    while (!rest.isEmpty() && rest.front() == u' ')
        rest = rest.sliced(1);
    while (!rest.isEmpty() && rest.back() == u' ')
        rest.chop(1);
    bool blank = rest.size() % 2 == 0;
    for (qsizetype i = 0; blank && i < rest.size(); i += 2)
        blank = rest[i] == u'\r' && rest[i + 1] == u'\n';
    return blank ? kEmptyEntry : NoteTitle(text);
}

void NoteStore::setEntry(int index, const QString& entry)
{
    if (m_entries.at(index) == entry)
        return;
    m_entries[index] = entry;
    emit entryChanged(index, entry);
}

void NoteStore::setCurrent(int index)
{
    if (m_current == index)
        return;
    m_current = index;
    emit currentChanged(index);
}

void NoteStore::reset()
{
    forgetUndo();
    m_texts = QStringList{QString()};
    m_entries = QStringList{kEmptyEntry};
    m_base = QStringList{QString()};
    m_ids = {newId()};
    emit entriesReset(m_entries);
    setCurrent(0);
}

void NoteStore::load()
{
    m_loadPending = false;
    appendFolderNotes(m_folder->load());
    setCurrent(0);
    emit editorTextReplaced(m_texts.at(0));
}

void NoteStore::loadWhenNeeded()
{
    m_loadPending = true;
    setCurrent(0);
    emit editorTextReplaced(m_texts.at(0));
}

void NoteStore::loadInBackground()
{
    if (!m_loadPending || m_loadPosted)
        return;
    m_loadPosted = true;
    NoteFolder* folder = m_folder.get();
    m_writer->post([this, folder]() -> NoteWriter::Reply {
        return [this, loaded = folder->load()] { tookLoad(loaded); };
    });
}

void NoteStore::tookLoad(const NoteFolder::LoadResult& loaded)
{
    m_loadPending = false;
    m_loadPosted = false;
    appendFolderNotes(loaded);
    // A save asked for meanwhile writes the whole list now; before, it would have written the folder
    // without the notes still on their way.
    if (m_saveWanted && !m_lookPending) {
        m_saveWanted = false;
        postSave(true);
    }
}

void NoteStore::ensureLoaded() const
{
    // Reading the folder changes what the store holds but not what it is: the getters stay const.
    if (!m_loadPending)
        return;
    auto* self = const_cast<NoteStore*>(this);
    if (m_loadPosted) {
        self->waitForWrites(); // the load's reply takes its notes in
        return;
    }
    self->m_loadPending = false;
    self->appendFolderNotes(self->m_folder->load());
}

void NoteStore::appendFolderNotes(const NoteFolder::LoadResult& loaded)
{
    QStringList titles;
    titles.reserve(loaded.texts.size());
    for (const QString& text : loaded.texts)
        titles.append(NoteTitle(text));
    m_texts.append(loaded.texts);
    m_entries.append(titles);
    m_base.append(loaded.texts);
    for (qsizetype i = 0; i < loaded.texts.size(); ++i) {
        m_ids.append(newId());
        if (!NoteFolder::isBlankForSave(loaded.texts.at(i)))
            m_savedOrder.append(m_ids.back());
    }
    if (!titles.isEmpty())
        emit entriesAdded(titles);
}

bool NoteStore::save()
{
    ensureLoaded();
    // What changed outside is taken in first: a save never writes over what the store has not seen.
    // A file changed while the save ran is left alone by it; then the store looks and saves again.
    followFolder();
    for (int attempt = 1;; ++attempt) {
        postSave(false);
        waitForWrites();
        if (!m_lastSaveOk)
            return false;
        if (!m_lastSaveSawOutside || attempt == kSaveAttempts)
            break;
        followFolder();
    }
    return true;
}

void NoteStore::saveLater()
{
    // Typing while the disk has not answered the load yet must not wait for it.
    if (m_loadPosted) {
        m_saveWanted = true;
        return;
    }
    ensureLoaded();
    // The look's findings change the texts: a save given before they are in would write the folder
    // as the store saw it before, over what the look found.
    if (m_lookPending) {
        m_saveWanted = true;
        return;
    }
    postSave(true);
}

void NoteStore::postSave(bool chase)
{
    // Copies share their data until the store changes a text: taking them costs nothing.
    const QStringList texts = m_texts;
    const QList<quint64> ids = m_ids;
    NoteFolder* folder = m_folder.get();
    m_writer->post(
        [this, folder, texts, ids, chase]() -> NoteWriter::Reply {
            const bool ok = folder->save(texts);
            const NoteFolder::Failure failure = folder->lastFailure();
            const bool outside = folder->sawOutsideChange();
            return [this, texts, ids, ok, failure, outside, chase] {
                tookSave(ids, texts, ok, failure, outside, chase);
            };
        },
        kSaveJob, saveWeight());
}

NoteWriter::Weight NoteStore::saveWeight() const
{
    // A save moves every note whose place among the saved ones changed: a new note at the top of a
    // thousand moves them all.
    constexpr int kHeavyMoves = 64;
    int moved = 0;
    qsizetype rank = 0;
    for (qsizetype i = 0; i < m_texts.size() && moved <= kHeavyMoves; ++i) {
        if (NoteFolder::isBlankForSave(m_texts.at(i)))
            continue;
        if (rank >= m_savedOrder.size() || m_savedOrder.at(rank) != m_ids.at(i))
            ++moved;
        ++rank;
    }
    return moved > kHeavyMoves ? NoteWriter::Weight::Heavy : NoteWriter::Weight::Light;
}

void NoteStore::tookSave(const QList<quint64>& ids, const QStringList& texts, bool ok,
                         const NoteFolder::Failure& failure, bool outsideChange, bool chase)
{
    m_lastSaveOk = ok;
    m_lastSaveSawOutside = ok && outsideChange;
    m_lastFailure = failure;
    if (!ok) {
        tellFailure(failure);
        return;
    }
    m_toldFailures.clear();
    m_savedOrder.clear();
    for (qsizetype k = 0; k < ids.size(); ++k) {
        if (!NoteFolder::isBlankForSave(texts.at(k)))
            m_savedOrder.append(ids.at(k));
    }
    // The folder holds what was written, for the notes still here, wherever they are now. Mostly
    // the list is as it was when the save was given, and what was written is the base as a whole.
    if (ids == m_ids) {
        m_base = texts;
    } else {
        QHash<quint64, qsizetype> indexOf;
        indexOf.reserve(m_ids.size());
        for (qsizetype i = 0; i < m_ids.size(); ++i)
            indexOf.insert(m_ids.at(i), i);
        for (qsizetype k = 0; k < ids.size(); ++k) {
            const auto it = indexOf.constFind(ids.at(k));
            if (it != indexOf.cend())
                m_base[*it] = texts.at(k);
        }
    }
    if (chase && outsideChange) {
        m_saveWanted = true;
        followFolderLater();
    }
}

QStringList NoteStore::unsavedTexts() const
{
    ensureLoaded();
    QStringList unsaved;
    for (qsizetype i = 0; i < m_texts.size(); ++i) {
        const QString& text = m_texts.at(i);
        if (!NoteFolder::isBlankForSave(text) && (m_base.at(i).isNull() || m_base.at(i) != text))
            unsaved.append(text);
    }
    return unsaved;
}

void NoteStore::appendNotes(const QStringList& texts)
{
    ensureLoaded();
    if (!texts.isEmpty())
        forgetUndo();
    QStringList entries;
    for (const QString& text : texts) {
        m_texts.append(text);
        m_base.append(QString());
        m_ids.append(newId());
        m_entries.append(entryFor(text));
        entries.append(m_entries.constLast());
    }
    if (!entries.isEmpty())
        emit entriesAdded(entries);
}

void NoteStore::tellFailure(const NoteFolder::Failure& failure)
{
    if (failure.kind == NoteFolder::Failure::None || m_toldFailures.contains(failure.kind))
        return;
    m_toldFailures.append(failure.kind);
    emit folderFailed(failure);
}

void NoteStore::recycle(const QStringList& texts)
{
    // On the writer's thread too, in turn: the save that drops these notes from the folder comes
    // after their copies, which the folder waits for in any case.
    NoteFolder* folder = m_folder.get();
    m_writer->post([this, folder, texts]() -> NoteWriter::Reply {
        if (folder->recycle(texts))
            return {};
        return [this, failure = folder->lastFailure()] {
            m_lastFailure = failure;
            tellFailure(failure);
        };
    });
}

void NoteStore::commit(const std::optional<QString>& editedText)
{
    if (!hasCurrentNote())
        return;
    if (editedText) {
        // Typed since the last commit: the list is no longer the one the removal left.
        m_texts[m_current] = *editedText;
        forgetUndo();
    }
    setEntry(m_current, entryFor(m_texts.at(m_current)));
}

bool NoteStore::open(int index)
{
    if (index < 0 || index > NoteCount() - 1)
        return false;
    setCurrent(index);
    emit editorTextReplaced(m_texts.at(index));
    return true;
}

void NoteStore::appendEmptyNote()
{
    ensureLoaded();
    forgetUndo();
    m_texts.append(QString());
    m_base.append(QString());
    m_ids.append(newId());
    m_entries.append(kEmptyEntry);
    emit entriesAdded(QStringList{kEmptyEntry});
    setCurrent(NoteCount() - 1);
}

void NoteStore::addNote()
{
    appendEmptyNote();
    emit editorTextReplaced(QString());
}

bool NoteStore::adoptEditor()
{
    if (m_current >= 0)
        return false;
    appendEmptyNote();
    return true;
}

NoteStore::Removal NoteStore::removeNote(int index, AfterRemoval rule)
{
    if (index < 0 || index > NoteCount() - 1)
        return Removal::None;
    // Told before anything changes: a failure message may run other handlers while it is up.
    recycle({m_texts.at(index)});
    if (index > NoteCount() - 1)
        return Removal::None;
    Undo undo{{m_texts.at(index)}, {m_entries.at(index)}, index, m_current, false, NoteCount() == 1};
    if (NoteCount() == 1) {
        m_texts[0] = QString();
        m_base[0] = QString();
        m_ids[0] = newId();
        setEntry(0, kUntitledEntry);
        setCurrent(0);
        emit editorTextReplaced(QString());
        keepForUndo(std::move(undo));
        return Removal::OnlyNoteBlanked;
    }
    const bool last = index == NoteCount() - 1;
    m_texts.removeAt(index);
    m_entries.removeAt(index);
    m_base.removeAt(index);
    m_ids.removeAt(index);
    emit entryRemoved(index);
    keepForUndo(std::move(undo));
    if (last || rule == AfterRemoval::ShowFirstNote) {
        // Note 0 comes back as it is stored: the next commit keeps its text unchanged.
        setCurrent(0);
        emit editorTextReplaced(m_texts.at(0));
        return last ? Removal::LastRemoved : Removal::Removed;
    }
    if (index < m_current) {
        setCurrent(m_current - 1);
    } else if (index == m_current) {
        setCurrent(-1);
        emit editorTextReplaced(QString());
    }
    return Removal::Removed;
}

void NoteStore::clearNotes()
{
    ensureLoaded();
    recycle(m_texts);
    Undo undo{m_texts, m_entries, 0, m_current, true, false};
    reset();
    emit editorTextReplaced(QString());
    keepForUndo(std::move(undo));
}

void NoteStore::keepForUndo(Undo undo)
{
    m_undo = std::move(undo);
    emit undoableChanged(undoableCount(), m_undo.cleared);
}

void NoteStore::forgetUndo()
{
    if (m_undo.texts.isEmpty())
        return;
    m_undo = Undo();
    emit undoableChanged(0, false);
}

bool NoteStore::undoRemoval()
{
    if (m_undo.texts.isEmpty())
        return false;
    const Undo undo = std::move(m_undo);
    m_undo = Undo();
    // Null bases: the folder may no longer hold them (a save since has dropped their files), so
    // they count as unsaved until the next save writes them again.
    if (undo.cleared) {
        // Clearing left one empty note, untouched since (a change would have ended the undo).
        m_texts = undo.texts;
        m_entries = undo.entries;
        m_base = QStringList(undo.texts.size(), QString());
        m_ids.clear();
        for (qsizetype i = 0; i < undo.texts.size(); ++i)
            m_ids.append(newId());
        emit entriesReset(m_entries);
    } else if (undo.blanked) {
        m_texts[0] = undo.texts.first();
        m_base[0] = QString();
        m_ids[0] = newId();
        setEntry(0, undo.entries.first());
    } else {
        const int index = undo.index;
        m_texts.insert(index, undo.texts.first());
        m_entries.insert(index, undo.entries.first());
        m_base.insert(index, QString());
        m_ids.insert(index, newId());
        if (index == m_texts.size() - 1)
            emit entriesAdded({undo.entries.first()});
        else
            emit entriesReset(m_entries);
    }
    // The editor goes back to the note it showed before the removal.
    const int current = undo.current >= 0 && undo.current < m_texts.size() ? undo.current : -1;
    // Told even when the index is the same: the note at it may not be.
    m_current = current;
    emit currentChanged(current);
    emit editorTextReplaced(current >= 0 ? m_texts.at(current) : QString());
    emit undoableChanged(0, false);
    return true;
}

const QList<int>& NoteStore::search(const QString& needle)
{
    ensureLoaded();
    m_searchHits = searchNotes(m_texts, needle);
    return m_searchHits;
}

int NoteStore::noteOnDisk(const QString& text) const
{
    int edited = -1;
    for (int i = 0; i < m_base.size(); ++i) {
        if (m_base.at(i).isNull() || m_base.at(i) != text)
            continue;
        if (m_texts.at(i) == text)
            return i;
        if (edited < 0)
            edited = i;
    }
    return edited;
}

void NoteStore::insertFromFolder(int index, const QString& text, const QString& entry)
{
    m_texts.insert(index, text);
    m_base.insert(index, text);
    m_ids.insert(index, newId());
    m_entries.insert(index, entry);
    if (m_current >= index)
        ++m_current;
}

void NoteStore::removeFromFolder(int index, bool signal)
{
    recycle({m_texts.at(index)});
    if (m_texts.size() == 1) {
        m_texts[0] = QString();
        m_base[0] = QString();
        m_ids[0] = newId();
        m_entries[0] = kEmptyEntry;
        if (signal)
            emit entryChanged(0, kEmptyEntry);
        if (m_current == 0)
            emit editorTextReplaced(QString());
        return;
    }
    m_texts.removeAt(index);
    m_base.removeAt(index);
    m_ids.removeAt(index);
    m_entries.removeAt(index);
    if (signal)
        emit entryRemoved(index);
    if (index == m_current) {
        m_current = -1;
        emit editorTextReplaced(QString());
    } else if (index < m_current) {
        --m_current;
    }
}

bool NoteStore::followFolder()
{
    if (m_loadPending)
        return false; // the load reads the folder as it is
    waitForWrites();
    // The writer is idle and stays so until this thread gives it something.
    return applyLook(m_folder->look());
}

void NoteStore::followFolderLater()
{
    if (m_loadPending)
        return;
    // One look at a time; a change seen while one runs may have come after it looked.
    if (m_lookPending) {
        m_lookWanted = true;
        return;
    }
    m_lookPending = true;
    NoteFolder* folder = m_folder.get();
    m_writer->post(
        [this, folder]() -> NoteWriter::Reply { return [this, look = folder->look()] { tookLook(look); }; });
}

void NoteStore::tookLook(const NoteFolder::LookResult& look)
{
    if (!look.changes.isEmpty() || !look.order.isEmpty())
        emit aboutToTakeOutsideChanges();
    const bool unsettled = applyLook(look);
    m_lookPending = false;
    if (m_lookWanted) {
        m_lookWanted = false;
        followFolderLater();
    } else if (m_saveWanted) {
        m_saveWanted = false;
        postSave(true);
    }
    if (unsettled)
        emit folderUnsettled();
}

bool NoteStore::takeFolderOrder(const QStringList& order)
{
    // The notes that have a file take the places the list gives notes with files, in the folder's
    // order; a note never saved keeps its own place. A text held twice takes its ranks in turn.
    QHash<QString, QList<int>> ranks;
    for (int rank = 0; rank < order.size(); ++rank)
        ranks[order.at(rank)].append(rank);
    std::vector<std::pair<int, int>> ranked; // (rank in the folder, note index)
    for (int i = 0; i < m_base.size(); ++i) {
        if (m_base.at(i).isNull())
            continue;
        const auto it = ranks.find(m_base.at(i));
        if (it == ranks.end() || it->isEmpty())
            continue;
        ranked.emplace_back(it->takeFirst(), i);
    }
    std::vector<int> places;
    places.reserve(ranked.size());
    for (const auto& [rank, index] : ranked)
        places.push_back(index);
    std::sort(ranked.begin(), ranked.end());
    bool moved = false;
    for (std::size_t k = 0; k < ranked.size(); ++k)
        moved = moved || ranked[k].second != places[k];
    if (!moved)
        return false;
    const QStringList texts = m_texts;
    const QStringList base = m_base;
    const QList<quint64> ids = m_ids;
    const QStringList entries = m_entries;
    const int current = m_current;
    for (std::size_t k = 0; k < ranked.size(); ++k) {
        const int from = ranked[k].second;
        const int to = places[k];
        m_texts[to] = texts.at(from);
        m_base[to] = base.at(from);
        m_ids[to] = ids.at(from);
        m_entries[to] = entries.at(from);
        if (from == current)
            m_current = to;
    }
    return true;
}

bool NoteStore::applyLook(const NoteFolder::LookResult& look)
{
    const int current = m_current;
    // Once a note is put between others the list is sent again as a whole, at the end.
    bool resetting = false;
    const auto placeAfter = [this](const QString& previous) {
        if (previous.isNull())
            return NoteFolder::isBlankForSave(m_texts.at(0)) ? 1 : 0;
        const int before = noteOnDisk(previous);
        return before < 0 ? int(m_texts.size()) : before + 1;
    };
    const auto insert = [&](int index, const QString& text, const QString& entry) {
        insertFromFolder(index, text, entry);
        if (resetting || index < m_texts.size() - 1)
            resetting = true;
        else
            emit entriesAdded(QStringList{entry});
    };
    for (const NoteFolder::Change& change : look.changes) {
        switch (change.kind) {
        case NoteFolder::Change::Added:
            insert(placeAfter(change.previous), change.after, entryFor(change.after));
            break;
        case NoteFolder::Change::Changed: {
            const int i = noteOnDisk(change.before);
            if (i < 0) {
                insert(placeAfter(change.previous), change.after, entryFor(change.after));
            } else if (m_texts.at(i) == change.before) {
                m_texts[i] = change.after;
                m_base[i] = change.after;
                if (resetting)
                    m_entries[i] = entryFor(change.after);
                else
                    setEntry(i, entryFor(change.after));
                if (i == m_current)
                    emit editorTextReplaced(change.after);
            } else {
                // Both sides changed the note: ours stays as typed, theirs comes right after it.
                m_base[i] = QString();
                insert(i + 1, change.after, kOutsideEntryPrefix + entryFor(change.after));
            }
            break;
        }
        case NoteFolder::Change::Removed: {
            const int i = noteOnDisk(change.before);
            if (i < 0)
                break;
            if (m_texts.at(i) == change.before)
                removeFromFolder(i, !resetting);
            else
                m_base[i] = QString(); // edited here: kept, and saved again as a note of its own
            break;
        }
        }
    }
    if (takeFolderOrder(look.order))
        resetting = true;
    if (!look.changes.isEmpty() || resetting)
        forgetUndo();
    if (resetting)
        emit entriesReset(m_entries);
    if (m_current != current || resetting)
        emit currentChanged(m_current);
    return look.unsettled;
}
