#include "tools/common/codec_session.h"

#include <cstdio>
#include <stdexcept>

#include "obclient/obclient.h"
#include "tools/common/texts.h"

namespace tools {

namespace {

constexpr int32_t hostApiVersion = 4;
constexpr int32_t statusSuccess = 0;

// Nothing is ever sent towards the transport here; the codec still needs a neighbour on that side.
int32_t transportSink(void*, vlm_message_t*, vlm_message_t*)
{
    return statusSuccess;
}

// The codec's lines arrive already prefixed with their category.
void printLogLine(void*, const char*, int32_t, const char* text)
{
    std::fprintf(stderr, "%s\n", text);
}

} // namespace

std::unique_ptr<PluginLibrary> loadPlugin(const std::string& path, std::string& reason)
{
    try {
        return std::make_unique<PluginLibrary>(path);
    } catch (const std::runtime_error& error) {
        reason = error.what();
        return nullptr;
    }
}

void routeCodecLog(const SharedOptions& options)
{
    obclient_set_log_sink(&printLogLine, nullptr);
    const std::string category = "connectivity." + options.pluginName + "." + options.chainId;
    obclient_set_log_level(category.c_str(), options.logLevel);
}

bool CodecSession::open(const SharedOptions& options, vlm_data_t& config, EventWriter& writer,
                        std::string& reason)
{
    return open(options, config, &writer, &EventWriter::receiveBatch, reason);
}

bool CodecSession::open(const SharedOptions& options, vlm_data_t& config, void* receiver,
                        vlm_send_batch_fn receive, std::string& reason)
{
    const int32_t version = plugin_.apiVersion();
    if (version != hostApiVersion) {
        reason = texts::pluginInterfaceVersion + std::to_string(version) + texts::hostInterfaceVersion +
                 std::to_string(hostApiVersion);
        return false;
    }
    // The tool's address is the host handle: it only has to be distinct per codec.
    codec_ = plugin_.create(options.pluginName.c_str(), options.chainId.c_str(), &config, this, nullptr);
    if (codec_ == nullptr) {
        reason = std::string("create") + texts::pluginStepFailed;
        return false;
    }
    return step(plugin_.setNextTowardsHost(codec_, receiver, receive), "setNextTowardsHost", reason) &&
           step(plugin_.setNextTowardsTransport(codec_, nullptr, &transportSink), "setNextTowardsTransport",
                reason) &&
           step(plugin_.start(codec_), "start", reason) &&
           step(plugin_.hostReady(codec_), "hostReady", reason);
}

void CodecSession::sendTowardsHost(vlm_message_t* start, vlm_message_t* end)
{
    // A failed batch is logged by the plug-in itself; its messages count as dropped.
    plugin_.sendBatchTowardsHost(codec_, start, end);
}

void CodecSession::close()
{
    if (codec_ == nullptr)
        return;
    plugin_.shutdown(codec_);
    plugin_.destroy(codec_);
    codec_ = nullptr;
}

bool CodecSession::step(int32_t status, const char* operation, std::string& reason)
{
    if (status == statusSuccess)
        return true;
    reason = operation + std::string(texts::pluginStepFailed);
    return false;
}

} // namespace tools
