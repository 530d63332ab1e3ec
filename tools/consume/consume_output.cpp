#include "tools/consume/consume_output.h"

#include <cstdio>
#include <stdexcept>

#include "tools/common/summary.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/mqtt_target.h"
#include "tools/consume/mqtt_texts.h"

namespace consume {

namespace {

void printLine(const std::string& line)
{
    std::fprintf(stderr, "%s: %s\n", texts::toolName, line.c_str());
}

bool openMqtt(const Options& options, ConsumeOutput& output, ConsumeMetrics& metrics, std::string& reason)
{
    MqttSettings settings;
    if (!parseMqttTarget(options.outputFile, settings.target, reason))
        return false;
    settings.qos = options.mqttQos < 0 ? 1 : options.mqttQos;
    settings.caFile = options.mqttCaFile;
    settings.passwordFile = options.mqttPasswordFile;
    settings.clientId = mqttClientId(options.consumer);
    settings.reconnectMax = options.reconnectMax;
    if (!options.quiet)
        settings.log = printLine;
    try {
        output.mqtt = std::make_unique<MqttEventOutput>(std::move(settings), metrics.broker);
    } catch (const std::runtime_error& error) {
        reason = error.what();
        return false;
    }
    metrics.brokerOutput = true;
    return true;
}

} // namespace

bool openOutput(const Options& options, ConsumeOutput& output, ConsumeMetrics& metrics, std::string& reason)
{
    if (isMqttUrl(options.outputFile))
        return openMqtt(options, output, metrics, reason);
    // Given for a broker, they would be ignored by a file, and the user would not know.
    if (!options.mqttPasswordFile.empty() || !options.mqttCaFile.empty() || options.mqttQos >= 0) {
        reason = mqtt_texts::optionsWithoutBroker;
        return false;
    }
    output.file = std::make_unique<tools::FileEventOutput>();
    if (!output.file->open({options.outputFile, tools::OutputFile::Mode::Append, options.syncOutput}, reason))
        return false;
    if (output.file->cutAtOpen() != 0)
        std::fprintf(stderr, "%s: %s%llu %s\n", texts::toolName, texts::outputCut,
                     static_cast<unsigned long long>(output.file->cutAtOpen()), texts::bytes);
    return true;
}

int outputExitStatus(const ConsumeOutput& output, int status)
{
    return output.mqtt != nullptr && output.mqtt->loginRefused() ? exitLoginRefused : status;
}

void printOutputSummary(const ConsumeOutput& output, uint64_t reopens)
{
    if (output.file != nullptr) {
        tools::printSummaryLine("output reopened",
                                reopens + output.file->movedAway() + output.file->rewrittenAfterUnlink());
        return;
    }
    const BrokerMetrics& broker = output.mqtt->metrics();
    tools::printSummaryLine("broker publishes", broker.publishes.value());
    tools::printSummaryLine("broker acknowledgements", broker.acknowledgements.value());
    tools::printSummaryLine("broker reconnects", broker.reconnects.total());
    for (const auto& [cause, count] : broker.reconnects.values())
        tools::printSummaryLine("  " + cause, count);
    tools::printSummaryLine("broker messages in flight at stop",
                            static_cast<uint64_t>(broker.inFlight.value()));
}

} // namespace consume
