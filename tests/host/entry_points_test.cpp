// The built plug-in driven through its exported entry points, resolved by name with the host programs'
// loader, the level and text each failure is reported with, and its dynamic symbol table.
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <tuple>

#include "obclient/plugin_library.h"
#include "tests/support/host_test.h"

namespace {

constexpr const char* category = "connectivity.NAME.CHAIN";

std::vector<std::string> textsOf(const vlm_message_t* start, const vlm_message_t* end)
{
    std::vector<std::string> texts;
    for (const vlm_message_t* message = start; message != end; ++message)
        texts.push_back(testing_support::jsonOf(message->payload) + " " +
                        testing_support::jsonOf(obclient_map_value(message->metadata)));
    return texts;
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
    receiver.batches.push_back(textsOf(start, end));
    return 1; // a status the plug-in must ignore
}

// A batch array the test owns, as a host owns its arrays; each message has one metadata entry or none.
struct HostBatch {
    std::vector<vlm_message_t> records;
    HostBatch(std::initializer_list<std::tuple<vlm_data_t, const char*, const char*>> messages)
    {
        for (const auto& [payload, key, value] : messages) {
            vlm_map_table_t* metadata = nullptr;
            if (key != nullptr)
                obclient_map_insert_string(&metadata, key, obclient_string(value));
            records.push_back(vlm_message_t{payload, metadata});
        }
    }
    ~HostBatch()
    {
        for (vlm_message_t& record : records) {
            obclient_free_data(record.payload);
            vlm_free_map(record.metadata);
        }
    }
    vlm_message_t* start() { return records.data(); }
    vlm_message_t* end() { return records.data() + records.size(); }
};

// Symbol names from `nm -D`, without a version suffix ("@GLIBC_2.2.5").
std::set<std::string> dynamicSymbols(const char* nmOption)
{
    const std::string command = std::string("'") + TESSARO_NM + "' -D --format=just-symbols " + nmOption +
                                " '" + TESSARO_PLUGIN_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    EXPECT_NE(pipe, nullptr) << command;
    std::set<std::string> names;
    char line[1024];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe.get()) != nullptr)
        names.insert(std::string(line, std::strcspn(line, "@\n")));
    return names;
}

PluginLibrary& library()
{
    // Loaded once, before any test's baseline is taken: loading makes the library's constants.
    static PluginLibrary loaded(TESSARO_PLUGIN_PATH);
    return loaded;
}

void* create()
{
    vlm_data_t config = obclient_map_value(nullptr);
    return library().create("NAME", "CHAIN", &config, nullptr, nullptr);
}

class EntryPointsTest : public testing_support::HostTest {
protected:
    void SetUp() override
    {
        library();
        HostTest::SetUp();
    }
};

