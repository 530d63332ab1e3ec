// The host's log levels (exact category, else the default) and the lines it emits.

#include "tests/support/host_test.h"

namespace {

using LoggingTest = testing_support::HostTest;

TEST_F(LoggingTest, LevelsByExactCategoryElseDefaultAndEveryLineHandedOverIsEmitted)
{
    // A category's level is its own, not its parent's (the codec and logger suites check the lookup).
    obclient_set_log_level("connectivity.codec", 6);
    obclient_set_default_log_level(1);
    EXPECT_EQ(vlm_get_log_level("connectivity.codec.chain"), 1);
    obclient_reset_log_levels();
    EXPECT_EQ(vlm_get_log_level("connectivity.codec"), 3);

    // Filtering belongs to the plug-in's Logger, by the level it was made with.
    obclient_set_log_level("quiet", 2);
    vlm_log_at("quiet", 3, "kept %d", 1);
    vlm_log_at("quiet", 2, "kept %s %d", "line", 2);
    const std::string longText(5000, 'x');
    vlm_log_at("other", 4, "<%s>", longText.c_str());
    std::vector<std::string> lines;
    for (const testing_support::LogLine& line : logLines())
        lines.push_back(std::to_string(line.level) + " " + line.category + " " + line.text);
    EXPECT_EQ(lines, (std::vector<std::string>{"3 quiet kept 1", "2 quiet kept line 2",
                                               "4 other <" + longText + ">"}));
}

} // namespace
