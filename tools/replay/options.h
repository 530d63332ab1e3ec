// The command line, read in one place into one record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/replay/input.h"

namespace replay {

struct Options {
    std::vector<std::string> inputs;                           // "-" is standard input
    std::string configFile;                                    // empty: no file
    std::vector<std::pair<std::string, std::string>> settings; // --set KEY=VALUE, in order
    InputFormat format = InputFormat::Jsonl;
    std::string outputFile; // empty: standard output
    size_t batchSize = 512;
    int32_t logLevel = 3;
    std::string pluginPath;
    std::string chainId = "replay";
    std::string pluginName = "TessaroNotifications2Codec";
    bool quiet = false;
};

enum class OptionsOutcome { Run, Help, UsageError };

struct ParsedOptions {
    OptionsOutcome outcome = OptionsOutcome::Run;
    Options options;
    std::string error; // for UsageError
};

ParsedOptions parseOptions(int argc, char** argv);

extern const char* const usageText;

} // namespace replay
