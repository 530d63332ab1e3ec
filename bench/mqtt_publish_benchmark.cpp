// Events published into a local mosquitto, each batch waited for until the broker
// holds it, beside the file output's durable step on the same lines: one write and
// one fdatasync per batch. Both run here, so their ratio comes from one run.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/consume/mosquitto_broker.h"
#include "tools/consume/mqtt_publisher.h"

namespace {

// The tools' default --batch.
constexpr int batchSize = 512;
constexpr size_t lineBytes = 400;
const char* const channels[] = {"site-a.tessaro.devices", "tessaro.measurements", "tessaro.alarms",
                                "tessaro.events", "tessaro.operations"};

struct Event {
    std::string channel;
    std::string line; // without the newline, as MQTT carries it
};

std::vector<Event> batchOfEvents()
{
    std::vector<Event> events;
    for (int i = 0; i < batchSize; ++i) {
        const std::string channel = channels[i % 5];
        std::string line = R"({"metadata":{"vlm.channel":")" + channel + R"("},"payload":{"id":")" +
                           std::to_string(i) + R"(","text":")";
        line += std::string(lineBytes - line.size() - 3, 'x') + "\"}}";
        events.push_back({channel, std::move(line)});
    }
    return events;
}

class Scratch {
public:
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "mqtt-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~Scratch() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void fileOutput(benchmark::State& state)
{
    const Scratch scratch;
    const std::vector<Event> events = batchOfEvents();
    std::string text;
    for (const Event& event : events)
        text += event.line + "\n";
    const int file = ::open((scratch.path() + "/events.jsonl").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    for (auto _ : state) {
        if (::write(file, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
            ::fdatasync(file) != 0)
            state.SkipWithError("write failed");
    }
    ::close(file);
    state.SetItemsProcessed(state.iterations() * batchSize);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void mqttOutput(benchmark::State& state)
{
    const Scratch scratch;
    mqtt_testing::BrokerSetup setup;
    setup.maxInflight = static_cast<int>(state.range(1));
    setup.noDelay = state.range(2) != 0;
    mqtt_testing::MosquittoBroker broker(scratch.path(), setup);
    if (!broker.start()) {
        state.SkipWithError("mosquitto did not start");
        return;
    }
    consume::MqttSettings settings;
    settings.target.host = "127.0.0.1";
    settings.target.port = broker.port();
    settings.target.prefix = "bench";
    settings.qos = static_cast<int>(state.range(0));
    settings.clientId = "bench-publisher";
    const std::vector<Event> events = batchOfEvents();
    consume::BrokerMetrics metrics;
    consume::MqttPublisher publisher(settings, metrics);
    std::string error;
    for (auto _ : state) {
        for (const Event& event : events)
            publisher.publish(event.channel, event.line, error);
        if (publisher.waitDurable() != consume::MqttStatus::Durable)
            state.SkipWithError(publisher.failure().c_str());
    }
    state.SetItemsProcessed(state.iterations() * batchSize);
    state.SetBytesProcessed(state.iterations() * batchSize * static_cast<int64_t>(lineBytes + 1));
}

BENCHMARK(fileOutput)->UseRealTime()->Unit(benchmark::kMillisecond);
// The broker's receive maximum: mosquitto's default of 20, and one that lets a whole batch fly.
BENCHMARK(mqttOutput)
    ->ArgNames({"qos", "broker_inflight", "broker_nodelay"})
    ->Args({0, 20, 0})
    ->Args({1, 20, 0})
    ->Args({2, 20, 0})
    ->Args({1, 20, 1})
    ->Args({2, 20, 1})
    ->Args({1, 1000, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
