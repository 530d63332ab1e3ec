// The statuses each tool's help is generated from are the ones its man page and the
// service unit name: an added or renumbered status must be documented everywhere.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/common/exit_status.h"

namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(std::string(SOURCE_DIR) + "/" + path);
    EXPECT_TRUE(in.good()) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<int> statusesOf(const std::vector<tools::ExitStatusMeaning>& meanings, bool lastingOnly)
{
    std::set<int> statuses;
    for (const tools::ExitStatusMeaning& meaning : meanings) {
        if (meaning.lasting || !lastingOnly)
            statuses.insert(meaning.status);
    }
    return statuses;
}

// Each number of pattern's first group, found in text.
std::set<int> numbersIn(const std::string& text, const std::regex& pattern)
{
    std::set<int> numbers;
    for (std::sregex_iterator match(text.begin(), text.end(), pattern), end; match != end; ++match) {
        std::istringstream values((*match)[1]);
        for (int number = 0; values >> number;)
            numbers.insert(number);
    }
    return numbers;
}

// The ".TP" / ".B N" entries of the page's EXIT STATUS section.
std::set<int> manPageStatuses(const std::string& page)
{
    const std::string text = fileText("packaging/man/" + page);
    const size_t section = text.find("\n.SH EXIT STATUS\n");
    EXPECT_NE(section, std::string::npos) << page;
    const std::string statuses = text.substr(section, text.find("\n.SH", section + 1) - section);
    return numbersIn(statuses, std::regex(R"(\n\.TP\n\.B ([0-9]+))"));
}

TEST(ExitStatusAgreement, ManPagesAndTheUnitNameTheToolsStatuses)
{
    EXPECT_EQ(manPageStatuses("tessaro-replay.1"), statusesOf(replay::exitStatusMeanings(), false));
    EXPECT_EQ(manPageStatuses("tessaro-consume.1"), statusesOf(consume::exitStatusMeanings(), false));
    EXPECT_EQ(numbersIn(fileText("packaging/systemd/tessaro-consume@.service.in"),
                        std::regex(R"(\nRestartPreventExitStatus=([0-9 ]+))")),
              statusesOf(consume::exitStatusMeanings(), true));
}

TEST(ExitStatusAgreement, TheHelpNamesEveryStatusWithinATerminalsWidth)
{
    std::istringstream lines(tools::exitStatusHelp(consume::exitStatusMeanings()));
    std::string joined;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        joined += line + ' ';
    }
    for (const tools::ExitStatusMeaning& meaning : consume::exitStatusMeanings())
        EXPECT_NE(joined.find(std::to_string(meaning.status) + ' ' + meaning.meaning), std::string::npos)
            << meaning.meaning;
}

} // namespace
