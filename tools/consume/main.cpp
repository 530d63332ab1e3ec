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
#include "tools/common/file_output.h"
#include "tools/common/log_text.h"
#include "tools/common/output.h"
#include "tools/common/same_file.h"
#include "tools/common/summary.h"
#include "tools/consume/capture_file.h"
#include "tools/consume/connection_phase.h"
#include "tools/consume/consume_options.h"
#include "tools/consume/consume_setup.h"
#include "tools/consume/consume_texts.h"
#include "tools/consume/conversion_worker.h"
#include "tools/consume/service_client.h"

namespace {

using namespace consume;

int fail(int status, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s\n", texts::toolName, reason.c_str());
    if (status == exitUsage)
        std::fprintf(stderr, "%s\n", texts::tryHelp);
    return status;
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

void printSummary(const tools::Tally& tally, const ConsumeTally& consumed,
                  const tools::FileEventOutput& output, const CaptureFile& capture,
                  std::chrono::steady_clock::duration elapsed)
{
    tools::printSummaryLine("frames received", consumed.received);
    tools::printSummaryLine("frames acknowledged", consumed.acknowledged);
    printCounts("skipped by action", consumed.skippedByAction);
    tools::printConversionLines(tally);
    tools::printSummaryLine("frame errors", consumed.frameErrors);
    tools::printSummaryLine("frames too large", consumed.tooLarge);
    tools::printSummaryLine("frames not acknowledged", consumed.notAcknowledged);
    tools::printSummaryLine("output write errors", consumed.outputWriteErrors);
    tools::printSummaryLine("output commits", consumed.commits);
    tools::printSummaryLine(
        "  waited ms", std::chrono::duration_cast<std::chrono::milliseconds>(consumed.commitTime).count());
    tools::printSummaryLine("output reopened",
                            consumed.outputReopens + output.movedAway() + output.rewrittenAfterUnlink());
    tools::printSummaryLine("capture write errors", capture.writeErrors());
    printCounts("reconnects", consumed.reconnectsByCause);
    printPhases(consumed);
    tools::printElapsed(elapsed, consumed.received, "frames");
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

    tools::routeCodecLog(options);
    tools::Tally tally;
    ConsumeTally consumed;
    tools::EventWriter writer(tally);
    tools::CodecSession codec(*plugin);
    if (!codec.open(options, config.get(), writer, reason))
        return fail(exitPlugin, reason);
    config.reset(); // the codec keeps its own copy
    // Only now: a run that cannot start leaves an existing output as it was.
    tools::FileEventOutput output;
    if (!output.open({options.outputFile, tools::OutputFile::Mode::Append, options.syncOutput}, reason))
        return fail(exitUsage, reason);
    if (output.cutAtOpen() != 0)
        std::fprintf(stderr, "%s: %s%llu %s\n", texts::toolName, texts::outputCut,
                     static_cast<unsigned long long>(output.cutAtOpen()), texts::bytes);
    writer.setOutput(output);
    CaptureFile capture;
    if (!capture.open(options.captureFile, reason))
        return fail(exitUsage, reason);

    const auto started = std::chrono::steady_clock::now();
    int status = exitStopped;
    {
        ConversionWorker worker(options.actions, options.batchSize, codec, writer, output, tally, consumed,
                                capture);
        status = runServiceClient(options, url, worker, consumed, [&worker] { worker.requestReopen(); });
    }
    codec.close();
    if (!options.quiet)
        printSummary(tally, consumed, output, capture, std::chrono::steady_clock::now() - started);
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
    if (parsed.outcome == tools::OptionsOutcome::Help) {
        std::fputs(usageText().c_str(), stdout);
        return exitStopped;
    }
    if (parsed.outcome == tools::OptionsOutcome::UsageError)
        return fail(exitUsage, parsed.error);
    if (parsed.outcome == tools::OptionsOutcome::Version)
        return printConsumerVersion(parsed.options);
    if (parsed.options.check)
        return checkConsumerSetup(parsed.options);
    // A closed output pipe is an output that cannot be written (exit 5), not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    const obclient_counts_t before = obclient_live_counts();
    const int status = consumeStream(parsed.options);
    obclient_clear_user_status();
    tools::checkHostValuesReleased(texts::toolName, before);
    return status;
}
