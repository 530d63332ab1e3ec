#include "tools/common/setup_check.h"

#include <cstdio>
#include <memory>
#include <string>

#include "tools/common/codec_session.h"
#include "tools/common/configuration.h"
#include "tools/common/configuration_warnings.h"
#include "tools/common/host_value.h"
#include "tools/common/texts.h"

namespace tools {

namespace {

int failed(const char* toolName, int status, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s\n", toolName, reason.c_str());
    return status;
}

// A codec made for the check has nowhere to send anything, and is sent nothing.
int32_t discardBatch(void*, vlm_message_t*, vlm_message_t*)
{
    return 0;
}

} // namespace

int printVersion(const char* toolName, const SharedOptions& options)
{
    std::printf("%s %s\n", toolName, TESSARO_TOOL_VERSION);
    std::string reason;
    const std::unique_ptr<PluginLibrary> plugin = loadPlugin(options.pluginPath, reason);
    if (plugin == nullptr)
        return failed(toolName, setupPluginError, reason);
    std::printf("%s%s%s%s%s%d\n", texts::pluginVersions, options.pluginPath.c_str(), texts::productVersion,
                plugin->productVersion(), texts::interfaceVersion, plugin->apiVersion());
    return std::fflush(stdout) == 0 ? setupUsable : setupNotWritten;
}

int checkSetup(const char* toolName, const SharedOptions& options)
{
    std::string reason;
    HostValue config;
    if (!buildConfiguration(options, config, reason))
        return failed(toolName, setupConfigurationError, reason);
    const size_t warnings = printConfigurationWarnings(toolName, config.get());
    const std::unique_ptr<PluginLibrary> plugin = loadPlugin(options.pluginPath, reason);
    if (plugin == nullptr)
        return failed(toolName, setupPluginError, reason);
    routeCodecLog(options);
    {
        CodecSession codec(*plugin);
        if (!codec.open(options, config.get(), nullptr, &discardBatch, reason))
            return failed(toolName, setupPluginError, reason);
    }
    std::printf("%s", texts::checkPassed);
    if (warnings != 0)
        std::printf(", %zu%s", warnings, texts::checkWarnings);
    std::printf("\n");
    return std::fflush(stdout) == 0 ? setupUsable : setupNotWritten;
}

} // namespace tools
