// Fixed texts of the codec's failures and log lines, and the few ways they are
// put together with the offending key, value or kind.
#pragma once

#include <string>

namespace com::velmora::connectivity::plugins::pulsar::errors {

// Where a required key was looked for.
inline constexpr const char* messagePayloadContext = "message payload";
inline constexpr const char* sourceContext = "source";

inline constexpr const char* nonStringMetadataKey = "Cannot use non-string keys into metadata";
inline constexpr const char* missingMeasurementValue = "'value' key missing from measurement value";
inline constexpr const char* noPulsarPath = "No Pulsar path found";
inline constexpr const char* unrecognizedEnumValue = "Unrecognized enum value.";

inline std::string requiredKeyMissing(const char* key, const char* context)
{
    return std::string("Required key '") + key + "' missing from " + context;
}

inline std::string notAString(const char* key)
{
    return std::string("Value for key '") + key + "' is not a string.";
}

inline std::string problemWithKey(const char* key, const char* reason)
{
    return std::string("Problem with key '") + key + "': " + reason;
}

inline std::string unparsableTimestamp(const char* text, const char* key)
{
    return std::string("Error parsing timestamp '") + text + "' in key '" + key + "'";
}

inline std::string unrecognizedAlarmSeverity(const char* text)
{
    return std::string("Unrecognized alarm severity: ") + text;
}

inline std::string unrecognizedAlarmStatus(const char* text)
{
    return std::string("Unrecognized alarm status: ") + text;
}

inline std::string unrecognizedOperationStatus(const char* text)
{
    return std::string("Unrecognized operation status: ") + text;
}

inline std::string unrecognisedPulsarType(const std::string& name)
{
    return "Unrecognised Pulsar message type: '" + name + "'";
}

} // namespace com::velmora::connectivity::plugins::pulsar::errors

namespace com::velmora::connectivity::plugins::pulsar::logTexts {

inline constexpr const char* processingMessage = "Processing message: ";

// One line per dropped message; the id is named only when the message had a string one.
inline std::string transformError(bool towardsTransport, const char* id, const char* reason)
{
    std::string text = "Error when transforming message towards ";
    text += towardsTransport ? "transport" : "host";
    if (id != nullptr)
        text = text + " ('id' = '" + id + "')";
    if (reason != nullptr)
        text = text + ": " + reason;
    return text;
}

} // namespace com::velmora::connectivity::plugins::pulsar::logTexts