// Versions are asked, and a null handle destroyed, before any instance exists; a codec without
// status publishes none.
TEST_F(EntryPointsTest, AWiredCodecPassesBatchesOnToTheLatestWiringOfEachDirection)
{
    PluginLibrary& plugin = library();
    EXPECT_EQ(plugin.apiVersion(), 4);
    EXPECT_STREQ(plugin.productVersion(), "10.15.4.1");
    EXPECT_EQ(plugin.destroy(nullptr), 0);
    const std::uint64_t statusCalls = obclient_user_status_calls();
    void* handle = create();
    ASSERT_NE(handle, nullptr);
    Receiver replaced, towardsHost, towardsTransport;
    EXPECT_EQ(plugin.setNextTowardsHost(handle, &replaced, &receiveBatch), 0);
    EXPECT_EQ(plugin.setNextTowardsHost(handle, &towardsHost, &receiveBatch), 0);
    EXPECT_EQ(plugin.setNextTowardsTransport(handle, &replaced, &receiveBatch), 0);
    EXPECT_EQ(plugin.setNextTowardsTransport(handle, &towardsTransport, &receiveBatch), 0);
    EXPECT_EQ(plugin.start(handle), 0);
    EXPECT_EQ(plugin.hostReady(handle), 0);

    // Without a Pulsar path, or without a payload, a message passes through unchanged.
    HostBatch toHost{{obclient_string("plain"), "source", "sensor"}, {vlm_data_t{}, "source", "empty"}};
    HostBatch toTransport{{obclient_integer(1), "pulsarPath", "t1/sub/alarms/1"},
                          {obclient_string("two"), nullptr, nullptr}};
    const std::vector<std::string> toHostBefore = textsOf(toHost.start(), toHost.end());
    const std::vector<std::string> toTransportBefore = textsOf(toTransport.start(), toTransport.end());
    EXPECT_EQ(plugin.sendBatchTowardsHost(handle, toHost.start(), toHost.end()), 0);
    EXPECT_EQ(plugin.sendBatchTowardsTransport(handle, toTransport.start(), toTransport.end()), 0);
    EXPECT_EQ(plugin.sendBatchTowardsHost(handle, toHost.start(), toHost.start()), 0);
    EXPECT_EQ(plugin.shutdown(handle), 0);
    EXPECT_EQ(plugin.destroy(handle), 0);

    EXPECT_TRUE(replaced.batches.empty());
    EXPECT_EQ(towardsHost.starts, (std::vector<vlm_message_t*>{toHost.start(), toHost.start()}));
    EXPECT_EQ(towardsHost.batches, (std::vector<std::vector<std::string>>{toHostBefore, {}}));
    EXPECT_EQ(towardsTransport.starts, (std::vector<vlm_message_t*>{toTransport.start()}));
    EXPECT_EQ(towardsTransport.batches, (std::vector<std::vector<std::string>>{toTransportBefore}));
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(obclient_user_status_calls(), statusCalls);
}

// Each refusal is reported under the category the plug-in would have had, so a swapped or
// unchecked identity shows in the category as well as in the reason.
TEST_F(EntryPointsTest, CreationFailsWithANullHandleAndOneLine)
{
    vlm_data_t notAMap = obclient_integer(5);
    vlm_data_t emptyMap = obclient_map_value(nullptr);
    const std::tuple<const char*, const char*, vlm_data_t*, const char*, const char*> refusals[] = {
        {"NAME", "CHAIN", &notAMap, category,
         "Incorrect type in get (you asked for map but it's actually integer)"},
        {"NAME", "CHAIN", nullptr, category, "Null argument given to create: config"},
        {nullptr, "CHAIN", &emptyMap, "connectivity..CHAIN", "Null argument given to create: pluginName"},
        {"NAME", nullptr, &emptyMap, "connectivity.NAME.", "Null argument given to create: chainId"},
    };
    for (const auto& [pluginName, chainId, config, lineCategory, reason] : refusals) {
        clearLogLines();
        testing_support::standardErrorOf(
            [&] { EXPECT_EQ(library().create(pluginName, chainId, config, nullptr, nullptr), nullptr); });
        EXPECT_EQ(logTexts(lineCategory), (std::vector<std::string>{std::string("2 <") + lineCategory +
                                                                    "> Exception from create: " + reason}));
    }
}

