#include "tools/replay/options.h"

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "tools/replay/replay_texts.h"

namespace replay {

const char* const usageText =
    "Usage: tessaro-replay [options] [FILE...]\n"
    "Feeds notifications through the codec plug-in the way a host does and writes\n"
    "the events that come out towards the host, one JSON line each.\n"
    "With no FILE, or when FILE is -, reads standard input.\n"
    "\n"
    "  --config FILE        codec configuration: YAML (JSON is YAML too), a flat map\n"
    "  --set KEY=VALUE      one configuration entry; VALUE read as JSON when it parses,\n"
    "                       else as text; given after --config, it wins\n"
    "  --format FORMAT      input format: jsonl (default) or frames\n"
    "  --output FILE        write events there instead of standard output\n"
    "  --batch N            messages per batch handed to the plug-in (default 512)\n"
    "  --log-level N        host log level for the codec's category (default 3)\n"
    "  --plugin PATH        plug-in library to load (default: the one installed with\n"
    "                       the tool, found from its folder as\n"
    "                       " TESSARO_PLUGIN_FROM_BINDIR ")\n"
    "  --chain-id ID        chain identity handed to the codec (default replay)\n"
    "  --plugin-name NAME   plug-in name handed to the codec (default TessaroNotifications2Codec)\n"
    "  --quiet              no summary\n"
    "  --help               this text\n"
    "\n"
    "Exit status: 0 every input record was read, 1 some were skipped (each reported\n"
    "as FILE:LINE: reason), 2 usage error, 3 the plug-in cannot be loaded or created.\n";

namespace {

constexpr long largestBatch = 1L << 20;
constexpr const char* installedPlugin = "/" TESSARO_PLUGIN_FROM_BINDIR;

enum OptionId {
    optConfig = 1000,
    optSet,
    optFormat,
    optOutput,
    optBatch,
    optLogLevel,
    optPlugin,
    optChainId,
    optPluginName,
    optQuiet,
    optHelp,
};

const option longOptions[] = {
    {"config", required_argument, nullptr, optConfig},
    {"set", required_argument, nullptr, optSet},
    {"format", required_argument, nullptr, optFormat},
    {"output", required_argument, nullptr, optOutput},
    {"batch", required_argument, nullptr, optBatch},
    {"log-level", required_argument, nullptr, optLogLevel},
    {"plugin", required_argument, nullptr, optPlugin},
    {"chain-id", required_argument, nullptr, optChainId},
    {"plugin-name", required_argument, nullptr, optPluginName},
    {"quiet", no_argument, nullptr, optQuiet},
    {"help", no_argument, nullptr, optHelp},
    {nullptr, 0, nullptr, 0},
};

bool readWholeNumber(const char* text, long lowest, long highest, long& number)
{
    char* end = nullptr;
    errno = 0;
    number = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && number >= lowest && number <= highest;
}

// The plug-in installed with the tool, found from the tool's folder as in the install tree.
std::string defaultPluginPath()
{
    char exe[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length <= 0)
        return std::string(".") + installedPlugin;
    std::string path(exe, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/')) + installedPlugin;
}

// Applies one option with its value; false with the reason for a value it cannot take.
bool applyOption(int id, const char* value, Options& options, std::string& error)
{
    long number = 0;
    switch (id) {
    case optConfig:
        options.configFile = value;
        return true;
    case optSet: {
        const std::string setting = value;
        const size_t equals = setting.find('=');
        if (equals == std::string::npos || equals == 0) {
            error = texts::badSetting + setting;
            return false;
        }
        options.settings.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
        return true;
    }
    case optFormat:
        if (std::string(value) != "jsonl" && std::string(value) != "frames") {
            error = texts::badFormat + std::string(value);
            return false;
        }
        options.format = std::string(value) == "frames" ? InputFormat::Frames : InputFormat::Jsonl;
        return true;
    case optOutput:
        options.outputFile = value;
        return true;
    case optBatch:
        if (!readWholeNumber(value, 1, largestBatch, number)) {
            error = texts::badBatch + std::string(value);
            return false;
        }
        options.batchSize = static_cast<size_t>(number);
        return true;
    case optLogLevel:
        if (!readWholeNumber(value, INT32_MIN, INT32_MAX, number)) {
            error = texts::badLogLevel + std::string(value);
            return false;
        }
        options.logLevel = static_cast<int32_t>(number);
        return true;
    case optPlugin:
        options.pluginPath = value;
        return true;
    case optChainId:
        options.chainId = value;
        return true;
    case optPluginName:
        options.pluginName = value;
        return true;
    case optQuiet:
        options.quiet = true;
        return true;
    }
    return false;
}

} // namespace

ParsedOptions parseOptions(int argc, char** argv)
{
    ParsedOptions parsed;
    optind = 0; // a fresh scan, should the options be read more than once in a process
    opterr = 0; // the messages are ours
    for (;;) {
        const int id = getopt_long(argc, argv, ":", longOptions, nullptr);
        if (id == -1)
            break;
        if (id == optHelp) {
            parsed.outcome = OptionsOutcome::Help;
            return parsed;
        }
        if (id == '?' || id == ':') {
            parsed.outcome = OptionsOutcome::UsageError;
            // optopt holds an unknown short option's letter, or the id of a long option missing its value
            // (ids start past the letters); otherwise the long option is the argument just read.
            const bool shortOption = optopt > 0 && optopt < optConfig;
            const std::string given =
                shortOption ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
            parsed.error = (id == '?' ? texts::unknownOption : texts::missingArgument) + given;
            return parsed;
        }
        if (!applyOption(id, optarg, parsed.options, parsed.error)) {
            parsed.outcome = OptionsOutcome::UsageError;
            return parsed;
        }
    }
    for (int i = optind; i < argc; ++i)
        parsed.options.inputs.emplace_back(argv[i]);
    if (parsed.options.inputs.empty())
        parsed.options.inputs.emplace_back("-");
    if (parsed.options.pluginPath.empty())
        parsed.options.pluginPath = defaultPluginPath();
    return parsed;
}

} // namespace replay
