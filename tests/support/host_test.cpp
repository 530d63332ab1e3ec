#include "tests/support/host_test.h"

namespace testing_support {

void HostTest::SetUp()
{
    obclient_set_checked(true);
    obclient_reset_log_levels();
    obclient_set_log_sink(&HostTest::capture, this);
    baseline_ = obclient_live_counts();
}

void HostTest::TearDown()
{
    obclient_set_log_sink(nullptr, nullptr);
    obclient_reset_log_levels();
    const obclient_counts_t now = obclient_live_counts();
    EXPECT_EQ(now.strings, baseline_.strings) << "host strings leaked or freed twice";
    EXPECT_EQ(now.maps, baseline_.maps) << "host maps leaked or freed twice";
    EXPECT_EQ(now.lists, baseline_.lists) << "host lists leaked or freed twice";
    EXPECT_EQ(now.buffers, baseline_.buffers) << "host buffers leaked or freed twice";
    EXPECT_EQ(now.customs, baseline_.customs) << "host custom objects leaked or freed twice";
}

std::vector<std::string> HostTest::logTexts(const std::string& category) const
{
    std::vector<std::string> texts;
    for (const LogLine& line : lines_) {
        EXPECT_EQ(line.category, category);
        texts.push_back(std::to_string(line.level) + " " + line.text);
    }
    return texts;
}

std::string jsonOf(const vlm_data_t& value)
{
    std::string text;
    obclient_append_json(text, value);
    return text;
}

std::string standardErrorOf(const std::function<void()>& action)
{
    ::testing::internal::CaptureStderr();
    try {
        action();
    } catch (...) {
        ::testing::internal::GetCapturedStderr();
        throw;
    }
    return ::testing::internal::GetCapturedStderr();
}

void HostTest::capture(void* context, const char* category, std::int32_t level, const char* text)
{
    static_cast<HostTest*>(context)->lines_.push_back(LogLine{category, level, text});
}

} // namespace testing_support
