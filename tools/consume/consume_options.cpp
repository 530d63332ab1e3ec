#include "tools/consume/consume_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tools/common/exit_status.h"
#include "tools/common/texts.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/mqtt_texts.h"
#include "tools/consume/operations_texts.h"

namespace consume {

namespace {

enum OptionId {
    optUrl = tools::firstToolOptionId,
    optTokenFile,
    optTokenCommand,
    optConsumer,
    optBatchWait,
    optActions,
    optCapture,
    optPingInterval,
    optReconnectMax,
    optCaFile,
    optMetrics,
    optNoSync,
    optTokenTimeout,
    optMaxBufferedBytes,
    optMaxRecordBytes,
    optMqttPasswordFile,
    optMqttCaFile,
    optMqttQos,
};

constexpr long largestByteBound = 1L << 40;

const std::vector<option> consumeOptions = {
    {"url", required_argument, nullptr, optUrl},
    {"token-file", required_argument, nullptr, optTokenFile},
    {"token-command", required_argument, nullptr, optTokenCommand},
    {"consumer", required_argument, nullptr, optConsumer},
    {"batch-wait", required_argument, nullptr, optBatchWait},
    {"actions", required_argument, nullptr, optActions},
    {"capture", required_argument, nullptr, optCapture},
    {"ping-interval", required_argument, nullptr, optPingInterval},
    {"reconnect-max", required_argument, nullptr, optReconnectMax},
    {"ca-file", required_argument, nullptr, optCaFile},
    {"metrics", required_argument, nullptr, optMetrics},
    {"no-sync", no_argument, nullptr, optNoSync},
    {"token-timeout", required_argument, nullptr, optTokenTimeout},
    {"max-buffered-bytes", required_argument, nullptr, optMaxBufferedBytes},
    {"max-record-bytes", required_argument, nullptr, optMaxRecordBytes},
    {"mqtt-password-file", required_argument, nullptr, optMqttPasswordFile},
    {"mqtt-ca-file", required_argument, nullptr, optMqttCaFile},
    {"mqtt-qos", required_argument, nullptr, optMqttQos},
};

// Seconds with a fraction, as milliseconds.
bool readSeconds(const char* text, double lowest, double highest, std::chrono::milliseconds& duration)
{
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !(seconds >= lowest && seconds <= highest))
        return false;
    duration = std::chrono::milliseconds(std::llround(seconds * 1000));
    return true;
}

bool applyOption(int id, const char* value, Options& options, std::string& error)
{
    long number = 0;
    switch (id) {
    case optUrl:
        options.url = value;
        return true;
    case optTokenFile:
        options.tokenFile = value;
        return true;
    case optTokenCommand:
        options.tokenCommand = value;
        return true;
    case optConsumer:
        options.consumer = value;
        return true;
    case optBatchWait:
        if (!tools::readWholeNumber(value, 1, 3600000, number)) {
            error = texts::badBatchWait + std::string(value);
            return false;
        }
        options.batchWait = std::chrono::milliseconds(number);
        return true;
    case optActions:
        if (!tools::readActions(value, options.actions)) {
            error = tools::texts::badActions + std::string(value);
            return false;
        }
        return true;
    case optCapture:
        options.captureFile = value;
        return true;
    case optPingInterval:
        if (!readSeconds(value, 0.01, 3600, options.pingInterval)) {
            error = texts::badPingInterval + std::string(value);
            return false;
        }
        return true;
    case optReconnectMax:
        if (!readSeconds(value, 0.1, 86400, options.reconnectMax)) {
            error = texts::badReconnectMax + std::string(value);
            return false;
        }
        return true;
    case optCaFile:
        options.caFile = value;
        return true;
    case optMetrics:
        options.serveMetrics = parseListenAddress(value, options.metrics);
        if (!options.serveMetrics)
            error = texts::badMetricsAddress + std::string(value);
        return options.serveMetrics;
    case optNoSync:
        options.syncOutput = false;
        return true;
    case optTokenTimeout:
        if (!readSeconds(value, 0.1, 3600, options.tokenTimeout)) {
            error = texts::badTokenTimeout + std::string(value);
            return false;
        }
        return true;
    case optMaxBufferedBytes:
        if (!tools::readWholeNumber(value, 1024, largestByteBound, number)) {
            error = texts::badMaxBufferedBytes + std::string(value);
            return false;
        }
        options.maxBufferedBytes = static_cast<uint64_t>(number);
        return true;
    case optMaxRecordBytes:
        if (!tools::readWholeNumber(value, 1, largestByteBound, number)) {
            error = texts::badMaxRecordBytes + std::string(value);
            return false;
        }
        options.maxRecordBytes = static_cast<uint64_t>(number);
        return true;
    case optMqttPasswordFile:
        options.mqttPasswordFile = value;
        return true;
    case optMqttCaFile:
        options.mqttCaFile = value;
        return true;
    case optMqttQos:
        if (!tools::readWholeNumber(value, 0, 2, number)) {
            error = mqtt_texts::badQos + std::string(value);
            return false;
        }
        options.mqttQos = static_cast<int>(number);
        return true;
    }
    return false;
}

} // namespace

