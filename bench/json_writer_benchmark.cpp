// The host's JSON writer on the values it meets most: readings with a few
// decimals and plain texts. Each is timed beside a baseline in the same run:
// the general shortest conversion for doubles, and escaping a byte at a time
// for texts. The ratio is what the writer's short paths are worth. And a whole
// event, whose many short keys and texts make the cost per piece count.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "obclient/obclient.h"

namespace {

std::vector<double> readings()
{
    std::vector<double> values;
    for (int i = 0; i < 1000; ++i)
        values.push_back(20.0 + i * 0.25 + (i % 7) * 0.01);
    for (int i = 0; i < 1000; ++i)
        values.push_back(1706781600.0 + i * 0.125);
    return values;
}

const std::string plainText = "temperature sensor 4711 in hall B, second floor, north-east corner";

void BM_ReadingsWritten(benchmark::State& state)
{
    const std::vector<double> values = readings();
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (double value : values)
            obclient_append_json(out, obclient_double(value));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_ReadingsWritten);

// Baseline: the general conversion alone, as the writer does without its short path.
void BM_ReadingsGeneralConversion(benchmark::State& state)
{
    const std::vector<double> values = readings();
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (double value : values) {
            char text[32];
            char* end = std::to_chars(text, text + sizeof text, value).ptr;
            out.append(text, end);
            if (std::memchr(text, '.', static_cast<std::size_t>(end - text)) == nullptr)
                out.append(".0");
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_ReadingsGeneralConversion);

// A hundred values per iteration, appended to one string as the replay tool's writer does.
constexpr int valuesPerIteration = 100;

void writeRepeatedly(benchmark::State& state, const vlm_data_t& value)
{
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (int i = 0; i < valuesPerIteration; ++i)
            obclient_append_json(out, value);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_PlainTextWritten(benchmark::State& state)
{
    writeRepeatedly(state, obclient_borrowed_string(plainText.c_str()));
    state.SetBytesProcessed(state.iterations() * valuesPerIteration *
                            static_cast<std::int64_t>(plainText.size()));
}
BENCHMARK(BM_PlainTextWritten);

// Baseline: each byte checked and appended on its own.
void BM_PlainTextByteAtATime(benchmark::State& state)
{
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (int i = 0; i < valuesPerIteration; ++i) {
            out.push_back('"');
            for (const char c : plainText) {
                if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\')
                    out.push_back('\\');
                out.push_back(c);
            }
            out.push_back('"');
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * valuesPerIteration *
                            static_cast<std::int64_t>(plainText.size()));
}
BENCHMARK(BM_PlainTextByteAtATime);

// The shape of a replayed event: short keys, identifiers, addresses, times and a reading.
vlm_data_t event()
{
    vlm_map_table_t* source = nullptr;
    obclient_map_insert_string(&source, "id", obclient_string("839670"));
    obclient_map_insert_string(&source, "self",
                               obclient_string("https://t1.example.com/inventory/managedObjects/839670"));
    obclient_map_insert_string(&source, "name", obclient_string("Sensor 839670"));
    vlm_list_t* tags = nullptr;
    obclient_list_append(&tags, obclient_string("floor-2"));
    obclient_list_append(&tags, obclient_string("critical"));
    vlm_map_table_t* payload = nullptr;
    obclient_map_insert_string(&payload, "id", obclient_string("1000001"));
    obclient_map_insert_string(&payload, "self",
                               obclient_string("https://t1.example.com/event/events/1000001"));
    obclient_map_insert_string(&payload, "source", obclient_map_value(source));
    obclient_map_insert_string(&payload, "type", obclient_string("t5o_DoorEvent"));
    obclient_map_insert_string(&payload, "text", obclient_string("Door closed"));
    obclient_map_insert_string(&payload, "time", obclient_double(1735102554.785));
    obclient_map_insert_string(&payload, "creationTime", obclient_double(1725173939.894));
    obclient_map_insert_string(&payload, "count", obclient_integer(17));
    obclient_map_insert_string(&payload, "open", obclient_boolean(false));
    obclient_map_insert_string(&payload, "t5o_Tags", obclient_list_value(tags));
    return obclient_map_value(payload);
}

void BM_EventWritten(benchmark::State& state)
{
    const vlm_data_t payload = event();
    writeRepeatedly(state, payload);
    state.SetItemsProcessed(state.iterations() * valuesPerIteration);
    obclient_free_data(payload);
}
BENCHMARK(BM_EventWritten);

} // namespace

BENCHMARK_MAIN();
