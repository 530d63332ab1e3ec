// The configuration map handed to the codec: YAML entries read like JSON
// values, --set entries on top of them. Unusable ones are usage errors (exit_status_test).
#include "tests/codec/json_data.h"
#include "tests/replay/replay_fixture.h"
#include "tools/common/configuration.h"
#include "tools/replay/options.h"

namespace {

using replayConfiguration = replay_testing::ReplayTest;

TEST_F(replayConfiguration, SettingsGoOnTopOfTheFileAndReadLikeJson)
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
              codec_testing::json(R"({"measurementSplittingChannel":"fast", "towardsHostChannelPrefix":7,
        "tenantId":"t9", "ratio":1.5, "flags":[true,null,"off"], "nested":{"a":"b"}, "empty":null,
        "limit":{"$decimal":"0x2"}, "label":"plain text", "blank":""})"));
}

} // namespace
