// Frames as the live consumer would take them: only the actions asked for are
// converted, the rest counted as skipped; and a frames file read by mistake as JSON
// lines is recognised once, with the option that reads it.

#include "tests/replay/replay_fixture.h"

namespace {

using replayFramesInput = replay_testing::ReplayTest;
using replay_testing::linesOf;
using replay_testing::mentions;
using replay_testing::summaryCount;

const std::string hint =
    ": these lines look like notification frames (identifier, path, action): read them with --format frames";

std::string frame(const std::string& id, const std::string& action, const std::string& body)
{
    return id + "\n/t12345/alarms/4711\n" + action + "\n\n" + body + "\n---\n";
}

const std::string alarmBody =
    R"({"id":"91010","source":{"id":"4711"},"type":"t5o_A","time":"2024-02-01T11:00:00.000Z","text":"x",)"
    R"("status":"ACTIVE","severity":"MAJOR","count":1})";

TEST_F(replayFramesInput, FramesOfActionsNotAskedForAreSkippedAndCounted)
{
    const std::string capture = writeInput(
        "capture.frames", frame("f1", "CREATE", alarmBody) + frame("f2", "DELETE", "\"91010\"") +
                              frame("f3", "UPDATE", alarmBody) + frame("f4", "DELETE", "\"91011\""));
    struct Case {
        std::vector<std::string> arguments;
        int64_t read, skipped, deletes, dropped, events;
    };
    const Case cases[] = {
        {{}, 2, 2, 2, 0, 2}, // as tessaro-consume by default
        {{"--actions", "CREATE"}, 1, 3, 2, 0, 1},
        {{"--actions", "CREATE,UPDATE,DELETE"}, 4, 0, -1, 2, 2}, // a DELETE's text body is no notification
    };
    // Several workers add up their counts alike: see jobs_test.
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"--format", "frames"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        arguments.push_back(capture);
        const replay_testing::ToolRun run = runTool(arguments);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(summaryCount(run.err, "messages read"), c.read);
        EXPECT_EQ(summaryCount(run.err, "skipped by action"), c.skipped);
        EXPECT_EQ(summaryCount(run.err, "  DELETE"), c.deletes);
        EXPECT_EQ(summaryCount(run.err, "dropped"), c.dropped);
        EXPECT_EQ(static_cast<int64_t>(linesOf(run.out).size()), c.events) << run.out;
    }
}

TEST_F(replayFramesInput, FramesReadAsJsonLinesAreRecognisedOnce)
{
    std::string frames;
    for (int i = 0; i < 30; ++i)
        frames += frame("id-" + std::to_string(i), "CREATE", alarmBody);
    const std::string path = writeInput("capture.frames", frames);
    const replay_testing::ToolRun one = runTool({"--quiet", path});
    const replay_testing::ToolRun four = runTool({"--quiet", "--jobs", "4", path});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(four.status, 1);
    EXPECT_EQ(four.err, one.err);
    const std::vector<std::string> lines = linesOf(one.err);
    ASSERT_GE(lines.size(), 4u) << one.err;
    // Right after the first frame's three header lines, and only there.
    EXPECT_EQ(lines[3], path + hint) << one.err;
    EXPECT_EQ(one.err.find(hint), one.err.rfind(hint)) << one.err;

    // Not frames: lines that fail but whose third is no action, or an input that begins with JSON.
    const std::string notFrames[] = {
        "oops\nstill oops\nand again\n" + frames,
        std::string(R"({"payload":{"n":1}})") + "\n" + frames,
        "\n" + frames.substr(frames.find('\n') + 1),
    };
    for (const std::string& content : notFrames) {
        const replay_testing::ToolRun run = runTool({"--quiet", writeInput("other.jsonl", content)});
        EXPECT_EQ(run.status, 1);
        EXPECT_FALSE(mentions(run.err, hint)) << content.substr(0, 60) << "\n" << run.err;
    }
}

} // namespace
