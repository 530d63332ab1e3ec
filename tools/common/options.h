// The options both tools take, described and read in one place; each tool adds
// its own options through parseCommandLine.
#pragma once

#include <getopt.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tools {

struct SharedOptions {
    explicit SharedOptions(std::string defaultChainId) : chainId(std::move(defaultChainId)) {}

    std::string configFile;                                    // empty: no file
    std::vector<std::pair<std::string, std::string>> settings; // --set KEY=VALUE, in order
    std::string outputFile;                                    // empty: standard output
    size_t batchSize = 64;
    int32_t logLevel = 3;
    std::string pluginPath; // empty until parsed: the plug-in installed beside the tool
    std::string chainId;
    std::string pluginName = "TessaroNotifications2Codec";
    bool quiet = false;
    bool check = false; // --check: the setup only, no run
};

enum class OptionsOutcome { Run, Help, Version, UsageError };

// The ids a tool gives its own options start here, past the shared ones.
constexpr int firstToolOptionId = 2000;

// Applies one of the tool's own options (value is null for a flag); false with the reason when the value
// cannot be taken.
using ToolOptionApplier = std::function<bool(int id, const char* value, std::string& error)>;

// Reads argv: the shared options into shared, the tool's own (toolOptions, ids from firstToolOptionId)
// through apply, everything else into operands. error is set for UsageError.
OptionsOutcome parseCommandLine(int argc, char** argv, const std::vector<option>& toolOptions,
                                const ToolOptionApplier& apply, SharedOptions& shared,
                                std::vector<std::string>& operands, std::string& error);

// The --help lines that describe the shared options; outputMode says what becomes of an existing --output.
std::string sharedOptionsUsage(const std::string& defaultChainId, const char* outputMode);

bool readWholeNumber(const char* text, long lowest, long highest, long& number);

// --actions: a comma-separated list of CREATE, UPDATE and DELETE.
bool readActions(const std::string& list, std::vector<std::string>& actions);

} // namespace tools
