#include "tools/common/exit_status.h"

#include <sstream>

namespace tools {

namespace {

constexpr size_t helpWidth = 80;

} // namespace

std::string exitStatusHelp(const std::vector<ExitStatusMeaning>& meanings)
{
    std::string words = "Exit status:";
    for (size_t i = 0; i < meanings.size(); ++i) {
        words += ' ' + std::to_string(meanings[i].status) + ' ' + meanings[i].meaning;
        words += i + 1 < meanings.size() ? ',' : '.';
    }
    std::istringstream in(words);
    std::string help;
    std::string line;
    std::string word;
    while (in >> word) {
        if (!line.empty() && line.size() + 1 + word.size() > helpWidth) {
            help += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return help + line + '\n';
}

} // namespace tools

namespace replay {

const std::vector<tools::ExitStatusMeaning>& exitStatusMeanings()
{
    static const std::vector<tools::ExitStatusMeaning> meanings{
        {exitAllRead, "every input record was read"},
        {exitSomeSkipped,
         "some were skipped (each reported as FILE:LINE: reason) or the output could not be written"},
        {exitUsage, "usage error", true},
        {exitPlugin, "the plug-in cannot be loaded or created", true},
    };
    return meanings;
}

} // namespace replay

namespace consume {

const std::vector<tools::ExitStatusMeaning>& exitStatusMeanings()
{
    static const std::vector<tools::ExitStatusMeaning> meanings{
        {exitStopped, "stopped cleanly"},
        {exitUsage,
         "usage or configuration error (a token or --ca-file that cannot be read at start included)", true},
        {exitPlugin, "the plug-in cannot be loaded or created", true},
        {exitTokenRefused, "the token was refused"},
        {exitOutput, "the output cannot be written"},
        // Not lasting: the password file is read again at each start.
        {exitLoginRefused, "the MQTT broker refused the login"},
    };
    return meanings;
}

} // namespace consume
