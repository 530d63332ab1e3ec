#include "fuzz/value_generator.h"

#include <cmath>
#include <limits>
#include <string>

#include "obclient/obclient.h"

namespace fuzzing {
namespace {

const char* const keys[] = {
    "id", "time", "source", "type", "text", "status", "severity", "count", "creationTime",
    "firstOccurrenceTime", "lastUpdated", "measurements", "value", "units", "unit", "params", "deviceId", "name",
    "t5o_SupportedOperations", "t5o_SupportedMeasurements", "t5o_Position", "childDevices", "childAssets",
    "childAdditions", "deviceParents", "assetParents", "additionParents", "tenantId", "lat", "lng", "t5o_Temperature"};

const char* const texts[] = {
    "CRITICAL", "MAJOR", "MINOR", "WARNING", "ACTIVE", "ACKNOWLEDGED", "CLEARED", "SUCCESSFUL", "FAILED",
    "EXECUTING", "PENDING", "minor", "ACTIVE ", "12.5", "0x1A", " 7e3", "nan", "inf", "", "42",
    "2024-02-01T10:00:00.000Z", "2024-02-01T10:00:00Z", "2024-02-01T10:00:00.250+01:00",
    "2024-02-01T10:00:00-0530", "2024-02-01T10:00:00Z12:00", "2024-02-01T10:00:00+ab:cd", "2024-13-45T99:99:99.999Z",
    "2024-02-01T10:00:00.0", "9999-12-31T23:59:60.999-23:59"};

const char* const paths[] = {"t1/x/alarms",         "t1/x/events/1",      "t1/x/measurements",
                             "t1/x/managedobjects", "t1/x/operations/9",  "t1/x/mx",
                             "a//alarms",           "alarms",             "t1/x/inventory/5",
                             "t1/x/measurements2",  "t1/x/alarmsX/1",     ""};

template <std::size_t N>
const char* pick(FuzzedDataProvider& input, const char* const (&from)[N])
{
    return from[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

vlm_data_t makeText(FuzzedDataProvider& input)
{
    if (input.ConsumeBool())
        return obclient_string(pick(input, texts));
    const std::string random = input.ConsumeRandomLengthString(40);
    return obclient_string(random.c_str());
}

vlm_data_t makeDouble(FuzzedDataProvider& input)
{
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
        return obclient_double(std::numeric_limits<double>::quiet_NaN());
    case 1:
        return obclient_double(-0.0);
    case 2:
        return obclient_double(std::numeric_limits<double>::infinity());
    default:
        return obclient_double(input.ConsumeFloatingPoint<double>());
    }
}

vlm_data_t makeMap(FuzzedDataProvider& input, int depth)
{
    vlm_map_table_t* map = nullptr;
    const int entries = input.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < entries; ++i) {
        // Keys are mostly the codec's own, sometimes another kind; custom keys cannot be hashed.
        vlm_data_t key = input.ConsumeIntegralInRange(0, 9) < 8 ? obclient_string(pick(input, keys))
                                                                 : makeValue(input, depth + 1);
        if (key.tag == VLM_TAG_CUSTOM) {
            obclient_free_data(key);
            continue;
        }
        obclient_map_insert(&map, key, makeValue(input, depth + 1));
    }
    return obclient_map_value(map);
}

vlm_data_t makeList(FuzzedDataProvider& input, int depth)
{
    vlm_list_t* list = input.ConsumeBool() ? obclient_list_new(4) : nullptr;
    const int items = input.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < items; ++i)
        obclient_list_append(&list, makeValue(input, depth + 1));
    return obclient_list_value(list);
}

} // namespace

vlm_data_t makeValue(FuzzedDataProvider& input, int depth)
{
    const int kind = input.ConsumeIntegralInRange(0, depth > 4 ? 6 : 11);
    switch (kind) {
    case 0:
        return vlm_data_t{};
    case 1:
        return obclient_boolean(input.ConsumeBool());
    case 2:
        return makeDouble(input);
    case 3:
        return obclient_integer(input.ConsumeIntegral<int64_t>());
    case 4:
        return obclient_decimal(input.ConsumeIntegral<uint64_t>());
    case 5:
        return makeText(input);
    case 6:
        return obclient_borrowed_string(pick(input, texts));
    case 7: {
        const std::string bytes = input.ConsumeRandomLengthString(16);
        return obclient_buffer(bytes.data(), bytes.size());
    }
    case 8:
        return obclient_custom(nullptr, nullptr, nullptr);
    case 9:
        return makeList(input, depth);
    default:
        return makeMap(input, depth);
    }
}

vlm_data_t makeConfiguration(FuzzedDataProvider& input)
{
    vlm_map_table_t* config = nullptr;
    const char* const configKeys[] = {"measurementSplittingChannel", "towardsHostChannelPrefix", "tenantId", "other"};
    for (const char* key : configKeys) {
        if (input.ConsumeBool())
            obclient_map_insert_string(&config, key, makeValue(input, 5));
    }
    return obclient_map_value(config);
}

std::vector<vlm_message_t> makeBatch(FuzzedDataProvider& input)
{
    std::vector<vlm_message_t> batch(input.ConsumeIntegralInRange<std::size_t>(0, 8));
    for (vlm_message_t& message : batch) {
        message.payload = input.ConsumeIntegralInRange(0, 9) < 8 ? makeMap(input, 0) : makeValue(input, 0);
        if (input.ConsumeIntegralInRange(0, 9) < 9) {
            vlm_data_t path = input.ConsumeIntegralInRange(0, 9) < 8 ? obclient_string(pick(input, paths))
                                                                      : makeValue(input, 5);
            obclient_map_insert_string(&message.metadata, "pulsarPath", path);
        }
    }
    return batch;
}

} // namespace fuzzing
