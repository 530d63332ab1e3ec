// Conversion of one notification of each kind through the built plug-in's batch
// entry point, against the baseline of one host deep copy of the same payload
// (vlm_copy_data, then its release), both measured in the same run.
//
// How the conversion is timed: the codec consumes its input, so every batch is
// rebuilt from a template with vlm_copy_data. Pausing the benchmark's timer
// around every rebuild would time the pausing, so the clock is read only around
// whole batches (two reads per 256 notifications) and the rebuild lies outside
// the timed spans:
//   converted:  rebuild | codec batch call, then release of the events   (timed)
//   untouched:  rebuild | release of the rebuilt notifications           (timed)
//   deep copy:  rebuild | copy each rebuilt payload, release the copies  (timed)
// The deep copy reads the same freshly rebuilt batch the conversion reads, so
// neither gets a warm template the other lacks.
// convert = converted - untouched. That is (copy + convert + free) minus
// (copy + free) without the copy's own jitter in the difference, and it charges
// the codec with what it frees and with the events the host frees after it:
// what a host pays for having the codec in its chain. The three spans run in
// turn within every iteration, so load from other processes falls on all alike.
//
// Allocations: the host's running totals of records made, across one codec
// batch call and across one deep copy, give the exact number of host records
// each makes per notification (table growth included). The report names the
// stand-in's record allocator, since it weighs on both sides alike.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "bench/loaded_codec.h"
#include "bench/sample_notifications.h"
#include "obclient/obclient.h"

namespace {

using bench::LoadedCodec;
using Clock = std::chrono::steady_clock;

constexpr size_t batchSize = 256;

int64_t sumOfKinds(const obclient_counts_t& counts)
{
    return counts.strings + counts.maps + counts.lists + counts.buffers + counts.customs;
}

int64_t liveRecords()
{
    return sumOfKinds(obclient_live_counts());
}

int64_t recordsMade()
{
    return sumOfKinds(obclient_allocation_totals());
}

double nanoseconds(Clock::duration span)
{
    return std::chrono::duration<double, std::nano>(span).count();
}

// A notification as the transport hands it over; messages are made from it by deep copies.
class NotificationTemplate {
public:
    explicit NotificationTemplate(const bench::SampleNotification& sample)
        : sample_(sample), message_(bench::readSampleMessage(sample))
    {}
    NotificationTemplate(const NotificationTemplate&) = delete;
    NotificationTemplate& operator=(const NotificationTemplate&) = delete;
    ~NotificationTemplate()
    {
        obclient_free_data(message_.payload);
        vlm_free_map(message_.metadata);
    }

    const bench::SampleNotification& sample() const { return sample_; }
    const vlm_data_t& payload() const { return message_.payload; }

