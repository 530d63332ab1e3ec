#include "tools/common/tool_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/common/exit_status.h"
#include "tools/common/texts.h"

namespace tools {

int fail(const ToolIdentity& tool, int status, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s\n", tool.name, reason.c_str());
    if (status == usageExitStatus)
        std::fprintf(stderr, "%s\n", tool.tryHelp);
    return status;
}

int printHelp(const ToolIdentity& tool, const std::string& help)
{
    if (std::fputs(help.c_str(), stdout) >= 0 && std::fflush(stdout) == 0)
        return 0;
    return fail(tool, tool.helpWriteFailure, texts::cannotWriteHelp + std::string(std::strerror(errno)));
}

void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace tools
