#include "tools/replay/options.h"

#include <algorithm>
#include <thread>

#include "tools/common/exit_status.h"
#include "tools/common/texts.h"
#include "tools/replay/replay_texts.h"

namespace replay {

namespace {

// Limits beyond these would not protect anything on a real machine.
constexpr long largestRecordBytes = 1L << 40;
constexpr long largestObjectEntries = 1L << 32;
constexpr long mostJobs = 256;

enum OptionId {
    optFormat = tools::firstToolOptionId,
    optMaxRecordBytes,
    optMaxObjectEntries,
    optJobs,
    optActions,
};

const std::vector<option> replayOptions = {
    {"format", required_argument, nullptr, optFormat},
    {"max-record-bytes", required_argument, nullptr, optMaxRecordBytes},
    {"max-object-entries", required_argument, nullptr, optMaxObjectEntries},
    {"jobs", required_argument, nullptr, optJobs},
    {"actions", required_argument, nullptr, optActions},
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

bool applyLimit(const char* value, long highest, const char* complaint, size_t& limit, std::string& error)
{
    long number = 0;
    if (!tools::readWholeNumber(value, 1, highest, number)) {
        error = complaint + std::string(value);
        return false;
    }
    limit = static_cast<size_t>(number);
    return true;
}

bool applyOption(int id, const char* value, Options& options, std::string& error)
{
    switch (id) {
    case optMaxRecordBytes:
        return applyLimit(value, largestRecordBytes, texts::badMaxRecordBytes, options.maxRecordBytes, error);
    case optMaxObjectEntries:
        return applyLimit(value, largestObjectEntries, texts::badMaxObjectEntries, options.maxObjectEntries,
                          error);
    case optJobs:
        return applyLimit(value, mostJobs, texts::badJobs, options.jobs, error);
    case optActions:
        if (tools::readActions(value, options.actions))
            return true;
        error = tools::texts::badActions + std::string(value);
        return false;
    default:
        return applyFormat(value, options, error);
    }
}

} // namespace

std::string usageText()
{
    return "Usage: tessaro-replay [options] [FILE...]\n"
           "Feeds notifications through the codec plug-in the way a host does and writes\n"
           "the events that come out towards the host, one JSON line each.\n"
           "With no FILE, or when FILE is -, reads standard input.\n"
           "\n"
           "  --format FORMAT      input format: jsonl (default) or frames\n"
           "  --max-record-bytes N a longer record (a line, or a frame) is reported and\n"
           "                       skipped without being held (default 67108864, 64 MiB)\n"
           "  --max-object-entries N\n"
           "                       a record holding an object of more entries is reported\n"
           "                       and skipped (default 65536)\n"
           "  --jobs N             workers converting parts of the input side by side\n"
           "                       (default: one per core); every N writes the same output\n"
           "  --actions LIST       with --format frames: actions handed to the codec (default\n"
           "                       CREATE,UPDATE, as tessaro-consume); frames with other\n"
           "                       actions are counted as skipped by action\n" +
           tools::sharedOptionsUsage(Options().chainId, "replaced") + "\n" +
           tools::exitStatusHelp(exitStatusMeanings());
}

ParsedOptions parseOptions(int argc, char** argv)
{
    ParsedOptions parsed;
    bool actionsGiven = false;
    const auto apply = [&parsed, &actionsGiven](int id, const char* value, std::string& error) {
        actionsGiven = actionsGiven || id == optActions;
        return applyOption(id, value, parsed.options, error);
    };
    parsed.outcome = tools::parseCommandLine(argc, argv, replayOptions, apply, parsed.options,
                                             parsed.options.inputs, parsed.error);
    // Lines of JSON have no action to choose by.
    if (parsed.outcome == OptionsOutcome::Run && actionsGiven &&
        parsed.options.format != InputFormat::Frames) {
        parsed.outcome = OptionsOutcome::UsageError;
        parsed.error = texts::actionsWithoutFrames;
    }
    if (parsed.options.inputs.empty())
        parsed.options.inputs.emplace_back("-");
    if (parsed.options.jobs == 0)
        parsed.options.jobs = std::max(1u, std::thread::hardware_concurrency());
    return parsed;
}

} // namespace replay
