// Checked mode: freeing what is not live, or with another kind's function,
// names the pointer and aborts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/host_test.h"

namespace {

using CheckedModeTest = testing_support::HostTest;
using CheckedModeDeathTest = testing_support::HostTest;

std::string addressOf(const void* pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

TEST_F(CheckedModeDeathTest, FreesOfWhatIsNotLiveAbort)
{
    EXPECT_TRUE(obclient_checked());
    char* text = vlm_copy_string("twice");
    vlm_free_string(text);
    EXPECT_DEATH(vlm_free_string(text), "vlm_free_string\\(" + addressOf(text) + "\\): not a live string");

    vlm_list_t* list = obclient_list_new(1);
    EXPECT_DEATH(vlm_free_buffer(reinterpret_cast<vlm_buffer_t*>(list)),
                 addressOf(list) + "\\): a live list released as a buffer");
    vlm_free_vector(list);

    // Reallocation retires the old table.
    vlm_map_table_t* old = obclient_map_new(8);
    vlm_map_table_t* table = vlm_reallocate_map(old, 16);
    EXPECT_DEATH(vlm_free_map(old), "not a live map");
    vlm_free_map(table);
    EXPECT_DEATH(vlm_free_map(table), "not a live map");
}

TEST_F(CheckedModeTest, RecordsFromBeforeCheckingMayBeFreed)
{
    obclient_set_checked(false);
    char* early = vlm_copy_string("made unchecked");
    obclient_set_checked(true);
    vlm_free_string(early);
}

} // namespace
