// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmMain.h"

#include "notes/NoteFolder.h"
#include "notes/TextMetrics.h"
#include "platform/Autostart.h"
#include "platform/DesktopOpener.h"
#include "platform/FolderHandle.h"
#include "shell/AppSettings.h"
#include "shell/FrmAbout.h"
#include "tasks/TaskEngine.h"
#include "tasks/TaskStore.h"
#include "tasks/TodoPage.h"
#include "translate/TranslateClient.h"
#include "widgets/Artwork.h"
#include "widgets/HoverTags.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageList.h"
#include "widgets/ListBoxW.h"
#include "widgets/SButton.h"
#include "widgets/SSwitch.h"
#include "widgets/Surface.h"
#include "widgets/TextBoxW.h"
#include "widgets/Twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cstring>
#include <functional>

namespace {
const QString kTitle = QStringLiteral("Vemra便笺");
const QString kHelpDocument = QStringLiteral("Vemra便笺使用帮助.pdf");
} // namespace

FrmMain::FrmMain(const Platform& platform, QWidget* parent, NoteLoading loading)
    : QWidget(parent), m_platform(platform),
      m_notes(std::make_unique<NoteStore>(std::make_unique<NoteFolder>(platform.appFolder, platform.clock))),
      m_noteLoading(loading)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(kTitle);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(Twips::toPx(6870), Twips::toPx(8925));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setMouseTracking(true);
    setBadLengthReporter([this](const QString& message) { QMessageBox::critical(this, kTitle, message); });
    createControls();
    wireEvents();
    Form_Load();
}

FrmMain::~FrmMain()
{
    setBadLengthReporter(nullptr);
}

QString FrmMain::iniPath() const
{
    return m_platform.appFolder + QStringLiteral("/Config.ini");
}

void FrmMain::Form_Load()
{
    // Each step stands alone: a failure in one must not keep the window from opening.
    InitialLayout();
    resetNoteStore();
    LoadSettingsAndNotes();
    Text1->setFocus();
    restoreKeptTasks();
    m_todo->start();
}

void FrmMain::restoreKeptTasks()
{
    m_taskStore =
        std::make_unique<TaskStore>(m_platform.appFolder, *m_platform.clock, m_platform.taskKeyPath);
    connect(&m_todo->engine(), &TaskEngine::listChanged, this, &FrmMain::keepTasksNow);
    // With the switch off an existing file is left alone until the close.
    if (m_keepTasks)
        readKeptTasks();
}

void FrmMain::readKeptTasks()
{
    m_keptTasksRead = true;
    const TaskStore::Loaded loaded = m_taskStore->load();
    // The kept ones first, then what this run added before the switch came on.
    m_todo->engine().restoreTasks(loaded.tasks + m_todo->engine().storedTasks());
    // Told once, when the window is up rather than before it appears.
    if (loaded.unusable()) {
        QTimer::singleShot(0, this, [this, loaded] {
            showMessage(TaskStore::noticeTitle(), TaskStore::noticeMessage(loaded));
        });
    } else if (loaded.heldCount() > 0) {
        QTimer::singleShot(0, this, [this, loaded] {
            m_todo->askToArmHeldTasks(TaskStore::noticeTitle(), TaskStore::heldQuestion(loaded));
        });
    }
}

void FrmMain::keepTasksNow()
{
    if (!m_keepTasks || !m_taskStore)
        return;
    const DurableFile::WriteResult result = m_taskStore->save(m_todo->engine().storedTasks());
    if (result.ok()) {
        m_taskSaveFailureTold = false;
    } else if (!m_taskSaveFailureTold) {
        m_taskSaveFailureTold = true;
        showMessage(QStringLiteral("保存失败"),
                    QStringLiteral("待办无法保存到“%1”：%2。\r\n待办仍在列表中，下次变动时会再试。")
                        .arg(FolderHandle::displayPath(m_taskStore->filePath()), result.describe()));
    }
}

void FrmMain::resetNoteStore()
{
    // The note list and the editor follow the store from here on; a second reset must not show every
    // change twice.
    const auto unique = Qt::UniqueConnection;
    connect(m_notes.get(), &NoteStore::entriesReset, this, &FrmMain::showNoteEntries, unique);
    connect(m_notes.get(), &NoteStore::editorTextReplaced, this, &FrmMain::showInEditor, unique);
    connect(m_notes.get(), &NoteStore::folderFailed, this, &FrmMain::reportFolderFailure, unique);
    startFollowingNotesFolder();
    m_notes->reset();
}

