// The channel an MQTT topic is made of, read from an event's metadata as the host built it.
#include <gtest/gtest.h>

#include <tuple>

#include "host/vlm_host.h"
#include "tests/support/host_test.h"
#include "tools/common/output.h"

namespace {

class EventChannel : public testing_support::HostTest {};

TEST_F(EventChannel, IsTheChannelTextOrEmptyForAnythingElse)
{
    static const char borrowed[] = "site-a.tessaro.devices";
    // The metadata's key, what it holds, and the channel read from it.
    const std::tuple<const char*, vlm_data_t, const char*> cases[] = {
        {"vlm.channel", obclient_string("tessaro.measurements"), "tessaro.measurements"},
        {"vlm.channel", obclient_borrowed_string(borrowed), borrowed},
        {"pulsarPath", obclient_string("t12345/sub/alarms/17"), ""}, // passed through
        {"vlm.channel", obclient_integer(7), ""},
    };
    for (const auto& [key, value, channel] : cases) {
        vlm_message_t message{};
        message.metadata = obclient_map_new(8);
        obclient_map_insert_string(&message.metadata, "vlm.type", obclient_string("com.example.Event"));
        obclient_map_insert_string(&message.metadata, key, value);
        tools::EventLines lines;
        lines.keepIndex(true);
        lines.add(&message, &message + 1);
        EXPECT_EQ(lines.channel(0), channel) << key;
        vlm_free_map(message.metadata);
    }
}

} // namespace
