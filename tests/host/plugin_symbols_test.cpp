// The plug-in's dynamic symbol table: exactly the eleven entry points go out,
// and of the host runtime exactly the fourteen vlm_ functions come in.
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "tests/support/host_test.h"

namespace {

// Symbol names from `nm -D`, without a version suffix ("@GLIBC_2.2.5").
std::set<std::string> dynamicSymbols(const char* nmOption)
{
    const std::string command = std::string("'") + TESSARO_NM + "' -D --format=just-symbols " + nmOption +
                                " '" + TESSARO_PLUGIN_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    EXPECT_NE(pipe, nullptr) << command;
    std::set<std::string> names;
    char line[1024];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe.get()) != nullptr)
        names.insert(std::string(line, std::strcspn(line, "@\n")));
    return names;
}

using PluginSymbolsTest = testing_support::HostTest;

TEST_F(PluginSymbolsTest, ExportsTheElevenEntryPointsAndImportsTheFourteenHostFunctions)
{
    std::set<std::string> entryPoints;
    for (const char* operation :
         {"create_plugin_with_params", "destroy_plugin", "plugin_api_version", "plugin_product_version",
          "plugin_start", "plugin_hostReady", "plugin_shutdown", "plugin_setNextTowardsHost",
          "plugin_setNextTowardsTransport", "plugin_sendBatchTowardsHost",
          "plugin_sendBatchTowardsTransport"})
        entryPoints.insert(std::string("vlm_") + operation + "_TessaroNotifications2Codec");
    EXPECT_EQ(dynamicSymbols("--defined-only"), entryPoints);

    const std::set<std::string> hostFunctions = {
        "vlm_copy_string",  "vlm_free_string",         "vlm_copy_data",   "vlm_data_to_string",
        "vlm_allocate_map", "vlm_reallocate_map",      "vlm_free_map",    "vlm_free_vector",
        "vlm_free_buffer",  "vlm_free_custom",         "vlm_hash_string", "vlm_get_log_level",
        "vlm_log_at",       "vlm_set_user_status_map",
    };
    std::set<std::string> hostImports;
    for (const std::string& name : dynamicSymbols("--undefined-only"))
        if (name.rfind("vlm_", 0) == 0 || name.rfind("obclient", 0) == 0)
            hostImports.insert(name);
    EXPECT_EQ(hostImports, hostFunctions);
}

} // namespace
