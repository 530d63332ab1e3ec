// The tool's exit statuses: 0 all read, 1 some skipped (see input_errors_test),
// 2 usage errors, 3 a plug-in that cannot be loaded, each with its reason.

#include <unistd.h>

#include <filesystem>

#include "tests/codec/conversion_support.h"
#include "tests/replay/replay_fixture.h"

namespace {

using namespace replay_testing;
using replayExitStatus = ReplayTest;

// An output, or an input named as one by any path, is untouched by a run that stops with 2 or 3. A bare
// plug-in name is the file in the current folder, though the loader's search path has one of that name.
TEST_F(replayExitStatus, UsageErrorsAndPluginsThatCannotBeLoadedSayWhyAndLeaveTheOutputAlone)
{
    const std::string unclosed = writeInput("unclosed.yaml", "a: [1, 2\n");
    const std::string list = writeInput("list.yaml", "- a\n");
    const std::string endless = writeInput("endless.yaml", "a: &a [*a]\n");
    std::string laughs = "a: &a [x, x, x, x, x, x, x, x, x, x]\n";
    for (char level = 'b'; level <= 'j'; ++level) {
        laughs += std::string(1, level) + ": &" + level + " [*" + static_cast<char>(level - 1);
        for (int alias = 1; alias < 10; ++alias)
            laughs += std::string(", *") + static_cast<char>(level - 1);
        laughs += "]\n";
    }
    const std::string billion = writeInput("laughs.yaml", laughs);
    const std::string message = R"({"metadata":{"origin":"console"},"payload":{"n":1}})";
    const std::string input = writeInput("in.jsonl", message + "\n");
    const std::string config = writeInput("config.yaml", "tenantId: acme\n");
    const std::string link = directory() + "/link.jsonl";
    ASSERT_EQ(::symlink(input.c_str(), link.c_str()), 0);
    const std::string output = writeInput("out.jsonl", "earlier events\n");
    const std::string nothing = directory() + "/libNothing.so";
    const std::string bareName = std::filesystem::path(TESSARO_PLUGIN_LIBRARY).filename();
    writeInput(bareName, "not a library");
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string reasonPiece;
    } runs[] = {
        {{"--batch", "0"}, 2, "--batch wants a whole number"},
        {{"--batch", "12x"}, 2, "not 12x"},
        {{"--format", "xml"}, 2, "--format wants jsonl or frames"},
        {{"--actions", "CREATE"}, 2, "--actions chooses frames by their action: it wants --format frames"},
        {{"--format", "frames", "--actions", "CREATE,REMOVE"},
         2,
         "--actions wants a comma-separated list of CREATE, UPDATE, DELETE, not CREATE,REMOVE"},
        {{"--format", "frames", "--actions", ""}, 2, "--actions wants a comma-separated list"},
        {{"--jobs", "0"}, 2, "--jobs wants a whole number from 1 to 256, not 0"},
        {{"--set", "=1"}, 2, "--set wants KEY=VALUE"},
        {{"--set", "novalue"}, 2, "not novalue"},
        {{"--bogus"}, 2, "unknown option --bogus"},
        {{"--log-level"}, 2, "missing value for --log-level"},
        {{"--config", unclosed}, 2, "cannot read configuration " + unclosed},
        {{"--config", list}, 2, "a configuration is a map"},
        {{"--config", endless}, 2, "nests deeper than 64"},
        {{"--config", billion}, 2, "more than 100000 values"},
        {{"--config", directory() + "/none.yaml"}, 2, "none.yaml: No such file or directory"},
        {{"--output", directory() + "/no/dir/out.jsonl"}, 2, "cannot open output"},
        {{"--output", input, input}, 2, ""},
        {{"--output", link, input}, 2, ""},
        {{"--output", config, "--config", config, input}, 2, ""},
        {{"--output", output, "--set", R"(k={"$custom":1})", input}, 2, "--set k: {\"$custom\":N}"},
        {{"--output", output, "--plugin", nothing, input}, 3, nothing},
        // The host stand-in is a library without the codec's entry points.
        {{"--plugin", OBCLIENT_LIBRARY}, 3, "vlm_create_plugin_with_params_TessaroNotifications2Codec"},
        {{"--plugin", bareName}, 3, "./" + bareName},
    };
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(directory());
    for (const auto& run : runs) {
        const ToolRun result = runTool(run.arguments);
        EXPECT_EQ(result.status, run.status) << result.err;
        EXPECT_TRUE(mentions(result.err, run.reasonPiece)) << result.err;
        EXPECT_EQ(mentions(result.err, "Try 'tessaro-replay --help'."), run.status == 2) << result.err;
        EXPECT_EQ(result.out, "");
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(contentsOf(input) + contentsOf(config) + contentsOf(output),
              message + "\ntenantId: acme\nearlier events\n");
}

// A failed write of the output stops the run at that batch, and of the help fails it; standard input
// goes through the plug-in installed beside the tool.
TEST_F(replayExitStatus, CleanRunsExitWithZeroAndAFailedWriteStopsTheRun)
{
    const ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(mentions(help.out, "--batch N"));
    const ToolRun helpFailed = runTool({"--help"}, "", "/dev/full");
    EXPECT_EQ(helpFailed.status, 1);
    EXPECT_TRUE(mentions(helpFailed.err, "cannot write the help")) << helpFailed.err;

    const std::string message = R"({"metadata":{"origin":"console"},"payload":{"n":1,"x":[1.5,"s"]}})";
    const ToolRun clean = runTool({"-"}, message + "\n");
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(codec_testing::json(clean.out), codec_testing::json(message));
    EXPECT_EQ(summaryCount(clean.err, "passed through"), 1);

    // Output goes out a chunk at a time, so the input spans several chunks.
    std::string input;
    for (int i = 0; i < 20000; ++i)
        input += R"({"metadata":{"vlm.type":"t"},"payload":{"n":1}})" + std::string("\n");
    const ToolRun full = runTool({"--output", "/dev/full", writeInput("in.jsonl", input)});
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(mentions(full.err, "cannot write the output: No space left on device")) << full.err;
    const int64_t read = summaryCount(full.err, "messages read");
    EXPECT_GT(read, 0);
    EXPECT_LT(read, 20000) << "the reading goes on past the failed write";
    EXPECT_EQ(summaryCount(full.err, "events out"), 0);
}

} // namespace
