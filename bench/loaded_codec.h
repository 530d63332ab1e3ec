// The built plug-in as a host sees it: loaded with dlopen, one codec created
// with an empty configuration and wired towards the host to a sink that only
// counts what arrives.
#pragma once

#include <cstddef>
#include <string>

#include "obclient/plugin_library.h"

namespace bench {

class LoadedCodec {
public:
    // Throws std::runtime_error when the plug-in cannot be loaded, created or wired.
    explicit LoadedCodec(const std::string& pluginPath);
    LoadedCodec(const LoadedCodec&) = delete;
    LoadedCodec& operator=(const LoadedCodec&) = delete;
    ~LoadedCodec();

    // Returns the entry point's status.
    int32_t sendTowardsHost(vlm_message_t* start, vlm_message_t* end);
    // Messages handed on towards the host since the codec was created.
    size_t delivered() const { return delivered_; }

private:
    static int32_t countDelivered(void* handle, vlm_message_t* start, vlm_message_t* end);

    PluginLibrary library_;
    void* plugin_ = nullptr;
    size_t delivered_ = 0;
};

} // namespace bench
