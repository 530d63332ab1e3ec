// tessaro-consume: the replay tool's live counterpart. It converts the platform's
// websocket notification stream through the codec plug-in, writes the events, and
// acknowledges each frame only once what it produced is durable.
#include <pthread.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "obclient/obclient.h"
#include "tools/common/codec_session.h"
#include "tools/common/configuration.h"
#include "tools/common/configuration_warnings.h"
#include "tools/common/log_text.h"
#include "tools/common/output.h"
#include "tools/common/same_file.h"
#include "tools/common/summary.h"
#include "tools/common/tool_process.h"
#include "tools/consume/capture_file.h"
#include "tools/consume/connection_phase.h"
#include "tools/consume/consume_options.h"
#include "tools/consume/consume_output.h"
#include "tools/consume/consume_setup.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/conversion_worker.h"
#include "tools/consume/operations.h"
#include "tools/consume/service_client.h"

namespace {

using namespace consume;

constexpr tools::ToolIdentity consumeTool{texts::toolName, texts::tryHelp, exitOutput};

int fail(int status, const std::string& reason)
{
    return tools::fail(consumeTool, status, reason);
}

// The output must not overwrite a file this run reads or writes besides it.
std::string sameFileRefused(const Options& options)
{
    const std::string output =
        tools::sameFileAs(options.outputFile, {options.configFile, options.tokenFile, options.captureFile});
    if (!output.empty())
        return texts::outputIsAnotherFile + output;
    const std::string capture =
        tools::sameFileAs(options.captureFile, {options.configFile, options.tokenFile});
    if (!capture.empty())
        return texts::captureIsAnotherFile + capture;
    return {};
}

// A total, then its parts. The names may come from the service, so they are escaped.
void printCounts(const std::string& label, const CountsByName& counts)
{
    uint64_t total = 0;
    for (const auto& entry : counts)
        total += entry.second;
    tools::printSummaryLine(label, total);
    for (const auto& [name, count] : counts)
        tools::printSummaryLine("  " + tools::escapedForLog(name), count);
}

void printPhases(const ConsumeTally& consumed)
{
    uint64_t total = 0;
    for (const uint64_t entries : consumed.phaseEntries)
        total += entries;
    tools::printSummaryLine("connection phases entered", total);
    for (size_t phase = 0; phase < phaseCount; ++phase)
        tools::printSummaryLine(std::string("  ") + phaseName(static_cast<Phase>(phase)),
                                consumed.phaseEntries[phase]);
}

// The counts the metrics page shows are read from the same metrics, so that both agree.
void printSummary(const tools::Tally& tally, const ConsumeTally& consumed, const ConsumeOutput& output,
                  std::chrono::steady_clock::duration elapsed)
{
    const ConsumeMetrics& metrics = consumed.metrics;
    tools::printSummaryLine("frames received", metrics.framesReceived.value());
    tools::printSummaryLine("frames acknowledged", metrics.framesAcknowledged.value());
    printCounts("skipped by action", metrics.framesSkipped.values());
    tools::printConversionLines(tally);
    tools::printSummaryLine("frame errors", metrics.frameErrors.value());
    tools::printSummaryLine("frames too large", consumed.tooLarge);
    tools::printSummaryLine("frames not acknowledged", consumed.notAcknowledged);
    tools::printSummaryLine("output write errors", metrics.outputWriteErrors.value());
    const Histogram::Reading syncs = metrics.outputSync.read();
    tools::printSummaryLine("output commits", syncs.cumulative.back());
    tools::printSummaryLine("  waited ms", static_cast<uint64_t>(syncs.sumSeconds * 1000));
    printOutputSummary(output, consumed.outputReopens);
    tools::printSummaryLine("capture write errors", metrics.captureWriteErrors.value());
    printCounts("reconnects", metrics.reconnects.values());
    printPhases(consumed);
    tools::printElapsed(elapsed, metrics.framesReceived.value(), "frames");
}

int consumeStream(const Options& options)
{
    ServiceUrl url;
    if (!parseServiceUrl(options.url, url))
        return fail(exitUsage, texts::badUrl + options.url);
    std::string reason = sameFileRefused(options);
    if (!reason.empty())
        return fail(exitUsage, reason);
    tools::HostValue config;
    if (!tools::buildConfiguration(options, config, reason))
        return fail(exitUsage, reason);
    const std::unique_ptr<PluginLibrary> plugin = tools::loadPlugin(options.pluginPath, reason);
    if (plugin == nullptr)
        return fail(exitPlugin, reason);

    tools::printConfigurationWarnings(texts::toolName, config.get());
    tools::routeCodecLog(options);
    tools::Tally tally;
    ConsumeTally consumed;
    tools::EventWriter writer(tally);
    tools::CodecSession codec(*plugin);
    if (!codec.open(options, config.get(), writer, reason))
        return fail(exitPlugin, reason);
    config.reset(); // the codec keeps its own copy
    // Only now: a run that cannot start leaves an existing output as it was.
    ConsumeOutput output;
    if (!openOutput(options, output, consumed.metrics, reason))
        return fail(exitUsage, reason);
    writer.setOutput(output.get());
    CaptureFile capture;
    if (!capture.open(options.captureFile, reason))
        return fail(exitUsage, reason);

    Operations operations(options, consumed.metrics);
    if (!operations.start(reason))
        return fail(exitUsage, reason);

    const auto started = std::chrono::steady_clock::now();
    int status = exitStopped;
    {
        ConversionWorker worker(options.actions, options.batchSize, codec, writer, output.get(), tally,
                                consumed, capture);
        status = runServiceClient(
            options, url, worker, consumed, [&worker] { worker.requestReopen(); }, operations);
    }
    status = outputExitStatus(output, status);
    codec.close();
    if (!options.quiet)
        printSummary(tally, consumed, output, std::chrono::steady_clock::now() - started);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything else: a stop signal that comes while the tool starts must wait for the event loop,
    // which takes it, instead of ending the tool by the default action. Threads started later inherit this.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, number);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const ParsedOptions parsed = parseOptions(argc, argv);
    tools::ignoreBrokenPipes();
    if (parsed.outcome == tools::OptionsOutcome::Help)
        return tools::printHelp(consumeTool, usageText());
    if (parsed.outcome == tools::OptionsOutcome::UsageError)
        return fail(exitUsage, parsed.error);
    if (parsed.outcome == tools::OptionsOutcome::Version)
        return printConsumerVersion(parsed.options);
    if (parsed.options.check)
        return checkConsumerSetup(parsed.options);

    const obclient_counts_t before = obclient_live_counts();
    const int status = tools::runNamingOutOfMemory(consumeTool, exitOutput, texts::outOfMemory,
                                                   [&] { return consumeStream(parsed.options); });
    obclient_clear_user_status();
    tools::checkHostValuesReleased(texts::toolName, before);
    return status;
}
