// Bad input is reported as FILE:LINE: reason and skipped; everything after it is
// still read, and the exit status is 1 when anything was skipped.

#include "tests/replay/json_match.h"
#include "tests/replay/replay_fixture.h"

namespace {

using replayInputErrors = replay_testing::ReplayTest;
using replay_testing::jsonDifference;
using replay_testing::linesOf;
using replay_testing::mentions;
using replay_testing::summaryCount;

// No pulsarPath: the codec passes it through unchanged, so the output shows exactly what was read.
const std::string passing = R"({"metadata":{"origin":"console"},"payload":{"note":"kept","n":1}})";

// Files that cannot be read are counted too, and the others read.
TEST_F(replayInputErrors, BadLinesAndFilesAreReportedWhereTheyAreAndSkipped)
{
    const std::string garbage("\x01\xff\xfe\x00garbage", 11);
    const std::string path = writeInput("in.jsonl", passing + "\n" +         // 1
                                                        "{\"payload\": \n" + // 2
                                                        garbage + "\n" +     // 3
                                                        "[1,2]\n" +          // 4
                                                        "\n" +               // 5: blank, not a record
                                                        R"({"payload":{"$custom":7}})" + "\n" + // 6
                                                        passing + "\r\n" +                      // 7
                                                        R"({"payload":{"cut":)");               // 8
    const std::string missing = directory() + "/missing.jsonl";
    const std::string empty = writeInput("empty.jsonl", "");
    const replay_testing::ToolRun run = runTool({missing, path, empty, directory()});
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    for (const std::string& line : lines)
        EXPECT_EQ(jsonDifference(line, passing), "");
    for (const char* where : {":2: not valid JSON", ":3: not valid JSON", ":4: a message is a JSON object",
                              ":6: {\"$custom\":N}", ":8: not valid JSON"})
        EXPECT_TRUE(mentions(run.err, path + where)) << where << "\n" << run.err;
    EXPECT_TRUE(mentions(run.err, "cut short"));
    EXPECT_TRUE(mentions(run.err, missing + ": cannot open: No such file or directory")) << run.err;
    EXPECT_TRUE(mentions(run.err, directory() + ": cannot read: Is a directory")) << run.err;
    EXPECT_TRUE(mentions(run.err, empty + ": empty input")) << run.err;
    EXPECT_EQ(summaryCount(run.err, "input errors"), 7);
    EXPECT_EQ(summaryCount(run.err, "messages read"), 2);
}

TEST_F(replayInputErrors, AFiftyMegabyteLineIsReadWhole)
{
    const std::string blob(50 << 20, 'x');
    const std::string huge = R"({"metadata":{},"payload":{"blob":")" + blob + "\"}}";
    const replay_testing::ToolRun run =
        runTool({"--quiet", writeInput("huge.jsonl", huge + "\n" + passing + "\n")});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0] == huge);
    EXPECT_EQ(jsonDifference(lines[1], passing), "");
}

TEST_F(replayInputErrors, BrokenFramesAreReportedAndTheNextFrameIsRead)
{
    const std::string path =
        writeInput("capture.frames",
                   "id-1\n/t12345/operations/4711\nUPDATE\nX-Extra: 1\n\n"
                   "{\"id\":\"55010\",\"deviceId\":\"4711\",\n"
                   " \"source\":{\"id\":\"4711\"},\"status\":\"EXECUTING\"}\n"
                   "---\n"                             // 8
                   "id-2\nCREATE\n\n{\"id\":\"2\"}\n"  // 9: no path line
                   "---\n"                             // 13
                   "id-3\nt1/sub/things/3\nCREATE\n\n" // 14
                   "{\n  \"id\": \n}\n"                // 18: body
                   "---\n"                             // 21
                   "id-4\nt1/sub/things/4\nCREATE\n"   // 22: no body
                   "---\n"
                   // 27: read, then dropped: without its leading slash the kind is not found
                   "\nid-5\nt12345/alarms/4711\nCREATE\n\n{\"id\":\"5\",\n\"source\":{\"id\":\"4711\"}}");
    const std::string output = directory() + "/events.jsonl";
    const replay_testing::ToolRun run = runTool({"--format", "frames", "--output", output, path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(jsonDifference(replay_testing::contentsOf(output),
                             R"({"metadata":{"vlm.type":"com.orbel.tessaro.Operation",
        "vlm.channel":"tessaro.devices"},"payload":{"id":"55010","source":"4711","status":"EXECUTING",
        "measurements":{}}})"),
              "");
    EXPECT_TRUE(mentions(run.err, "Unrecognised Pulsar message type: '4711'")) << run.err;
    for (const char* where : {":9: a frame begins with at least 3 header lines", ":18: not valid JSON",
                              ":22: the frame has no blank line"})
        EXPECT_TRUE(mentions(run.err, path + where)) << where << "\n" << run.err;
    EXPECT_EQ(summaryCount(run.err, "input errors"), 3);
    EXPECT_EQ(summaryCount(run.err, "messages read"), 2);
}

// A record past the limits is never held whole: reported where it starts, skipped, and reading goes on.
TEST_F(replayInputErrors, RecordsBeyondTheLimitsAreReportedAndSkipped)
{
    struct Limited {
        std::vector<std::string> options;
        std::string input;
        std::string where; // the report of the skipped record
    };
    const std::string frame = "id\nt1/sub/things/1\nCREATE\n\n{\"id\":\"1\"}\n";
    const std::string longLine(300, 'x');
    const Limited cases[] = {
        {{"--max-record-bytes", "200"}, passing + "\n" + longLine + "\n" + passing + "\n", ":2: skipped"},
        {{"--max-record-bytes", "200"}, passing + "\n" + passing + "\n" + longLine, ":3: skipped"},
        {{"--max-record-bytes", "200", "--format", "frames"},
         frame + "---\n" + std::string(100, 'h') + "\n" + std::string(100, 'h') + "\n" + frame + "---\n" +
             frame,
         ":7: skipped"},
        {{"--max-object-entries", "2"},
         passing + "\n" + R"({"payload":{"a":{"$map":[[1,1],[2,2],[3,3]]}}})" + "\n" + passing + "\n",
         ":2: an object has more entries than the limit of 2"},
        {{"--max-object-entries", "2"},
         passing + "\n" + R"({"payload":{"a":1,"b":2,"c":3}})" + "\n" + passing,
         ":2: an object has more entries"},
    };
    for (const Limited& limited : cases) {
        const std::string path = writeInput("limited", limited.input);
        std::vector<std::string> arguments = limited.options;
        arguments.push_back(path);
        const replay_testing::ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_TRUE(mentions(run.err, path + limited.where)) << limited.where << "\n" << run.err;
        EXPECT_EQ(summaryCount(run.err, "input errors"), 1) << limited.where;
        EXPECT_EQ(summaryCount(run.err, "messages read"), 2) << limited.where;
    }
}

} // namespace
