// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's command keys and the quick-functions captions of the main window.
#include "shell/FrmMain.h"

#include "editor/ExpressionEvaluator.h"
#include "editor/Ledger.h"
#include "editor/RunFile.h"
#include "notes/TextMetrics.h"
#include "platform/Clock.h"
#include "platform/DesktopOpener.h"
#include "platform/ProcessLauncher.h"
#include "widgets/ListBoxW.h"
#include "widgets/Surface.h"
#include "widgets/TextBoxW.h"

#include <QUrl>

namespace {
constexpr int kExactlyCtrl = 2;
constexpr int kCtrlShift = 3;

} // namespace

void FrmMain::EditorKeyDown(int keyCode, int shift)
{
    // A key can still reach the editor while the to-do page is up (a focus the window system gives
    // back): what it would do to the notes, nobody would see.
    if (Picture6[0]->isHidden())
        return;
    if (shift == kExactlyCtrl) {
        m_ctrlHeld = true;
        switch (keyCode) {
        case 'A':
            // The original also switched the system's warning beep off for good; a global user
            // setting is not ours to change.
            Text1->setSelStart(0);
            Text1->setSelLength(int(Text1->text().size()));
            break;
        case 'W':
            if (selectedNote() >= 0)
                removeNote(NoteTrigger::Key);
            break;
        case 'N':
            addNote(NoteTrigger::Key);
            break;
        case 'E':
            clearNotes(NoteTrigger::Key);
            break;
        case 'D':
            Text1->setSelText(m_platform.clock->now().toString(QStringLiteral("yyyy年MM月dd日")));
            break;
        case 'L':
            if (Text1->selLength() != 0)
                evaluateSelection();
            break;
        case 'T':
            translateSelection();
            break;
        case 'O':
            if (Text1->selLength() != 0)
                openSelection();
            break;
        case 'Q':
            ToggleQuickPanel();
            break;
        default:
            break;
        }
        return;
    }
    if ((keyCode == 13 || keyCode == 108) && shift == kCtrlShift && Ledger::isLedger(Text1->text()))
        ledgerKey();
}

void FrmMain::EditorKeyUp(int keyCode, int shift)
{
    // Releasing Ctrl itself reports no Ctrl any more, so the key's own release clears the flag too.
    if (shift == kExactlyCtrl || keyCode == 17)
        m_ctrlHeld = false;
}

void FrmMain::EditorMouseDown(int button, int shift)
{
    // The title buttons take no focus, so the editor often still has it while the settings panel is
    // open: a press in it must close the panel as a focus gain would.
    editorGotFocus();
    if (button == 4 && shift == kExactlyCtrl)
        ToggleQuickPanel();
}

void FrmMain::Label11_Click(int index)
{
    static const int keys[] = {'T', 'L', 'D', 'O'};
    if (index < 0 || index >= 4)
        return;
    // The caption translates a selection only; the key also reports a missing network without one.
    if (keys[index] == 'T' && Text1->selLength() == 0)
        return;
    EditorKeyDown(keys[index], kExactlyCtrl);
}

void FrmMain::evaluateSelection()
{
    const std::optional<QString> value = EvaluateSelection(Text1->selText());
    if (value && !value->isEmpty())
        Text1->setSelText(*value);
}

void FrmMain::openSelection()
{
    const QString target = trimSpaces(Text1->selText());
    if (target.isEmpty())
        return;
    if (target.startsWith(QLatin1String("http://")) || target.startsWith(QLatin1String("https://"))) {
        m_platform.opener->open(QUrl(target));
        return;
    }
    if (isOpenableFilePath(target))
        RunFile(target, *m_platform.launcher, *m_platform.opener);
}

void FrmMain::ledgerKey()
{
    // The whole new text is set once, so a recalculation is one change and one save.
    if (!m_accountingActive) {
        Text1->setText(Ledger::setUpText());
        m_accountingActive = true;
    } else {
        Text1->setText(Ledger::recalculate(Text1->text()));
    }
    Text1->setSelStart(int(Text1->text().size()));
}
