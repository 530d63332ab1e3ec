// Messages as log lines show them: payload text cut at 200 bytes, line breaks escaped.

#include "connectivity/values/message.h"
#include "tests/support/host_test.h"

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
    const std::string prefix = "Message<metadata={\"note\":\"a\\nb\"}, payload=\"";
    EXPECT_EQ(cv::toString(messageWithText(std::string(198, 'x')), true),
              prefix + std::string(198, 'x') + "\">");
    EXPECT_EQ(cv::toString(messageWithText(std::string(199, 'y')), true),
              prefix + std::string(195, 'y') + " ...>");
    EXPECT_EQ(cv::toString(messageWithText(std::string(300, 'z')), false),
              prefix + std::string(300, 'z') + "\">");
    EXPECT_EQ(cv::toString(cv::Message(), true), "Message<metadata={}, payload=null>");

    std::string text = "a\nb\r\nc\\n";
    cv::escapeLineBreaks(text);
    EXPECT_EQ(text, "a\\nb\\r\\nc\\n");
}

} // namespace
