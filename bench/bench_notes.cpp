// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteFolder.h"
#include "notes/NoteSearch.h"
#include "notes/NoteStore.h"
#include "notes/TextMetrics.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Mixed Chinese and Latin text of roughly the given length, different for every seed.
QString sampleNote(int seed, int length)
{
    static const QString words[] = {QStringLiteral("便笺 "),      QStringLiteral("meeting at ten "),
                                    QStringLiteral("记账 收入 "), QStringLiteral("Windows "),
                                    QStringLiteral("待办事项，"), QStringLiteral("\r\n")};
    QString text = QStringLiteral("#%1 ").arg(seed);
    for (int i = seed; text.size() < length; i = i * 31 + 7)
        text += words[unsigned(i) % 6];
    text.truncate(length);
    return text;
}

QStringList sampleNotes(int count, int length)
{
    QStringList notes{QString()};
    for (int i = 1; i <= count; ++i)
        notes.append(sampleNote(i, length));
    return notes;
}

void BM_SaveUnchanged1000(benchmark::State& state)
{
    QTemporaryDir dir;
    NoteFolder folder(dir.path());
    folder.load();
    const QStringList notes = sampleNotes(1000, 1024);
    folder.save(notes);
    const int written = folder.filesWritten();
    for (auto _ : state)
        benchmark::DoNotOptimize(folder.save(notes));
    if (folder.filesWritten() != written)
        state.SkipWithError("an unchanged save wrote files");
}
BENCHMARK(BM_SaveUnchanged1000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_SaveOneChanged1000(benchmark::State& state)
{
    QTemporaryDir dir;
    NoteFolder folder(dir.path());
    folder.load();
    QStringList notes = sampleNotes(1000, 1024);
    folder.save(notes);
    int round = 0;
    for (auto _ : state) {
        notes[500] = sampleNote(++round, 1024);
        benchmark::DoNotOptimize(folder.save(notes));
    }
    state.counters["files/save"] = double(folder.filesWritten() - 1000) / double(round);
}
BENCHMARK(BM_SaveOneChanged1000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The first key typed into a new note at the top: every other note moves down one number. Each
// round adds one more note, so the folder grows from 1,000.
void BM_NewNoteAtTop1000(benchmark::State& state)
{
    QTemporaryDir dir;
    NoteFolder folder(dir.path());
    folder.load();
    QStringList notes = sampleNotes(1000, 1024);
    folder.save(notes);
    const int written = folder.filesWritten();
    int round = 0;
    for (auto _ : state) {
        notes.insert(1, sampleNote(100000 + ++round, 1));
        benchmark::DoNotOptimize(folder.save(notes));
    }
    state.counters["files/save"] = double(folder.filesWritten() - written) / double(round);
    if (folder.filesWritten() - written != round)
        state.SkipWithError("a save rewrote notes that only moved");
}
BENCHMARK(BM_NewNoteAtTop1000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// What every change in Notes costs while the application runs: looking over 1,000 files, first with
// nothing changed, then with one file another program rewrote (dated back, so two looks in a row
// take it in).
void BM_LookUnchanged1000(benchmark::State& state)
{
    QTemporaryDir dir;
    NoteFolder folder(dir.path());
    folder.load();
    folder.save(sampleNotes(1000, 1024));
    for (auto _ : state) {
        if (!folder.look().changes.isEmpty())
            state.SkipWithError("an untouched folder was seen changed");
    }
}
BENCHMARK(BM_LookUnchanged1000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_LookOutsideEdit1000(benchmark::State& state)
{
    QTemporaryDir dir;
    NoteFolder folder(dir.path());
    folder.load();
    folder.save(sampleNotes(1000, 1024));
    const QByteArray path = QFile::encodeName(dir.path() + QStringLiteral("/Notes/500.txt"));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string text = "\xEF\xBB\xBFoutside " + std::to_string(++round);
        FILE* file = std::fopen(path.constData(), "wb");
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        timespec dated[2];
        clock_gettime(CLOCK_REALTIME, &dated[0]);
        dated[0].tv_sec -= 5;
        dated[1] = dated[0];
        utimensat(AT_FDCWD, path.constData(), dated, 0);
        state.ResumeTiming();
        // The first look sees the file new, the second finds it the same and takes it in.
        const qsizetype seen = folder.look().changes.size();
        if (seen + folder.look().changes.size() != 1)
            state.SkipWithError("the outside change was not seen once");
    }
}
BENCHMARK(BM_LookOutsideEdit1000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The close of a window holding 1,000 notes: untouched, and after another program (a sync tool
// bringing another computer's order) moved every text one number on. Only the close is timed; the
// window had already followed the folder. "moved" counts the files the close put under another name.
void closeOf1000(benchmark::State& state, bool reordered)
{
    QTemporaryDir dir;
    NoteStore store(std::make_unique<NoteFolder>(dir.path()));
    store.load();
    store.appendNotes(sampleNotes(1000, 1024).mid(1));
    store.save();
    const QString notes = dir.path() + QStringLiteral("/Notes/");
    const auto path = [&notes](int number) {
        return QFile::encodeName(notes + QString::number(number) + QStringLiteral(".txt"));
    };
    const auto inode = [](const QByteArray& name) {
        struct stat st = {};
        return ::stat(name.constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    // Dated back, so that a file is taken in at the second look that finds it unchanged.
    for (int i = 1; i <= 1000; ++i) {
        timespec dated[2];
        clock_gettime(CLOCK_REALTIME, &dated[0]);
        dated[0].tv_sec -= 5;
        dated[1] = dated[0];
        utimensat(AT_FDCWD, path(i).constData(), dated, 0);
    }
    double moved = 0;
    int rounds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (reordered) {
            const QByteArray parked = QFile::encodeName(notes + QStringLiteral(".parked"));
            std::rename(path(1).constData(), parked.constData());
            for (int i = 2; i <= 1000; ++i)
                std::rename(path(i).constData(), path(i - 1).constData());
            std::rename(parked.constData(), path(1000).constData());
            store.followFolder();
            store.followFolder();
        }
        std::vector<ino_t> before;
        for (int i = 1; i <= 1000; ++i)
            before.push_back(inode(path(i)));
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.save());
        state.PauseTiming();
        for (int i = 1; i <= 1000; ++i)
            moved += inode(path(i)) != before[std::size_t(i - 1)] ? 1 : 0;
        ++rounds;
        state.ResumeTiming();
    }
    state.counters["moved"] = moved / rounds;
}
void BM_CloseUntouched1000(benchmark::State& state)
{
    closeOf1000(state, false);
}
BENCHMARK(BM_CloseUntouched1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
void BM_CloseAfterOutsideOrder1000(benchmark::State& state)
{
    closeOf1000(state, true);
}
BENCHMARK(BM_CloseAfterOutsideOrder1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_Load10000(benchmark::State& state)
{
    QTemporaryDir dir;
    {
        NoteFolder writer(dir.path());
        writer.load();
        writer.save(sampleNotes(10000, 500));
    }
    for (auto _ : state) {
        NoteFolder folder(dir.path());
        const NoteFolder::LoadResult loaded = folder.load();
        if (loaded.texts.size() != 10000)
            state.SkipWithError("not every note was loaded");
        benchmark::DoNotOptimize(loaded.texts.data());
    }
}
BENCHMARK(BM_Load10000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_Search10000(benchmark::State& state)
{
    QStringList notes = sampleNotes(10000, 500); // 5 million characters
    for (int i = 1; i < notes.size(); i += 97)
        notes[i].insert(250, QStringLiteral("周五交报告"));
    qsizetype hits = 0;
    for (auto _ : state) {
        const QList<int> found = searchNotes(notes, QStringLiteral("周五交报告"));
        hits = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["hits"] = double(hits);
}
BENCHMARK(BM_Search10000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_NoteTitle10000(benchmark::State& state)
{
    const QStringList notes = sampleNotes(10000, int(state.range(0)));
    for (auto _ : state) {
        for (const QString& note : notes)
            benchmark::DoNotOptimize(NoteTitle(note));
    }
}
BENCHMARK(BM_NoteTitle10000)
    ->Arg(40)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_GetTextLength10000(benchmark::State& state)
{
    const QStringList notes = sampleNotes(10000, 40);
    double total = 0;
    for (auto _ : state) {
        for (const QString& note : notes)
            total += GetTextLength(note);
    }
    benchmark::DoNotOptimize(total);
}
BENCHMARK(BM_GetTextLength10000)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The first titles of a process pay for whatever the double-byte table costs to get ready: building
// it, or only faulting its pages in. Each iteration starts this program afresh (--first-titles N),
// which titles N notes twice and prints both times, so nothing an earlier benchmark of this process
// warmed up is shared with it.
constexpr const char* kFirstTitlesFlag = "--first-titles";

int firstTitlesChild(int count)
{
    const QStringList notes = sampleNotes(count, 200).mid(1);
    std::int64_t passes[2];
    for (std::int64_t& pass : passes) {
        const auto start = std::chrono::steady_clock::now();
        for (const QString& note : notes)
            benchmark::DoNotOptimize(NoteTitle(note));
        pass = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                   .count();
    }
    std::printf("%lld %lld\n", static_cast<long long>(passes[0]), static_cast<long long>(passes[1]));
    return 0;
}

struct TitlePasses
{
    double firstNs = -1;
    double secondNs = -1;
};

TitlePasses titleInFreshProcess(int count)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const std::string countText = std::to_string(count);
    char* const argv[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>(kFirstTitlesFlag),
                          const_cast<char*>(countText.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string output;
    char buffer[128];
    for (ssize_t n; error == 0 && (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, size_t(n));
    ::close(fds[0]);
    if (error != 0)
        return {};
    ::waitpid(pid, nullptr, 0);
    TitlePasses passes;
    long long first = -1;
    long long second = -1;
    if (std::sscanf(output.c_str(), "%lld %lld", &first, &second) == 2) {
        passes.firstNs = double(first);
        passes.secondNs = double(second);
    }
    return passes;
}

void BM_FirstTitlesInFreshProcess(benchmark::State& state)
{
    double secondNs = 0;
    std::int64_t rounds = 0;
    for (auto _ : state) {
        const TitlePasses passes = titleInFreshProcess(int(state.range(0)));
        if (passes.firstNs < 0) {
            state.SkipWithError("the fresh process did not report");
            break;
        }
        state.SetIterationTime(passes.firstNs * 1e-9);
        secondNs += passes.secondNs;
        ++rounds;
    }
    if (rounds > 0)
        state.counters["second_pass_us"] = secondNs / double(rounds) / 1e3;
}
// A fixed number of launches: with manual time the library would otherwise start thousands.
BENCHMARK(BM_FirstTitlesInFreshProcess)
    ->Arg(1)
    ->Arg(1000)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], kFirstTitlesFlag) == 0)
        return firstTitlesChild(std::atoi(argv[2]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
