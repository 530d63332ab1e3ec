#include "bench/sample_notifications.h"

#include <simdjson.h>

#include <stdexcept>
#include <string>

#include "tools/common/message_json.h"

namespace bench {

const std::array<SampleNotification, 5> sampleNotifications = {{
    {"alarm", "com.orbel.tessaro.Alarm", R"({"metadata":{"pulsarPath":"t48213/sub/alarms/17"},"payload":{
        "id":"1004711","self":"https://t48213.iot.example.com/alarm/alarms/1004711",
        "source":{"id":"839670","name":"Sensor 839670",
                  "self":"https://t48213.iot.example.com/inventory/managedObjects/839670"},
        "type":"t5o_TemperatureAlarm","text":"Temperature above threshold",
        "time":"2024-02-01T10:00:00.123Z","creationTime":"2024-02-01T10:00:01.002Z",
        "firstOccurrenceTime":"2024-02-01T10:00:00.123Z","lastUpdated":"2024-02-01T11:00:00.000+01:00",
        "status":"ACTIVE","severity":"MAJOR","count":3,
        "history":{"auditRecords":[],"self":"https://t48213.iot.example.com/audit/auditRecords"}}})"},
    {"event", "com.orbel.tessaro.Event", R"({"metadata":{"pulsarPath":"t48213/sub/events/17"},"payload":{
        "id":"1004713","self":"https://t48213.iot.example.com/event/events/1004713",
        "source":{"id":"839670","name":"Sensor 839670",
                  "self":"https://t48213.iot.example.com/inventory/managedObjects/839670"},
        "type":"t5o_LocationUpdate","text":"Location updated","time":"2024-02-01T10:00:00.123Z",
        "creationTime":"2024-02-01T10:00:01.002Z","lastUpdated":"2024-02-01T10:00:01.002Z",
        "t5o_Position":{"lat":52.370216,"lng":4.895168,"alt":12.5}}})"},
    {"measurement", "com.orbel.tessaro.Measurement",
     R"({"metadata":{"pulsarPath":"t48213/sub/measurements/17"},
      "payload":{
        "id":"1004717","self":"https://t48213.iot.example.com/measurement/measurements/1004717",
        "source":{"id":"839670","self":"https://t48213.iot.example.com/inventory/managedObjects/839670"},
        "type":"t5o_TemperatureMeasurement","time":"2024-02-01T10:00:00.123Z",
        "t5o_TemperatureMeasurement":{"T":{"value":21.37,"unit":"C"}},
        "t5o_Battery":{"level":{"value":87,"unit":"%"},"voltage":{"value":3.71,"unit":"V"}},
        "t5o_SignalStrength":{"rssi":{"value":-71,"unit":"dBm"}}}})"},
    {"managedobject", "com.orbel.tessaro.ManagedObject",
     R"({"metadata":{"pulsarPath":"t48213/sub/managedobjects/17"},
      "payload":{
        "id":"839670","self":"https://t48213.iot.example.com/inventory/managedObjects/839670",
        "name":"Sensor 839670","type":"t5o_Gateway","owner":"device_839670",
        "creationTime":"2024-01-15T08:12:44.318Z","lastUpdated":"2024-02-01T10:00:01.002Z","t5o_IsDevice":{},
        "t5o_SupportedOperations":["t5o_Restart","t5o_Configuration","t5o_Firmware","t5o_Command"],
        "t5o_SupportedMeasurements":["t5o_TemperatureMeasurement","t5o_Battery"],
        "t5o_Hardware":{"model":"TX-420","revision":"r3","serialNumber":"SN4810023311"},
        "t5o_Position":{"lat":52.370216,"lng":4.895168,"alt":12.5},
        "childDevices":{"references":[
            {"managedObject":{"id":"123456","name":"Child 123456",
                              "self":"https://t48213.iot.example.com/inventory/managedObjects/123456"}},
            {"managedObject":{"id":"123457","name":"Child 123457",
                              "self":"https://t48213.iot.example.com/inventory/managedObjects/123457"}},
            {"managedObject":{"id":"123458","name":"Child 123458",
                              "self":"https://t48213.iot.example.com/inventory/managedObjects/123458"}}],
          "self":"https://t48213.iot.example.com/inventory/managedObjects/references"},
        "childAssets":{"references":[],"self":"https://t48213.iot.example.com/inventory/managedObjects/references"},
        "childAdditions":{"references":[
            {"managedObject":{"id":"223344","name":"Child 223344",
                              "self":"https://t48213.iot.example.com/inventory/managedObjects/223344"}}],
          "self":"https://t48213.iot.example.com/inventory/managedObjects/references"},
        "deviceParents":{"references":[
            {"managedObject":{"id":"654321","name":"Child 654321",
                              "self":"https://t48213.iot.example.com/inventory/managedObjects/654321"}}],
          "self":"https://t48213.iot.example.com/inventory/managedObjects/references"},
        "assetParents":{"references":[],"self":"https://t48213.iot.example.com/inventory/managedObjects/references"},
        "additionParents":{"references":[],
                           "self":"https://t48213.iot.example.com/inventory/managedObjects/references"}}})"},
    {"operation", "com.orbel.tessaro.Operation",
     R"({"metadata":{"pulsarPath":"t48213/sub/operations/17"},"payload":{
        "id":"1004719","self":"https://t48213.iot.example.com/devicecontrol/operations/1004719",
        "source":{"id":"839670","name":"Sensor 839670",
                  "self":"https://t48213.iot.example.com/inventory/managedObjects/839670"},
        "deviceId":"839670","deviceName":"Sensor 839670","status":"EXECUTING",
        "creationTime":"2024-02-01T10:00:01.002Z","description":"Restart device","t5o_Restart":{}}})"},
}};

vlm_message_t readSampleMessage(const SampleNotification& sample)
{
    simdjson::dom::parser parser;
    simdjson::dom::element json;
    if (parser.parse(simdjson::padded_string(std::string(sample.json))).get(json))
        throw std::runtime_error(std::string("the ") + sample.name + " sample is not JSON");
    vlm_message_t message{};
    std::string reason;
    if (!tools::readMessage(json, message, reason))
        throw std::runtime_error(std::string("the ") + sample.name + " sample is not a message: " + reason);
    return message;
}

} // namespace bench
