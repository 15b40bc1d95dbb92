// SPDX-License-Identifier: GPL-3.0-or-later
// The mouse wheel over the main window: it steps the hour and minute fields of the task editor and,
// with Ctrl held over the editor, zooms the editor's font.
#include "shell/FrmMain.h"

#include "tasks/TodoPage.h"
#include "widgets/TextBoxW.h"

#include <QApplication>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>

void FrmMain::installWheelFilter()
{
    if (m_wheelFilterInstalled)
        return;
    // The window sees every turn once, before it picks the control under the pointer.
    winId();
    if (QWindow* window = windowHandle()) {
        window->installEventFilter(this);
        m_wheelFilterInstalled = true;
    }
}

void FrmMain::removeWheelFilter()
{
    if (!m_wheelFilterInstalled)
        return;
    if (QWindow* window = windowHandle())
        window->removeEventFilter(this);
    m_wheelFilterInstalled = false;
}

double FrmMain::editorFontSize() const
{
    return Text1->font().pointSizeF();
}

bool FrmMain::wheelTurned(QWheelEvent* event)
{
    const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    const bool towardUser = delta < 0;
    const bool fieldsStepped = m_todo->wheelStep(towardUser);

    // The flags say Ctrl went down in the editor and the pointer rests on it; the event itself must
    // still carry Ctrl, so a flag left over from a release elsewhere never turns scrolling into zoom.
    const bool ctrlOverEditor =
        m_ctrlHeld && m_pointerOverEditor && event->modifiers().testFlag(Qt::ControlModifier);
    QFont font = Text1->font();
    // Sizes are kept to four decimals, so repeated steps never drift.
    const double size = std::round(font.pointSizeF() * 10000.0) / 10000.0;
    bool zoomed = false;
    if (ctrlOverEditor) {
        if (towardUser && size > 5) {
            font.setPointSizeF(size - 2);
            zoomed = true;
        } else if (!towardUser && size < 256) {
            font.setPointSizeF(size + 2);
            zoomed = true;
        }
        if (zoomed)
            Text1->setFont(font);
    }
    // Ctrl + wheel over the editor is the zoom and nothing else; a plain turn there scrolls as usual.
    return fieldsStepped || ctrlOverEditor;
}
