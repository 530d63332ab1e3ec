// The live consumer's command line: the options shared with tessaro-replay, and
// the service's own.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/options.h"
#include "tools/consume/listen_address.h"

namespace consume {

struct Options : tools::SharedOptions {
    Options() : SharedOptions("consume") {}

    std::string url;
    std::string tokenFile;
    std::string tokenCommand;
    std::string consumer; // empty: no consumer name, an exclusive subscription
    std::chrono::milliseconds batchWait{100};
    std::vector<std::string> actions{"CREATE", "UPDATE"};
    std::string captureFile;
    std::chrono::milliseconds pingInterval{30000};
    std::chrono::milliseconds reconnectMax{60000};
    std::string caFile;     // empty: the system's certificates
    bool syncOutput = true; // fdatasync the output before acknowledging
    bool serveMetrics = false;
    ListenAddress metrics; // --metrics: where /metrics and /health are served
    std::chrono::milliseconds tokenTimeout{30000};
    uint64_t maxBufferedBytes = uint64_t{64} << 20; // frames received and not yet written
    uint64_t maxRecordBytes = uint64_t{64} << 20;   // a longer frame is dropped unread
    std::string mqttPasswordFile;
    std::string mqttCaFile; // empty: the system's certificates
    int mqttQos = -1;       // -1: not given, 1 for a broker
};

struct ParsedOptions {
    tools::OptionsOutcome outcome = tools::OptionsOutcome::Run;
    Options options;
    std::string error; // for UsageError
};

ParsedOptions parseOptions(int argc, char** argv);

std::string usageText();

} // namespace consume
