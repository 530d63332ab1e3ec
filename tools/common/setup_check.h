// What a tool can tell about its setup without running: --version (the tool's and the
// plug-in's versions) and --check (the configuration is read, the plug-in loaded, a
// codec created and destroyed; no input read, nothing connected, nothing written).
#pragma once

#include "tools/common/options.h"

namespace tools {

// The exit statuses both tools give these outcomes.
constexpr int setupUsable = 0;
constexpr int setupNotWritten = 1; // stdout did not take the answer
constexpr int setupConfigurationError = 2;
constexpr int setupPluginError = 3;

// The tool's version on stdout, then the plug-in's product and interface versions as the loaded
// plug-in reports them; a plug-in that cannot be loaded is reported (setupPluginError).
int printVersion(const char* toolName, const SharedOptions& options);

// Warnings about the configuration on stderr (see configurationWarnings), one line on stdout
// when all went well.
int checkSetup(const char* toolName, const SharedOptions& options);

} // namespace tools
