// Notifications through the real plug-in: the events that come out, on the channels the
// configuration names (each kind's conversion is in tests/codec), and what the codec drops and
// says about it.
#include "tests/codec/json_data.h"
#include "tests/replay/replay_fixture.h"

namespace {

using replayConversion = replay_testing::ReplayTest;
using codec_testing::json;
using replay_testing::linesOf;
using replay_testing::mentions;
using replay_testing::summaryCount;

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

TEST_F(replayConversion, NotificationsBecomeEventsOnTheConfiguredChannels)
{
    const std::string config =
        writeInput("config.yaml", "towardsHostChannelPrefix: \"site-a.\"\ntenantId: from-the-file\n");
    const std::string input = writeInput("in.jsonl", alarm("91003", "MINOR") + "\n" +
                                                         alarm("91004", "minor") + "\n" + pathless + "\n");
    const replay_testing::ToolRun run = runTool(
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

} // namespace
