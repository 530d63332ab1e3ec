#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/host_test.h"

namespace {

using DeepCopyTest = testing_support::HostTest;

struct CustomCalls {
    int copies = 0;
    int releases = 0;
};

struct Payload {
    CustomCalls* calls;
    int value;
};

void* copyPayload(void* user)
{
    auto* original = static_cast<Payload*>(user);
    ++original->calls->copies;
    return new Payload(*original);
}

void releasePayload(void* user)
{
    auto* payload = static_cast<Payload*>(user);
    ++payload->calls->releases;
    delete payload;
}

std::string json(const vlm_data_t& value)
{
    std::string text;
    obclient_append_json(text, value);
    return text;
}

TEST_F(DeepCopyTest, NestedValuesSurviveTheOriginal)
{
    static const char borrowedText[] = "not owned";
    CustomCalls calls;
    const uint8_t bytes[] = {1, 2, 3};

    vlm_map_table_t* inner = nullptr;
    obclient_map_insert_string(&inner, "buffer", obclient_buffer(bytes, sizeof bytes));
    vlm_list_t* list = nullptr;
    obclient_list_append(&list, obclient_string("owned"));
    obclient_list_append(&list, obclient_borrowed_string(borrowedText));
    obclient_list_append(&list, obclient_map_value(inner));
    obclient_list_append(&list, obclient_custom(new Payload{&calls, 7}, copyPayload, releasePayload));
    obclient_list_append(&list, obclient_list_value(nullptr));
    vlm_map_table_t* outer = nullptr;
    obclient_map_set_name(&outer, "outer");
    obclient_map_insert_string(&outer, "items", obclient_list_value(list));
    vlm_data_t original = obclient_map_value(outer);
    const std::string before = json(original);
    const obclient_counts_t withOriginal = obclient_live_counts();

    vlm_data_t copy = vlm_copy_data(original);
    const obclient_counts_t withCopy = obclient_live_counts();
    // Keys, texts, the name and the buffer are all duplicated, nothing shared.
    EXPECT_EQ(withCopy.strings - withOriginal.strings, 4);
    EXPECT_EQ(withCopy.maps - withOriginal.maps, 2);
    EXPECT_EQ(withCopy.lists - withOriginal.lists, 1);
    EXPECT_EQ(withCopy.buffers - withOriginal.buffers, 1);
    EXPECT_EQ(withCopy.customs - withOriginal.customs, 1);
    EXPECT_EQ(calls.copies, 1);
    ASSERT_NE(copy.payload.map, outer);
    EXPECT_STREQ(copy.payload.map->name, "outer");
    EXPECT_NE(copy.payload.map->name, outer->name);

    // Overwrite the original's texts before releasing it, so shared storage would show.
    vlm_data_t* ownedItem = vlm_list_items(list);
    std::memset(ownedItem->payload.string, 'x', std::strlen(ownedItem->payload.string));
    obclient_free_data(original);
    EXPECT_EQ(calls.releases, 1);

    vlm_list_t* copiedList = obclient_map_find_string(copy.payload.map, "items")->payload.list;
    ASSERT_NE(copiedList, nullptr);
    ASSERT_EQ(copiedList->count, 5u);
    const vlm_data_t* items = vlm_list_items(copiedList);
    EXPECT_STREQ(items[0].payload.string, "owned");
    EXPECT_EQ(items[1].tag, static_cast<uint32_t>(VLM_TAG_BORROWED_STRING));
    EXPECT_EQ(items[1].payload.borrowed, borrowedText);
    EXPECT_EQ(static_cast<Payload*>(obclient_custom_user(items[3].payload.custom))->value, 7);
    EXPECT_EQ(items[4].payload.list, nullptr);
    // The custom object is a new one, so its marker differs; everything else renders alike.
    std::string after = json(copy);
    EXPECT_NE(after, before);
    EXPECT_EQ(after.substr(0, after.find("$custom")), before.substr(0, before.find("$custom")));

    obclient_free_data(copy);
    EXPECT_EQ(calls.releases, 2);
}

TEST_F(DeepCopyTest, NullContainersAndScalarsCopyAsThemselves)
{
    for (vlm_data_t value :
         {obclient_map_value(nullptr), obclient_list_value(nullptr), obclient_integer(-5),
          obclient_double(2.5), obclient_decimal(0x3000000000000001), obclient_boolean(true)}) {
        vlm_data_t copy = vlm_copy_data(value);
        EXPECT_EQ(copy.tag, value.tag);
        EXPECT_EQ(copy.payload.bits, value.payload.bits);
    }
    vlm_data_t nullBuffer{};
    nullBuffer.tag = VLM_TAG_BUFFER;
    EXPECT_EQ(vlm_copy_data(nullBuffer).payload.buffer, nullptr);
}

TEST_F(DeepCopyTest, CustomWithoutCallbacksSharesItsUserPointer)
{
    int user = 0;
    vlm_data_t custom = obclient_custom(&user, nullptr, nullptr);
    vlm_data_t copy = vlm_copy_data(custom);
    EXPECT_NE(copy.payload.custom, custom.payload.custom);
    EXPECT_EQ(obclient_custom_user(copy.payload.custom), &user);
    obclient_free_data(custom);
    obclient_free_data(copy);
}

} // namespace
