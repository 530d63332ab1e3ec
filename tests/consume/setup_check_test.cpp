// --version and --check of the tools: what each says about itself and its plug-in
// without reading input, connecting or writing anything, and the exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "obclient/plugin_library.h"
#include "tests/replay/replay_fixture.h"

namespace {

using replay_testing::linesOf;
using replay_testing::mentions;

struct Tool {
    std::string name;
    std::vector<std::string> command; // the tool and what a run of it needs besides --check
};

class ToolSetup : public replay_testing::ReplayTest {
protected:
    // Both tools that load the plug-in, the consumer pointed at a port where nothing listens:
    // --check must not try it.
    std::vector<Tool> pluginTools()
    {
        return {{"tessaro-replay", {TESSARO_REPLAY_TOOL}},
                {"tessaro-consume",
                 {TESSARO_CONSUME_TOOL, "--url", "ws://127.0.0.1:1/notification2/consumer/", "--token-file",
                  writeInput("token", "t1\n")}}};
    }

    replay_testing::ToolRun run(std::vector<std::string> command, const std::vector<std::string>& arguments)
    {
        command.insert(command.end(), arguments.begin(), arguments.end());
        const std::string out = directory() + "/out";
        const std::string err = directory() + "/err";
        replay_testing::ToolRun result;
        result.status =
            replay_testing::ToolProcess(command, err, "/dev/null", out).wait(std::chrono::seconds(20));
        result.out = replay_testing::contentsOf(out);
        result.err = replay_testing::contentsOf(err);
        return result;
    }
};

TEST_F(ToolSetup, VersionNamesTheToolAndWhatThePluginReports)
{
    const PluginLibrary plugin(TESSARO_PLUGIN_LIBRARY);
    const std::string reported = std::string("plug-in ") + TESSARO_PLUGIN_LIBRARY + ": product version " +
                                 plugin.productVersion() + ", interface version " +
                                 std::to_string(plugin.apiVersion());
    for (const Tool& tool : pluginTools()) {
        const std::string version = tool.name + " 10.15.4.1";
        // No other option is needed.
        const replay_testing::ToolRun shown =
            run({tool.command[0]}, {"--version", "--plugin", TESSARO_PLUGIN_LIBRARY});
        EXPECT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(linesOf(shown.out), (std::vector<std::string>{version, reported}));

        const replay_testing::ToolRun missing =
            run({tool.command[0]}, {"--version", "--plugin", directory() + "/none.so"});
        EXPECT_EQ(missing.status, 3);
        EXPECT_EQ(linesOf(missing.out), std::vector<std::string>{version});
        EXPECT_TRUE(mentions(missing.err, "none.so")) << missing.err;
    }
    const replay_testing::ToolRun standin = run({SERVICE_STANDIN}, {"--version"});
    EXPECT_EQ(standin.status, 0);
    EXPECT_EQ(standin.out, "tessaro-service-standin 10.15.4.1\n");
}

TEST_F(ToolSetup, CheckReadsConfigurationAndPluginButNothingElse)
{
    const std::string good = EXAMPLES_DIR "/config.yaml";
    const std::string broken = writeInput("broken.yaml", "tenantId: [1, 2\n");
    const std::string output = directory() + "/events.jsonl";
    const std::string passed =
        "check passed: the plug-in created and destroyed a codec with this configuration";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;                 // the whole of standard output
        std::vector<std::string> errors; // pieces of standard error, in order
    };
    // clang-format off
    const Case cases[] = {
        {{"--config", good}, 0, passed + "\n", {}},
        {{"--config", good, "--set", "tenantID=t1", "--set", "tenantId=5"}, 0, passed + ", 2 warning(s) above\n",
         {"configuration key \"tenantID\" is not read by the codec", "configuration key \"tenantId\" holds an integer"}},
        {{"--config", broken}, 2, "", {"cannot read configuration " + broken}},
        {{"--config", good, "--plugin", directory() + "/none.so"}, 3, "", {"cannot load plug-in " + directory() + "/none.so"}},
    };
    // clang-format on
    for (const Tool& tool : pluginTools()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(tool.name + " " + c.arguments.back());
            std::vector<std::string> arguments{"--check", "--output", output};
            arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
            const replay_testing::ToolRun checked = run(tool.command, arguments);
            EXPECT_EQ(checked.status, c.status) << checked.err;
            EXPECT_EQ(checked.out, c.out);
            size_t from = 0;
            for (const std::string& piece : c.errors) {
                from = checked.err.find(tool.name + ": " + piece, from);
                EXPECT_NE(from, std::string::npos) << piece << "\n" << checked.err;
            }
            EXPECT_TRUE(!c.errors.empty() || checked.err.empty()) << checked.err;
            EXPECT_FALSE(std::filesystem::exists(output)) << "the output was written";
        }
    }
    // Options are read as a run reads them.
    const replay_testing::ToolRun badUrl = run(
        {TESSARO_CONSUME_TOOL}, {"--check", "--url", "http://x/", "--token-file", directory() + "/token"});
    EXPECT_EQ(badUrl.status, 2);
    EXPECT_TRUE(mentions(badUrl.err, "--url wants ws://")) << badUrl.err;
}

} // namespace
