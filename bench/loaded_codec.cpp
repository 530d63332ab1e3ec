#include "bench/loaded_codec.h"

#include <stdexcept>

#include "obclient/obclient.h"

namespace bench {

LoadedCodec::LoadedCodec(const std::string& pluginPath) : library_(pluginPath)
{
    vlm_data_t config = obclient_map_value(obclient_map_new(0));
    plugin_ = library_.create("bench", "convert", &config, nullptr, nullptr);
    obclient_free_data(config);
    if (plugin_ == nullptr)
        throw std::runtime_error("the plug-in refused to create a codec (see its log line)");
    if (library_.setNextTowardsHost(plugin_, this, &LoadedCodec::countDelivered) != 0) {
        library_.destroy(plugin_);
        throw std::runtime_error("the plug-in refused to be wired towards the host");
    }
}

LoadedCodec::~LoadedCodec()
{
    library_.destroy(plugin_);
}

int32_t LoadedCodec::sendTowardsHost(vlm_message_t* start, vlm_message_t* end)
{
    return library_.sendBatchTowardsHost(plugin_, start, end);
}

int32_t LoadedCodec::countDelivered(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    static_cast<LoadedCodec*>(handle)->delivered_ += static_cast<size_t>(end - start);
    return 0;
}

} // namespace bench
