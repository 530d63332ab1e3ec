// How input becomes host values: lines from any input, every kind and marked form, and what is
// refused, with nothing left allocated half-way. Message records' refusals: input_errors_test.
#include <fcntl.h>
#include <simdjson.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "tests/support/host_test.h"
#include "tools/common/json_value.h"
#include "tools/common/message_json.h"
#include "tools/replay/line_reader.h"

namespace {

using replayValueReading = testing_support::HostTest;

// Every kind reads back as the host writes it, and a value refused half-way leaves nothing allocated.
TEST_F(replayValueReading, EveryKindReadsBackOrIsRefusedWithNothingLeft)
{
    // A JSON text, and the host writer's text of it (null: the same).
    const std::pair<const char*, const char*> cases[] = {
        {"17", nullptr},
        {"17.0", nullptr},
        {"1e2", "100.0"},
        {"-9223372036854775808", nullptr},
        {"9223372036854775808", "9223372036854775808.0"}, // past the signed range: a double
        // Beyond 64 bits: the nearest double, wherever the number stands; texts stay texts.
        {R"([123456789012345678901234567890,"123456789012345678901234567890",-99999999999999999999,1e2])",
         R"([1.2345678901234568e+29,"123456789012345678901234567890",-1e+20,100.0])"},
        {"\"tab\\tand \\u00e9\"", "\"tab\\tand \xc3\xa9\""},
        {"[true,false,null,[],{}]", nullptr},
        {R"({"a":[2.5,{"b":"c"}]})", nullptr},
        {R"({"$decimal":"0xFF"})", R"({"$decimal":"0x00000000000000ff"})"},
        // Every padding, ending on a whole group, and both last letters of the alphabet.
        {R"([{"$buffer":"aGk="},{"$buffer":"AQID+/8="},{"$buffer":"Zm9v"},{"$buffer":"Zm9vYg=="}])", nullptr},
        {R"([{"$buffer":""},{"$double":"-inf"},{"$double":"nan"}])", nullptr},
        {R"({"$map":[[1,"one"],[[2],{"$decimal":"0x1"}]]})",
         R"({"$map":[[1,"one"],[[2],{"$decimal":"0x0000000000000001"}]]})"},
        {R"({"$map":[["k",true]]})", R"({"k":true})"},
        {R"({"$note":1})", nullptr}, // not one of the marks: an ordinary map
        // Refused, with the reason: "!" and a piece of it.
        {R"({"a":[1,{"b":1,"b":2}]})", "!duplicate key \"b\""},
        {R"([{"x":"y"},{"$custom":3}])", "!$custom"},
        {R"({"$decimal":"0x"})", "!$decimal"},
        {R"({"$decimal":"0x11112222333344445"})", "!$decimal"},
        {R"({"$decimal":"0xfg"})", "!$decimal"},
        {R"({"$buffer":"aGk"})", "!$buffer"},
        {R"({"$buffer":"aGl="})", "!$buffer"}, // bits left in the padding
        {R"({"$double":"NaN"})", "!$double"},
        {R"({"$map":[[1]]})", "!$map"},
        {R"({"$map":{"a":1}})", "!$map"},
        {R"({"$map":[[1,"a"],[1,"b"]]})", "!duplicate key 1"},
        {R"({"k":["a\u0000b"]})", "!NUL"},
        {R"({"a\u0000":1})", "!NUL"},
    };
    simdjson::dom::parser parser;
    const obclient_counts_t before = obclient_live_counts();
    for (const auto& [json, expected] : cases) {
        tools::HostValue value;
        std::string reason;
        const bool refused = expected != nullptr && expected[0] == '!';
        ASSERT_EQ(tools::readJsonText(parser, json, value, reason),
                  refused ? tools::JsonText::Refused : tools::JsonText::Read)
            << json << ": " << reason;
        if (!refused) {
            EXPECT_EQ(testing_support::jsonOf(value.get()), expected ? expected : json);
            continue;
        }
        EXPECT_NE(reason.find(expected + 1), std::string::npos) << json << ": " << reason;
        EXPECT_EQ(value.get().tag, VLM_TAG_EMPTY);
        EXPECT_TRUE(obclient_live_counts() == before) << json;
    }
    // A message without metadata still carries a map, which a plug-in may add to.
    vlm_message_t message{};
    std::string reason;
    ASSERT_TRUE(
        tools::readMessage(parser.parse(std::string(R"({"payload":null})")).value(), message, reason));
    EXPECT_NE(message.metadata, nullptr);
    vlm_free_map(message.metadata);
}

// The first EAGAIN of a non-blocking input is no failed read.
TEST_F(replayValueReading, NonBlockingInputIsWaitedFor)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
    std::thread writer([&ends] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(::write(ends[1], "late\n", 5), 5);
        ::close(ends[1]);
    });
    replay::LineReader lines(ends[0], 64);
    replay::Line line;
    const bool got = lines.next(line);
    writer.join();
    ::close(ends[0]);
    ASSERT_TRUE(got) << std::strerror(lines.readError());
    EXPECT_EQ(line.text, "late");
}

} // namespace
