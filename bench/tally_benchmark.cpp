// The summary's tally of event types, per message, as the number of distinct types
// grows: crafted input may bring one type per message, so the cost per message
// must not grow with the types already seen (beyond what a table outgrowing the
// caches costs).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tools/common/summary.h"

namespace {

void countDistinctTypes(benchmark::State& state)
{
    std::vector<std::string> types;
    for (int64_t i = 0; i < state.range(0); ++i)
        types.push_back("com.example.type-" + std::to_string(i));
    for (auto _ : state) {
        tools::Tally tally;
        for (const std::string& type : types)
            tally.countEvent(type);
        benchmark::DoNotOptimize(tally.eventsByType.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(countDistinctTypes)->RangeMultiplier(4)->Range(1250, 80000);

} // namespace

BENCHMARK_MAIN();
