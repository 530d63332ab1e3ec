// The host's records and log lines: checked mode, where a free of what is not live names the pointer and
// aborts; the pool's size classes, where a class too small lets a record run into the next block unseen;
// log levels by exact category, else the default; and the status a plug-in publishes.

#include <cstring>

#include "obclient/record_pool.h"
#include "tests/support/host_test.h"

namespace {

using CheckedModeDeathTest = testing_support::HostTest;

TEST_F(CheckedModeDeathTest, FreesOfWhatIsNotLiveAbortAndRecordsMadeUncheckedAreFreedOnce)
{
    const auto addressOf = [](const void* pointer) { return ::testing::PrintToString(pointer); };
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

    // A record made unchecked may be freed once, not every unknown pointer from then on.
    obclient_set_checked(false);
    char* early = vlm_copy_string("made unchecked");
    obclient_set_checked(true);
    vlm_free_string(early);
    EXPECT_DEATH(vlm_free_string(early), "not a live string");
}

using RecordSizeClassTest = testing_support::HostTest;

TEST_F(RecordSizeClassTest, EverySizeGetsTheSmallestClassThatHoldsIt)
{
    using namespace obclient::pool;
    for (size_t bytes = 1; bytes <= largestClassBytes; ++bytes) {
        const size_t index = classOf(bytes);
        ASSERT_LT(index, classCount) << bytes << " bytes";
        ASSERT_GE(classBytes(index), bytes) << bytes << " bytes";
        ASSERT_TRUE(index == 0 || classBytes(index - 1) < bytes) << bytes << " bytes";
    }
}

// Records hold 64-bit fields and pointers, and the JSON writer reads pooled texts sixteen bytes at a time.
TEST_F(RecordSizeClassTest, UncheckedRecordsStartOnSixteenByteBoundaries)
{
    obclient_set_checked(false);
    std::vector<vlm_data_t> strings;
    for (size_t length = 0; length < 5000; length += length < 300 ? 1 : 97)
        strings.push_back(obclient_string_n(std::string(length, 'x').c_str(), length));
    for (const vlm_data_t& text : strings) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(text.payload.string) % 16, 0u)
            << std::strlen(text.payload.string);
        obclient_free_data(text);
    }
    obclient_set_checked(true);
}

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

using UserStatusTest = testing_support::HostTest;

// The plug-in frees its status map once published: the host keeps a copy of the last one per handle.
TEST_F(UserStatusTest, EachHandleKeepsItsOwnCopyOfItsLastStatus)
{
    int first = 0, second = 0;
    vlm_map_table_t* status = nullptr;
    obclient_map_insert_string(&status, "state", obclient_string("running"));
    vlm_set_user_status_map(&first, status);
    vlm_set_user_status_map(&second, status);
    obclient_map_insert_string(&status, "later", obclient_integer(1));
    vlm_set_user_status_map(&second, status);
    vlm_free_map(status);
    vlm_map_table_t* const kept[] = {obclient_user_status(&first), obclient_user_status(&second)};
    ASSERT_TRUE(kept[0] != nullptr && kept[1] != nullptr);
    EXPECT_EQ(kept[0]->count, 1u);
    EXPECT_EQ(kept[1]->count, 2u);
    for (vlm_map_table_t* map : kept)
        vlm_free_map(map);
    obclient_clear_user_status();
}

} // namespace