// Every guarded operation that fails returns 1 and logs one line at its level: under the library's
// category without a handle, under the plug-in's with one. A refused wiring keeps the earlier one, and a
// batch range that is not one is refused before any record is touched.
TEST_F(EntryPointsTest, FailuresAndRefusalsAreReportedByOperationAtItsLevel)
{
    PluginLibrary& plugin = library();
    Receiver receiver, failsOther, failsStandard;
    failsOther.failure = Receiver::Failure::other;
    failsStandard.failure = Receiver::Failure::standard;
    HostBatch batch{{obclient_string("one"), "pulsarPath", "t1/sub/alarms/1"},
                    {obclient_string("two"), nullptr, nullptr}};
    vlm_message_t* const start = batch.start();
    vlm_message_t* const end = batch.end();
    const std::vector<std::string> before = textsOf(start, end);
    const std::string invalidRange = ": Invalid batch range: the end is null or before the start";
    const std::string noFunction = ": No batch function given for the next element";
    // The operation, its level, the call, and the line's text after the category when a handle is given
    // (empty: nothing fails with a handle).
    const std::tuple<const char*, int, std::function<int32_t(void*)>, std::string> operations[] = {
        {"start", 2, [&](void* h) { return plugin.start(h); }, ""},
        {"hostReady", 3, [&](void* h) { return plugin.hostReady(h); }, ""},
        {"shutdown", 3, [&](void* h) { return plugin.shutdown(h); }, ""},
        {"setNextTowardsHost", 2, [&](void* h) { return plugin.setNextTowardsHost(h, &receiver, nullptr); },
         "Exception from setNextTowardsHost" + noFunction},
        {"setNextTowardsTransport", 2,
         [&](void* h) { return plugin.setNextTowardsTransport(h, &receiver, nullptr); },
         "Exception from setNextTowardsTransport" + noFunction},
        {"sendBatchTowardsHost", 3, [&](void* h) { return plugin.sendBatchTowardsHost(h, start + 1, end); },
         "Unknown exception from sendBatchTowardsHost"},
        {"sendBatchTowardsTransport", 3,
         [&](void* h) { return plugin.sendBatchTowardsTransport(h, start + 1, end); },
         "Exception from sendBatchTowardsTransport: next element failed"},
        {"sendBatchTowardsHost", 3, [&](void* h) { return plugin.sendBatchTowardsHost(h, end, start); },
         "Exception from sendBatchTowardsHost" + invalidRange},
        {"sendBatchTowardsTransport", 3,
         [&](void* h) { return plugin.sendBatchTowardsTransport(h, nullptr, end); },
         "Exception from sendBatchTowardsTransport" + invalidRange},
    };
    constexpr const char* libraryCategory = "connectivity.TessaroNotifications2Codec";
    void* handle = create();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(plugin.setNextTowardsHost(handle, &failsOther, &receiveBatch), 0);
    ASSERT_EQ(plugin.setNextTowardsTransport(handle, &failsStandard, &receiveBatch), 0);
    for (const auto& [operation, level, call, withHandle] : operations) {
        SCOPED_TRACE(operation + (" " + withHandle));
        const std::string prefix = std::to_string(level) + " <";
        clearLogLines();
        EXPECT_EQ(call(nullptr), 1);
        EXPECT_EQ(logTexts(libraryCategory),
                  (std::vector<std::string>{prefix + libraryCategory + "> Exception from " + operation +
                                            ": Null plug-in handle"}));
        clearLogLines();
        EXPECT_EQ(call(handle), withHandle.empty() ? 0 : 1);
        EXPECT_EQ(logTexts(category), withHandle.empty()
                                          ? std::vector<std::string>{}
                                          : std::vector<std::string>{prefix + category + "> " + withHandle});
    }
    EXPECT_EQ(plugin.destroy(handle), 0);
    EXPECT_EQ(textsOf(start, end), before);
    EXPECT_TRUE(receiver.batches.empty());
}

// Any other import would not resolve in a real host.
TEST_F(EntryPointsTest, ExportsTheElevenEntryPointsAndImportsTheFourteenHostFunctions)
{
    std::set<std::string> entryPoints;
    for (const char* operation :
         {"create_plugin_with_params", "destroy_plugin", "plugin_api_version", "plugin_product_version",
          "plugin_start", "plugin_hostReady", "plugin_shutdown", "plugin_setNextTowardsHost",
          "plugin_setNextTowardsTransport", "plugin_sendBatchTowardsHost",
          "plugin_sendBatchTowardsTransport"})
        entryPoints.insert(std::string("vlm_") + operation + "_TessaroNotifications2Codec");
    EXPECT_EQ(dynamicSymbols("--defined-only"), entryPoints);

    const std::set<std::string> hostFunctions = {
        "vlm_copy_string",  "vlm_free_string",         "vlm_copy_data",   "vlm_data_to_string",
        "vlm_allocate_map", "vlm_reallocate_map",      "vlm_free_map",    "vlm_free_vector",
        "vlm_free_buffer",  "vlm_free_custom",         "vlm_hash_string", "vlm_get_log_level",
        "vlm_log_at",       "vlm_set_user_status_map",
    };
    std::set<std::string> hostImports;
    for (const std::string& name : dynamicSymbols("--undefined-only"))
        if (name.rfind("vlm_", 0) == 0 || name.rfind("obclient", 0) == 0)
            hostImports.insert(name);
    EXPECT_EQ(hostImports, hostFunctions);
}

} // namespace
