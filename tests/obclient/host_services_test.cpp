// What the host offers a running plug-in besides values: log levels by exact category, else the
// default, with every line handed over emitted whole; and the status it publishes, kept per handle.

#include "tests/support/host_test.h"

namespace {

class HostServicesTest : public testing_support::HostTest {
protected:
    void TearDown() override
    {
        obclient_clear_user_status();
        HostTest::TearDown();
    }
};

TEST_F(HostServicesTest, LevelsByExactCategoryElseDefaultAndEveryLineHandedOverIsEmitted)
{
    EXPECT_EQ(vlm_get_log_level("connectivity.codec.chain"), 3);
    obclient_set_log_level("connectivity.codec.chain", 6);
    obclient_set_default_log_level(1);
    EXPECT_EQ(vlm_get_log_level("connectivity.codec.chain"), 6);
    EXPECT_EQ(vlm_get_log_level("connectivity.codec"), 1);
    EXPECT_EQ(vlm_get_log_level("connectivity.codec.chain.more"), 1);
    obclient_reset_log_levels();
    EXPECT_EQ(vlm_get_log_level("connectivity.codec.chain"), 3);

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

// A publication is copied, and a later one replaces the earlier for that handle only.
TEST_F(HostServicesTest, PublishedStatusIsCopiedPerHandle)
{
    int firstHandle = 0, secondHandle = 0;
    EXPECT_EQ(obclient_user_status(&firstHandle), nullptr);
    const uint64_t callsBefore = obclient_user_status_calls();
    vlm_map_table_t* status = nullptr;
    obclient_map_insert_string(&status, "state", obclient_string("running"));
    vlm_set_user_status_map(&firstHandle, status);
    obclient_map_insert_string(&status, "later", obclient_integer(1));
    vlm_set_user_status_map(&secondHandle, status);
    vlm_data_t* state = obclient_map_find_string(status, "state");
    obclient_free_data(*state);
    *state = obclient_borrowed_string("stopped");
    vlm_set_user_status_map(&secondHandle, status);
    vlm_free_map(status);
    EXPECT_EQ(obclient_user_status_calls() - callsBefore, 3u);

    vlm_map_table_t* first = obclient_user_status(&firstHandle);
    vlm_map_table_t* second = obclient_user_status(&secondHandle);
    EXPECT_EQ(testing_support::jsonOf(obclient_map_value(first)), "{\"state\":\"running\"}");
    EXPECT_EQ(testing_support::jsonOf(obclient_map_value(second)), "{\"later\":1,\"state\":\"stopped\"}");
    vlm_free_map(first);
    vlm_free_map(second);
}

} // namespace