    void rebuild(std::vector<vlm_message_t>& batch) const
    {
        for (vlm_message_t& message : batch) {
            message.payload = vlm_copy_data(message_.payload);
            message.metadata = vlm_copy_data(obclient_map_value(message_.metadata)).payload.map;
        }
    }

private:
    const bench::SampleNotification& sample_;
    vlm_message_t message_;
};

void release(std::vector<vlm_message_t>& batch)
{
    for (vlm_message_t& message : batch) {
        obclient_free_data(message.payload);
        vlm_free_map(message.metadata);
        message = vlm_message_t{};
    }
}

bool holdsEventType(vlm_map_table_t* metadata, const char* eventType)
{
    const vlm_data_t* type = obclient_map_find_string(metadata, "vlm.type");
    return type != nullptr && type->tag == VLM_TAG_STRING &&
           std::strcmp(type->payload.string, eventType) == 0;
}

// Runs one batch through the codec untimed: the template must come out as events
// of its type, or the timings would be those of the error path. Returns what is
// wrong (empty when nothing is) and the host records the codec made per notification.
std::string probeConversion(LoadedCodec& codec, const NotificationTemplate& notification,
                            std::vector<vlm_message_t>& batch, double& recordsPerNotification)
{
    notification.rebuild(batch);
    const size_t deliveredBefore = codec.delivered();
    const int64_t madeBefore = recordsMade();
    const int32_t status = codec.sendTowardsHost(batch.data(), batch.data() + batch.size());
    recordsPerNotification =
        static_cast<double>(recordsMade() - madeBefore) / static_cast<double>(batch.size());
    std::string problem;
    if (status != 0)
        problem = "the batch entry point returned " + std::to_string(status);
    else if (codec.delivered() - deliveredBefore != batch.size())
        problem = "the codec dropped the notification (see its log line)";
    else if (!holdsEventType(batch.front().metadata, notification.sample().eventType))
        problem = std::string("the event is not of type ") + notification.sample().eventType;
    release(batch);
    return problem;
}

int64_t deepCopyRecords(const NotificationTemplate& notification)
{
    const int64_t before = recordsMade();
    const vlm_data_t copy = vlm_copy_data(notification.payload());
    const int64_t records = recordsMade() - before;
    obclient_free_data(copy);
    return records;
}

void convertAgainstDeepCopy(benchmark::State& state, LoadedCodec& codec,
                            const NotificationTemplate& notification)
{
    std::vector<vlm_message_t> batch(batchSize);
    std::vector<vlm_data_t> copies(batchSize);
    const int64_t liveAtStart = liveRecords();
    double convertRecords = 0;
    const std::string problem = probeConversion(codec, notification, batch, convertRecords);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const int64_t copyRecords = deepCopyRecords(notification);
    const size_t deliveredBefore = codec.delivered();
    int64_t failedBatches = 0;
    Clock::duration converted{}, untouched{}, copied{};

    for (auto _ : state) {
        notification.rebuild(batch);
        Clock::time_point start = Clock::now();
        failedBatches += codec.sendTowardsHost(batch.data(), batch.data() + batch.size()) != 0;
        release(batch);
        const Clock::duration convertedSpan = Clock::now() - start;
        converted += convertedSpan;

        notification.rebuild(batch);
        start = Clock::now();
        release(batch);
        untouched += Clock::now() - start;

        notification.rebuild(batch);
        start = Clock::now();
        for (size_t i = 0; i < batchSize; ++i)
            copies[i] = vlm_copy_data(batch[i].payload);
        for (const vlm_data_t& copy : copies)
            obclient_free_data(copy);
        copied += Clock::now() - start;
        release(batch);

        state.SetIterationTime(std::chrono::duration<double>(convertedSpan).count());
    }

    const double notifications = static_cast<double>(state.iterations() * batchSize);
    const size_t expectedDeliveries = static_cast<size_t>(state.iterations()) * batchSize;
    if (failedBatches != 0 || codec.delivered() - deliveredBefore != expectedDeliveries)
        state.SkipWithError("the codec failed or dropped notifications while timed");
    else if (liveRecords() != liveAtStart)
        state.SkipWithError("host records leaked or were freed twice");
    const double convertNs = nanoseconds(converted - untouched) / notifications;
    const double copyNs = nanoseconds(copied) / notifications;
    state.SetItemsProcessed(static_cast<int64_t>(notifications));
    state.counters["convert_ns"] = convertNs;
    state.counters["copy_ns"] = copyNs;
    state.counters["ratio"] = convertNs / copyNs;
    state.counters["converted_span_ns"] = nanoseconds(converted) / notifications;
    state.counters["untouched_span_ns"] = nanoseconds(untouched) / notifications;
    state.counters["copy_records"] = static_cast<double>(copyRecords);
    state.counters["convert_records"] = convertRecords;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    // Keep the heap as a long-running host keeps it. Otherwise releasing a batch
    // hands its pages back to the system and whichever span allocates next pays
    // for faulting them in again, the deep copy most of all.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::AddCustomContext("record_allocator", obclient_record_allocator());
    try {
        LoadedCodec codec(TESSARO_PLUGIN_PATH);
        std::vector<std::unique_ptr<NotificationTemplate>> notifications;
        for (const bench::SampleNotification& sample : bench::sampleNotifications) {
            notifications.push_back(std::make_unique<NotificationTemplate>(sample));
            const NotificationTemplate& notification = *notifications.back();
            const std::string name = std::string("convert/") + notification.sample().name;
            benchmark::RegisterBenchmark(name.c_str(),
                                         [&codec, &notification](benchmark::State& state) {
                                             convertAgainstDeepCopy(state, codec, notification);
                                         })
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_convert: %s\n", error.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
