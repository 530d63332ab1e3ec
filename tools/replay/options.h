// The command line, read in one place into one record.
#pragma once

#include <string>
#include <vector>

#include "tools/common/options.h"
#include "tools/replay/input.h"

namespace replay {

struct Options : tools::SharedOptions {
    Options() : SharedOptions("replay") {}

    std::vector<std::string> inputs; // "-" is standard input
    InputFormat format = InputFormat::Jsonl;
    size_t maxRecordBytes = size_t{64} << 20;  // a longer record is reported and skipped
    size_t maxObjectEntries = size_t{1} << 16; // a record with a larger object likewise
    size_t jobs = 0;                           // workers; 0 until parsed: one per core
    // Frames with another action are counted and not converted, as the live consumer does.
    std::vector<std::string> actions{"CREATE", "UPDATE"};
};

using tools::OptionsOutcome;

struct ParsedOptions {
    OptionsOutcome outcome = OptionsOutcome::Run;
    Options options;
    std::string error; // for UsageError
};

ParsedOptions parseOptions(int argc, char** argv);

std::string usageText();

} // namespace replay
