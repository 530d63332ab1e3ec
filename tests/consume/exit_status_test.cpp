// The statuses each tool's help is generated from are the ones its man page and the
// service unit name: an added or renumbered status must be documented everywhere.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/common/exit_status.h"

namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
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

// The ".TP" / ".B N" entries of the page's EXIT STATUS section.
std::set<int> manPageStatuses(const std::string& page)
{
    std::istringstream lines(fileText(std::string(SOURCE_DIR) + "/packaging/man/" + page));
    std::set<int> statuses;
    std::string line;
    bool inSection = false;
    bool afterTag = false;
    while (std::getline(lines, line)) {
        if (line.rfind(".SH", 0) == 0)
            inSection = line == ".SH EXIT STATUS";
        else if (inSection && afterTag && line.rfind(".B ", 0) == 0)
            statuses.insert(std::stoi(line.substr(3)));
        afterTag = inSection && line == ".TP";
    }
    return statuses;
}

std::set<int> unitRestartPrevented()
{
    std::istringstream lines(
        fileText(std::string(SOURCE_DIR) + "/packaging/systemd/tessaro-consume@.service.in"));
    const std::string key = "RestartPreventExitStatus=";
    std::set<int> statuses;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(key, 0) != 0)
            continue;
        std::istringstream values(line.substr(key.size()));
        int status = 0;
        while (values >> status)
            statuses.insert(status);
    }
    return statuses;
}

TEST(ExitStatusAgreement, ManPagesAndTheUnitNameTheToolsStatuses)
{
    EXPECT_EQ(manPageStatuses("tessaro-replay.1"), statusesOf(replay::exitStatusMeanings(), false));
    EXPECT_EQ(manPageStatuses("tessaro-consume.1"), statusesOf(consume::exitStatusMeanings(), false));
    EXPECT_EQ(unitRestartPrevented(), statusesOf(consume::exitStatusMeanings(), true));
}

TEST(ExitStatusAgreement, TheHelpNamesEveryStatusWithinATerminalsWidth)
{
    const std::string help = tools::exitStatusHelp(consume::exitStatusMeanings());
    std::istringstream lines(help);
    std::string line;
    std::string joined;
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 80u) << line;
        joined += line + ' ';
    }
    for (const tools::ExitStatusMeaning& meaning : consume::exitStatusMeanings())
        EXPECT_NE(joined.find(std::to_string(meaning.status) + ' ' + meaning.meaning), std::string::npos)
            << meaning.meaning;
}

} // namespace
