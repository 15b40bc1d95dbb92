// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"
#include "tasks/TaskEngine.h"

#include <QStringList>
#include <benchmark/benchmark.h>

namespace {

// Time moves one second per tick without any sleeping.
class SteppedClock : public Clock
{
public:
    QDateTime now() const override { return m_start.addMSecs(m_ms); }
    qint64 monotonicMs() const override { return m_ms; }
    void advance(qint64 ms) { m_ms += ms; }

private:
    QDateTime m_start{QDate(2024, 3, 5), QTime(9, 0, 0)};
    qint64 m_ms = 0;
};

// A full to-do list wired to a list of entry texts, as the window wires it to its list box.
struct Fixture
{
    SteppedClock clock;
    TaskEngine engine{clock};
    QStringList entries;

    Fixture(int countdowns, int clockTimes)
    {
        engine.appendEntry = [this](const QString& e) { entries.append(e); };
        engine.setEntry = [this](int i, const QString& e) { entries[i] = e; };
        for (int i = 0; i < countdowns; ++i) // the longest countdowns: none falls due while measured
            engine.addTask(
                {QStringLiteral("第%1个倒计时任务").arg(i), QStringLiteral("-23:59:00"), 0, 1, "x"});
        for (int i = 0; i < clockTimes; ++i)
            engine.addTask({QStringLiteral("第%1个定时任务").arg(i), QStringLiteral("+08:00"), 0, 1, "x"});
    }
};

void runTicks(benchmark::State& state, int countdowns, int clockTimes)
{
    auto fixture = std::make_unique<Fixture>(countdowns, clockTimes);
    int ticks = 0;
    for (auto _ : state) {
        if (++ticks == 80'000) { // a day is nearly over: start again with fresh countdowns
            state.PauseTiming();
            fixture = std::make_unique<Fixture>(countdowns, clockTimes);
            ticks = 1;
            state.ResumeTiming();
        }
        fixture->clock.advance(1000);
        fixture->engine.tick();
    }
    state.SetItemsProcessed(state.iterations() * (countdowns + clockTimes));
}

void BM_TickCountdowns(benchmark::State& state)
{
    runTicks(state, int(state.range(0)), 0);
}

void BM_TickClockTimes(benchmark::State& state)
{
    runTicks(state, 0, int(state.range(0)));
}

} // namespace

BENCHMARK(BM_TickCountdowns)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickClockTimes)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
