// Bad input is reported as FILE:LINE: reason and skipped; everything after it is
// still read, and the exit status is 1 when anything was skipped.
#include "tests/codec/conversion_support.h"
#include "tests/replay/replay_fixture.h"

namespace {

using namespace replay_testing;
using replayInputErrors = ReplayTest;
using codec_testing::json;

// No pulsarPath: the codec passes it through unchanged, so the output shows exactly what was read.
const std::string passing = R"({"metadata":{"origin":"console"},"payload":{"note":"kept","n":1}})";

TEST_F(replayInputErrors, BadRecordsAndFilesAreReportedWhereTheyAreAndSkipped)
{
    const std::string path = directory() + "/input";
    const std::string missing = directory() + "/missing.jsonl";
    const std::string empty = writeInput("empty.jsonl", "");
    const std::string operation = R"({"metadata":{"vlm.type":"com.orbel.tessaro.Operation",
        "vlm.channel":"tessaro.devices"},"payload":{"id":"55010","source":"4711","status":"EXECUTING",
        "measurements":{}}})";
    // Past a limit a record is never held whole: it is reported where it starts.
    const std::string longLine(300, 'x'), longHeaders = std::string(100, 'h') + "\n" + std::string(100, 'h');
    const struct {
        int64_t inputErrors;
        std::vector<std::string> events;
        std::vector<std::string> options; // the input file follows them
        std::vector<std::string> reports;
        std::string input;
    } cases[] = {
        {13,
         {passing, passing, R"({"metadata":{},"payload":null})"},
         {"--max-record-bytes", "200", missing, empty, directory()},
         {path + ":2: not valid JSON", path + ":3: not valid JSON", path + ":4: a message is a JSON object",
          path + ":6: {\"$custom\":N}", path + ":8: skipped", path + ":9: the message has no \"payload\"",
          path + ":10: duplicate key \"payload\"", path + ":11: duplicate key \"metadata\"",
          path + ":12: \"metadata\" must be an object", path + ":13: only \"metadata\" and \"payload\"",
          path + ":15: not valid JSON", "cut short", missing + ": cannot open: No such file or directory",
          directory() + ": cannot read: Is a directory", empty + ": empty input"},
         // A blank line is no record; a message without metadata still passes with an empty map.
         passing + "\n{\"payload\": \n" + std::string("\x01\xff\xfe\x00garbage\n", 12) + "[1,2]\n\n" +
             R"({"payload":{"$custom":7}})" + "\n" + passing + "\r\n" + longLine + "\n" +
             R"({"metadata":{}})" + "\n" + R"({"payload":1,"payload":2})" + "\n" +
             R"({"metadata":{"a":1},"metadata":{},"payload":1})" + "\n" + R"({"metadata":[],"payload":1})" +
             "\n" + R"({"payload":{"k":"v"},"meta":{}})" + "\n" + R"({"payload":null})" + "\n" +
             R"({"payload":{"cut":)"},
        // The last frame is read, then dropped: without its leading slash the kind is not found.
        {4,
         {operation},
         {"--max-record-bytes", "200", "--format", "frames"},
         {path + ":9: a frame begins with at least 3 header lines", path + ":18: not valid JSON",
          path + ":22: the frame has no blank line", path + ":26: skipped",
          "Unrecognised Pulsar message type: '4711'"},
         "id-1\n/t12345/operations/4711\nUPDATE\nX-Extra: 1\n\n{\"id\":\"55010\",\"deviceId\":\"4711\",\n"
         " \"source\":{\"id\":\"4711\"},\"status\":\"EXECUTING\"}\n---\n"
         "id-2\nCREATE\n\n{\"id\":\"2\"}\n---\n"                    // 9: no path line
         "id-3\nt1/sub/things/3\nCREATE\n\n{\n  \"id\": \n}\n---\n" // 18: the body
         "id-4\nt1/sub/things/4\nCREATE\n---\n" +                   // 22: no body
             longHeaders +
             "\nid-6\nt1/sub/things/6\nCREATE\n\n{\"id\":\"6\"}\n---\n" // 26: only together
             "\nid-5\nt12345/alarms/4711\nCREATE\n\n{\"id\":\"5\",\n\"source\":{\"id\":\"4711\"}}"},
        {3,
         {passing, passing},
         {"--max-record-bytes", "200", "--max-object-entries", "2"},
         {path + ":2: an object has more entries than the limit of 2",
          path + ":3: an object has more entries", path + ":5: skipped"},
         passing + "\n" + R"({"payload":{"a":{"$map":[[1,1],[2,2],[3,3]]}}})" + "\n" +
             R"({"payload":{"a":1,"b":2,"c":3}})" + "\n" + passing + "\n" + longLine},
    };
    const std::string output = directory() + "/events.jsonl";
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.end(), {"--output", output, writeInput("input", c.input)});
        const ToolRun run = runTool(arguments);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        const std::vector<std::string> events = linesOf(contentsOf(output));
        ASSERT_EQ(events.size(), c.events.size());
        for (std::size_t i = 0; i < events.size(); ++i)
            EXPECT_EQ(json(events[i]), json(c.events[i]));
        for (const std::string& report : c.reports)
            EXPECT_TRUE(mentions(run.err, report)) << report;
        EXPECT_EQ(summaryCount(run.err, "input errors"), c.inputErrors);
        // Every message read is written or dropped.
        EXPECT_EQ(summaryCount(run.err, "messages read"),
                  static_cast<int64_t>(c.events.size()) + summaryCount(run.err, "dropped"));
    }
}

TEST_F(replayInputErrors, AFiftyMegabyteLineIsReadWhole)
{
    const std::string blob(50 << 20, 'x');
    const std::string huge = R"({"metadata":{},"payload":{"blob":")" + blob + "\"}}";
    const ToolRun run = runTool({"--quiet", writeInput("huge.jsonl", huge + "\n" + passing + "\n")});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0] == huge);
    EXPECT_EQ(json(lines[1]), json(passing));
}

} // namespace
