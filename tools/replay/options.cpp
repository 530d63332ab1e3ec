#include "tools/replay/options.h"

#include "tools/replay/replay_texts.h"

namespace replay {

namespace {

enum OptionId {
    optFormat = tools::firstToolOptionId,
};

const std::vector<option> replayOptions = {
    {"format", required_argument, nullptr, optFormat},
};

bool applyFormat(const char* value, Options& options, std::string& error)
{
    if (std::string(value) != "jsonl" && std::string(value) != "frames") {
        error = texts::badFormat + std::string(value);
        return false;
    }
    options.format = std::string(value) == "frames" ? InputFormat::Frames : InputFormat::Jsonl;
    return true;
}

} // namespace

std::string usageText()
{
    return "Usage: tessaro-replay [options] [FILE...]\n"
           "Feeds notifications through the codec plug-in the way a host does and writes\n"
           "the events that come out towards the host, one JSON line each.\n"
           "With no FILE, or when FILE is -, reads standard input.\n"
           "\n"
           "  --format FORMAT      input format: jsonl (default) or frames\n" +
           tools::sharedOptionsUsage(Options().chainId) +
           "\n"
           "Exit status: 0 every input record was read, 1 some were skipped (each reported\n"
           "as FILE:LINE: reason), 2 usage error, 3 the plug-in cannot be loaded or created.\n";
}

ParsedOptions parseOptions(int argc, char** argv)
{
    ParsedOptions parsed;
    const auto apply = [&parsed](int, const char* value, std::string& error) {
        return applyFormat(value, parsed.options, error);
    };
    parsed.outcome = tools::parseCommandLine(argc, argv, replayOptions, apply, parsed.options,
                                             parsed.options.inputs, parsed.error);
    if (parsed.options.inputs.empty())
        parsed.options.inputs.emplace_back("-");
    return parsed;
}

} // namespace replay
