#include "tools/replay/same_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace replay {

namespace {

bool identify(const std::string& path, struct stat& identity)
{
    if (path == "-")
        return ::fstat(STDIN_FILENO, &identity) == 0;
    return ::stat(path.c_str(), &identity) == 0;
}

} // namespace

std::string inputThatIsTheOutput(const Options& options)
{
    struct stat output {};
    // An output that does not exist yet cannot be an input.
    if (options.outputFile.empty() || ::stat(options.outputFile.c_str(), &output) != 0)
        return {};
    std::vector<std::string> inputs = options.inputs;
    inputs.push_back(options.configFile);
    inputs.push_back(options.pluginPath);
    for (const std::string& input : inputs) {
        struct stat identity {};
        if (!input.empty() && identify(input, identity) && identity.st_dev == output.st_dev &&
            identity.st_ino == output.st_ino)
            return input;
    }
    return {};
}

} // namespace replay
