// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "notes/NoteStore.h"
#include "platform/Platform.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>

class QLabel;
class ClickLabel;
class QFrame;
class QKeyEvent;
class QTimer;
class QWheelEvent;
class ImageButton;
class ListBoxW;
class SButton;
class SSwitch;
class Surface;
class TextBoxW;
class TranslateClient;
class TodoPage;
class TaskStore;

/// The main window: the title row, the notes page with its note list, the settings and
/// quick-functions panels, the to-do page. It owns the note store and the settings for the life of
/// the process; creating it loads everything, closing it saves everything.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    /// When the notes folder is read: while the window is built, or right after the window was
    /// first drawn, so that it appears sooner (anything that needs the notes before reads them then).
    enum class NoteLoading
    {
        WhileBuilding,
        AfterFirstPaint
    };
    explicit FrmMain(const Platform& platform, QWidget* parent = nullptr,
                     NoteLoading loading = NoteLoading::WhileBuilding);
    ~FrmMain() override;

    /// Notes with a line longer than this are shown read-only: the text box needs more than a
    /// keystroke's time to lay such a line out again.
    static constexpr int kLongestEditableLine = 100000;
    /// Automatic saves in a note longer than this wait for a pause in the typing.
    static constexpr int kPausedSaveChars = 1000000;
    static constexpr int kPausedSaveMs = 1000;
    /// In a note longer than this, the keys of so many milliseconds of typing share one save
    /// rather than having one each.
    static constexpr int kGatheredSaveChars = 200000;
    static constexpr int kGatheredSaveMs = 80;

    // Note store. NoteTexts stays parallel to the entries of List1.
    const QStringList& noteTexts() const { return m_notes->NoteTexts(); }
    int NoteCount() const { return m_notes->NoteCount(); }
    int CurrentNote() const { return m_notes->CurrentNote(); }
    /// The notes folder is yet to be read (NoteLoading::AfterFirstPaint, before the first drawing
    /// and until the disk answers the load that follows it).
    bool notesLoadPending() const { return m_notes->isLoadPending(); }
    bool AutoRun() const { return m_autoRun; }
    bool AutoSave() const { return m_autoSave; }
    /// The switch "保留待办": the to-do list is kept in Tasks.json across restarts.
    bool KeepTasks() const { return m_keepTasks; }
    bool AccountingActive() const { return m_accountingActive; }
    bool ctrlHeld() const { return m_ctrlHeld; }
    bool pointerOverEditor() const { return m_pointerOverEditor; }
    /// The to-do page; its controls exist once it was shown or ensureTodoPage() was called.
    TodoPage* todoPage() const { return m_todo; }
    /// Builds the to-do page's controls now (tests that look them up by name ask for this first).
    void ensureTodoPage();
    /// The note list, the settings and the quick-functions panels are built when they first open;
    /// these build them now.
    void ensureNoteList();
    void ensureSettingsPanel();
    void ensureQuickPanel();
    /// Every control of the window, built: the panels and the to-do page.
    void ensurePanels();
    bool settingsPanelOpen() const;
    bool noteListOpen() const;
    /// The editor's font size in points (the wheel zooms it by 2).
    double editorFontSize() const;
    QString iniPath() const;
    /// How many saves ran (each one writes only what changed).
    int saveCount() const { return m_saveCount; }
    /// How many times the window asked the window system to move it with the pointer.
    int dragRequests() const { return m_dragRequests; }

    /// Stores the editor's text into the current note and refreshes its entry in the note list.
    void CommitEditor();
    /// Writes the four settings and the notes folder, after every automatic save still on its way;
    /// false when the notes folder refused the save.
    bool SaveSettingsAndNotes();
    /// Closes for a caller that cannot wait for an answer (a termination signal, the end of the
    /// session): notes the folder refuses go to the emergency file without a question.
    void closeWithoutQuestions();
    /// Time limit of each request of a translation (tests shorten it).
    void setTranslateTimeoutMs(int ms) { m_translateTimeoutMs = ms; }
    /// The modal message window with the alarm.
    void showMessage(const QString& title, const QString& message);

    // Title-row and panel operations, callable as steps of other operations.
    void Picture16_Click();
    void Picture1_Click();
    void Picture4_Click();
    void Picture5_MouseDown();
    void Picture3_Click();
    void Picture2_Click();
    void ToggleQuickPanel();

    // Editor commands.
    void EditorKeyDown(int keyCode, int shift);
    void EditorKeyUp(int keyCode, int shift);
    void EditorMouseDown(int button, int shift);
    void Label11_Click(int index);

    // Note list operations.
    void OpenSelectedNote();
    void AddNote();
    void RemoveSelectedNote();
    void ClearNotes();
    void OpenSearchHit();
    /// "撤销" on the bar after a removal: the removed notes back at their places.
    void UndoRemoval();
    /// How long the bar offers to undo a removal.
    static constexpr int kUndoOfferMs = 10000;

    /// Brings the window forward, un-minimised. On X11 the window manager obeys; on Wayland the
    /// compositor decides (it may only mark the window as asking for attention).
    void bringForward();
    /// Follows what a start of the application asked for (a word of InstanceChannel: "show", "new",
    /// "todo", "search"): the window forward, then the page and the control the word names.
    void followStartVerb(const QByteArray& word);

