// Typed reads and their texts, and what construction, copies and moves do with
// the host records. Parsing scalars to text succeeds through ConfigReader (tests/framework).

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

TEST_F(DataAccess, CopiesAreDeepExceptOfBorrowedStringsAndMovesLeaveEmpty)
{
    static const char text[] = "borrowed";
    const obclient_counts_t before = obclient_live_counts();
    {
        const cv::data_t borrowed = hostValue(obclient_borrowed_string(text));
        EXPECT_EQ(borrowed.get<const char*>(), text);
        EXPECT_STREQ(borrowed.kindName(), "string");
        EXPECT_EQ(cv::data_t(borrowed).tag(), static_cast<std::uint32_t>(VLM_TAG_BORROWED_STRING));
    }
    EXPECT_EQ(obclient_live_counts(), before);

    cv::data_t value("payload");
    cv::data_t copy(value);
    EXPECT_NE(copy.record().payload.string, value.record().payload.string) << "copies are deep";
    EXPECT_EQ(copy, value);
    cv::data_t& alias = value;
    value = std::move(alias);
    EXPECT_STREQ(value.get<const char*>(), "payload") << "a value moved onto itself survives";
    cv::data_t target(std::move(value));
    EXPECT_TRUE(value.empty());
    EXPECT_EQ(value.record().payload.bits, 0u);
    copy = std::move(target);
    EXPECT_STREQ(copy.get<const char*>(), "payload");

    cv::map_t map = testing_support::mapOf({{"k", obclient_integer(1)}});
    const cv::data_t holder(std::move(map));
    EXPECT_EQ(map.table(), nullptr);
    EXPECT_EQ(holder.get<cv::map_t>().size(), 1u);
}

} // namespace
