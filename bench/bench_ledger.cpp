// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/Ledger.h"

#include <benchmark/benchmark.h>

#include <QStringList>

namespace {

/// A ledger of `entries` lines mixing income, expense, both, and plain remarks.
QString makeLedger(int entries)
{
    QStringList lines{QStringLiteral("%记账"), QStringLiteral("收入：0，支出：0")};
    lines.reserve(entries + 2);
    for (int i = 0; i < entries; ++i) {
        switch (i % 4) {
        case 0:
            lines.append(QStringLiteral("2024-03-05 工资+%1.25").arg(5000 + i));
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

void BM_RecalculateLedger(benchmark::State& state)
{
    const QString text = makeLedger(int(state.range(0)));
    for (auto _ : state) {
        QString rebuilt = Ledger::recalculate(text);
        benchmark::DoNotOptimize(rebuilt);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_RecalculateLedger)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
