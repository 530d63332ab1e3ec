// The tool's exit statuses: 0 all read, 1 some skipped (see input_errors_test),
// 2 usage errors, 3 a plug-in that cannot be loaded, each with its reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/replay/json_match.h"
#include "tests/replay/replay_fixture.h"

namespace {

using replayExitStatus = replay_testing::ReplayTest;

TEST_F(replayExitStatus, UsageErrorsExitWithTwoAndSayWhy)
{
    struct Usage {
        std::vector<std::string> arguments;
        std::string reasonPiece;
    };
    const std::string unclosed = writeInput("unclosed.yaml", "a: [1, 2\n");
    const std::string list = writeInput("list.yaml", "- a\n");
    const Usage usages[] = {
        {{"--batch", "0"}, "--batch wants a whole number"},
        {{"--batch", "12x"}, "not 12x"},
        {{"--format", "xml"}, "--format wants jsonl or frames"},
        {{"--set", "=1"}, "--set wants KEY=VALUE"},
        {{"--set", "novalue"}, "not novalue"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"--log-level"}, "missing value for --log-level"},
        {{"--config", unclosed}, "cannot read configuration " + unclosed},
        {{"--config", list}, "a configuration is a map"},
        {{"--config", directory() + "/none.yaml"}, "none.yaml: No such file or directory"},
        {{"--set", R"(k={"$custom":1})"}, "--set k: {\"$custom\":N}"},
        {{"--output", directory() + "/no/dir/out.jsonl"}, "cannot open output"},
    };
    for (const Usage& usage : usages) {
        const replay_testing::ToolRun run = runTool(usage.arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(usage.reasonPiece), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Try 'tessaro-replay --help'."), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(replayExitStatus, APluginThatCannotBeLoadedExitsWithThreeAndSaysWhy)
{
    const replay_testing::ToolRun missing = runTool({"--plugin", directory() + "/libNothing.so"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find(directory() + "/libNothing.so"), std::string::npos) << missing.err;

    // The host stand-in is a library without the codec's entry points.
    const replay_testing::ToolRun noEntryPoints = runTool({"--plugin", OBCLIENT_LIBRARY});
    EXPECT_EQ(noEntryPoints.status, 3);
    EXPECT_NE(noEntryPoints.err.find("vlm_create_plugin_with_params_TessaroNotifications2Codec"),
              std::string::npos)
        << noEntryPoints.err;
}

TEST_F(replayExitStatus, HelpAndCleanRunsExitWithZero)
{
    const replay_testing::ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--batch N"), std::string::npos);

    // Standard input, through the plug-in installed beside the tool; without a path the message passes
    // through.
    const std::string message = R"({"metadata":{"origin":"console"},"payload":{"n":1,"x":[1.5,"s"]}})";
    const replay_testing::ToolRun clean = runTool({"-"}, message + "\n");
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(replay_testing::jsonDifference(clean.out, message), "");
    EXPECT_EQ(replay_testing::summaryCount(clean.err, "passed through"), 1);
}

} // namespace
