// A configuration the codec will not use as written is named once at start: keys it
// does not read, and values of a kind it does not take. The codec itself stays silent
// and takes its defaults, so each case is checked against what the codec really did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/replay/replay_fixture.h"
#include "tools/common/configuration.h"
#include "tools/common/configuration_warnings.h"
#include "tools/replay/options.h"

namespace {

using replayConfigurationWarnings = replay_testing::ReplayTest;
using replay_testing::linesOf;
using replay_testing::mentions;

const std::string measurement =
    R"({"metadata":{"pulsarPath":"/t1/measurements/4711"},"payload":{"id":"88001","source":{"id":"4711"},)"
    R"("type":"t5o_T","time":"2024-02-01T10:00:00.000Z","t5o_T":{"T":{"value":4.2,"units":"C"}}}})";
const std::string alarm =
    R"({"metadata":{"pulsarPath":"/t1/alarms/4711"},"payload":{"id":"91001","source":{"id":"4711"},)"
    R"("type":"t5o_A","time":"2024-02-01T10:01:00.000Z","text":"hot","status":"ACTIVE","severity":"MAJOR","count":1}})";

const std::string notRead = R"(" is not read by the codec, which reads "measurementSplittingChannel", )"
                            R"("towardsHostChannelPrefix", "tenantId")";

TEST_F(replayConfigurationWarnings, WarningsAppearExactlyWhereTheCodecTakesItsDefault)
{
    const std::string input = writeInput("in.jsonl", measurement + "\n" + alarm + "\n");
    struct Case {
        std::string setting;
        std::string warning; // empty: none
        std::string measurementChannel;
        std::string devicesChannel;
        bool tenant;
    };
    const std::string prefix = "tessaro-replay: configuration key \"";
    const Case cases[] = {
        {"measurementSplittingChannel=fast", "", "fast", "tessaro.devices", false},
        {"measurementSplittingChannel=5",
         prefix + "measurementSplittingChannel\" holds an integer, but the codec wants text and takes its "
                  "default, \"tessaro.measurements\"",
         "tessaro.measurements", "tessaro.devices", false},
        {"towardsHostChannelPrefix=7", "", "tessaro.measurements", "7tessaro.devices", false},
        {"towardsHostChannelPrefix=true", "", "tessaro.measurements", "truetessaro.devices", false},
        {"towardsHostChannelPrefix=[1]",
         prefix + "towardsHostChannelPrefix\" holds a list, but the codec wants text, a number or a boolean "
                  "and takes its default, no prefix",
         "tessaro.measurements", "tessaro.devices", false},
        {"tenantId=t9", "", "tessaro.measurements", "tessaro.devices", true},
        {"tenantId=null",
         prefix +
             "tenantId\" holds nothing (null), but the codec wants text and takes its default, no tenant",
         "tessaro.measurements", "tessaro.devices", false},
        {"tenantID=t9", prefix + "tenantID" + notRead, "tessaro.measurements", "tessaro.devices", false},
    };
    for (const Case& c : cases) {
        const replay_testing::ToolRun run = runTool({"--quiet", "--jobs", "2", "--set", c.setting, input});
        EXPECT_EQ(run.status, 0) << c.setting << "\n" << run.err;
        std::vector<std::string> warnings;
        for (const std::string& line : linesOf(run.err)) {
            if (line.rfind(prefix, 0) == 0)
                warnings.push_back(line);
        }
        EXPECT_EQ(warnings,
                  c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning})
            << c.setting;
        const std::vector<std::string> events = linesOf(run.out);
        ASSERT_EQ(events.size(), 2u) << c.setting << "\n" << run.err;
        EXPECT_TRUE(mentions(events[0], "\"vlm.channel\":\"" + c.measurementChannel + "\"")) << events[0];
        EXPECT_TRUE(mentions(events[1], "\"vlm.channel\":\"" + c.devicesChannel + "\"")) << events[1];
        EXPECT_EQ(mentions(events[1], "\"tenantId\":\"t9\""), c.tenant) << c.setting << "\n" << events[1];
    }
}

TEST_F(replayConfigurationWarnings, EveryKindTheCodecCannotUseIsNamed)
{
    replay::Options options;
    const std::pair<std::vector<std::pair<std::string, std::string>>, std::vector<std::string>> cases[] = {
        {{{"measurementSplittingChannel", "true"}}, {"holds a boolean"}},
        {{{"tenantId", "1.5"}}, {"holds a fractional number"}},
        {{{"towardsHostChannelPrefix", R"({"a":1})"}}, {"holds a map"}},
        {{{"towardsHostChannelPrefix", R"({"$decimal":"0x2"})"}}, {"holds a decimal"}},
        {{{"tenantId", R"({"$buffer":"AAE="})"}}, {"holds a buffer"}},
        // In the order of the keys, whatever the map's own order.
        {{{"zeta", "1"}, {"alpha", "x"}, {"tenantId", "t"}}, {"\"alpha" + notRead, "\"zeta" + notRead}},
        {{{"measurementSplittingChannel", "\"\""}, {"towardsHostChannelPrefix", "-3"}}, {}},
    };
    for (const auto& [settings, pieces] : cases) {
        options.settings = settings;
        tools::HostValue config;
        std::string reason;
        ASSERT_TRUE(tools::buildConfiguration(options, config, reason)) << reason;
        const std::vector<std::string> warnings = tools::configurationWarnings(config.get());
        ASSERT_EQ(warnings.size(), pieces.size()) << settings.front().first;
        for (size_t i = 0; i < pieces.size(); ++i)
            EXPECT_TRUE(mentions(warnings[i], pieces[i])) << warnings[i] << "\nwants: " << pieces[i];
    }
}

} // namespace
