// Configuration bytes from the outside: a YAML file and --set values, read as the
// tools read them and handed to the plug-in's creation. Whatever the bytes: the
// reader accepts a map or gives a reason, creation takes every map, nothing leaks.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "obclient/obclient.h"
#include "obclient/plugin_library.h"
#include "tools/common/configuration.h"

namespace {

PluginLibrary* plugin = nullptr;

[[noreturn]] void fail(const char* what, long expected, long actual)
{
    std::fprintf(stderr, "config: %s (expected %ld, got %ld)\n", what, expected, actual);
    std::abort();
}

long liveTotal()
{
    const obclient_counts_t counts = obclient_live_counts();
    return counts.strings + counts.maps + counts.lists + counts.buffers + counts.customs;
}

void ignoreLogLine(void*, const char*, int32_t, const char*) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    obclient_set_checked(true);
    obclient_set_log_sink(&ignoreLogLine, nullptr);
    plugin = new PluginLibrary(TESSARO_PLUGIN_LIBRARY);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    tools::SharedOptions options("fuzz");
    const int settings = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < settings; ++i) {
        std::string key = input.ConsumeRandomLengthString(16);
        if (key.empty())
            key = "k";
        options.settings.emplace_back(key, input.ConsumeRandomLengthString(256));
    }
    const std::string yaml = input.ConsumeRemainingBytesAsString();
    const int fd = memfd_create("config", 0);
    if (fd < 0 || write(fd, yaml.data(), yaml.size()) != static_cast<ssize_t>(yaml.size()))
        fail("cannot stage the configuration in memory", 0, fd);
    options.configFile = "/proc/self/fd/" + std::to_string(fd);

    const long baseline = liveTotal();
    {
        tools::HostValue config;
        std::string reason;
        const bool built = tools::buildConfiguration(options, config, reason);
        if (!built && reason.empty())
            fail("a configuration refused without a reason", 1, 0);
        if (built && config.get().tag != VLM_TAG_MAP)
            fail("a configuration that is not a map", VLM_TAG_MAP, config.get().tag);
        if (!built && config.get().tag != VLM_TAG_EMPTY)
            fail("a refused configuration left a value behind", VLM_TAG_EMPTY, config.get().tag);
        if (built) {
            void* codec = plugin->create("fuzz", "chain", &config.get(), nullptr, nullptr);
            if (codec == nullptr)
                fail("creation refused a configuration map", 1, 0);
            plugin->destroy(codec);
        }
    }
    close(fd);
    if (liveTotal() != baseline)
        fail("host allocations leaked", baseline, liveTotal());
    return 0;
}
