// What runs on several threads at once, shown under ThreadSanitizer: one codec instance taking batches in
// both directions (instances sharing no state shows in tests/replay/jobs_test), and the record pool's
// depot between a thread that only makes records and one that only releases them.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "obclient/plugin_library.h"
#include "tests/support/host_test.h"

namespace {

constexpr int batchesPerThread = 200;
constexpr int messagesPerBatch = 16;
constexpr long messagesPerThread = long{batchesPerThread} * messagesPerBatch;

// Every fifth alarm has a severity the codec refuses.
vlm_message_t alarmNotification(int serial)
{
    vlm_map_table_t* source = nullptr;
    obclient_map_insert_string(&source, "id", obclient_string("4711"));
    vlm_map_table_t* payload = nullptr;
    obclient_map_insert_string(&payload, "source", obclient_map_value(source));
    for (const char* key : {"type", "text", "status"})
        obclient_map_insert_string(&payload, key, obclient_string("ACTIVE"));
    obclient_map_insert_string(&payload, "time", obclient_string("2024-02-01T10:00:00.250+01:00"));
    obclient_map_insert_string(&payload, "severity", obclient_string(serial % 5 == 0 ? "minor" : "MAJOR"));
    obclient_map_insert_string(&payload, "id", obclient_string(std::to_string(serial).c_str()));
    obclient_map_insert_string(&payload, "count", obclient_integer(serial));
    vlm_message_t message{obclient_map_value(payload), nullptr};
    obclient_map_insert_string(&message.metadata, "pulsarPath", obclient_string("t1/sub/alarms/17"));
    return message;
}

int32_t countArrivals(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    *static_cast<std::atomic<long>*>(handle) += end - start;
    return 0;
}

using CodecThreads = testing_support::HostTest;

TEST_F(CodecThreads, OneInstanceTakesBothDirectionsAtOnce)
{
    obclient_set_default_log_level(2); // dropped alarms would log at 3; keep the run quiet
    PluginLibrary plugin(TESSARO_PLUGIN_LIBRARY);
    std::atomic<int> failures{0};
    std::atomic<long> towardsHost{0}, towardsTransport{0};
    vlm_data_t config = obclient_map_value(nullptr);
    obclient_map_insert_string(&config.payload.map, "tenantId", obclient_string("t1"));
    void* codec = plugin.create("threads", "chain", &config, nullptr, nullptr);
    obclient_free_data(config);
    ASSERT_NE(codec, nullptr);
    plugin.setNextTowardsHost(codec, &towardsHost, &countArrivals);
    plugin.setNextTowardsTransport(codec, &towardsTransport, &countArrivals);
    const auto pushBatches = [&](vlm_send_batch_fn send) {
        std::vector<vlm_message_t> batch;
        for (int b = 0; b < batchesPerThread; ++b) {
            for (int m = 0; m < messagesPerBatch; ++m)
                batch.push_back(alarmNotification(b * messagesPerBatch + m));
            failures += send(codec, batch.data(), batch.data() + batch.size()) != 0;
            for (vlm_message_t& message : batch) {
                obclient_free_data(message.payload);
                vlm_free_map(message.metadata);
            }
            batch.clear();
        }
    };
    std::thread transport(pushBatches, plugin.sendBatchTowardsTransport);
    pushBatches(plugin.sendBatchTowardsHost);
    transport.join();
    EXPECT_EQ(plugin.destroy(codec), 0);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(towardsTransport.load(), messagesPerThread);
    EXPECT_EQ(towardsHost.load(), messagesPerThread - messagesPerThread / 5);
}

using RecordPoolDepot = testing_support::HostTest;

// Checked mode off. A block handed out twice has two owners writing it, which no sanitizer sees inside
// the pool's own runs, so every block held is registered. Several size classes, and the maker's blocks held
// for longer than a stack's worth of releases, so that a block the depot handed out earlier is still held
// when it could come again.
TEST_F(RecordPoolDepot, BlocksPassedFromAReleasingThreadThroughTheDepotAreHandedOutOnce)
{
    constexpr std::size_t batchTexts = 500;
    constexpr std::size_t batchesInFlight = 80; // 40,000 texts: more than any class's stack holds
    constexpr std::size_t batches = 8 * batchesInFlight;
    obclient_set_checked(false);
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<vlm_data_t>> queue;
    std::unordered_set<const void*> held;
    bool makerDone = false;
    std::size_t twice = 0;

    const obclient_counts_t madeBefore = obclient_allocation_totals();
    std::thread maker([&] {
        for (std::size_t batch = 0; batch < batches; ++batch) {
            const std::size_t length = 2 + batch % 3 * 40;
            std::vector<vlm_data_t> texts;
            for (std::size_t i = 0; i < batchTexts; ++i)
                texts.push_back(obclient_string_n(std::string(length, 'x').c_str(), length));
            std::unique_lock<std::mutex> hold(lock);
            for (const vlm_data_t& text : texts)
                twice += !held.insert(text.payload.string).second;
            changed.wait(hold, [&] { return queue.size() < batchesInFlight; });
            queue.push_back(std::move(texts));
            changed.notify_all();
        }
        std::lock_guard<std::mutex> hold(lock);
        makerDone = true;
        changed.notify_all();
    });
    std::thread releaser([&] {
        for (;;) {
            std::vector<vlm_data_t> texts;
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return !queue.empty() || makerDone; });
                if (queue.empty())
                    return;
                texts = std::move(queue.front());
                queue.pop_front();
                // Unregistered before they go back, so that the maker taking them next finds them free.
                for (const vlm_data_t& text : texts)
                    held.erase(text.payload.string);
                changed.notify_all();
            }
            for (const vlm_data_t& text : texts)
                obclient_free_data(text);
        }
    });
    maker.join();
    releaser.join();
    obclient_set_checked(true);
    EXPECT_EQ(twice, 0u) << "blocks handed out while held";
    EXPECT_EQ(obclient_allocation_totals().strings - madeBefore.strings, std::int64_t{batches * batchTexts});
}

} // namespace