std::string usageText()
{
    return "Usage: tessaro-consume --url URL (--token-file FILE | --token-command CMD) [options]\n"
           "Converts the platform's live websocket notification stream through the codec\n"
           "plug-in, writes the events, and acknowledges each frame once its events are durable.\n"
           "\n"
           "  --url URL            websocket URL of the service's consumer endpoint (ws:// or\n"
           "                       wss://); token=TOKEN and consumer=NAME are added to its query\n"
           "  --token-file FILE    the access token, read again before every connection\n"
           "  --token-command CMD  run by /bin/sh before every connection; its output, trimmed,\n"
           "                       is the token\n"
           "  --token-timeout S    the token command's time limit; past it its process group is\n"
           "                       killed (default 30). A token that cannot be read at start is\n"
           "                       a configuration error; later, the last good token is kept\n"
           "  --consumer NAME      consumer name for a shared subscription: distinct and stable\n"
           "                       per process\n"
           "  --batch-wait MS      hand a partial batch to the codec after this long (default 100)\n"
           "  --actions LIST       actions handed to the codec (default CREATE,UPDATE); frames\n"
           "                       with other actions are acknowledged and counted\n"
           "  --capture FILE       append every received frame in the frames format; a failed\n"
           "                       write is reported and counted, and the stream goes on\n"
           "  --no-sync            acknowledge once the events are written, without waiting for\n"
           "                       the disk (fdatasync): faster, but a host crash or power loss\n"
           "                       can lose events the service has already discarded\n"
           "  --ping-interval S    ping after S seconds without traffic; no traffic for another\n"
           "                       S means the connection is dead (default 30)\n"
           "  --reconnect-max S    cap of the reconnect backoff (default 60)\n"
           "  --ca-file FILE       certificate authorities for wss:// instead of the system's\n"
           "  --metrics ADDRESS:PORT\n"
           "                       serve GET /metrics (Prometheus text) and GET /health (200\n"
           "                       while connected or lately connected, else 503) there\n"
           "  --output mqtt://[USER@]HOST[:PORT]/PREFIX\n"
           "                       publish each event to an MQTT broker, on PREFIX/CHANNEL, instead\n"
           "                       of writing a file; mqtts:// for TLS (port 1883, or 8883 for mqtts)\n"
           "  --mqtt-password-file FILE\n"
           "                       the password of USER, read again before each connection\n"
           "  --mqtt-ca-file FILE  certificate authorities for mqtts:// instead of the system's\n"
           "  --mqtt-qos N         0, 1 (default) or 2. With 0 nothing waits for the broker: a frame\n"
           "                       is acknowledged once its events are written to the socket\n" +
           tools::sharedOptionsUsage(Options().chainId, "appended to, never replaced") +
           "  --max-record-bytes N a longer frame is read through without being kept, reported\n"
           "                       and acknowledged (default 67108864)\n"
           "  --max-buffered-bytes N  frames received and not yet written, in bytes, past which\n"
           "                       the connection is not read (default 67108864)\n" +
           "\n"
           "The output file is appended to and synced to the disk before frames are acknowledged;\n"
           "an unfinished last line left by an earlier run is cut off at start. Deleted or\n"
           "renamed while running, it is opened again at its path.\n"
           "SIGINT or SIGTERM: stop reading, write and acknowledge what was received, exit.\n"
           "SIGHUP: reopen --output and --capture (after logrotate moved them), and go on.\n" +
           tools::exitStatusHelp(exitStatusMeanings());
}

ParsedOptions parseOptions(int argc, char** argv)
{
    ParsedOptions parsed;
    const auto apply = [&parsed](int id, const char* value, std::string& error) {
        return applyOption(id, value, parsed.options, error);
    };
    std::vector<std::string> operands;
    parsed.outcome =
        tools::parseCommandLine(argc, argv, consumeOptions, apply, parsed.options, operands, parsed.error);
    if (parsed.outcome != tools::OptionsOutcome::Run)
        return parsed;
    parsed.outcome = tools::OptionsOutcome::UsageError;
    if (!operands.empty())
        parsed.error = texts::unexpectedOperand + operands.front();
    else if (parsed.options.url.empty())
        parsed.error = texts::missingUrl;
    else if (parsed.options.tokenFile.empty() == parsed.options.tokenCommand.empty())
        parsed.error = texts::oneTokenSource;
    else
        parsed.outcome = tools::OptionsOutcome::Run;
    return parsed;
}

} // namespace consume
