// Every fixed text of the MQTT output, in one place.
#pragma once

namespace consume::mqtt_texts {

// The --output URL (usage errors).
constexpr const char* badScheme = "an MQTT output is mqtt://[USER@]HOST[:PORT]/PREFIX or mqtts://..., not ";
constexpr const char* passwordInUrl = "the password goes in --mqtt-password-file, never in the URL: ";
constexpr const char* emptyUser = "the user before '@' is empty in ";
constexpr const char* emptyHost = "no broker host in ";
constexpr const char* badPort = "the port is a number from 1 to 65535 in ";
constexpr const char* badBrackets = "an IPv6 address wants [ADDRESS] or [ADDRESS]:PORT in ";
constexpr const char* missingPrefix = "no topic prefix after the host in ";
constexpr const char* badPrefix = "the topic prefix may not hold '+', '#', NUL or end with '/' in ";

// Settings the publisher cannot start with.
constexpr const char* badQos = "--mqtt-qos wants 0, 1 or 2, not ";
constexpr const char* optionsWithoutBroker =
    "--mqtt-password-file, --mqtt-ca-file and --mqtt-qos need --output mqtt://... or mqtts://...";
constexpr const char* passwordWithoutUser =
    "--mqtt-password-file needs a user in the URL (mqtt://USER@HOST/...)";
constexpr const char* cannotReadPassword = "cannot read the MQTT password from ";
constexpr const char* cannotUseCa = "cannot use the broker's certificate authorities: ";
constexpr const char* clientFailed = "cannot set up the MQTT client: ";

// An event that cannot be published as it is.
constexpr const char* badTopic = "no MQTT topic can be made from channel ";
constexpr const char* eventTooLarge = "an MQTT message cannot carry an event of ";
constexpr const char* bytesOnTopic = " bytes, on ";

// Reconnect causes, in the log, the summary and the metrics.
constexpr const char* causeConnectFailed = "broker connection failed";
constexpr const char* causeLost = "broker connection lost";
constexpr const char* causeTls = "broker TLS failed";
constexpr const char* causeRefused = "refused by the broker";
constexpr const char* causeNoPingAnswer = "broker answers no pings";
constexpr const char* causePassword = "password file unreadable";

// Ends the publisher.
constexpr const char* loginRefused = "the broker refused the login of ";
constexpr const char* publishFailed = "the MQTT client cannot publish: ";
constexpr const char* brokerRefusedEvent = "the broker refused an event: ";

// The log.
constexpr const char* connectedTo = "connected to broker ";
constexpr const char* reconnectingIn = "; reconnecting to the broker in ";

constexpr const char* passthroughChannel = "passthrough";

} // namespace consume::mqtt_texts
