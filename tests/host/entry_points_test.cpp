// The built plug-in driven through its exported entry points, resolved by
// name with the host programs' loader: creation, wiring, lifecycle calls, batches in
// both directions, destruction, and how each failure is reported.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "obclient/plugin_library.h"
#include "tests/support/host_test.h"

namespace {

// A next element as the host wires it: notes each batch as the JSON text of its messages.
struct Receiver {
    enum class Failure { none, standard, other };

    std::vector<vlm_message_t*> starts;
    std::vector<std::vector<std::string>> batches;
    Failure failure = Failure::none;
};

std::string messageText(const vlm_message_t& message)
{
    std::string text;
    obclient_append_json(text, message.payload);
    text += " ";
    vlm_data_t metadata{};
    metadata.tag = VLM_TAG_MAP;
    metadata.payload.map = message.metadata;
    obclient_append_json(text, metadata);
    return text;
}

int32_t receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end)
{
    auto& receiver = *static_cast<Receiver*>(handle);
    if (receiver.failure == Receiver::Failure::standard)
        throw std::runtime_error("next element failed");
    if (receiver.failure == Receiver::Failure::other)
        throw 42;
    receiver.starts.push_back(start);
    std::vector<std::string> texts;
    for (vlm_message_t* message = start; message != end; ++message)
        texts.push_back(messageText(*message));
    receiver.batches.push_back(texts);
    return 0;
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

// A configuration map value that the test owns and frees after creation.
class HostConfig {
public:
    HostConfig& set(const char* key, vlm_data_t value)
    {
        obclient_map_insert_string(&table_, key, value);
        return *this;
    }
    ~HostConfig() { vlm_free_map(table_); }
    vlm_data_t value() const { return obclient_map_value(table_); }

private:
    vlm_map_table_t* table_ = nullptr;
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

    void* create(const HostConfig& config)
    {
        vlm_data_t value = config.value();
        return library->create("NAME", "CHAIN", &value, &hostHandle, &hostContext);
    }

    static std::unique_ptr<PluginLibrary> library;
    static std::string loadError;
    int hostHandle = 0;
    int hostContext = 0;
};

std::unique_ptr<PluginLibrary> EntryPointsTest::library;
std::string EntryPointsTest::loadError;

constexpr const char* category = "connectivity.NAME.CHAIN";

TEST_F(EntryPointsTest, VersionQueriesNeedNoInstance)
{
    EXPECT_EQ(library->apiVersion(), 4);
    EXPECT_STREQ(library->productVersion(), "10.15.4.1");
    EXPECT_EQ(library->destroy(nullptr), 0);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(EntryPointsTest, AWiredCodecPassesBatchesOnToTheLatestWiringOfEachDirection)
{
    HostConfig config;
    config.set("towardsHostChannelPrefix", obclient_string("site."));
    void* handle = create(config);
    ASSERT_NE(handle, nullptr);
    // Before wiring a batch is transformed and goes nowhere.
    HostBatch early;
    early.add(obclient_string("early"));
    EXPECT_EQ(library->sendBatchTowardsHost(handle, early.start(), early.end()), 0);
    EXPECT_EQ(library->sendBatchTowardsTransport(handle, early.start(), early.end()), 0);
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
    ::testing::internal::CaptureStderr();
    void* handle = library->create("NAME", "CHAIN", &notAMap, &hostHandle, &hostContext);
    const std::string standardError = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(handle, nullptr);
    EXPECT_NE(standardError.find("GetVisitor<"), std::string::npos);

    EXPECT_EQ(library->create("NAME", "CHAIN", nullptr, &hostHandle, &hostContext), nullptr);

    ASSERT_EQ(logLines().size(), 2u);
    EXPECT_EQ(logLines()[0].category, category);
    EXPECT_EQ(logLines()[0].level, 2);
    EXPECT_EQ(logLines()[0].text,
              "<connectivity.NAME.CHAIN> Exception from create: Incorrect type in get (you "
              "asked for map but it's actually integer)");
    EXPECT_EQ(logLines()[1].level, 2);
    EXPECT_EQ(logLines()[1].text, "<connectivity.NAME.CHAIN> Exception from create: Null argument given to "
                                  "create: config");
}

TEST_F(EntryPointsTest, UnusableSettingsDoNotPreventCreation)
{
    HostConfig config;
    config.set("towardsHostChannelPrefix", obclient_map_value(obclient_map_new(8)))
        .set("tenantId", obclient_integer(3))
        .set("somethingElse", obclient_boolean(true));
    ::testing::internal::CaptureStderr();
    void* handle = create(config);
    ::testing::internal::GetCapturedStderr();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(library->destroy(handle), 0);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(EntryPointsTest, FailuresOfTheNextElementAreReportedByOperation)
{
    HostConfig config;
    void* handle = create(config);
    ASSERT_NE(handle, nullptr);
    Receiver towardsHost, towardsTransport;
    towardsHost.failure = Receiver::Failure::other;
    towardsTransport.failure = Receiver::Failure::standard;
    ASSERT_EQ(library->setNextTowardsHost(handle, &towardsHost, &receiveBatch), 0);
    ASSERT_EQ(library->setNextTowardsTransport(handle, &towardsTransport, &receiveBatch), 0);
    HostBatch batch;
    batch.add(obclient_string("one"));

    EXPECT_EQ(library->sendBatchTowardsHost(handle, batch.start(), batch.end()), 1);
    EXPECT_EQ(library->sendBatchTowardsTransport(handle, batch.start(), batch.end()), 1);
    EXPECT_EQ(library->destroy(handle), 0);

    ASSERT_EQ(logLines().size(), 2u);
    EXPECT_EQ(logLines()[0].category, category);
    EXPECT_EQ(logLines()[0].level, 3);
    EXPECT_EQ(logLines()[0].text, "<connectivity.NAME.CHAIN> Unknown exception from sendBatchTowardsHost");
    EXPECT_EQ(logLines()[1].level, 3);
    EXPECT_EQ(logLines()[1].text,
              "<connectivity.NAME.CHAIN> Exception from sendBatchTowardsTransport: next element failed");
}

TEST_F(EntryPointsTest, WiringWithoutABatchFunctionFailsAndKeepsTheEarlierWiring)
{
    HostConfig config;
    void* handle = create(config);
    ASSERT_NE(handle, nullptr);
    Receiver receiver;
    ASSERT_EQ(library->setNextTowardsHost(handle, &receiver, &receiveBatch), 0);

    EXPECT_EQ(library->setNextTowardsHost(handle, &receiver, nullptr), 1);
    EXPECT_EQ(library->setNextTowardsTransport(handle, &receiver, nullptr), 1);
    HostBatch batch;
    batch.add(obclient_string("one"));
    EXPECT_EQ(library->sendBatchTowardsHost(handle, batch.start(), batch.end()), 0);
    EXPECT_EQ(library->destroy(handle), 0);

    EXPECT_EQ(receiver.batches.size(), 1u);
    ASSERT_EQ(logLines().size(), 2u);
    EXPECT_EQ(logLines()[0].level, 2);
    EXPECT_EQ(
        logLines()[0].text,
        "<connectivity.NAME.CHAIN> Exception from setNextTowardsHost: No batch function given for the next "
        "element");
    EXPECT_EQ(logLines()[1].level, 2);
    EXPECT_EQ(logLines()[1].text,
              "<connectivity.NAME.CHAIN> Exception from setNextTowardsTransport: No batch "
              "function given for the next element");
}

TEST_F(EntryPointsTest, FailuresAboveTheHostLevelReturnOneWithoutALine)
{
    obclient_set_log_level(category, 2);
    HostConfig config;
    void* handle = create(config);
    ASSERT_NE(handle, nullptr);
    Receiver failing;
    failing.failure = Receiver::Failure::standard;
    ASSERT_EQ(library->setNextTowardsHost(handle, &failing, &receiveBatch), 0);
    HostBatch batch;
    batch.add(obclient_string("one"));

    EXPECT_EQ(library->sendBatchTowardsHost(handle, batch.start(), batch.end()), 1);
    EXPECT_EQ(library->destroy(handle), 0);
    EXPECT_TRUE(logLines().empty());
}

} // namespace