void FrmMain::LoadSettingsAndNotes()
{
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                          : QRect(0, 0, 1024, 768);
    std::optional<bool> keepTasks;
    const WindowPlacement placement =
        loadSettings(iniPath(), screen.size(), size(), &m_autoRun, &m_autoSave, &keepTasks);
    m_keepTasks = keepTasks.value_or(false);
    m_keepTasksKeyed = keepTasks.has_value();
    // Where the window system places windows itself (Wayland) a move would be ignored.
    if (placement.configReady && m_platform.canPlaceWindows)
        move(placement.left, placement.top);
    // Told once, when the window is up: the close replaces the link, so the next start finds none.
    if (!placement.ignoredLinkTarget.isEmpty()) {
        QTimer::singleShot(0, this, [this, target = placement.ignoredLinkTarget] {
            showMessage(
                QStringLiteral("设置"),
                QStringLiteral("Config.ini 是指向“%1”的链接。程序不经链接读写文件，那里的设置没有使用；"
                               "窗口位置和开关从默认值开始，保存时会在原处写入程序自己的 Config.ini，"
                               "链接指向的文件保持不变。")
                    .arg(target));
        });
    }

    // Notes load even without a Config.ini (a folder where it cannot be created): skipping them would
    // let the next save treat the folder as empty.
    if (m_noteLoading == NoteLoading::AfterFirstPaint)
        m_notes->loadWhenNeeded();
    else
        m_notes->load();
}

void FrmMain::writeSettings(bool always)
{
    ++m_saveCount;
    // There the place read back is not where the window is: the file keeps the one it has.
    const std::optional<QPoint> place =
        m_platform.canPlaceWindows ? std::optional<QPoint>(pos()) : std::nullopt;
    const std::optional<bool> keepTasks = m_keepTasksKeyed ? std::optional<bool>(m_keepTasks) : std::nullopt;
    // An automatic save follows every key: the file is not read again for values it already got.
    const QString values =
        QStringLiteral("%1 %2 %3 %4 %5")
            .arg(place ? QStringLiteral("%1,%2").arg(place->x()).arg(place->y()) : QString())
            .arg(m_autoRun)
            .arg(m_autoSave)
            .arg(keepTasks ? int(*keepTasks) : -1)
            .arg(iniPath());
    if (!always && values == m_settingsWritten)
        return;
    saveSettings(iniPath(), place, m_autoRun, m_autoSave, keepTasks);
    m_settingsWritten = values;
}

bool FrmMain::SaveSettingsAndNotes()
{
    writeSettings();
    return m_notes->save();
}

void FrmMain::reportFolderFailure(const NoteFolder::Failure& failure)
{
    // At the close there is no next save to promise: the close asks the user itself.
    if (m_closed)
        return;
    // The store tells each kind once until a save succeeds: an automatic save follows every pointer
    // move, and each would fail the same way.
    const QString reason = QString::fromLocal8Bit(::strerror(failure.error));
    const QString folder = FolderHandle::displayPath(failure.path);
    if (failure.kind == NoteFolder::Failure::Recycle) {
        showMessage(
            QStringLiteral("保存失败"),
            QStringLiteral("移除的便笺无法保存到文件夹“%1”：%2。\r\n在它们保存好之前，便笺文件夹保持原样，"
                           "下次保存时会再试。")
                .arg(folder, reason));
    } else {
        showMessage(QStringLiteral("保存失败"),
                    QStringLiteral("便笺无法保存到文件夹“%1”：%2。\r\n便笺仍保留在程序中，下次保存时会再试。")
                        .arg(folder, reason));
    }
}

void FrmMain::autoSaveNow()
{
    if (m_closed)
        return; // the close saved everything, and waited for it
    CommitEditor();
    writeSettings(false);
    m_notes->saveLater();
}

namespace {
// Posted below the priority of the window's own repaint request, so it comes after the paint.
const QEvent::Type kSaveAfterPaint = static_cast<QEvent::Type>(QEvent::registerEventType());
} // namespace

