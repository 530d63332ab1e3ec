// One codec instance is documented to take batches in both directions at once: run under
// ThreadSanitizer, this test shows it. Instances sharing no state shows in tests/replay/jobs_test.

#include <atomic>
#include <thread>

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

} // namespace
