// The host's JSON writer on the values it meets most: readings with a few
// decimals and plain texts. Each is timed beside a baseline in the same run:
// the general shortest conversion for doubles, and escaping a byte at a time
// for texts. The ratio is what the writer's short paths are worth.
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

void BM_PlainTextWritten(benchmark::State& state)
{
    const vlm_data_t text = obclient_borrowed_string(plainText.c_str());
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (int i = 0; i < 100; ++i)
            obclient_append_json(out, text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * 100 * static_cast<std::int64_t>(plainText.size()));
}
BENCHMARK(BM_PlainTextWritten);

// Baseline: each byte checked and appended on its own.
void BM_PlainTextByteAtATime(benchmark::State& state)
{
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (int i = 0; i < 100; ++i) {
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
    state.SetBytesProcessed(state.iterations() * 100 * static_cast<std::int64_t>(plainText.size()));
}
BENCHMARK(BM_PlainTextByteAtATime);

} // namespace

BENCHMARK_MAIN();
