// SPDX-License-Identifier: GPL-3.0-or-later
// Note list, selection, editing and search of the main window.
#include "shell/FrmMain.h"

#include "widgets/Accessibility.h"
#include "widgets/Controls.h"
#include "widgets/ImageButton.h"
#include "widgets/ListBoxW.h"
#include "widgets/Palette.h"
#include "widgets/SButton.h"
#include "widgets/Surface.h"
#include "widgets/TextBoxW.h"
#include "widgets/Twips.h"

#include <QAccessible>
#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

namespace {
const QString kLedgerHeader = QStringLiteral("%记账");
} // namespace

void FrmMain::CommitEditor()
{
    // While a note is being shown the editor holds no edit of any note.
    if (m_showingNote || !m_notes->hasCurrentNote())
        return;
    // A note only looked at is not taken back out of the text box, which would change some of its
    // characters; nor is one whose text was already taken since the last edit.
    const int revision = Text1->document()->revision();
    std::optional<QString> edited;
    if (revision != m_committedRevision) {
        edited = Text1->text();
        m_committedRevision = revision;
    }
    m_notes->commit(edited);
}

void FrmMain::showNoteEntries(const QStringList& entries)
{
    if (!List1)
        return; // filled when it is built
    List1->Clear();
    List1->AddItems(entries);
}

namespace {
qsizetype longestLine(const QString& text)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text.at(i) == u'\r' || text.at(i) == u'\n') {
            longest = qMax(longest, i - start);
            start = i + 1;
        }
    }
    return longest;
}
} // namespace

void FrmMain::showInEditor(const QString& text)
{
    const bool tooLong = longestLine(text) > kLongestEditableLine;
    m_showingNote = true;
    Text1->setReadOnly(tooLong);
    Text1->setText(text);
    m_showingNote = false;
    // What the editor shows is the note's own text: nothing to take back until it is edited.
    m_committedRevision = Text1->document()->revision();
    if (tooLong) {
        // After the note is open and the list closed, so the message is about what the user sees.
        QTimer::singleShot(0, this, [this] {
            showMessage(
                QStringLiteral("便笺只读"),
                QStringLiteral("这条便笺有一行超过 %1 个字符，逐字编辑会非常缓慢，因此只能查看和复制。\r\n"
                               "便笺的内容完整保留，保存时不会被截断。")
                    .arg(kLongestEditableLine));
        });
    }
}

void FrmMain::autoSaveAfterEdit()
{
    const int characters = Text1->document()->characterCount();
    if (characters <= kGatheredSaveChars) {
        autoSaveAfterPaint();
        return;
    }
    if (characters <= kPausedSaveChars) {
        // Each save of a long note writes all of it: the keys of the next moment share one, and
        // the save still follows within a tenth of a second.
        if (!m_gatheredTypingSave) {
            m_gatheredTypingSave = new QTimer(this);
            m_gatheredTypingSave->setSingleShot(true);
            m_gatheredTypingSave->setInterval(kGatheredSaveMs);
            connect(m_gatheredTypingSave, &QTimer::timeout, this, &FrmMain::autoSaveAfterPaint);
        }
        if (!m_gatheredTypingSave->isActive())
            m_gatheredTypingSave->start();
        return;
    }
    if (!m_pausedTypingSave) {
        m_pausedTypingSave = new QTimer(this);
        m_pausedTypingSave->setSingleShot(true);
        m_pausedTypingSave->setInterval(kPausedSaveMs);
        connect(m_pausedTypingSave, &QTimer::timeout, this, &FrmMain::autoSaveNow);
    }
    m_pausedTypingSave->start();
}

void FrmMain::adoptEditorAsNewNote()
{
    if (!Text1->document()->isEmpty())
        m_notes->adoptEditor();
}

