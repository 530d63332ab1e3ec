
#include "tests/support/host_test.h"

namespace {

class UserStatusTest : public testing_support::HostTest {
protected:
    void TearDown() override
    {
        obclient_clear_user_status();
        HostTest::TearDown();
    }
};

TEST_F(UserStatusTest, PublishedMapIsCopiedPerHandle)
{
    int firstHandle = 0, secondHandle = 0;
    EXPECT_EQ(obclient_user_status(&firstHandle), nullptr);
    const uint64_t callsBefore = obclient_user_status_calls();

    vlm_map_table_t* status = nullptr;
    obclient_map_insert_string(&status, "state", obclient_string("running"));
    vlm_set_user_status_map(&firstHandle, status);
    obclient_map_insert_string(&status, "later", obclient_integer(1));
    vlm_set_user_status_map(&secondHandle, status);
    // A later publication replaces the earlier one for that handle only.
    vlm_data_t* state = obclient_map_find_string(status, "state");
    obclient_free_data(*state);
    *state = obclient_borrowed_string("stopped");
    vlm_set_user_status_map(&secondHandle, status);
    vlm_free_map(status);
    EXPECT_EQ(obclient_user_status_calls() - callsBefore, 3u);

    vlm_map_table_t* first = obclient_user_status(&firstHandle);
    EXPECT_EQ(testing_support::jsonOf(obclient_map_value(first)), "{\"state\":\"running\"}");
    vlm_map_table_t* second = obclient_user_status(&secondHandle);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->count, 2u);
    EXPECT_STREQ(obclient_map_find_string(second, "state")->payload.borrowed, "stopped");
    vlm_free_map(first);
    vlm_free_map(second);
}

} // namespace