void FrmMain::autoSaveAfterPaint()
{
    if (m_saveAfterPaintPosted)
        return;
    m_saveAfterPaintPosted = true;
    QCoreApplication::postEvent(this, new QEvent(kSaveAfterPaint), Qt::LowEventPriority - 1);
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    // The close is never refused.
    runCloseSequence();
    event->accept();
}

void FrmMain::Picture2_Click()
{
    CommitEditor();
    close();
}

void FrmMain::Picture3_Click()
{
    Picture16_Click();
    showMinimized();
    Picture3->setPicture(11);
}

// ---- Panels and pages ---------------------------------------------------------------------------

void FrmMain::ensureTodoPage()
{
    buildTodoPage();
}

void FrmMain::buildTodoPage()
{
    if (m_todo->isBuilt())
        return;
    m_todo->ensureBuilt();
    chainTabOrder();
}

void FrmMain::ensurePanels()
{
    ensureNoteList();
    ensureSettingsPanel();
    ensureQuickPanel();
    ensureTodoPage();
}

bool FrmMain::settingsPanelOpen() const
{
    return Picture9 && Picture9->isVisible();
}

bool FrmMain::noteListOpen() const
{
    return Picture7 && Picture7->isVisible();
}

int FrmMain::selectedNote() const
{
    // A list never opened has nothing selected.
    return List1 ? List1->ListIndex() : -1;
}

void FrmMain::Picture16_Click()
{
    if (Picture15)
        Picture15->hide();
    Text1->setFixedHeight(Picture6[0]->height());
    if (Picture16) {
        Picture16->setTag(QStringLiteral("0"));
        Picture16->setPicture(15);
    }
}

void FrmMain::ToggleQuickPanel()
{
    ensureQuickPanel();
    Picture15->setVisible(!Picture15->isVisible());
    if (Picture15->isVisible())
        Text1->setFixedHeight(Twips::toPx(Twips::fromPx(Picture15->y()) - 15));
    else
        Text1->setFixedHeight(Picture6[0]->height());
}

void FrmMain::closeSettingsPanelAside()
{
    if (!settingsPanelOpen())
        return;
    Picture9->hide();
    const int state = (Picture4->tag().left(1).toInt() + 1) % 2;
    if (state == 0) {
        Picture4->setPicture(7);
        Picture4->setTag(QStringLiteral("00"));
    } else {
        Picture4->setPicture(9);
        Picture4->setTag(QStringLiteral("10"));
    }
}

void FrmMain::Picture1_Click()
{
    ensureNoteList();
    Picture7->setVisible(!Picture7->isVisible());
    Text1->setEnabled(!Picture7->isVisible());
    Picture16_Click();
    if (Picture7->isVisible()) {
        CommitEditor();
        // The editor just lost the focus; give it to the list rather than to the search box,
        // whose prompt would vanish.
        List1->setFocus();
    }
    closeSettingsPanelAside();
}

void FrmMain::Picture4_Click()
{
    Picture16_Click();
    if (noteListOpen()) {
        Picture7->hide();
        Text1->setEnabled(true);
    }
    ensureSettingsPanel();
    Picture9->setVisible(!Picture9->isVisible());
    const int state = (Picture4->tag().left(1).toInt() + 1) % 2;
    if (state == 0) {
        Picture4->setPicture(8);
        Picture4->setTag(QStringLiteral("01"));
    } else {
        Picture4->setPicture(10);
        Picture4->setTag(QStringLiteral("11"));
    }
    m_todo->hidePanels();
}

void FrmMain::Picture5_MouseDown()
{
    Picture16_Click();
    closeSettingsPanelAside();
    const int a = Picture5->tag().left(1).toInt();
    const int b = (a + 1) % 2;
    if (b == 1)
        buildTodoPage();
    Picture6[a]->hide();
    Picture6[b]->show();
    if (b == 0) {
        Picture5->setPicture(4);
        Picture5->setTag(QStringLiteral("01"));
        Picture5->setToolTip(QStringLiteral("记事(Ctrl+1)"));
        Picture1->show();
        Label1->move(Twips::toPx(Twips::fromPx(Picture1->x()) + Twips::fromPx(Picture1->width()) + 60),
                     Label1->y());
    } else {
        Picture5->setPicture(6);
        Picture5->setTag(QStringLiteral("11"));
        Picture5->setToolTip(QStringLiteral("待办(Ctrl+2)"));
        if (noteListOpen())
            Picture1_Click();
        Picture1->hide();
        Label1->move(Twips::toPx(60), Label1->y());
    }
    // The hidden page must not keep the keyboard: letters typed on the to-do page would land in the
    // note nobody sees, and the editor's Ctrl keys would add or remove notes unseen.
    if (b == 1) {
        if (QWidget* content = Picture6[1]->findChild<QWidget*>(QStringLiteral("Text3")))
            content->setFocus();
    } else if (Text1->isEnabled()) {
        Text1->setFocus();
    }
}

