// What the consumer's metrics cost: the updates one frame brings (two threads, as the
// network and worker threads update them side by side), and one scrape of the page.
// The per-frame figure, against the time a frame takes end to end, is the overhead
// the metrics add to the live consumer's rate.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>

#include "tools/consume/consume_metrics.h"

namespace {

consume::ConsumeMetrics metrics;

constexpr std::array<const char*, 5> eventTypes = {
    "com.orbel.tessaro.Alarm", "com.orbel.tessaro.Event", "com.orbel.tessaro.Measurement",
    "com.orbel.tessaro.ManagedObject", "com.orbel.tessaro.Operation"};
constexpr int framesPerBatch = 64;

// Per frame: received, its bytes in flight and out again, acknowledged, one event by type; per batch
// of 64: both histograms, the waiting acknowledgements and the time of the last one.
void frameUpdates(benchmark::State& state)
{
    size_t frame = 0;
    for (auto _ : state) {
        metrics.framesReceived.add();
        metrics.bytesInFlight.add(600);
        metrics.eventsWritten.add(eventTypes[frame % eventTypes.size()]);
        metrics.framesAcknowledged.add();
        metrics.bytesInFlight.add(-600);
        if (++frame % framesPerBatch == 0) {
            metrics.batchConversion.observe(std::chrono::microseconds(frame % 3000));
            metrics.outputSync.observe(std::chrono::microseconds(frame % 5000));
            metrics.acknowledgementsWaiting.set(static_cast<int64_t>(frame % 128));
            metrics.lastAcknowledgement.set(std::chrono::system_clock::now());
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(frameUpdates)->Threads(1)->Threads(2);

void renderPage(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(consume::renderMetricsPage(metrics));
}
BENCHMARK(renderPage);

} // namespace

BENCHMARK_MAIN();
