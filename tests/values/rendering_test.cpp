#include <gtest/gtest.h>

#include <string>

#include "connectivity/values/message.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;

namespace {

class Rendering : public testing_support::HostTest {};

cv::Message messageWithText(const std::string& text)
{
    cv::map_t metadata;
    metadata[cv::data_t("note")] = cv::data_t("a\nb");
    return cv::Message(cv::data_t(text.c_str()), std::move(metadata));
}

TEST_F(Rendering, PayloadIsCutAt200BytesAndLineBreaksEscaped)
{
    // The host renders a string with its two quotes: 198 characters give 200 bytes.
    const std::string exact = cv::toString(messageWithText(std::string(198, 'x')), true);
    EXPECT_EQ(exact, "Message<metadata={\"note\":\"a\\nb\"}, payload=\"" + std::string(198, 'x') + "\">");

    const std::string cut = cv::toString(messageWithText(std::string(199, 'y')), true);
    EXPECT_EQ(cut, "Message<metadata={\"note\":\"a\\nb\"}, payload=\"" + std::string(195, 'y') + " ...>");

    const std::string whole = cv::toString(messageWithText(std::string(300, 'z')), false);
    EXPECT_NE(whole.find(std::string(300, 'z')), std::string::npos);
}

TEST_F(Rendering, LineBreaksAreEscapedAndEmptyPayloadsRender)
{
    std::string text = "a\nb\r\nc\\n";
    cv::escapeLineBreaks(text);
    EXPECT_EQ(text, "a\\nb\\r\\nc\\n");

    cv::Message empty;
    EXPECT_EQ(cv::toString(empty, true), "Message<metadata={}, payload=null>");
    EXPECT_EQ(cv::renderValue(cv::data_t(std::int64_t{7})), "7");
}

} // namespace
