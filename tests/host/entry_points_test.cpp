// The built plug-in driven through its exported entry points, resolved by
// name with the host programs' loader: creation, wiring, lifecycle calls, batches in
// both directions, destruction, and the level and text each failure is reported with.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "obclient/plugin_library.h"
#include "tests/support/host_test.h"

namespace {

constexpr const char* category = "connectivity.NAME.CHAIN";

std::string messageText(const vlm_message_t& message)
{
    std::string text;
    obclient_append_json(text, message.payload);
    obclient_append_json(text += " ", obclient_map_value(message.metadata));
    return text;
}

// A next element as the host wires it: notes each batch as the texts of its messages, or throws.
struct Receiver {
    enum class Failure { none, standard, other } failure = Failure::none;
    std::vector<vlm_message_t*> starts;
    std::vector<std::vector<std::string>> batches;
};

int32_t receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    auto& receiver = *static_cast<Receiver*>(handle);
    if (receiver.failure == Receiver::Failure::standard)
        throw std::runtime_error("next element failed");
    if (receiver.failure == Receiver::Failure::other)
        throw 42;
    receiver.starts.push_back(start);
    receiver.batches.emplace_back();
    for (vlm_message_t* message = start; message != end; ++message)
        receiver.batches.back().push_back(messageText(*message));
    return 1; // a status the plug-in must ignore
}

// A batch array owned by the test, as the host owns its arrays.
class HostBatch {
public:
    HostBatch& add(vlm_data_t payload, const char* metadataKey = nullptr, const char* metadataValue = nullptr)
    {
        vlm_map_table_t* metadata = nullptr;
        if (metadataKey != nullptr)
            obclient_map_insert_string(&metadata, metadataKey, obclient_string(metadataValue));
        records_.push_back(vlm_message_t{payload, metadata});
        return *this;
    }
    ~HostBatch()
    {
        for (vlm_message_t& record : records_) {
            obclient_free_data(record.payload);
            vlm_free_map(record.metadata);
        }
    }
    vlm_message_t* start() { return records_.data(); }
    vlm_message_t* end() { return records_.data() + records_.size(); }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const vlm_message_t& record : records_)
            result.push_back(messageText(record));
        return result;
    }

private:
    std::vector<vlm_message_t> records_;
};

class EntryPointsTest : public testing_support::HostTest {
protected:
    // Loaded once: loading makes the library's constants, before any test's baseline is taken.
    static void SetUpTestSuite()
    {
        try {
            library = std::make_unique<PluginLibrary>(TESSARO_PLUGIN_PATH);
        } catch (const std::exception& error) {
            loadError = error.what();
        }
    }
    static void TearDownTestSuite() { library.reset(); }

    void SetUp() override
    {
        HostTest::SetUp();
        ASSERT_NE(library, nullptr) << loadError;
    }

    // The host frees its configuration right after creation; the codec keeps its own copy.
    static void* create(std::initializer_list<std::pair<const char*, vlm_data_t>> settings = {})
    {
        vlm_map_table_t* table = nullptr;
        for (const auto& [key, value] : settings)
            obclient_map_insert_string(&table, key, value);
        vlm_data_t config = obclient_map_value(table);
        void* handle = library->create("NAME", "CHAIN", &config, nullptr, nullptr);
        vlm_free_map(table);
        return handle;
    }

    static std::unique_ptr<PluginLibrary> library;
    static std::string loadError;
};

std::unique_ptr<PluginLibrary> EntryPointsTest::library;
std::string EntryPointsTest::loadError;