void FrmMain::editorGotFocus()
{
    if (!settingsPanelOpen())
        return;
    Picture4_Click();
    Picture4->setPicture(7);
}

// ---- Chrome: dragging, hover pictures, automatic save on pointer moves --------------------------

void FrmMain::BeginWindowDrag()
{
    ++m_dragRequests;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (QWindow* window = windowHandle())
        window->startSystemMove();
}

void FrmMain::mousePressEvent(QMouseEvent* event)
{
    if (!childAt(event->position().toPoint()))
        BeginWindowDrag();
    event->accept();
}

void FrmMain::mouseMoveEvent(QMouseEvent* event)
{
    if (!childAt(event->position().toPoint()))
        bareSurfaceMove();
    event->accept();
}

void FrmMain::bareSurfaceMove()
{
    if (m_autoSave)
        autoSaveNow();
    HoverTags::reset(Picture1, 1);
    HoverTags::reset(Picture3, 11);
    HoverTags::reset(Picture2, 15);
    HoverTags::resetTwoState(Picture4, 7, 9);
    HoverTags::resetTwoState(Picture5, 3, 5);
    m_pointerOverEditor = false;
}

void FrmMain::picture1Move()
{
    if (m_autoSave && !Text1->text().isEmpty())
        autoSaveNow();
    HoverTags::hover(Picture1, 2);
}

void FrmMain::resetPicture8Hover()
{
    if (!Picture7)
        return;
    // Checked in the order add, remove, clear.
    HoverTags::reset(Picture8[2], 13);
    HoverTags::reset(Picture8[1], 11);
    HoverTags::reset(Picture8[0], 15);
}

void FrmMain::picture7Move()
{
    resetPicture8Hover();
    m_pointerOverEditor = false;
}

// ---- Settings panel ------------------------------------------------------------------------------

void FrmMain::openHelpDocument()
{
    const QString path = m_platform.resourceFolder + u'/' + kHelpDocument;
    if (!QFileInfo(path).isFile())
        return;
    // Without a PDF viewer the key would seem dead: the user is told where the document is, to open
    // it some other way.
    m_platform.opener->openOrTell(QUrl::fromLocalFile(path), [window = QPointer<FrmMain>(this)] {
        if (window)
            window->showMessage(
                QStringLiteral("无法打开帮助"),
                QStringLiteral("没有能打开 PDF 文件的程序。\r\n帮助文档“%1”在文件夹：\r\n%2")
                    .arg(kHelpDocument, FolderHandle::displayPath(window->m_platform.resourceFolder)));
    });
}

void FrmMain::openReleasePage()
{
    m_platform.opener->open(QUrl(SButton7->property("Tag").toString()));
}

QString FrmMain::releasePageUrl()
{
    return QStringLiteral("https://github.com/VemraNotes/VemraNotes/releases");
}

void FrmMain::switch1Clicked()
{
    m_autoRun = SSwitch1->property("Value").toBool();
}

void FrmMain::switch2Clicked()
{
    m_autoSave = SSwitch2->property("Value").toBool();
}

void FrmMain::switch3Clicked()
{
    m_keepTasks = SSwitch3->property("Value").toBool();
    m_keepTasksKeyed = true;
    // A list an earlier run kept, which this run did not read (Config.ini was missing or unreadable at
    // the start), comes back rather than being written over.
    if (m_keepTasks && !m_keptTasksRead && m_taskStore)
        readKeptTasks();
    // Kept from now on, so a crash right after turning it on does not lose the list.
    keepTasksNow();
    tellIfRemindersNeedTheWindow();
}

bool FrmMain::event(QEvent* event)
{
    // The native window exists once the window is shown: made earlier only for the filter, it
    // would be set up twice.
    if (event->type() == QEvent::Show)
        installWheelFilter();
    if (event->type() == kSaveAfterPaint) {
        m_saveAfterPaintPosted = false;
        if (m_autoSave)
            autoSaveNow();
        return true;
    }
    followNotesFolderOn(event);
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Paint && !m_firstPaintSeen) {
        m_firstPaintSeen = true;
        QTimer::singleShot(0, this, &FrmMain::afterFirstPaint);
    }
    return handled;
}

