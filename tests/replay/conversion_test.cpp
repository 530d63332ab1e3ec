// Notifications through the real plug-in: the configuration it is handed, events on the channels
// it names, what the codec drops and says, and frames of actions not asked for skipped and counted.
#include "tests/codec/conversion_support.h"
#include "tests/replay/replay_fixture.h"
#include "tools/common/configuration.h"
#include "tools/replay/options.h"

namespace {

using namespace replay_testing;
using replayConversion = ReplayTest;
using codec_testing::json;

std::string alarm(const std::string& id, const std::string& severity)
{
    return R"({"metadata":{"pulsarPath":"t12345/notifications/alarms/4712"},"payload":{"id":")" + id +
           R"(","source":{"id":"4712","name":"Door sensor"},"type":"t5o_DoorOpenAlarm",)"
           R"("time":"2024-02-01T10:00:00.000Z","text":"Door open","status":"ACTIVE","severity":")" +
           severity + R"(","count":2,"t5o_Door":{"open":true}}})";
}

const std::string alarmEvent = R"({"metadata":{"vlm.type":"com.orbel.tessaro.Alarm",
    "vlm.channel":"site-a.tessaro.devices"},"payload":{"id":"91003","count":2,"severity":"MINOR",
    "source":"4712","status":"ACTIVE","text":"Door open","time":1706781600.0,"type":"t5o_DoorOpenAlarm",
    "t5o_Door":{"open":true},"measurements":{},"tenantId":"t12345"}})";

const std::string pathless = R"({"metadata":{"origin":"console"},"payload":{"note":"kept","n":1}})";

std::string frame(const std::string& id, const std::string& action, const std::string& body)
{
    return id + "\n/t12345/alarms/4711\n" + action + "\n\n" + body + "\n---\n";
}

const std::string alarmBody =
    R"({"id":"91010","source":{"id":"4711"},"type":"t5o_A","time":"2024-02-01T11:00:00.000Z","text":"x",)"
    R"("status":"ACTIVE","severity":"MAJOR","count":1})";

TEST_F(replayConversion, NotificationsBecomeEventsOnTheConfiguredChannels)
{
    const std::string config =
        writeInput("config.yaml", "towardsHostChannelPrefix: \"site-a.\"\ntenantId: from-the-file\n");
    const std::string input = writeInput("in.jsonl", alarm("91003", "MINOR") + "\n" +
                                                         alarm("91004", "minor") + "\n" + pathless + "\n");
    const ToolRun run = runTool(
        {"--config", config, "--set", "tenantId=t12345", "--set", "tenantID=x", "--jobs", "2", input});
    EXPECT_EQ(run.status, 0) << run.err; // a dropped notification was still read
    // Named once at start, however many workers make a codec.
    const std::string warning = "tessaro-replay: configuration key \"tenantID\" is not read by the codec";
    EXPECT_EQ(run.err.find(warning), run.err.rfind(warning)) << run.err;
    EXPECT_EQ(run.err.rfind(warning, 0), 0u) << run.err;
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(json(lines[0]), json(alarmEvent));
    EXPECT_EQ(json(lines[1]), json(pathless));
    EXPECT_TRUE(mentions(run.err,
                         "<connectivity.TessaroNotifications2Codec.replay> Error when transforming "
                         "message towards host ('id' = '91004'): Unrecognized alarm severity: minor"))
        << run.err;
    EXPECT_EQ(summaryCount(run.err, "  com.orbel.tessaro.Alarm"), 1);
    EXPECT_EQ(summaryCount(run.err, "passed through"), 1);
    EXPECT_EQ(summaryCount(run.err, "dropped"), 1);

    // Below level 3 the codec keeps its reason to itself; --quiet leaves nothing else.
    EXPECT_EQ(runTool({"--log-level", "2", "--quiet", input}).err, "");
}

TEST_F(replayConversion, SettingsGoOnTopOfTheFileAndReadLikeJson)
{
    replay::Options options;
    options.configFile = writeInput("config.yaml", "# demo\n"
                                                   "measurementSplittingChannel: fast\n"
                                                   "towardsHostChannelPrefix: 7\n"
                                                   "tenantId: \"42\"\n"
                                                   "ratio: 1.5\n"
                                                   "flags: [true, ~, off]\n"
                                                   "nested: {a: b}\n"
                                                   "empty:\n");
    options.settings = {{"tenantId", "t9"},
                        {"limit", "12"},
                        {"label", "plain text"},
                        {"limit", R"({"$decimal":"0x2"})"},
                        {"blank", ""}};
    tools::HostValue config;
    std::string reason;
    ASSERT_TRUE(tools::buildConfiguration(options, config, reason)) << reason;
    EXPECT_EQ(codec_testing::cv::data_t::adopt(config.release()),
              json(R"({"measurementSplittingChannel":"fast", "towardsHostChannelPrefix":7,
        "tenantId":"t9", "ratio":1.5, "flags":[true,null,"off"], "nested":{"a":"b"}, "empty":null,
        "limit":{"$decimal":"0x2"}, "label":"plain text", "blank":""})"));
}

TEST_F(replayConversion, FramesOfActionsNotAskedForAreSkippedAndCounted)
{
    const std::string capture = writeInput(
        "capture.frames", frame("f1", "CREATE", alarmBody) + frame("f2", "DELETE", "\"91010\"") +
                              frame("f3", "UPDATE", alarmBody) + frame("f4", "DELETE", "\"91011\""));
    const struct {
        std::vector<std::string> arguments;
        int64_t read, skipped, deletes, dropped, events;
    } cases[] = {
        {{"--format", "frames", capture}, 2, 2, 2, 0, 2}, // as tessaro-consume by default
        {{"--format", "frames", "--actions", "CREATE", capture}, 1, 3, 2, 0, 1},
        // A DELETE's text body is no notification.
        {{"--format", "frames", "--actions", "CREATE,UPDATE,DELETE", capture}, 4, 0, -1, 2, 2},
    };
    // Several workers add up their counts alike: see jobs_test.
    for (const auto& c : cases) {
        const ToolRun run = runTool(c.arguments);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(summaryCount(run.err, "messages read"), c.read);
        EXPECT_EQ(summaryCount(run.err, "skipped by action"), c.skipped);
        EXPECT_EQ(summaryCount(run.err, "  DELETE"), c.deletes);
        EXPECT_EQ(summaryCount(run.err, "dropped"), c.dropped);
        EXPECT_EQ(static_cast<int64_t>(linesOf(run.out).size()), c.events) << run.out;
    }
}

} // namespace
