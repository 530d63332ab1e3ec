#include "fuzz/value_generator.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "obclient/obclient.h"

namespace fuzzing {
namespace {

// Deep enough for every notification shape; deeper trees add nothing but time.
constexpr int maximumDepth = 6;

// One entry per line would make the tables four times as long.
// clang-format off
const char* const knownTexts[] = {
    "id", "time", "source", "type", "text", "status", "severity", "count", "creationTime", "firstOccurrenceTime",
    "lastUpdated", "measurements", "value", "units", "unit", "params", "deviceId", "name", "t5o_SupportedOperations",
    "t5o_SupportedMeasurements", "t5o_Position", "childDevices", "childAssets", "childAdditions", "deviceParents",
    "assetParents", "additionParents", "tenantId", "lat", "lng", "t5o_Temperature", "measurementSplittingChannel",
    "towardsHostChannelPrefix", "CRITICAL", "MAJOR", "MINOR", "WARNING", "ACTIVE", "ACKNOWLEDGED", "CLEARED",
    "SUCCESSFUL", "FAILED", "EXECUTING", "PENDING", "minor", "ACTIVE ", "12.5", "0x1A", " 7e3", "nan", "", "42",
    "2024-02-01T10:00:00.000Z", "2024-02-01T10:00:00Z", "2024-02-01T10:00:00.250+01:00", "2024-02-01T10:00:00-0530",
    "2024-02-01T10:00:00Z12:00", "2024-02-01T10:00:00+ab:cd", "2024-13-45T99:99:99.999Z", "2024-02-01T10:00:00.0",
    "9999-12-31T23:59:60.999-23:59"};

const char* const knownPaths[] = {"t1/x/alarms",       "t1/x/events/1",   "t1/x/measurements", "t1/x/managedobjects",
                                  "t1/x/operations/9", "t1/x/mx",         "a//alarms",         "alarms",
                                  "t1/x/inventory/5",  "t1/x/measurements2", "t1/x/alarmsX/1", ""};
// clang-format on

template <std::size_t N> const char* known(FuzzedDataProvider& input, const char* const (&from)[N])
{
    return from[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

vlm_data_t makeDouble(FuzzedDataProvider& input)
{
    switch (input.ConsumeIntegral<std::uint8_t>()) {
    case 0:
        return obclient_double(std::numeric_limits<double>::quiet_NaN());
    case 1:
        return obclient_double(-0.0);
    case 2:
        return obclient_double(std::numeric_limits<double>::infinity());
    case 3:
        return obclient_double(-std::numeric_limits<double>::infinity());
    default: {
        const std::uint64_t bits = input.ConsumeIntegral<std::uint64_t>();
        double number;
        std::memcpy(&number, &bits, sizeof number);
        return obclient_double(number);
    }
    }
}

vlm_data_t makeList(FuzzedDataProvider& input, int depth)
{
    vlm_list_t* list = nullptr;
    for (int items = input.ConsumeIntegralInRange(0, 7); items > 0; --items)
        obclient_list_append(&list, makeValue(input, depth + 1));
    return obclient_list_value(list);
}

vlm_data_t makeMap(FuzzedDataProvider& input, int depth)
{
    vlm_map_table_t* map = nullptr;
    for (int entries = input.ConsumeIntegralInRange(0, 31); entries > 0; --entries) {
        vlm_data_t key = makeValue(input, depth + 1);
        vlm_data_t value = makeValue(input, depth + 1);
        // The host refuses keys it cannot hash (custom values) and leaves them with us.
        if (obclient_map_insert(&map, key, value) < 0) {
            obclient_free_data(key);
            obclient_free_data(value);
        }
    }
    return obclient_map_value(map);
}

} // namespace

vlm_data_t makeValue(FuzzedDataProvider& input, int depth)
{
    const int kind = input.ConsumeIntegralInRange(0, 11);
    if (depth > maximumDepth && kind >= 10)
        return vlm_data_t{};
    switch (kind) {
    case 0:
        return vlm_data_t{};
    case 1:
        return obclient_boolean(input.ConsumeBool());
    case 2:
        return makeDouble(input);
    case 3:
        return obclient_integer(static_cast<std::int64_t>(input.ConsumeIntegral<std::uint64_t>()));
    case 4:
        return obclient_decimal(input.ConsumeIntegral<std::uint64_t>());
    case 5:
        return obclient_string(known(input, knownTexts));
    case 6: {
        const std::string text = input.ConsumeRandomLengthString();
        return obclient_string(text.c_str());
    }
    case 7:
        return obclient_borrowed_string(known(input, knownTexts));
    case 8: {
        const std::string bytes = input.ConsumeRandomLengthString();
        return obclient_buffer(bytes.data(), bytes.size());
    }
    case 9:
        return obclient_custom(nullptr, nullptr, nullptr);
    case 10:
        return makeList(input, depth);
    default:
        return makeMap(input, depth);
    }
}

std::vector<vlm_message_t> makeBatch(FuzzedDataProvider& input)
{
    std::vector<vlm_message_t> batch(input.ConsumeIntegralInRange<std::size_t>(0, 8));
    for (vlm_message_t& message : batch) {
        const std::uint8_t flags = input.ConsumeIntegral<std::uint8_t>();
        if (flags & 1) {
            vlm_data_t path =
                flags & 2 ? obclient_string(known(input, knownPaths)) : makeValue(input, maximumDepth);
            obclient_map_insert_string(&message.metadata, "pulsarPath", path);
        }
        message.payload = makeValue(input, 0);
    }
    return batch;
}

} // namespace fuzzing
