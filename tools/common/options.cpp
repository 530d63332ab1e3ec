#include "tools/common/options.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "tools/common/texts.h"

namespace tools {

namespace {

constexpr long largestBatch = 1L << 20;
constexpr const char* installedPlugin = "/" TESSARO_PLUGIN_FROM_BINDIR;

enum SharedOptionId {
    optConfig = 1000,
    optSet,
    optOutput,
    optBatch,
    optLogLevel,
    optPlugin,
    optChainId,
    optPluginName,
    optQuiet,
    optHelp,
    optVersion,
    optCheck,
};

const option sharedOptions[] = {
    {"config", required_argument, nullptr, optConfig},
    {"set", required_argument, nullptr, optSet},
    {"output", required_argument, nullptr, optOutput},
    {"batch", required_argument, nullptr, optBatch},
    {"log-level", required_argument, nullptr, optLogLevel},
    {"plugin", required_argument, nullptr, optPlugin},
    {"chain-id", required_argument, nullptr, optChainId},
    {"plugin-name", required_argument, nullptr, optPluginName},
    {"quiet", no_argument, nullptr, optQuiet},
    {"help", no_argument, nullptr, optHelp},
    {"version", no_argument, nullptr, optVersion},
    {"check", no_argument, nullptr, optCheck},
};

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

// Applies one shared option with its value; false with the reason for a value it cannot take.
bool applySharedOption(int id, const char* value, SharedOptions& options, std::string& error)
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
        // A bare file name would go through the dynamic loader's search path and could
        // load an installed library instead of the file named.
        options.pluginPath = std::strchr(value, '/') == nullptr ? std::string("./") + value : value;
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
    case optCheck:
        options.check = true;
        return true;
    }
    return false;
}

} // namespace

bool readActions(const std::string& list, std::vector<std::string>& actions)
{
    actions.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string action = list.substr(start, comma - start);
        if (action != "CREATE" && action != "UPDATE" && action != "DELETE")
            return false;
        actions.push_back(action);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

bool readWholeNumber(const char* text, long lowest, long highest, long& number)
{
    char* end = nullptr;
    errno = 0;
    number = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && number >= lowest && number <= highest;
}

std::string sharedOptionsUsage(const std::string& defaultChainId, const char* outputMode)
{
    return "  --config FILE        codec configuration: YAML (JSON is YAML too), a flat map\n"
           "  --set KEY=VALUE      one configuration entry; VALUE read as JSON when it parses,\n"
           "                       else as text; given after --config, it wins\n"
           "  --output FILE        write events there instead of standard output; an existing\n"
           "                       file is " +
           std::string(outputMode) +
           "\n"
           "  --batch N            messages per batch handed to the plug-in (default 64)\n"
           "  --log-level N        the codec's log lines up to level N: 2 its failures to be\n"
           "                       created or started, 3 (default) also each notification it\n"
           "                       drops and why, 6 also every message it converts, in full;\n"
           "                       0 or 1 none\n"
           "  --plugin PATH        plug-in library file to load, a bare name in the current\n"
           "                       folder (default: the one installed with the tool, found\n"
           "                       from its folder as\n"
           "                       " TESSARO_PLUGIN_FROM_BINDIR ")\n"
           "  --chain-id ID        chain identity handed to the codec (default " +
           defaultChainId +
           ")\n"
           "  --plugin-name NAME   plug-in name handed to the codec (default TessaroNotifications2Codec)\n"
           "  --quiet              no summary\n"
           "  --check              read the configuration and options, load the plug-in,\n"
           "                       create and destroy a codec, and stop: nothing is read,\n"
           "                       connected or written (exit 0 when all is usable)\n"
           "  --version            the tool's version and the plug-in's\n"
           "  --help               this text\n";
}

OptionsOutcome parseCommandLine(int argc, char** argv, const std::vector<option>& toolOptions,
                                const ToolOptionApplier& apply, SharedOptions& shared,
                                std::vector<std::string>& operands, std::string& error)
{
    // Appended one by one: a range insert here trips a false overflow warning in GCC 12's link-time
    // optimizer.
    std::vector<option> longOptions;
    longOptions.reserve(std::size(sharedOptions) + toolOptions.size() + 1);
    longOptions.insert(longOptions.end(), std::begin(sharedOptions), std::end(sharedOptions));
    for (const option& toolOption : toolOptions)
        longOptions.push_back(toolOption);
    longOptions.push_back(option{nullptr, 0, nullptr, 0});

    optind = 0;           // a fresh scan, should the options be read more than once in a process
    opterr = 0;           // the messages are ours
    bool version = false; // read on, so that a --plugin after it still counts
    for (;;) {
        const int id = getopt_long(argc, argv, ":", longOptions.data(), nullptr);
        if (id == -1)
            break;
        if (id == optHelp)
            return OptionsOutcome::Help;
        if (id == optVersion) {
            version = true;
            continue;
        }
        if (id == '?' || id == ':') {
            // optopt holds an unknown short option's letter, or the id of a long option missing its value
            // (ids start past the letters); otherwise the long option is the argument just read.
            const bool shortOption = optopt > 0 && optopt < optConfig;
            const std::string given =
                shortOption ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
            error = (id == '?' ? texts::unknownOption : texts::missingArgument) + given;
            return OptionsOutcome::UsageError;
        }
        const bool applied =
            id >= firstToolOptionId ? apply(id, optarg, error) : applySharedOption(id, optarg, shared, error);
        if (!applied)
            return OptionsOutcome::UsageError;
    }
    for (int i = optind; i < argc; ++i)
        operands.emplace_back(argv[i]);
    if (shared.pluginPath.empty())
        shared.pluginPath = defaultPluginPath();
    return version ? OptionsOutcome::Version : OptionsOutcome::Run;
}

} // namespace tools
