// Typed reads and their texts (parsing scalars to text succeeds through ConfigReader, in
// tests/framework), and a value moved onto itself.

#include <typeinfo>

#include "connectivity/values/list_t.h"
#include "connectivity/values/map_t.h"
#include "tests/support/host_test.h"
#include "tests/values/value_builders.h"

namespace cv = com::velmora::connectivity10_15_4;
using testing_support::hostValue;

namespace {

class DataAccess : public testing_support::HostTest {};

struct Failure {
    std::string message;
    std::string stderrText;
};

template <class Operation> Failure failureOf(Operation operation)
{
    Failure failure;
    failure.stderrText =
        testing_support::standardErrorOf([&] { failure.message = testing_support::errorOf(operation); });
    return failure;
}

TEST_F(DataAccess, FailedReadsNameWhatWasAskedAndWhatIsThere)
{
    const cv::data_t integer(std::int64_t{5});
    const Failure asMap = failureOf([&] { (void)integer.get<cv::map_t>(); });
    EXPECT_EQ(asMap.message, "Incorrect type in get (you asked for map but it's actually integer)");
    const std::string typeName = typeid(cv::map_t).name();
    EXPECT_EQ(asMap.stderrText, "GetVisitor<" + typeName + ">.operator()(" + typeName + ")\n");

    const Failure fromEmpty = failureOf([] { (void)cv::data_t().get<cv::list_t>(); });
    EXPECT_EQ(fromEmpty.message, "Get from empty");
    EXPECT_EQ(fromEmpty.stderrText, "");
    const vlm_data_t unknownTag{{}, 42, 0};
    EXPECT_EQ(failureOf([&] { (void)cv::data_t::adopt(unknownTag).get<const char*>(); }).message,
              "Get from empty");

    EXPECT_EQ(failureOf([] { hostValue(obclient_decimal(1)).parseAsString(); }).message,
              "Trying to parse from incorrect type (actually decimal)");
    EXPECT_EQ(failureOf([] { testing_support::listOf({}).parseAsString(); }).message,
              "Trying to parse from incorrect type (actually list)");
    EXPECT_EQ(failureOf([] { cv::data_t().parseAsString(); }).message, "Trying to parse from empty");
    EXPECT_EQ(failureOf([] { cv::data_t(static_cast<const char*>(nullptr)); }).message,
              "Cannot use a null char* as a data_t value (consider using an empty data_t() instead)");
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

} // namespace