TEST_F(EntryPointsTest, VersionQueriesNeedNoInstance)
{
    EXPECT_EQ(library->apiVersion(), 4);
    EXPECT_STREQ(library->productVersion(), "10.15.4.1");
    EXPECT_EQ(library->destroy(nullptr), 0);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(EntryPointsTest, AWiredCodecPassesBatchesOnToTheLatestWiringOfEachDirection)
{
    void* handle = create({{"towardsHostChannelPrefix", obclient_string("site.")}});
    ASSERT_NE(handle, nullptr);
    Receiver replaced, towardsHost, towardsTransport;
    EXPECT_EQ(library->setNextTowardsHost(handle, &replaced, &receiveBatch), 0);
    EXPECT_EQ(library->setNextTowardsHost(handle, &towardsHost, &receiveBatch), 0);
    EXPECT_EQ(library->setNextTowardsTransport(handle, &replaced, &receiveBatch), 0);
    EXPECT_EQ(library->setNextTowardsTransport(handle, &towardsTransport, &receiveBatch), 0);
    EXPECT_EQ(library->start(handle), 0);
    EXPECT_EQ(library->hostReady(handle), 0);

    // Without a Pulsar path, or without a payload, a message passes through unchanged.
    HostBatch hostBound;
    hostBound.add(obclient_string("plain"), "source", "sensor").add(vlm_data_t{}, "source", "empty");
    const std::vector<std::string> hostBoundBefore = hostBound.texts();
    EXPECT_EQ(library->sendBatchTowardsHost(handle, hostBound.start(), hostBound.end()), 0);

    HostBatch transportBound;
    transportBound.add(obclient_integer(1), "pulsarPath", "t1/sub/alarms/1").add(obclient_string("two"));
    const std::vector<std::string> transportBoundBefore = transportBound.texts();
    EXPECT_EQ(library->sendBatchTowardsTransport(handle, transportBound.start(), transportBound.end()), 0);
    EXPECT_EQ(library->sendBatchTowardsHost(handle, hostBound.start(), hostBound.start()), 0);

    EXPECT_EQ(library->shutdown(handle), 0);
    EXPECT_EQ(library->destroy(handle), 0);

    EXPECT_TRUE(replaced.batches.empty());
    EXPECT_EQ(towardsHost.starts, (std::vector<vlm_message_t*>{hostBound.start(), hostBound.start()}));
    EXPECT_EQ(towardsHost.batches, (std::vector<std::vector<std::string>>{hostBoundBefore, {}}));
    EXPECT_EQ(towardsTransport.starts, (std::vector<vlm_message_t*>{transportBound.start()}));
    EXPECT_EQ(towardsTransport.batches, (std::vector<std::vector<std::string>>{transportBoundBefore}));
    EXPECT_TRUE(logLines().empty());
}

TEST_F(EntryPointsTest, CreationFailsWithANullHandleAndOneLine)
{
    vlm_data_t notAMap = obclient_integer(5);
    testing_support::standardErrorOf(
        [&] { EXPECT_EQ(library->create("NAME", "CHAIN", &notAMap, nullptr, nullptr), nullptr); });
    EXPECT_EQ(library->create("NAME", "CHAIN", nullptr, nullptr, nullptr), nullptr);

    EXPECT_EQ(logTexts(category),
              (std::vector<std::string>{
                  "2 <connectivity.NAME.CHAIN> Exception from create: Incorrect type in get (you "
                  "asked for map but it's actually integer)",
                  "2 <connectivity.NAME.CHAIN> Exception from create: Null argument given to "
                  "create: config",
              }));
}

TEST_F(EntryPointsTest, FailuresAreReportedByOperationAtItsLevel)
{
    void* handle = create();
    ASSERT_NE(handle, nullptr);
    Receiver towardsHost, towardsTransport;
    towardsHost.failure = Receiver::Failure::other;
    towardsTransport.failure = Receiver::Failure::standard;
    ASSERT_EQ(library->setNextTowardsHost(handle, &towardsHost, &receiveBatch), 0);
    ASSERT_EQ(library->setNextTowardsTransport(handle, &towardsTransport, &receiveBatch), 0);
    // Refused wiring keeps the earlier one, which the failures below come from.
    EXPECT_EQ(library->setNextTowardsHost(handle, &towardsTransport, nullptr), 1);
    EXPECT_EQ(library->setNextTowardsTransport(handle, &towardsHost, nullptr), 1);
    HostBatch batch;
    batch.add(obclient_string("one"));
    EXPECT_EQ(library->sendBatchTowardsHost(handle, batch.start(), batch.end()), 1);
    EXPECT_EQ(library->sendBatchTowardsTransport(handle, batch.start(), batch.end()), 1);
    EXPECT_EQ(library->destroy(handle), 0);

    const std::string prefix = std::string("<") + category + "> ";
    EXPECT_EQ(
        logTexts(category),
        (std::vector<std::string>{
            "2 " + prefix + "Exception from setNextTowardsHost: No batch function given for the next element",
            "2 " + prefix +
                "Exception from setNextTowardsTransport: No batch function given for the next element",
            "3 " + prefix + "Unknown exception from sendBatchTowardsHost",
            "3 " + prefix + "Exception from sendBatchTowardsTransport: next element failed",
        }));

    // Below the level of a failure it is still reported by the status, only without a line.
    clearLogLines();
    obclient_set_log_level(category, 2);
    handle = create();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(library->setNextTowardsHost(handle, &towardsTransport, &receiveBatch), 0);
    EXPECT_EQ(library->sendBatchTowardsHost(handle, batch.start(), batch.end()), 1);
    EXPECT_EQ(library->destroy(handle), 0);
    EXPECT_TRUE(logLines().empty());
}

// Without a handle there is no plug-in Logger: the refusal goes out under the
// library's own category, at the level of the operation refused. A batch range
// that is not one is refused before any record is touched.
TEST_F(EntryPointsTest, ANullHandleOrAnInvalidBatchRangeIsRefusedWithOneLine)
{
    Receiver receiver;
    HostBatch batch;
    batch.add(obclient_integer(1), "pulsarPath", "t1/sub/alarms/1").add(obclient_string("two"));
    struct Refusal {
        const char* operation;
        int level;
        std::function<int32_t(void*)> call;
    };
    const Refusal nullHandle[] = {
        {"start", 2, [](void* h) { return library->start(h); }},
        {"hostReady", 3, [](void* h) { return library->hostReady(h); }},
        {"shutdown", 3, [](void* h) { return library->shutdown(h); }},
        {"setNextTowardsHost", 2,
         [&](void* h) { return library->setNextTowardsHost(h, &receiver, &receiveBatch); }},
        {"setNextTowardsTransport", 2,
         [&](void* h) { return library->setNextTowardsTransport(h, &receiver, &receiveBatch); }},
        {"sendBatchTowardsHost", 3,
         [&](void* h) { return library->sendBatchTowardsHost(h, batch.start(), batch.end()); }},
        {"sendBatchTowardsTransport", 3,
         [&](void* h) { return library->sendBatchTowardsTransport(h, batch.start(), batch.end()); }},
    };
    for (const Refusal& refusal : nullHandle) {
        SCOPED_TRACE(refusal.operation);
        clearLogLines();
        EXPECT_EQ(refusal.call(nullptr), 1);
        EXPECT_EQ(logTexts("connectivity.TessaroNotifications2Codec"),
                  (std::vector<std::string>{std::to_string(refusal.level) +
                                            " <connectivity.TessaroNotifications2Codec> Exception from " +
                                            refusal.operation + ": Null plug-in handle"}));
    }

    clearLogLines();
    void* handle = create();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(library->setNextTowardsHost(handle, &receiver, &receiveBatch), 0);
    ASSERT_EQ(library->setNextTowardsTransport(handle, &receiver, &receiveBatch), 0);
    const std::vector<std::string> before = batch.texts();
    const std::pair<vlm_message_t*, vlm_message_t*> ranges[] = {
        {batch.end(), batch.start()}, {nullptr, batch.end()}, {batch.start(), nullptr}};
    for (const auto& [start, end] : ranges) {
        EXPECT_EQ(library->sendBatchTowardsHost(handle, start, end), 1);
        EXPECT_EQ(library->sendBatchTowardsTransport(handle, start, end), 1);
    }
    EXPECT_EQ(library->destroy(handle), 0);
    EXPECT_EQ(batch.texts(), before);
    EXPECT_TRUE(receiver.batches.empty());
    const std::string refused = "3 <connectivity.NAME.CHAIN> Exception from sendBatchTowards";
    const std::string reason = ": Invalid batch range: the end is null or before the start";
    std::vector<std::string> expected;
    for (int range = 0; range < 3; ++range) {
        expected.push_back(refused + "Host" + reason);
        expected.push_back(refused + "Transport" + reason);
    }
    EXPECT_EQ(logTexts(category), expected);
}

} // namespace
