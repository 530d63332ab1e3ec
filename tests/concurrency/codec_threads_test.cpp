// One codec instance is documented to take batches in both directions at once,
// and instances never share state; run under ThreadSanitizer these tests show it.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "obclient/plugin_library.h"
#include "tests/support/host_test.h"

namespace {

constexpr int batchesPerThread = 200;
constexpr int messagesPerBatch = 16;

vlm_data_t text(const char* value) { return obclient_string(value); }

vlm_data_t alarmPayload(int serial)
{
    vlm_map_table_t* source = nullptr;
    obclient_map_insert_string(&source, "id", text("4711"));
    obclient_map_insert_string(&source, "name", text("pump"));
    vlm_map_table_t* payload = nullptr;
    obclient_map_insert_string(&payload, "source", obclient_map_value(source));
    obclient_map_insert_string(&payload, "type", text("t5o_PressureAlarm"));
    obclient_map_insert_string(&payload, "time", text("2024-02-01T10:00:00.250+01:00"));
    obclient_map_insert_string(&payload, "text", text("Pressure too high"));
    obclient_map_insert_string(&payload, "status", text("ACTIVE"));
    obclient_map_insert_string(&payload, "severity", text(serial % 5 == 0 ? "minor" : "MAJOR"));
    obclient_map_insert_string(&payload, "count", obclient_integer(serial));
    obclient_map_insert_string(&payload, "id", text(std::to_string(serial).c_str()));
    return obclient_map_value(payload);
}

vlm_message_t notification(int serial)
{
    vlm_message_t message{};
    message.payload = alarmPayload(serial);
    obclient_map_insert_string(&message.metadata, "pulsarPath", text("t1/sub/alarms/17"));
    return message;
}

void freeBatch(std::vector<vlm_message_t>& batch)
{
    for (vlm_message_t& message : batch) {
        obclient_free_data(message.payload);
        vlm_free_map(message.metadata);
    }
    batch.clear();
}

struct Counter {
    std::atomic<long> messages{0};
};

int32_t countArrivals(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    static_cast<Counter*>(handle)->messages += end - start;
    return 0;
}

class CodecThreads : public testing_support::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        obclient_set_default_log_level(2); // dropped alarms would log at 3; keep the run quiet
    }

    PluginLibrary plugin{TESSARO_PLUGIN_LIBRARY};
};

void* createCodec(PluginLibrary& plugin, const std::string& chain, Counter& towardsHost, Counter& towardsTransport)
{
    vlm_map_table_t* config = nullptr;
    obclient_map_insert_string(&config, "tenantId", text("t1"));
    vlm_data_t configValue = obclient_map_value(config);
    void* codec = plugin.create("threads", chain.c_str(), &configValue, nullptr, nullptr);
    obclient_free_data(configValue);
    if (codec != nullptr) {
        plugin.setNextTowardsHost(codec, &towardsHost, &countArrivals);
        plugin.setNextTowardsTransport(codec, &towardsTransport, &countArrivals);
    }
    return codec;
}

void pushBatches(PluginLibrary& plugin, void* codec, bool towardsHost, std::atomic<int>& failures)
{
    std::vector<vlm_message_t> batch;
    for (int b = 0; b < batchesPerThread; ++b) {
        for (int m = 0; m < messagesPerBatch; ++m)
            batch.push_back(notification(b * messagesPerBatch + m));
        vlm_send_batch_fn send = towardsHost ? plugin.sendBatchTowardsHost : plugin.sendBatchTowardsTransport;
        if (send(codec, batch.data(), batch.data() + batch.size()) != 0)
            ++failures;
        freeBatch(batch);
    }
}

TEST_F(CodecThreads, BothDirectionsOfOneInstanceAtOnce)
{
    Counter towardsHost;
    Counter towardsTransport;
    void* codec = createCodec(plugin, "both", towardsHost, towardsTransport);
    ASSERT_NE(codec, nullptr);
    std::atomic<int> failures{0};
    std::thread host([&] { pushBatches(plugin, codec, true, failures); });
    std::thread transport([&] { pushBatches(plugin, codec, false, failures); });
    host.join();
    transport.join();
    EXPECT_EQ(plugin.destroy(codec), 0);

    const long total = long{batchesPerThread} * messagesPerBatch;
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(towardsTransport.messages.load(), total) << "everything towards the transport passes";
    EXPECT_EQ(towardsHost.messages.load(), total - total / 5) << "every fifth alarm has a bad severity";
}

TEST_F(CodecThreads, SeparateInstancesOnSeparateThreads)
{
    constexpr int instances = 4;
    std::vector<Counter> towardsHost(instances);
    std::vector<Counter> towardsTransport(instances);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < instances; ++i) {
        threads.emplace_back([&, i] {
            void* codec = createCodec(plugin, "chain" + std::to_string(i), towardsHost[i], towardsTransport[i]);
            if (codec == nullptr) {
                ++failures;
                return;
            }
            pushBatches(plugin, codec, true, failures);
            if (plugin.destroy(codec) != 0)
                ++failures;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    const long total = long{batchesPerThread} * messagesPerBatch;
    for (int i = 0; i < instances; ++i)
        EXPECT_EQ(towardsHost[i].messages.load(), total - total / 5) << "instance " << i;
}

} // namespace
