// Several workers convert side by side, yet the tool writes what one writes: events, drop lines and
// input errors in input order, the summary, and the same stop at a failed write.

#include <algorithm>

#include "tests/replay/replay_fixture.h"

namespace {

using namespace replay_testing;
using replayJobs = ReplayTest;

// The examples, then records that cannot be read, over and over: enough for several chunks.
std::string repeated(const char* examples, const std::string& broken)
{
    const std::string good = contentsOf(examples);
    std::string input;
    while (input.size() < 700000)
        input += good + broken;
    return input;
}

TEST_F(replayJobs, EveryNumberOfWorkersWritesTheSameBytes)
{
    const std::string oversized(3000, 'x');
    const std::string jsonText = repeated(TESSARO_EXAMPLES "/notifications.jsonl",
                                          "{\"metadata\":{}, not json\n" + oversized + "\n\n") +
                                 "[3]";
    const std::string json = writeInput("big.jsonl", jsonText);
    const std::string lastLine = std::to_string(std::count(jsonText.begin(), jsonText.end(), '\n') + 1);
    // A path line with a carriage return of its own, a frame cut short, and one whose lines only
    // together pass the limit.
    const std::string frames =
        writeInput("big.frames", repeated(TESSARO_EXAMPLES "/notifications.frames",
                                          "---\nid\r\n/t1/bogus\r\r\nCREATE\r\n\r\n{}\r\n---\nid\n/t1/alarms/"
                                          "1\nCREATE\n\n{\"cut\n---\nid\n/t1/alarms/2\nCREATE\n\n" +
                                              std::string(20, 'y').append(150, 'z') + "\n" +
                                              oversized.substr(0, 1900) + "\nmore\n---\n"));
    const std::string empty = writeInput("empty.jsonl", "");
    const std::vector<std::string> common = {"--config", TESSARO_EXAMPLES "/config.yaml",
                                             "--max-record-bytes", "2000"};
    const std::vector<std::vector<std::string>> runs = {
        {"--batch", "7", json, directory() + "/missing.jsonl", empty, json},
        {"--batch", "5", "--format", "frames", frames},
        {"--batch", "7", "--output", "/dev/full", json},
    };
    std::vector<std::string> singleErr;
    for (const std::vector<std::string>& run : runs) {
        std::vector<std::string> arguments = common;
        arguments.insert(arguments.end(), run.begin(), run.end());
        arguments.insert(arguments.end(), {"--jobs", "1"});
        const ToolRun single = runTool(arguments);
        EXPECT_EQ(single.status, 1) << single.err;
        singleErr.push_back(single.err);
        for (const char* jobs : {"2", "3"}) {
            arguments.back() = jobs;
            const ToolRun parallel = runTool(arguments);
            EXPECT_EQ(parallel.status, 1) << jobs;
            EXPECT_TRUE(single.out == parallel.out) << "the events differ with --jobs " << jobs;
            EXPECT_EQ(single.err.substr(0, single.err.find("\nelapsed")),
                      parallel.err.substr(0, parallel.err.find("\nelapsed")))
                << jobs; // all but the elapsed time
        }
    }
    // The inputs hold what they are meant to.
    for (const char* piece :
         {"Error when transforming", "skipped: the record is longer than 2000", "not valid JSON"})
        EXPECT_TRUE(mentions(singleErr[0], piece) && mentions(singleErr[1], piece)) << piece;
    EXPECT_GT(summaryCount(singleErr[0], "passed through"), 0);
    EXPECT_TRUE(mentions(singleErr[0], json + ":" + lastLine + ": ")) << "the last line keeps its number";
    // With both streams on one file, each chunk's stderr lines come just before its events.
    std::vector<std::string> merged;
    for (const char* jobs : {"1", "2"}) {
        const std::string path = directory() + "/merged" + jobs;
        ToolProcess tool({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", TESSARO_REPLAY_TOOL, "--quiet",
                          "--config", TESSARO_EXAMPLES "/config.yaml", "--batch", "3", "--jobs", jobs, json},
                         directory() + "/stderr", "/dev/null", path);
        EXPECT_EQ(tool.wait(), 1) << jobs;
        merged.push_back(contentsOf(path));
    }
    EXPECT_NE(merged[0].rfind("{\"metadata\"", 0), 0u) << "the first chunk's stderr lines come first";
    EXPECT_TRUE(merged[0] == merged[1]) << "the streams interleave differently with --jobs 2";
}

} // namespace