void FrmMain::editorChanged()
{
    if (!m_showingNote)
        adoptEditorAsNewNote();
    // Only the first line and emptiness matter here: the whole text of a huge note is not taken out
    // of the text box on every key.
    if (!Text1->document()->firstBlock().text().startsWith(kLedgerHeader))
        m_accountingActive = false;
    if (m_autoSave && !Text1->document()->isEmpty())
        autoSaveAfterEdit();
}

void FrmMain::showNote(int index)
{
    // The note in the editor keeps what was typed before the other one comes in.
    CommitEditor();
    m_notes->open(index);
}

void FrmMain::OpenSelectedNote()
{
    const int selected = selectedNote();
    if (selected < 0 || selected > NoteCount() - 1)
        return;
    showNote(selected);
    Picture1_Click();
    Text1->setFocus();
    m_accountingActive = Text1->text().startsWith(kLedgerHeader);
}

void FrmMain::leaveNoteList(NoteTrigger trigger)
{
    if (trigger == NoteTrigger::Button) {
        // The button was clicked on the open list: toggling closes it.
        Picture1_Click();
    } else {
        Text1->setEnabled(true);
        if (Picture7)
            Picture7->hide();
    }
}

void FrmMain::addNote(NoteTrigger trigger)
{
    // The list commits the editor when it opens; the key comes straight from typing.
    if (trigger == NoteTrigger::Key)
        CommitEditor();
    m_notes->addNote();
    leaveNoteList(trigger);
    if (trigger == NoteTrigger::Button)
        Text1->setFocus();
}

void FrmMain::removeNote(NoteTrigger trigger)
{
    // The key does not commit first: what was typed into another note since its last commit gives
    // way to note 0.
    const NoteStore::Removal removal = m_notes->removeNote(
        selectedNote(), trigger == NoteTrigger::Button ? NoteStore::AfterRemoval::FollowCurrent
                                                       : NoteStore::AfterRemoval::ShowFirstNote);
    if (removal == NoteStore::Removal::None)
        return;
    if (trigger == NoteTrigger::Button) {
        // Only the only note closes the list; otherwise it stays open for the next removal.
        if (removal == NoteStore::Removal::OnlyNoteBlanked)
            Picture1_Click();
        else
            List1->setListIndex(removal == NoteStore::Removal::LastRemoved ? 0 : -1);
        return;
    }
    if (removal == NoteStore::Removal::OnlyNoteBlanked)
        Picture1_Click();
    if (List1)
        List1->setListIndex(-1);
    leaveNoteList(trigger);
    CommitEditor();
}

void FrmMain::clearNotes(NoteTrigger trigger)
{
    m_notes->clearNotes();
    leaveNoteList(trigger);
}

void FrmMain::AddNote()
{
    resetPicture8Hover();
    addNote(NoteTrigger::Button);
}

void FrmMain::RemoveSelectedNote()
{
    resetPicture8Hover();
    removeNote(NoteTrigger::Button);
}

void FrmMain::ClearNotes()
{
    resetPicture8Hover();
    clearNotes(NoteTrigger::Button);
}

void FrmMain::searchGotFocus()
{
    Text2->setForeColor(Qt::black);
    if (Text2->text() == Text2->tag())
        Text2->setText(QString());
}

void FrmMain::searchLostFocus()
{
    Text2->setForeColor(QColor(128, 128, 128));
    if (Text2->text().isEmpty())
        Text2->setText(Text2->tag());
}

void FrmMain::searchChanged()
{
    const QString needle = Text2->text();
    if (needle.isEmpty() || needle == Text2->tag()) {
        List1->show();
        ListSearch->hide();
        for (ImageButton* button : Picture8)
            button->setEnabled(true);
        return;
    }
    for (ImageButton* button : Picture8)
        button->setEnabled(false);
    List1->hide();
    ListSearch->show();
    ListSearch->Clear();
    const QList<int>& hits = m_notes->search(needle);
    QStringList titles;
    titles.reserve(hits.size());
    for (int i : hits)
        titles.append(m_notes->entries().at(i));
    ListSearch->AddItems(titles);
}

