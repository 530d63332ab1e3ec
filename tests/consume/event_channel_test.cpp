// The channel an MQTT topic is made of, read from an event's metadata as the host built it.
#include <gtest/gtest.h>

#include <functional>

#include "host/vlm_host.h"
#include "tests/support/host_test.h"
#include "tools/common/output.h"

namespace {

class EventChannel : public testing_support::HostTest {};

TEST_F(EventChannel, IsTheChannelTextOrEmptyForAnythingElse)
{
    static const char borrowed[] = "site-a.tessaro.devices";
    struct Case {
        const char* name;
        std::function<void(vlm_map_table_t**)> fill;
        const char* channel;
    };
    const Case cases[] = {
        {"owned text",
         [](vlm_map_table_t** map) {
             obclient_map_insert_string(map, "vlm.type", obclient_string("com.example.Event"));
             obclient_map_insert_string(map, "vlm.channel", obclient_string("tessaro.measurements"));
         },
         "tessaro.measurements"},
        {"borrowed text",
         [](vlm_map_table_t** map) {
             obclient_map_insert_string(map, "vlm.channel", obclient_borrowed_string(borrowed));
         },
         borrowed},
        {"passed through",
         [](vlm_map_table_t** map) {
             obclient_map_insert_string(map, "pulsarPath", obclient_string("t12345/sub/alarms/17"));
         },
         ""},
        {"not text",
         [](vlm_map_table_t** map) {
             vlm_data_t number{};
             number.tag = VLM_TAG_INTEGER;
             number.payload.integer = 7;
             obclient_map_insert_string(map, "vlm.channel", number);
         },
         ""},
    };
    for (const Case& c : cases) {
        vlm_message_t message{};
        message.metadata = obclient_map_new(8);
        c.fill(&message.metadata);
        tools::EventLines lines;
        lines.keepIndex(true);
        lines.add(&message, &message + 1);
        EXPECT_EQ(lines.channel(0), c.channel) << c.name;
        vlm_free_map(message.metadata);
    }
}

} // namespace
