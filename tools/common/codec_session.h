// One codec, driven the way a host drives it: created with the configuration,
// wired towards the host to the event writer and towards the transport to a sink,
// started, told the host is ready, fed batches, then shut down and destroyed.
#pragma once

#include <memory>
#include <string>

#include "obclient/plugin_library.h"
#include "tools/common/options.h"
#include "tools/common/output.h"

namespace tools {

// The plug-in library at path, or null with the reason (what dlopen said, or the missing entry point).
std::unique_ptr<PluginLibrary> loadPlugin(const std::string& path, std::string& reason);

// The codec's log lines go to stderr, at the level the options ask for.
void routeCodecLog(const SharedOptions& options);

class CodecSession {
public:
    explicit CodecSession(const PluginLibrary& plugin) : plugin_(plugin) {}
    CodecSession(const CodecSession&) = delete;
    CodecSession& operator=(const CodecSession&) = delete;
    ~CodecSession() { close(); }

    // Creation through start and hostReady; false with the reason when the plug-in refuses a step.
    // The codec takes its own copy of config.
    bool open(const SharedOptions& options, vlm_data_t& config, EventWriter& writer, std::string& reason);
    // The same, with the messages towards the host going to receive(receiver, ...) instead.
    bool open(const SharedOptions& options, vlm_data_t& config, void* receiver, vlm_send_batch_fn receive,
              std::string& reason);

    // The messages stay the caller's; the codec converts them in place and passes the kept ones on.
    void sendTowardsHost(vlm_message_t* start, vlm_message_t* end);

    // Shutdown and destruction; the second call does nothing.
    void close();

private:
    bool step(int32_t status, const char* operation, std::string& reason);

    const PluginLibrary& plugin_;
    void* codec_ = nullptr;
};

} // namespace tools
