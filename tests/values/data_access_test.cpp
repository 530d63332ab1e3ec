// Reading values: typed reads and the texts they fail with, a value moved onto itself, a message as log
// lines show it, and library-wide constants.

#include <dlfcn.h>

#include "connectivity/values/list_t.h"
#include "connectivity/values/message.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
using testing_support::errorOf;

namespace {

class DataAccess : public testing_support::HostTest {};

TEST_F(DataAccess, FailedReadsNameWhatWasAskedAndWhatIsThere)
{
    const vlm_data_t unknownTag{{}, 42, 0};
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { (void)cv::data_t().get<cv::list_t>(); }, "Get from empty"},
        {[&] { (void)cv::data_t::adopt(unknownTag).get<const char*>(); }, "Get from empty"},
        {[] { cv::data_t::adopt(obclient_decimal(1)).parseAsString(); },
         "Trying to parse from incorrect type (actually decimal)"},
        {[] { testing_support::listOf({}).parseAsString(); },
         "Trying to parse from incorrect type (actually list)"},
        {[] { cv::data_t().parseAsString(); }, "Trying to parse from empty"},
        {[] { cv::data_t(static_cast<const char*>(nullptr)); },
         "Cannot use a null char* as a data_t value (consider using an empty data_t() instead)"},
    };
    for (const auto& [read, message] : failures)
        EXPECT_EQ(testing_support::standardErrorOf([&] { EXPECT_EQ(errorOf(read), message); }), "");
}

// A shallow copy or a source left owning would be freed twice, which checked mode stops in every
// suite; a value moved onto itself is the one case no other test meets.
TEST_F(DataAccess, AValueMovedOntoItselfSurvives)
{
    cv::data_t value("payload");
    cv::data_t& alias = value;
    value = std::move(alias);
    EXPECT_STREQ(value.get<const char*>(), "payload");
}

// A payload may neither flood the log nor forge a line in it.
TEST_F(DataAccess, MessagesInLogLinesAreCutAt200BytesWithLineBreaksEscaped)
{
    const auto text = [](std::size_t length, char fill, bool truncate) {
        return cv::toString(cv::Message(cv::data_t(std::string(length, fill).c_str()), cv::map_t()),
                            truncate);
    };
    // The host renders a string with its two quotes: 198 characters give 200 bytes.
    const std::string prefix = "Message<metadata={}, payload=\"";
    EXPECT_EQ(text(198, 'x', true), prefix + std::string(198, 'x') + "\">");
    EXPECT_EQ(text(199, 'y', true), prefix + std::string(195, 'y') + " ...>");
    EXPECT_EQ(text(300, 'z', false), prefix + std::string(300, 'z') + "\">");
    std::string lines = "a\nb\r\nc\\n";
    cv::escapeLineBreaks(lines);
    EXPECT_EQ(lines, "a\\nb\\r\\nc\\n");
}

// Library-wide text constants are host strings made when their library is loaded, released at unload.
TEST_F(DataAccess, StaticConstantsAreMadeAtLoadAndReleasedAtUnload)
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
