#include <gtest/gtest.h>

#include <dlfcn.h>

#include "connectivity/values/static_string.h"
#include "tests/support/host_test.h"

namespace cv = com::velmora::connectivity10_15_4;

namespace {

class StaticConstants : public testing_support::HostTest {};

TEST_F(StaticConstants, AreMadeAtLoadAndReleasedAtUnload)
{
    const std::int64_t baseline = obclient_live_counts().strings;
    void* library = dlopen(CONSTANTS_PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(obclient_live_counts().strings, baseline + 3);

    using TextFunction = const char* (*)(int);
    auto text = reinterpret_cast<TextFunction>(dlsym(library, "constants_probe_text"));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text(0), "alpha");
    EXPECT_STREQ(text(2), "gamma");

    ASSERT_EQ(dlclose(library), 0);
    EXPECT_EQ(obclient_live_counts().strings, baseline);
}

TEST_F(StaticConstants, CarryTheirKeyHash)
{
    const cv::StaticString key("deviceId");
    EXPECT_EQ(key.hash(), cv::keyHash(cv::data_t("deviceId")));
    EXPECT_EQ(key.value().tag(), static_cast<std::uint32_t>(VLM_TAG_STRING));
}

} // namespace
