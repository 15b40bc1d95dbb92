#include "notes/NoteFolder.h"
#include "notes/NoteSearch.h"
#include "notes/TextMetrics.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <sys/wait.h>
#include <unistd.h>

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
// it, or only faulting its pages in. A forked child has not touched the table yet (the parent never
// does), so each iteration forks, titles the notes twice in the child and reports both times.
struct TitlePasses
{
    std::int64_t firstNs = -1;
    std::int64_t secondNs = -1;
};

TitlePasses titleInFreshChild(const QStringList& notes)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        TitlePasses passes;
        std::int64_t* targets[] = {&passes.firstNs, &passes.secondNs};
        for (std::int64_t* slot : targets) {
            const auto start = std::chrono::steady_clock::now();
            for (const QString& note : notes)
                benchmark::DoNotOptimize(NoteTitle(note));
            *slot =
                std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                    .count();
        }
        const bool written = ::write(fds[1], &passes, sizeof passes) == ssize_t(sizeof passes);
        ::_exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    TitlePasses passes;
    if (pid < 0 || ::read(fds[0], &passes, sizeof passes) != ssize_t(sizeof passes))
        passes = {};
    ::close(fds[0]);
    if (pid > 0)
        ::waitpid(pid, nullptr, 0);
    return passes;
}

void BM_FirstTitlesInFreshProcess(benchmark::State& state)
{
    const QStringList notes = sampleNotes(int(state.range(0)), 200).mid(1);
    double secondNs = 0;
    std::int64_t rounds = 0;
    for (auto _ : state) {
        const TitlePasses passes = titleInFreshChild(notes);
        if (passes.firstNs < 0) {
            state.SkipWithError("the child did not report");
            break;
        }
        state.SetIterationTime(double(passes.firstNs) * 1e-9);
        secondNs += double(passes.secondNs);
        ++rounds;
    }
    if (rounds > 0)
        state.counters["second_pass_us"] = secondNs / double(rounds) / 1e3;
}
BENCHMARK(BM_FirstTitlesInFreshProcess)
    ->Arg(1)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
