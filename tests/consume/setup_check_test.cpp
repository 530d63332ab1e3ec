// What the tools say about themselves: --version, --check, and the exit statuses of the documentation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "obclient/plugin_library.h"
#include "tests/replay/replay_fixture.h"
#include "tools/common/exit_status.h"

namespace {

using replay_testing::contentsOf;
using replay_testing::mentions;

class ToolSetup : public replay_testing::ReplayTest {
protected:
    // Run to its end, standard output and error in files.
    replay_testing::ToolRun run(std::vector<std::string> command, const std::vector<std::string>& arguments)
    {
        command.insert(command.end(), arguments.begin(), arguments.end());
        const std::string out = directory() + "/out", err = directory() + "/err";
        const int status =
            replay_testing::ToolProcess(command, err, "/dev/null", out).wait(std::chrono::seconds(20));
        return {status, contentsOf(out), contentsOf(err)};
    }
};

TEST_F(ToolSetup, VersionAndCheckReadConfigurationAndPluginButNothingElse)
{
    const PluginLibrary plugin(TESSARO_PLUGIN_LIBRARY);
    const std::string reported = std::string("plug-in ") + TESSARO_PLUGIN_LIBRARY + ": product version " +
                                 plugin.productVersion() + ", interface version " +
                                 std::to_string(plugin.apiVersion()) + "\n";
    const std::string good = EXAMPLES_DIR "/config.yaml";
    const std::string broken = writeInput("broken.yaml", "tenantId: [1, 2\n");
    const std::string none = directory() + "/none.so";
    const std::string output = directory() + "/events.jsonl";
    const std::string passed =
        "check passed: the plug-in created and destroyed a codec with this configuration";
    // clang-format off
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string out;                 // the whole of standard output after --version's first line
        std::vector<std::string> errors; // pieces of standard error, in order
    } cases[] = {
        {{"--version", "--plugin", TESSARO_PLUGIN_LIBRARY}, 0, reported, {}},
        {{"--version", "--plugin", none}, 3, "", {"cannot load plug-in " + none}},
        {{"--check", "--config", good}, 0, passed + "\n", {}},
        {{"--check", "--config", good, "--set", "tenantID=t1", "--set", "tenantId=5"}, 0,
         passed + ", 2 warning(s) above\n", {"configuration key \"tenantID\" is not read by the codec",
                                             "configuration key \"tenantId\" holds an integer"}},
        {{"--check", "--config", broken}, 2, "", {"cannot read configuration " + broken}},
        {{"--check", "--config", good, "--plugin", none}, 3, "", {"cannot load plug-in " + none}},
    };
    // clang-format on
    // The consumer pointed at a port where nothing listens: --check must not try it.
    const std::vector<std::string> consume = {TESSARO_CONSUME_TOOL, "--url",
                                              "ws://127.0.0.1:1/notification2/consumer/", "--token-file",
                                              writeInput("token", "t1\n")};
    for (const std::vector<std::string>& tool : {std::vector<std::string>{TESSARO_REPLAY_TOOL}, consume}) {
        const std::string name = std::filesystem::path(tool[0]).filename();
        for (const auto& c : cases) {
            SCOPED_TRACE(name + " " + c.arguments.front() + " " + c.arguments.back());
            const bool version = c.arguments.front() == "--version"; // which needs no other option
            std::vector<std::string> arguments{"--output", output};
            arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
            const replay_testing::ToolRun checked =
                run(version ? std::vector<std::string>{tool[0]} : tool, arguments);
            EXPECT_EQ(checked.status, c.status) << checked.err;
            EXPECT_EQ(checked.out, (version ? name + " 10.15.4.1\n" : "") + c.out);
            size_t from = 0;
            for (const std::string& piece : c.errors) {
                from = checked.err.find(name + ": " + piece, from);
                EXPECT_NE(from, std::string::npos) << piece << "\n" << checked.err;
            }
            EXPECT_TRUE(!c.errors.empty() || checked.err.empty()) << checked.err;
            EXPECT_FALSE(std::filesystem::exists(output)) << "the output was written";
        }
    }
    // Options are read as a run reads them, and a refusal says why.
    const std::pair<std::vector<std::string>, const char*> refusals[] = {
        {{"--check", "--url", "http://x/", "--token-file", "t"}, "--url wants ws://"},
        {{"--check", "--url", "ws://x/", "--token-file", "t", "--token-command", "true"},
         "exactly one of --token-file and --token-command"}};
    for (const auto& [arguments, reason] : refusals) {
        const replay_testing::ToolRun refused = run({TESSARO_CONSUME_TOOL}, arguments);
        EXPECT_EQ(refused.status, 2);
        EXPECT_TRUE(mentions(refused.err, reason)) << refused.err;
    }
}

std::set<int> statusesOf(const std::vector<tools::ExitStatusMeaning>& meanings, bool lastingOnly)
{
    std::set<int> statuses;
    for (const tools::ExitStatusMeaning& meaning : meanings)
        if (meaning.lasting || !lastingOnly)
            statuses.insert(meaning.status);
    return statuses;
}

// Each number of pattern's first group, found in the file.
std::set<int> numbersIn(const std::string& file, const std::string& pattern)
{
    const std::string text = contentsOf(std::string(SOURCE_DIR) + "/" + file);
    const std::regex matcher(pattern);
    std::set<int> numbers;
    for (std::sregex_iterator match(text.begin(), text.end(), matcher), end; match != end; ++match) {
        std::istringstream values((*match)[1]);
        for (int number = 0; values >> number;)
            numbers.insert(number);
    }
    return numbers;
}

// An added or renumbered status must be documented everywhere, and the help must show it in full.
TEST_F(ToolSetup, TheHelpManPagesAndUnitNameEveryStatus)
{
    const std::string entry = R"(\n\.TP\n\.B ([0-9]+)\n)"; // in the page's EXIT STATUS section
    EXPECT_EQ(numbersIn("packaging/man/tessaro-replay.1", entry),
              statusesOf(replay::exitStatusMeanings(), false));
    EXPECT_EQ(numbersIn("packaging/man/tessaro-consume.1", entry),
              statusesOf(consume::exitStatusMeanings(), false));
    EXPECT_EQ(
        numbersIn("packaging/systemd/tessaro-consume@.service.in", R"(\nRestartPreventExitStatus=([0-9 ]+))"),
        statusesOf(consume::exitStatusMeanings(), true));
    std::string help = tools::exitStatusHelp(consume::exitStatusMeanings());
    std::replace(help.begin(), help.end(), '\n', ' ');
    for (const tools::ExitStatusMeaning& meaning : consume::exitStatusMeanings())
        EXPECT_TRUE(mentions(help, std::to_string(meaning.status) + ' ' + meaning.meaning))
            << meaning.meaning;
}

} // namespace
