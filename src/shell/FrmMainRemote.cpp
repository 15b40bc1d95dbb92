// SPDX-License-Identifier: GPL-3.0-or-later
// What a start of the application asks of the running window: come forward, and open a new note,
// the to-do page or the note search.
#include "platform/InstanceChannel.h"
#include "shell/FrmMain.h"
#include "widgets/Surface.h"
#include "widgets/TextBoxW.h"

#include <QApplication>

void FrmMain::bringForward()
{
    if (isMinimized() || isHidden())
        showNormal();
    raise();
    activateWindow();
}

void FrmMain::followStartVerb(const QByteArray& word)
{
    const std::optional<StartVerb> verb = InstanceChannel::verbOf(word);
    if (!verb)
        return;
    bringForward();
    // A question or a reminder waits for its answer: it comes forward instead, and what was asked
    // for would happen behind it unseen.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    const bool onTodoPage = Picture6[0]->isHidden();
    switch (*verb) {
    case StartVerb::Show:
    case StartVerb::Due:
        break;
    case StartVerb::New:
        // As Ctrl+N in the editor: what was typed is kept, the note list gives way to the new note.
        if (onTodoPage)
            Picture5_MouseDown();
        addNote(NoteTrigger::Key);
        Text1->setFocus();
        break;
    case StartVerb::Todo:
        if (!onTodoPage)
            Picture5_MouseDown();
        else if (QWidget* content = Picture6[1]->findChild<QWidget*>(QStringLiteral("Text3")))
            content->setFocus();
        break;
    case StartVerb::Search:
        if (onTodoPage)
            Picture5_MouseDown();
        if (!noteListOpen())
            Picture1_Click();
        Text2->setFocus();
        break;
    }
}
