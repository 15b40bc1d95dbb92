// SPDX-License-Identifier: GPL-3.0-or-later
// Timings of the main window as the user meets it: a search keystroke, a ledger recalculation with
// automatic saving, a save that finds nothing to do, and the start-up with a large notes folder. Each
// window runs over its own temporary application folder and over services that never leave the process.
#include "editor/Ledger.h"
#include "notes/NoteFolder.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/DesktopOpener.h"
#include "platform/HostResolver.h"
#include "platform/MediaPlayer.h"
#include "platform/Platform.h"
#include "platform/ProcessLauncher.h"
#include "platform/SoundPlayer.h"
#include "shell/FrmMain.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <sys/stat.h>

namespace {

// ---- Services that stay inside the process ------------------------------------------------------

class BenchClock : public Clock
{
public:
    BenchClock() { m_started.start(); }
    QDateTime now() const override { return QDateTime(QDate(2024, 3, 5), QTime(9, 30)); }
    qint64 monotonicMs() const override { return m_started.elapsed(); }

private:
    QElapsedTimer m_started;
};

/// Every outside effect is counted instead of performed; a benchmark that caused one is broken.
struct EffectCount
{
    int count = 0;
};

class CountingLauncher : public ProcessLauncher
{
public:
    explicit CountingLauncher(EffectCount* effects) : m_effects(effects) {}
    bool startDetached(const QString&, const QStringList&, const QString&) override
    {
        ++m_effects->count;
        return true;
    }

private:
    EffectCount* m_effects;
};

class CountingOpener : public DesktopOpener
{
public:
    explicit CountingOpener(EffectCount* effects) : m_effects(effects) {}
    bool open(const QUrl&) override
    {
        ++m_effects->count;
        return true;
    }

private:
    EffectCount* m_effects;
};

class SilentSound : public SoundPlayer
{
public:
    void playWav(const QString&, bool) override {}
};

class CountingAutostart : public Autostart
{
public:
    explicit CountingAutostart(EffectCount* effects) : m_effects(effects) {}
    void enable(const QString&, const QString&) override { ++m_effects->count; }
    void disable(const QString&) override { ++m_effects->count; }

private:
    EffectCount* m_effects;
};

class UnreachableResolver : public HostResolver
{
public:
    bool resolves(const QString&) override { return false; }
};

class SilentMediaFactory : public MediaPlayerFactory
{
public:
    std::unique_ptr<MediaPlayer> create() override { return std::make_unique<SilentPlayer>(); }

private:
    class SilentPlayer : public MediaPlayer
    {
    public:
        void play(const QString&, float) override {}
        void stop() override {}
    };
};

/// A temporary application folder and the services of one window.
class BenchPlatform
{
public:
    BenchPlatform() : m_launcher(&effects), m_opener(&effects), m_autostart(&effects)
    {
        m_platform.appFolder = m_dir.path();
        m_platform.executablePath = m_dir.filePath(QStringLiteral("VemraNotes"));
        m_platform.clock = &m_clock;
        m_platform.launcher = &m_launcher;
        m_platform.opener = &m_opener;
        m_platform.sound = &m_sound;
        m_platform.autostart = &m_autostart;
        m_platform.resolver = &m_resolver;
        m_platform.media = &m_media;
    }
    bool valid() const { return m_dir.isValid(); }
    const Platform& platform() const { return m_platform; }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    /// Config.ini as a save writes it, so the first save of a benchmark does not rewrite it.
    void writeConfig(bool autoSave) const
    {
        QFile file(path(QStringLiteral("Config.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray("[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=") +
                       (autoSave ? "1" : "0") + "\r\n");
    }

    /// Notes/1.txt ... in the application's own file format.
    void writeNotes(const QStringList& texts) const
    {
        NoteFolder folder(m_dir.path(), &m_clock);
        folder.load();
        folder.save(QStringList{QString()} + texts);
    }

    EffectCount effects;

private:
    QTemporaryDir m_dir;
    BenchClock m_clock;
    CountingLauncher m_launcher;
    CountingOpener m_opener;
    SilentSound m_sound;
    CountingAutostart m_autostart;
    UnreachableResolver m_resolver;
    SilentMediaFactory m_media;
    Platform m_platform;
};

// ---- Sample texts --------------------------------------------------------------------------------

// Neither needle can arise from the words, nor across the boundary of two words.
const QString kEveryNoteNeedle = QStringLiteral("提醒");
const QString kTenthNoteNeedle = QStringLiteral("季度预算Q3");

/// Mixed Chinese and Latin text of exactly `length` characters, different for every seed.
QString fillerText(int seed, int length)
{
    static const QString words[] = {QStringLiteral("便笺 "),         QStringLiteral("meeting at ten "),
                                    QStringLiteral("记账 收入 "),    QStringLiteral("Windows "),
                                    QStringLiteral("待办事项，"),    QStringLiteral("\r\n"),
                                    QStringLiteral("买牛奶和面包 "), QStringLiteral("report draft v2 ")};
    QString text = QStringLiteral("#%1 ").arg(seed);
    for (unsigned i = unsigned(seed); text.size() < length; i = i * 31 + 7)
        text += words[i % 8];
    text.truncate(length);
    if (text.endsWith(u'\r'))
        text.back() = u'.';
    return text;
}

/// Inserts word at about position, never between the two characters of a line break.
void insertWord(QString& text, qsizetype position, const QString& word)
{
    if (position > 0 && position < text.size() && text.at(position - 1) == u'\r')
        ++position;
    text.insert(position, word);
}

/// The searchable notes: 500 characters each, every one holding kEveryNoteNeedle somewhere in its
/// middle, and every tenth one (1, 11, 21, ...) holding kTenthNoteNeedle near its end.
QStringList searchableNotes(int count)
{
    QStringList notes;
    notes.reserve(count);
    for (int i = 1; i <= count; ++i) {
        const bool tenth = i % 10 == 1;
        QString text =
            fillerText(i, 500 - int(kEveryNoteNeedle.size()) - (tenth ? int(kTenthNoteNeedle.size()) : 0));
        insertWord(text, 40 + (i * 37) % 380, kEveryNoteNeedle);
        if (tenth)
            insertWord(text, text.size() - 20, kTenthNoteNeedle);
        notes.append(text);
    }
    return notes;
}

/// A ledger whose summary line is stale, so its recalculation changes the text.
QString staleLedger(int entries)
{
    QStringList lines{QStringLiteral("%记账"), QStringLiteral("收入：1，支出：1")};
    lines.reserve(entries + 2);
    for (int i = 0; i < entries; ++i) {
        switch (i % 4) {
        case 0:
            lines.append(QStringLiteral("2024-03-%1 工资+%2.25").arg(i % 28 + 1).arg(5000 + i));
            break;
        case 1:
            lines.append(QStringLiteral("午餐-%1.5元").arg(i % 100));
            break;
        case 2:
            lines.append(QStringLiteral("退款+12.125-3.0001"));
            break;
        default:
            lines.append(QStringLiteral("备注：没有金额的一行"));
            break;
        }
    }
    return lines.join(QStringLiteral("\r\n"));
}

// ---- Helpers -------------------------------------------------------------------------------------

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

/// Identity and modification time of every file below folder, to prove a save wrote nothing.
std::map<QString, std::pair<quint64, qint64>> fileStamps(const QString& folder)
{
    std::map<QString, std::pair<quint64, qint64>> stamps;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        struct stat st = {};
        if (::stat(QFile::encodeName(dir.filePath(name)).constData(), &st) == 0)
            stamps[name] = {quint64(st.st_ino), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    }
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const auto& [name, stamp] : fileStamps(dir.filePath(sub)))
            stamps[sub + u'/' + name] = stamp;
    return stamps;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ---- One keystroke in the search box -------------------------------------------------------------

/// The 10,000-note window is built once for both needles.
struct SearchFixture
{
    BenchPlatform platform;
    std::unique_ptr<FrmMain> window;
};
std::unique_ptr<SearchFixture> g_searchFixture;

SearchFixture* searchFixture()
{
    if (!g_searchFixture) {
        g_searchFixture = std::make_unique<SearchFixture>();
        g_searchFixture->platform.writeConfig(false);
        g_searchFixture->platform.writeNotes(searchableNotes(10000));
        g_searchFixture->window = std::make_unique<FrmMain>(g_searchFixture->platform.platform());
        g_searchFixture->window->ensureNoteList();
        g_searchFixture->window->show();
        // The search box sits on the note-list panel.
        g_searchFixture->window->Picture1_Click();
        settle();
    }
    return g_searchFixture.get();
}

/// Typing the last character of the needle: the box changes from needle minus that character to the
/// needle, and the hit list is refilled from all 10,001 notes.
void BM_SearchKeystroke(benchmark::State& state, const QString& needle, int expectedHits)
{
    SearchFixture* fixture = searchFixture();
    FrmMain* window = fixture->window.get();
    auto* text2 = window->findChild<TextBoxW*>(QStringLiteral("Text2"));
    auto* listSearch = window->findChild<ListBoxW*>(QStringLiteral("ListSearch"));
    if (!text2 || !listSearch || window->NoteCount() != 10001) {
        state.SkipWithError("window without search box or notes");
        return;
    }
    const QString before = needle.chopped(1);
    for (auto _ : state) {
        state.PauseTiming();
        text2->setText(before);
        state.ResumeTiming();
        text2->setText(needle);
    }
    if (listSearch->ListCount() != expectedHits || !listSearch->isVisible())
        state.SkipWithError("the hit list does not show the expected notes");
    state.counters["hits"] = listSearch->ListCount();
    text2->setText(QString());
    settle();
}
BENCHMARK_CAPTURE(BM_SearchKeystroke, tenth_of_notes, kTenthNoteNeedle, 1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchKeystroke, every_note, kEveryNoteNeedle, 10000)->Unit(benchmark::kMillisecond);

// ---- Ctrl+Shift+Enter on a 10,000-line ledger with automatic saving ------------------------------

/// range(0): how many other notes the folder holds besides the ledger.
void BM_LedgerRecalculateAutoSave(benchmark::State& state)
{
    BenchPlatform platform;
    platform.writeConfig(true);
    platform.writeNotes(searchableNotes(int(state.range(0))));
    FrmMain window(platform.platform());
    window.show();
    settle();
    auto* text1 = window.findChild<TextBoxW*>(QStringLiteral("Text1"));
    if (!text1 || !window.AutoSave()) {
        state.SkipWithError("window without editor or automatic saving");
        return;
    }
    // The first accounting key only sets the ledger up.
    text1->setText(QStringLiteral("%记账"));
    window.EditorKeyDown(13, 3);
    if (!window.AccountingActive()) {
        state.SkipWithError("the accounting key did not set the ledger up");
        return;
    }
    const QString ledger = staleLedger(10000);
    const QString expected = Ledger::recalculate(ledger);
    const int savesBefore = window.saveCount();
    for (auto _ : state) {
        state.PauseTiming();
        text1->setText(ledger); // one save of its own, outside the timing
        settle();
        state.ResumeTiming();
        window.EditorKeyDown(13, 3);
        // Its save is handed to the writer after the paint.
        state.PauseTiming();
        settle();
        state.ResumeTiming();
    }
    // Each round: the save of putting the stale ledger back, and the one of the recalculation.
    const qint64 saves = window.saveCount() - savesBefore;
    // Waits for the writer, so the file below is the last save's.
    window.SaveSettingsAndNotes();
    if (text1->text() != expected || saves != 2 * qint64(state.iterations()))
        state.SkipWithError("the recalculation did not rebuild the ledger with one save");
    else if (readAll(platform.path(QStringLiteral("Notes/1.txt"))) != "\xEF\xBB\xBF" + expected.toUtf8())
        state.SkipWithError("the recalculated ledger did not reach its note file");
    else if (platform.effects.count != 0)
        state.SkipWithError("an outside effect was caused");
    state.counters["saves/key"] = benchmark::Counter(double(saves) / 2, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LedgerRecalculateAutoSave)
    ->ArgName("other_notes")
    ->Arg(0)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

// ---- A save that finds nothing changed -----------------------------------------------------------

void BM_SaveUnchangedWindow1000(benchmark::State& state)
{
    BenchPlatform platform;
    platform.writeConfig(false);
    QStringList notes;
    for (int i = 1; i <= 1000; ++i)
        notes.append(fillerText(i, 1024));
    platform.writeNotes(notes);
    FrmMain window(platform.platform());
    window.show();
    settle();
    if (window.NoteCount() != 1001) {
        state.SkipWithError("the notes were not loaded");
        return;
    }
    // Brings Config.ini to the window's actual place once.
    window.SaveSettingsAndNotes();
    const auto stamps = fileStamps(platform.path(QString()));
    for (auto _ : state)
        window.SaveSettingsAndNotes();
    if (fileStamps(platform.path(QString())) != stamps)
        state.SkipWithError("a save with nothing changed wrote files");
    state.counters["notes"] = window.NoteCount() - 1;
}
BENCHMARK(BM_SaveUnchangedWindow1000)->Unit(benchmark::kMillisecond);

// ---- A keystroke in a huge note -------------------------------------------------------------------

/// range(0): the note's size in MB; range(1): 1 with automatic saving; range(2): 1 for lines as long
/// as the editor lets the user edit (FrmMain::kLongestEditableLine), else lines of 500 characters. The
/// note is open in the editor and a letter is typed at its end, as the user would.
void BM_KeystrokeInHugeNote(benchmark::State& state)
{
    const qsizetype bytes = qsizetype(state.range(0)) * 1024 * 1024;
    const bool autoSave = state.range(1) != 0;
    const bool oneLine = state.range(2) != 0;
    BenchPlatform platform;
    platform.writeConfig(autoSave);
    QString huge;
    huge.reserve(bytes / 2);
    for (int i = 1; huge.size() * 2 < bytes; ++i) {
        if (!huge.isEmpty())
            huge += QStringLiteral("\r\n");
        huge += oneLine
                    ? fillerText(i, FrmMain::kLongestEditableLine).replace(u'\r', u' ').replace(u'\n', u' ')
                    : fillerText(i, 500);
    }
    platform.writeNotes({huge});
    FrmMain window(platform.platform());
    window.ensureNoteList();
    window.show();
    settle();
    auto* list = window.findChild<ListBoxW*>(QStringLiteral("List1"));
    auto* text1 = window.findChild<TextBoxW*>(QStringLiteral("Text1"));
    if (!list || !text1 || window.NoteCount() != 2) {
        state.SkipWithError("the huge note was not loaded");
        return;
    }
    window.Picture1_Click();
    list->setListIndex(1);
    window.OpenSelectedNote();
    settle();
    text1->setFocus();
    text1->moveCursor(QTextCursor::End);
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(text1, &press);
        QCoreApplication::sendEvent(text1, &release);
        // What the user waits for: the key's repaint.
        text1->viewport()->repaint();
    }
    window.CommitEditor();
    if (!window.noteTexts().value(1).endsWith(QStringLiteral("a")))
        state.SkipWithError("the keys did not reach the note");
    state.counters["MB"] = double(state.range(0));
}
BENCHMARK(BM_KeystrokeInHugeNote)
    ->ArgNames({"MB", "autosave", "longest_lines"})
    ->Args({10, 0, 0})
    ->Args({10, 1, 0})
    ->Args({10, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// ---- A visible second ------------------------------------------------------------------------------

/// One second of five countdowns in the to-do list, drawn (the processor's part of what the idle
/// benchmark measures with the X server), beside one label showing a changing second, the least any
/// Qt program pays.
void BM_CountdownSecond(benchmark::State& state)
{
    const bool list = state.range(0) != 0;
    QWidget window;
    window.resize(458, 595);
    ListBoxW entries(&window);
    entries.setGeometry(8, 300, 440, 280);
    QLabel label(&window);
    label.setGeometry(16, 48, 200, 24);
    const auto entryAt = [](int task, int left) {
        return QStringLiteral("【-%1:%2:%3】t%4")
            .arg(left / 3600, 2, 10, QChar(u'0'))
            .arg(left / 60 % 60, 2, 10, QChar(u'0'))
            .arg(left % 60, 2, 10, QChar(u'0'))
            .arg(task);
    };
    int left = 5 * 3600;
    for (int task = 1; task <= 5; ++task)
        entries.AddItem(entryAt(task, left));
    window.show();
    settle();
    for (auto _ : state) {
        --left;
        if (list) {
            for (int task = 1; task <= 5; ++task)
                entries.setList(task - 1, entryAt(task, left));
        } else {
            label.setText(entryAt(1, left));
        }
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_CountdownSecond)->ArgName("list")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// ---- Start-up --------------------------------------------------------------------------------------

/// The whole construction of the window over range(0) notes of 500 characters. The difference between
/// the 10,000 and the 0 case is the part spent on loading the notes into the store and the list.
void BM_WindowStartup(benchmark::State& state)
{
    const int count = int(state.range(0));
    BenchPlatform platform;
    platform.writeConfig(false);
    platform.writeNotes(searchableNotes(count));
    for (auto _ : state) {
        auto window = std::make_unique<FrmMain>(platform.platform());
        state.PauseTiming();
        if (window->NoteCount() != count + 1)
            state.SkipWithError("not every note was loaded");
        window.reset();
        settle();
        state.ResumeTiming();
    }
    state.counters["notes"] = count;
}
BENCHMARK(BM_WindowStartup)->ArgName("notes")->Arg(0)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The windows are never meant to appear on a desktop.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_searchFixture.reset();
    return 0;
}
