// vlm_copy_data: a copy shares no storage with its original but what the original does not own.

#include <cstring>
#include <regex>

#include "tests/support/host_test.h"

namespace {

using DeepCopyTest = testing_support::HostTest;

// Custom objects' callbacks count what they do.
int copies = 0;
int releases = 0;

void* copyPayload(void* user)
{
    ++copies;
    return new int(*static_cast<int*>(user));
}

void releasePayload(void* user)
{
    ++releases;
    delete static_cast<int*>(user);
}

using testing_support::jsonOf;

TEST_F(DeepCopyTest, EveryKindNestedSurvivesTheOriginal)
{
    static const char borrowedText[] = "not owned";
    int shared = 0;
    const uint8_t bytes[] = {1, 2, 3};

    vlm_map_table_t* inner = nullptr;
    obclient_map_insert_string(&inner, "buffer", obclient_buffer(bytes, sizeof bytes));
    vlm_list_t* list = nullptr;
    for (vlm_data_t item :
         {obclient_string("owned"), obclient_borrowed_string(borrowedText), obclient_map_value(inner),
          obclient_custom(new int(7), copyPayload, releasePayload),
          obclient_custom(&shared, nullptr, nullptr), obclient_list_value(nullptr),
          obclient_map_value(nullptr), vlm_data_t{{}, VLM_TAG_BUFFER, 0}, obclient_integer(-5),
          obclient_double(2.5), obclient_decimal(0x3000000000000001), obclient_boolean(true), vlm_data_t{}})
        obclient_list_append(&list, item);
    vlm_map_table_t* outer = nullptr;
    obclient_map_set_name(&outer, "outer");
    obclient_map_insert_string(&outer, "items", obclient_list_value(list));
    vlm_data_t original = obclient_map_value(outer);
    const std::string before = jsonOf(original);
    EXPECT_EQ(before.find("outer"), std::string::npos) << "map names are not rendered";
    const obclient_counts_t withOriginal = obclient_live_counts();
    EXPECT_EQ(jsonOf(original), before) << "a custom object's marker changed";
    vlm_data_t copy = vlm_copy_data(original);
    const obclient_counts_t withCopy = obclient_live_counts();
    // Keys, texts, the name and the buffer are all duplicated, nothing shared.
    EXPECT_EQ((std::vector<std::int64_t>{
                  withCopy.strings - withOriginal.strings, withCopy.maps - withOriginal.maps,
                  withCopy.lists - withOriginal.lists, withCopy.buffers - withOriginal.buffers,
                  withCopy.customs - withOriginal.customs}),
              (std::vector<std::int64_t>{4, 2, 1, 1, 2}));
    EXPECT_EQ(copies, 1);
    ASSERT_NE(copy.payload.map, outer);
    EXPECT_STREQ(copy.payload.map->name, "outer");
    EXPECT_NE(copy.payload.map->name, outer->name);

    // Overwrite the original's texts before releasing it, so shared storage would show.
    vlm_data_t* ownedItem = vlm_list_items(list);
    std::memset(ownedItem->payload.string, 'x', std::strlen(ownedItem->payload.string));
    obclient_free_data(original);
    EXPECT_EQ(releases, 1);

    vlm_list_t* copiedList = obclient_map_find_string(copy.payload.map, "items")->payload.list;
    ASSERT_NE(copiedList, nullptr);
    ASSERT_EQ(copiedList->count, 13u);
    const vlm_data_t* items = vlm_list_items(copiedList);
    EXPECT_EQ(items[1].payload.borrowed, borrowedText);
    EXPECT_EQ(*static_cast<int*>(obclient_custom_user(items[3].payload.custom)), 7);
    EXPECT_EQ(obclient_custom_user(items[4].payload.custom), &shared);
    // The custom objects are new ones, so only their markers render differently.
    const auto withoutMarkers = [](const std::string& text) {
        return std::regex_replace(text, std::regex("\\{\"\\$custom\":[0-9]+\\}"), "custom");
    };
    EXPECT_NE(jsonOf(copy), before);
    EXPECT_EQ(withoutMarkers(jsonOf(copy)), withoutMarkers(before));

    obclient_free_data(copy);
    EXPECT_EQ(releases, 2);
}

} // namespace