private slots:
    void switch1Clicked();
    void switch2Clicked();
    void switch3Clicked();
    void showAbout();
    void openHelpDocument();
    void openReleasePage();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    /// The window's keys that work wherever the focus is (Ctrl+F, Ctrl+1, Ctrl+2, Ctrl+, and F1).
    void createShortcuts();
    /// Tab walks the title row, then the open panel right after the button that opened it, then the
    /// page: called whenever a panel or the to-do page is built.
    void chainTabOrder();
    /// Builds the to-do page and puts its controls into the Tab order.
    void buildTodoPage();
    /// Escape: closes the open panel, innermost first; false when none was open.
    bool closePanelByKey();
    /// The title buttons pressed from the keyboard show their normal pictures: the pointer is elsewhere.
    void settleTitlePictures();
    void showPageByKey(int page);
    void openSearchByKey();
    void toggleSettingsByKey();
    void noteListKey(int keyCode);
    void InitialLayout();
    void wireEvents();
    void Form_Load();
    void afterFirstPaint();
    void LoadSettingsAndNotes();
    void resetNoteStore();
    void closeSettingsPanelAside();
    /// The note list's selected row; −1 when none (or the list was never built).
    int selectedNote() const;
    void bareSurfaceMove();
    void picture7Move();
    void picture1Move();
    /// The automatic save: the settings and the editor's text now, the notes folder on the writer's
    /// thread.
    void autoSaveNow();
    /// autoSaveNow() once the key's effect is on the screen: the text is taken out of the editor
    /// after the paint, once for all keys that came before it.
    void autoSaveAfterPaint();
    /// always: also when this run last wrote the same values (an automatic save skips that).
    void writeSettings(bool always = true);
    void runCloseSequence();
    /// The last save failed: the user may try again; what stays unsaved goes to an emergency file.
    void keepNotesTheFolderRefused();
    /// Offers the notes of emergency files left by an earlier close for this data folder.
    void offerEmergencyRestore();
    /// A question with two answers; true for yes. Tests answer it through its buttons "Yes" and "No".
    bool askUser(const QString& objectName, const QString& title, const QString& text, const QString& yes,
                 const QString& no);
    /// Brings back the to-dos kept at the last close (switch on) and keeps every change from now on.
    void restoreKeptTasks();
    /// Reads Tasks.json and puts its tasks before those of the list.
    void readKeptTasks();
    /// Writes the to-do list to Tasks.json while the switch is on.
    void keepTasksNow();
    void BeginWindowDrag();
    void editorChanged();
    void editorGotFocus();
    void searchChanged();
    void searchGotFocus();
    void searchLostFocus();
    void resetPicture8Hover();
    void installWheelFilter();
    void removeWheelFilter();
    bool wheelTurned(QWheelEvent* event);
    /// Which control started an add, remove or clear: the note list's buttons and the editor keys
    /// differ in what they commit first and in how they leave the note list.
    enum class NoteTrigger
    {
        Button,
        Key
    };
    void addNote(NoteTrigger trigger);
    void removeNote(NoteTrigger trigger);
    void clearNotes(NoteTrigger trigger);
    void leaveNoteList(NoteTrigger trigger);
    void showNoteEntries(const QStringList& entries);
    void showNote(int index);
    /// Puts a note's own text into the editor: until something is typed, a commit keeps the note's
    /// text as it was read (the text box would give back non-breaking spaces as spaces, and U+2028
    /// as CR LF).
    void showInEditor(const QString& text);
    /// Typing with no note current starts a new note at the end of the list, so no keystroke is lost.
    void adoptEditorAsNewNote();
    /// Automatic save after a change of the editor: at once, or at the next pause in the typing when
    /// the note is so large that a save per key would make typing lag.
    void autoSaveAfterEdit();
    /// Tells the user about a failure of the note folder.
    void reportFolderFailure(const NoteFolder::Failure& failure);
    void evaluateSelection();
    void openSelection();
    void translateSelection();
    QString translateHostSetting() const;
    void ledgerKey();
    static QString releasePageUrl();

    Platform m_platform;
    std::unique_ptr<NoteStore> m_notes;
    NoteLoading m_noteLoading;
    bool m_firstPaintSeen = false;
    std::unique_ptr<TranslateClient> m_translator;
    TodoPage* m_todo = nullptr;
    bool m_wheelFilterInstalled = false;

    bool m_autoRun = false;
    bool m_autoSave = false;
    bool m_accountingActive = false;
    bool m_ctrlHeld = false;
    bool m_pointerOverEditor = false;
    bool m_keepTasks = false;
    /// Config.ini has the key KeepTasks, or the switch was used: saves write it from then on.
    bool m_keepTasksKeyed = false;
    bool m_taskSaveFailureTold = false;
    bool m_keptTasksRead = false;
    std::unique_ptr<TaskStore> m_taskStore;
    bool m_closed = false;
    bool m_closeCannotWait = false;
    bool m_showingNote = false;
    /// Document revision of the editor when its text was last the note's (shown or committed): no
    /// edit since, nothing to take out of it.
    int m_committedRevision = -1;
    /// Saves after a key in a huge note wait for a pause in the typing.
    QTimer* m_pausedTypingSave = nullptr;
    bool m_saveAfterPaintPosted = false;
    /// What this run last wrote to Config.ini: place, AutoRun, AutoSave, KeepTasks.
    QString m_settingsWritten;
    QTimer* m_gatheredTypingSave = nullptr;
    int m_saveCount = 0;
    int m_dragRequests = 0;
    int m_translateTimeoutMs = 10000;

    // Controls, named as the user interface names them.
    QLabel* Label1 = nullptr;
    ImageButton* Picture1 = nullptr;
    ImageButton* Picture2 = nullptr;
    ImageButton* Picture3 = nullptr;
    ImageButton* Picture4 = nullptr;
    ImageButton* Picture5 = nullptr;
    std::array<Surface*, 2> Picture6{};
    TextBoxW* Text1 = nullptr;
    Surface* Picture7 = nullptr;
    ListBoxW* List1 = nullptr;
    TextBoxW* Text2 = nullptr;
    QFrame* Line1 = nullptr;
    ListBoxW* ListSearch = nullptr;
    std::array<ImageButton*, 3> Picture8{};
    Surface* Picture9 = nullptr;
    SSwitch* SSwitch1 = nullptr;
    SSwitch* SSwitch2 = nullptr;
    SSwitch* SSwitch3 = nullptr;
    SButton* SButton1 = nullptr;
    SButton* SButton2 = nullptr;
    SButton* SButton7 = nullptr;
    Surface* Picture15 = nullptr;
    QLabel* Label10 = nullptr;
    std::array<ClickLabel*, 4> Label11{};
    ImageButton* Picture16 = nullptr;

    // The bar that offers to undo the last removal, at the foot of the notes page under the note
    // list: seen whether the removal left the list open or closed it (FrmMainNotes.cpp).
    void ensureUndoBar();
    /// The store's undoableChanged: shows the bar for count notes, or takes it away.
    void offerUndo(int count, bool cleared);
    Surface* UndoBar = nullptr;
    QLabel* UndoLabel = nullptr;
    SButton* UndoButton = nullptr;
    QTimer* m_undoOffer = nullptr;

    // Following the notes folder while other programs (sync tools) change it: FrmMainSync.cpp.
    /// Starts watching Notes; changes there and every activation of the window bring the list up to
    /// date.
    void startFollowingNotesFolder();
    /// Commits the editor and takes in what changed in Notes; looks again while a file is being
    /// written.
    void followNotesFolder();
    /// Follows the folder when the window is activated: what changed while the user was elsewhere.
    void followNotesFolderOn(QEvent* event);
    class FolderWatcher* m_notesWatcher = nullptr;
    QTimer* m_notesSettle = nullptr;

    /// Closing with the list kept and reminders armed: asks the session to start the application
    /// at the earliest due moment.
    void scheduleDueStart();
    /// Takes away the start an earlier close asked for, once: this run fires what falls due itself.
    void cancelDueStart();
    bool m_dueStartCancelled = false;
    /// The kept-list switch came on where the session cannot start the application: says once that
    /// reminders come only while it runs.
    void tellIfRemindersNeedTheWindow();
    bool m_toldRemindersNeedWindow = false;
};