void FrmMain::afterFirstPaint()
{
    // The first drawing is on its way to the screen. What it did not need comes now, before
    // anything the user does: the icon (task bars take it up whenever it is set) and the notes, if
    // nothing has had the store read them yet. They are read on the writer's thread: finishing a
    // save a crash cut short flushes, and a slow disk must not hold the typing meanwhile.
    setWindowIcon(Artwork::windowIcon());
    // A first start's empty page says what to do; it is drawn, never part of the text. Its two dozen
    // glyphs, rendered for the first time, would cost the first drawing a third of its time.
    Text1->setHint(QStringLiteral("在这里写便笺；Ctrl+N 新建，Ctrl+2 待办，F1 帮助"));
    m_notes->loadInBackground();
    // Taking back the start an earlier close asked for starts a program of the session's: not
    // before the window is on the screen.
    cancelDueStart();
    // The folder is watched from now on whether or not the window is ever activated: a start at
    // log-in or from the session timer may never take the focus, and would miss every change.
    followNotesFolder();
    QTimer::singleShot(0, this, &FrmMain::offerEmergencyRestore);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && m_wheelFilterInstalled && watched == windowHandle())
        return wheelTurned(static_cast<QWheelEvent*>(event));
    if (watched == Label1 && event->type() == QEvent::MouseButtonPress) {
        BeginWindowDrag();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmMain::showAbout()
{
    Picture4_Click();
    FrmAbout about(this, m_todo->calendarLine());
    about.exec();
}

// ---- Keyboard ------------------------------------------------------------------------------------

void FrmMain::createShortcuts()
{
    // Window-wide, so they work from the editor, the lists and the buttons alike; the editor's own
    // Ctrl keys (A, W, N, E, D, L, T, O, Q) are not among them.
    const auto add = [this](const QKeySequence& keys, const std::function<void()>& action) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { openSearchByKey(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_1), [this] { showPageByKey(0); });
    add(QKeySequence(Qt::CTRL | Qt::Key_2), [this] { showPageByKey(1); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { toggleSettingsByKey(); });
    add(QKeySequence(Qt::Key_F1), [this] { openHelpDocument(); });
}

void FrmMain::settleTitlePictures()
{
    HoverTags::reset(Picture1, 1);
    HoverTags::reset(Picture3, 11);
    HoverTags::reset(Picture2, 15);
    HoverTags::resetTwoState(Picture4, 7, 9);
    HoverTags::resetTwoState(Picture5, 3, 5);
}

void FrmMain::showPageByKey(int page)
{
    if (Picture5->tag().left(1).toInt() != page) {
        Picture5_MouseDown();
    } else {
        // The page is already there: the key still brings the keyboard to its text box, as a
        // switch of pages does.
        QWidget* content = page == 1 ? Picture6[1]->findChild<QWidget*>(QStringLiteral("Text3")) : Text1;
        if (content && content->isEnabled())
            content->setFocus(Qt::ShortcutFocusReason);
    }
    settleTitlePictures();
}

void FrmMain::openSearchByKey()
{
    showPageByKey(0);
    if (!noteListOpen())
        Picture1_Click();
    settleTitlePictures();
    Text2->setFocus(Qt::ShortcutFocusReason);
}

void FrmMain::toggleSettingsByKey()
{
    if (settingsPanelOpen()) {
        closeSettingsPanelAside();
        if (!Picture6[0]->isHidden() && Text1->isEnabled())
            Text1->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    Picture4_Click();
    settleTitlePictures();
    SSwitch1->setFocus(Qt::ShortcutFocusReason);
}

bool FrmMain::closePanelByKey()
{
    if (Picture15 && Picture15->isVisible()) {
        Picture16_Click();
        Text1->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (settingsPanelOpen()) {
        closeSettingsPanelAside();
        Picture4->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (noteListOpen()) {
        Picture1_Click();
        Text1->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return m_todo->closePanelByKey();
}

void FrmMain::keyPressEvent(QKeyEvent* event)
{
    // Keys the focused control left alone arrive here.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && closePanelByKey()) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
