// Arbitrary batches through the built plug-in, in both directions. Whatever the
// input: no status other than 0, every message either arrives or is dropped with
// exactly one level-3 line, and every host allocation is back after destroy.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/value_generator.h"
#include "obclient/obclient.h"
#include "obclient/plugin_library.h"

namespace {

PluginLibrary* plugin = nullptr;

struct Arrivals {
    long messages = 0;
};

int32_t countArrivals(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    static_cast<Arrivals*>(handle)->messages += end - start;
    return 0;
}

long errorLines = 0;

void countErrorLines(void*, const char*, int32_t level, const char*)
{
    if (level == 3)
        ++errorLines;
}

[[noreturn]] void fail(const char* what, long expected, long actual)
{
    std::fprintf(stderr, "codec_batch: %s (expected %ld, got %ld)\n", what, expected, actual);
    std::abort();
}

void freeBatch(std::vector<vlm_message_t>& batch)
{
    for (vlm_message_t& message : batch) {
        obclient_free_data(message.payload);
        vlm_free_map(message.metadata);
    }
}

long liveTotal()
{
    const obclient_counts_t counts = obclient_live_counts();
    return counts.strings + counts.maps + counts.lists + counts.buffers + counts.customs;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    obclient_set_checked(true);
    obclient_set_log_sink(&countErrorLines, nullptr);
    plugin = new PluginLibrary(TESSARO_PLUGIN_LIBRARY);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const long baseline = liveTotal();
    errorLines = 0;

    // Levels 3 to 6: drops must be reported once whether or not the trace is on.
    obclient_set_log_level("connectivity.fuzz.chain", input.ConsumeIntegralInRange(3, 6));
    vlm_data_t config = fuzzing::makeValue(input, 0);
    void* codec = plugin->create("fuzz", "chain", &config, nullptr, nullptr);
    const bool configIsMap = config.tag == VLM_TAG_MAP;
    obclient_free_data(config);
    // Only a configuration that is not a map may make creation fail.
    if ((codec == nullptr) == configIsMap)
        fail("creation succeeded or failed against the configuration's kind", configIsMap, codec != nullptr);
    if (codec == nullptr) {
        if (liveTotal() != baseline)
            fail("a failed creation leaked", baseline, liveTotal());
        return 0;
    }

    Arrivals towardsHost;
    Arrivals towardsTransport;
    plugin->setNextTowardsHost(codec, &towardsHost, &countArrivals);
    plugin->setNextTowardsTransport(codec, &towardsTransport, &countArrivals);

    std::vector<vlm_message_t> batch = fuzzing::makeBatch(input);
    const long sent = static_cast<long>(batch.size());
    const int32_t hostStatus = plugin->sendBatchTowardsHost(codec, batch.data(), batch.data() + batch.size());
    if (hostStatus != 0)
        fail("an exception crossed sendBatchTowardsHost", 0, hostStatus);
    if (towardsHost.messages + errorLines != sent)
        fail("kept plus logged drops differ from the batch size", sent, towardsHost.messages + errorLines);
    freeBatch(batch);

    batch = fuzzing::makeBatch(input);
    const int32_t transportStatus =
        plugin->sendBatchTowardsTransport(codec, batch.data(), batch.data() + batch.size());
    if (transportStatus != 0)
        fail("an exception crossed sendBatchTowardsTransport", 0, transportStatus);
    if (towardsTransport.messages != static_cast<long>(batch.size()))
        fail("a message towards the transport went missing", static_cast<long>(batch.size()),
             towardsTransport.messages);
    freeBatch(batch);

    if (plugin->destroy(codec) != 0)
        fail("destroy failed", 0, 1);
    if (liveTotal() != baseline)
        fail("host allocations leaked", baseline, liveTotal());
    return 0;
}
