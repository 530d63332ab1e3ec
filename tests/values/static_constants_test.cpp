// Library-wide text constants are host strings made when their library is loaded
// and released when it is unloaded.

#include <dlfcn.h>

#include "tests/support/host_test.h"

namespace {

class StaticConstants : public testing_support::HostTest {};

TEST_F(StaticConstants, AreMadeAtLoadAndReleasedAtUnload)
{
    const std::int64_t baseline = obclient_live_counts().strings;
    void* library = dlopen(CONSTANTS_PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(obclient_live_counts().strings, baseline + 3);

    const auto text = reinterpret_cast<const char* (*)(int)>(dlsym(library, "constants_probe_text"));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text(0), "alpha");
    EXPECT_STREQ(text(2), "gamma");

    ASSERT_EQ(dlclose(library), 0);
    EXPECT_EQ(obclient_live_counts().strings, baseline);
}

} // namespace