void FrmMain::OpenSearchHit()
{
    const int row = ListSearch->ListIndex();
    const int hit = m_notes->searchHit(row);
    if (ListSearch->ListCount() == 0 || hit < 0)
        return;
    List1->setListIndex(hit);
    const int selected = List1->ListIndex();
    if (selected < 0 || selected > NoteCount() - 1)
        return;
    showNote(selected);
    Picture7->hide();
    Text1->setEnabled(true);
    Text1->setFocus();
}

void FrmMain::noteListKey(int keyCode)
{
    switch (keyCode) {
    case 13: // Return
    case 32: // Space
        OpenSelectedNote();
        break;
    case 46: // Delete, as the remove button
        RemoveSelectedNote();
        // Removing the only note closes the list: the keyboard goes back to the editor.
        if (!noteListOpen() && Text1->isEnabled())
            Text1->setFocus(Qt::OtherFocusReason);
        break;
    default:
        break;
    }
}

void FrmMain::ensureUndoBar()
{
    if (UndoBar)
        return;
    using Twips::px;
    using Twips::tw;
    // Across the foot of the notes page, below where the note list ends, over the editor's last lines.
    const double pageWidth = tw(Picture6[0]->width());
    const double pageHeight = tw(Picture6[0]->height());
    UndoBar = new Surface(Picture6[0], Palette::grey);
    UndoBar->setObjectName(QStringLiteral("UndoBar"));
    UndoBar->setProperty(Accessibility::kStatusMessage, true);
    UndoBar->setGeometry(px(120), px(pageHeight - 600), px(pageWidth - 240), px(480));
    UndoBar->hide();
    UndoLabel = Controls::label(UndoBar, QStringLiteral("UndoLabel"), QString(), Qt::white,
                                Controls::font(QStringLiteral("微软雅黑"), 10.5));
    UndoLabel->setGeometry(px(180), 0, px(pageWidth - 240 - 180 - 1020), px(480));
    UndoLabel->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    UndoButton = Controls::flatButton(UndoBar, QStringLiteral("UndoButton"), QStringLiteral("撤销"),
                                      Controls::font(QStringLiteral("微软雅黑"), 9), 0xFFFFFF,
                                      Twips::rect(pageWidth - 240 - 900, 105, 780, 270));
    UndoButton->setToolTip(QStringLiteral("撤销(Ctrl+Z)"));
    m_undoOffer = new QTimer(this);
    m_undoOffer->setSingleShot(true);
    m_undoOffer->setInterval(kUndoOfferMs);
    connect(m_undoOffer, &QTimer::timeout, m_notes.get(), &NoteStore::forgetUndo);
    connect(UndoButton, &SButton::Click, this, &FrmMain::UndoRemoval);
    chainTabOrder();
}

void FrmMain::offerUndo(int count, bool cleared)
{
    if (count == 0) {
        if (UndoBar) {
            // The keyboard stays in the window: where it would have gone had the bar never been.
            const bool hadFocus = UndoBar->isAncestorOf(focusWidget());
            UndoBar->hide();
            m_undoOffer->stop();
            if (hadFocus)
                (noteListOpen() ? static_cast<QWidget*>(List1) : Text1)->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    ensureUndoBar();
    const QString said =
        (cleared ? QStringLiteral("已清空 %1 条便笺") : QStringLiteral("已移除 %1 条便笺")).arg(count);
    UndoLabel->setText(said);
    UndoBar->setAccessibleName(said);
    UndoBar->show();
    UndoBar->raise();
    m_undoOffer->start();
    // A status message for a screen reader: the bar appeared with a name that says what went.
    if (QAccessible::isActive()) {
        QAccessibleEvent shown(UndoBar, QAccessible::Alert);
        QAccessible::updateAccessibility(&shown);
    }
}

void FrmMain::UndoRemoval()
{
    // Something typed since the removal is a change of the list: the commit ends the offer.
    CommitEditor();
    m_notes->undoRemoval();
}
