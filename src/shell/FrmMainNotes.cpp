// Note list, selection, editing and search of the main window.
#include "shell/FrmMain.h"

#include "notes/NoteFolder.h"
#include "notes/NoteSearch.h"
#include "notes/TextMetrics.h"
#include "widgets/ImageButton.h"
#include "widgets/ListBoxW.h"
#include "widgets/Surface.h"
#include "widgets/TextBoxW.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

namespace {
const QString kEmptyEntry = QStringLiteral("#无内容#");
const QString kUntitledEntry = QStringLiteral("#无标题#");
const QString kLedgerHeader = QStringLiteral("%记账");

// The list's blank test: spaces trimmed at both ends, then every CR LF pair removed.
bool blankForList(const QString& text)
{
    return trimSpaces(text).remove(QStringLiteral("\r\n")).isEmpty();
}
} // namespace

QString FrmMain::entryFor(const QString& text) const
{
    return blankForList(text) ? kEmptyEntry : NoteTitle(text);
}

void FrmMain::CommitEditor()
{
    // While a note is being shown the editor holds no edit of any note.
    if (m_showingNote || m_currentNote < 0 || m_currentNote > NoteCount() - 1)
        return;
    const int revision = Text1->document()->revision();
    if (!m_editorPristine && revision != m_committedRevision) {
        m_noteTexts[m_currentNote] = Text1->text();
        m_committedRevision = revision;
    }
    List1->setList(m_currentNote, entryFor(m_noteTexts.at(m_currentNote)));
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
    m_editorPristine = true;
    m_committedRevision = -1;
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
    if (Text1->document()->characterCount() <= kPausedSaveChars) {
        autoSaveNow();
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
    if (m_currentNote >= 0 || Text1->document()->isEmpty())
        return;
    m_noteTexts.append(QString());
    List1->AddItem(kEmptyEntry);
    m_currentNote = NoteCount() - 1;
}

void FrmMain::editorChanged()
{
    if (!m_showingNote) {
        m_editorPristine = false;
        adoptEditorAsNewNote();
    }
    // Only the first line and emptiness matter here: the whole text of a huge note is not taken out
    // of the text box on every key.
    if (!Text1->document()->firstBlock().text().startsWith(kLedgerHeader))
        m_accountingActive = false;
    if (m_autoSave && !Text1->document()->isEmpty())
        autoSaveAfterEdit();
}

void FrmMain::recycleTexts(const QStringList& texts)
{
    // A failed copy is kept and written by the next save, which leaves Notes alone until then.
    if (!m_folder->recycle(texts))
        reportFolderFailure();
}

void FrmMain::showNote(int index)
{
    // The note in the editor keeps what was typed before the other one comes in.
    CommitEditor();
    m_currentNote = index;
    showInEditor(m_noteTexts.at(m_currentNote));
}

void FrmMain::OpenSelectedNote()
{
    const int selected = List1->ListIndex();
    if (selected < 0 || selected > NoteCount() - 1)
        return;
    showNote(selected);
    Picture1_Click();
    Text1->setFocus();
    m_accountingActive = Text1->text().startsWith(kLedgerHeader);
}

void FrmMain::AddNote()
{
    resetPicture8Hover();
    m_noteTexts.append(QString());
    List1->AddItem(kEmptyEntry);
    Text1->setText(QString());
    m_currentNote = NoteCount() - 1;
    Picture1_Click();
    Text1->setFocus();
}

void FrmMain::RemoveSelectedNote()
{
    resetPicture8Hover();
    const int k = List1->ListIndex();
    if (k < 0 || k > NoteCount() - 1)
        return;
    recycleTexts({m_noteTexts.at(k)});
    if (k == 0 && NoteCount() == 1) {
        Text1->setText(QString());
        List1->setList(0, kUntitledEntry);
        m_noteTexts[0] = QString();
        m_currentNote = 0;
        Picture1_Click();
        return;
    }
    if (k == List1->ListCount() - 1) {
        m_noteTexts.removeAt(k);
        List1->RemoveItem(k);
        List1->setListIndex(0);
        m_currentNote = 0;
        showInEditor(m_noteTexts.at(0));
        return;
    }
    m_noteTexts.removeAt(k);
    List1->RemoveItem(k);
    List1->setListIndex(-1);
    if (k < m_currentNote) {
        --m_currentNote;
    } else if (k == m_currentNote) {
        m_currentNote = -1;
        Text1->setText(QString());
    }
}

void FrmMain::ClearNotes()
{
    resetPicture8Hover();
    recycleTexts(m_noteTexts);
    m_noteTexts = QStringList{QString()};
    m_currentNote = 0;
    List1->Clear();
    List1->AddItem(kEmptyEntry);
    Text1->setText(QString());
    Picture1_Click();
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
    m_searchHits = searchNotes(m_noteTexts, needle);
    QStringList titles;
    titles.reserve(m_searchHits.size());
    for (int i : m_searchHits)
        titles.append(List1->List(i));
    ListSearch->AddItems(titles);
}

void FrmMain::OpenSearchHit()
{
    const int row = ListSearch->ListIndex();
    if (ListSearch->ListCount() == 0 || row < 0 || row >= m_searchHits.size())
        return;
    List1->setListIndex(m_searchHits.at(row));
    const int selected = List1->ListIndex();
    if (selected < 0 || selected > NoteCount() - 1)
        return;
    showNote(selected);
    Picture7->hide();
    Text1->setEnabled(true);
    Text1->setFocus();
}
