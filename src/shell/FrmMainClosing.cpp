// SPDX-License-Identifier: GPL-3.0-or-later
// The close of the main window, and what happens when the notes folder refuses its last save: the
// user chooses to try again or to close anyway, and notes that could not be saved go to an emergency
// file that the next start offers to restore.
#include "shell/FrmMain.h"

#include "notes/EmergencyFile.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/FolderHandle.h"
#include "platform/SessionTimer.h"
#include "tasks/TaskStore.h"
#include "tasks/TodoPage.h"
#include "widgets/Question.h"

#include <QFile>
#include <QTimer>

#include <cstring>

bool FrmMain::askUser(const QString& objectName, const QString& title, const QString& text,
                      const QString& yes, const QString& no)
{
    return Question::ask(this, objectName, title, text, {yes, QStringLiteral("Yes")},
                         {no, QStringLiteral("No")}, Question::Default::Yes);
}

void FrmMain::closeWithoutQuestions()
{
    m_closeCannotWait = true;
    close();
}

void FrmMain::runCloseSequence()
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_pausedTypingSave)
        m_pausedTypingSave->stop();
    // Whatever closes the window (the close button, the window manager, a signal, the session),
    // what was typed is kept.
    CommitEditor();
    if (m_autoRun)
        m_platform.autostart->enable(m_platform.appName, m_platform.executablePath);
    else
        m_platform.autostart->disable(m_platform.appName);
    m_todo->stop();
    // A window closed before its first drawing has not taken it back yet.
    cancelDueStart();
    if (m_keepTasks) {
        keepTasksNow();
        scheduleDueStart();
    } else if (m_taskStore && m_keepTasksKeyed)
        // Only a switch we know to be off: a Config.ini that is missing (deleted to reset the window's
        // place) or unreadable says nothing about it, and the kept list may be all the user has.
        (void)m_taskStore->removeFile();
    if (!SaveSettingsAndNotes())
        keepNotesTheFolderRefused();
    removeWheelFilter();
}

void FrmMain::keepNotesTheFolderRefused()
{
    bool rescueFailed = false;
    for (;;) {
        const NoteFolder::Failure failure = m_notes->lastFailure();
        const QString reason = QString::fromLocal8Bit(::strerror(failure.error));
        const QString folder = FolderHandle::displayPath(failure.path);
        // A close that cannot wait (a signal, the end of the session) asks nothing.
        if (!m_closeCannotWait) {
            const QString text =
                rescueFailed
                    ? QStringLiteral("便笺无法保存到文件夹“%1”：%2。\r\n也没有文件夹能写入未保存的便笺。"
                                     "仍然关闭的话，这些便笺会丢失。")
                          .arg(folder, reason)
                    : QStringLiteral("便笺无法保存到文件夹“%1”：%2。\r\n可以再试一次；仍然关闭的话，未保存的"
                                     "便笺会写入一个应急文件，下次启动时可以恢复。")
                          .arg(folder, reason);
            if (askUser(QStringLiteral("SaveFailedAtClose"), QStringLiteral("保存失败"), text,
                        QStringLiteral("再试一次"), QStringLiteral("仍然关闭"))) {
                if (m_notes->save())
                    return;
                continue;
            }
            if (rescueFailed)
                return;
        }
        const QStringList unsaved = m_notes->unsavedTexts();
        if (unsaved.isEmpty())
            return;
        const QString path =
            EmergencyFile::write(m_platform.emergencyFolders, FolderHandle::displayPath(m_platform.appFolder),
                                 unsaved, m_platform.clock->now());
        if (m_closeCannotWait)
            return;
        if (!path.isEmpty()) {
            showMessage(QStringLiteral("便笺已另存"),
                        QStringLiteral("%1 条未保存的便笺已写入“%2”。\r\n下次启动时会提示恢复。")
                            .arg(unsaved.size())
                            .arg(path));
            return;
        }
        rescueFailed = true;
    }
}

void FrmMain::offerEmergencyRestore()
{
    if (m_closed)
        return;
    const QString dataFolder = FolderHandle::displayPath(m_platform.appFolder);
    const QList<EmergencyFile::Found> files = EmergencyFile::find(m_platform.emergencyFolders, dataFolder);
    for (const EmergencyFile::Found& file : files) {
        const QString what =
            file.count >= 0 ? QStringLiteral("有 %1 条便笺").arg(file.count) : QStringLiteral("有便笺");
        const QString text = QStringLiteral("上次关闭时%1未能保存，它们在“%2”中。\r\n"
                                            "现在把它们恢复为新的便笺吗？")
                                 .arg(what, file.path);
        if (!askUser(QStringLiteral("RestoreUnsavedNotes"), QStringLiteral("恢复便笺"), text,
                     QStringLiteral("恢复"), QStringLiteral("以后再说")))
            continue;
        // Read only now that the user wants them: a large file costs nothing until then.
        QStringList texts;
        if (!EmergencyFile::load(file.path, dataFolder, &texts)) {
            showMessage(QStringLiteral("恢复便笺"),
                        QStringLiteral("“%1”无法读取或已不完整，没有恢复；文件保持原样。").arg(file.path));
            continue;
        }
        m_notes->appendNotes(texts);
        // The file goes only once its notes are in the folder; until then it is their only copy.
        if (m_notes->save())
            QFile::remove(file.path);
    }
}

void FrmMain::scheduleDueStart()
{
    if (!m_platform.sessionTimer->available())
        return;
    const QDateTime due = m_todo->engine().earliestDue();
    if (!due.isValid())
        return;
    // Only our own executable and the option: what the tasks do is read from the kept list by the
    // copy that starts, with the same checks as at any start.
    m_platform.sessionTimer->schedule(SessionTimer::unitName(m_platform.appFolder), due,
                                      m_platform.executablePath, {QStringLiteral("--due")});
}

void FrmMain::cancelDueStart()
{
    if (m_dueStartCancelled)
        return;
    m_dueStartCancelled = true;
    if (m_platform.sessionTimer->available())
        m_platform.sessionTimer->cancel(SessionTimer::unitName(m_platform.appFolder));
}

void FrmMain::tellIfRemindersNeedTheWindow()
{
    if (!m_keepTasks || m_toldRemindersNeedWindow || m_platform.sessionTimer->available())
        return;
    m_toldRemindersNeedWindow = true;
    showMessage(
        QStringLiteral("保留待办"),
        QStringLiteral("这个桌面会话不能在程序关闭后按时启动它：待办会保留，但定时提醒只在程序运行时到来。"));
}
