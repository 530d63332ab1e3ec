// The statuses each tool ends with, and what they mean. The help, the man pages and
// the service unit's RestartPreventExitStatus all say the same; a test holds them to it.
#pragma once

#include <string>
#include <vector>

namespace tools {

// A usage or configuration error, in every tool: the one status that prints the hint to --help.
constexpr int usageExitStatus = 2;

struct ExitStatusMeaning {
    int status;
    const char* meaning;
    bool lasting = false; // restarting the same setup cannot help, so a supervisor must not retry
};

// "Exit status: 0 ..., 2 ....", wrapped for a terminal.
std::string exitStatusHelp(const std::vector<ExitStatusMeaning>& meanings);

} // namespace tools

namespace replay {

enum ExitStatus : int {
    exitAllRead = 0,
    exitSomeSkipped = 1,
    exitUsage = tools::usageExitStatus,
    exitPlugin = 3
};

const std::vector<tools::ExitStatusMeaning>& exitStatusMeanings();

} // namespace replay

namespace consume {

enum ExitStatus : int {
    exitStopped = 0,
    exitUsage = tools::usageExitStatus,
    exitPlugin = 3,
    exitTokenRefused = 4,
    exitOutput = 5,
    exitLoginRefused = 6, // the MQTT broker refused the user or password
};

const std::vector<tools::ExitStatusMeaning>& exitStatusMeanings();

} // namespace consume
