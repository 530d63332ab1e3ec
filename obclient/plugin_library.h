// How a host loads a codec plug-in: dlopen the library and resolve its eleven
// entry points by name. Used by the replay tool, the end-to-end tests, the
// benchmarks and the fuzzers.
#pragma once

#include <string>

#include "host/vlm_plugin_api.h"

class PluginLibrary {
public:
    // Throws std::runtime_error naming the library (dlopen's reason) or the first missing entry point.
    explicit PluginLibrary(const std::string& path,
                           const std::string& className = "TessaroNotifications2Codec");
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;
    ~PluginLibrary();

    vlm_create_plugin_fn create = nullptr;
    vlm_destroy_plugin_fn destroy = nullptr;
    vlm_api_version_fn apiVersion = nullptr;
    vlm_product_version_fn productVersion = nullptr;
    vlm_lifecycle_fn start = nullptr;
    vlm_lifecycle_fn hostReady = nullptr;
    vlm_lifecycle_fn shutdown = nullptr;
    vlm_set_next_fn setNextTowardsHost = nullptr;
    vlm_set_next_fn setNextTowardsTransport = nullptr;
    vlm_send_batch_fn sendBatchTowardsHost = nullptr;
    vlm_send_batch_fn sendBatchTowardsTransport = nullptr;

private:
    void* library = nullptr;
};
