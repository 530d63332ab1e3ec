// tessaro-consume: the replay tool's live counterpart. It converts the platform's
// websocket notification stream through the codec plug-in, writes the events, and
// acknowledges each frame only once what it produced is durable.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "obclient/obclient.h"
#include "tools/common/codec_session.h"
#include "tools/common/configuration.h"
#include "tools/common/output.h"
#include "tools/common/same_file.h"
#include "tools/common/summary.h"
#include "tools/consume/capture_file.h"
#include "tools/consume/consume_options.h"
#include "tools/consume/consume_output.h"
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

// SIGHUP reopens the output and the capture. The signal is blocked before the worker and the
// service client start their threads, so that only this thread takes it.
class ReopenOnHangup {
public:
    static void blockHangup()
    {
        sigset_t hangup;
        sigemptyset(&hangup);
        sigaddset(&hangup, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &hangup, nullptr);
    }

    explicit ReopenOnHangup(ConversionWorker& worker) : thread_([this, &worker] { run(worker); }) {}
    ReopenOnHangup(const ReopenOnHangup&) = delete;
    ReopenOnHangup& operator=(const ReopenOnHangup&) = delete;
    ~ReopenOnHangup()
    {
        done_ = true;
        pthread_kill(thread_.native_handle(), SIGHUP);
        thread_.join();
    }

private:
    void run(ConversionWorker& worker)
    {
        sigset_t hangup;
        sigemptyset(&hangup);
        sigaddset(&hangup, SIGHUP);
        int signal = 0;
        while (sigwait(&hangup, &signal) == 0 && !done_)
            worker.requestReopen();
    }

    std::atomic<bool> done_{false};
    std::thread thread_;
};

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

// A total, then its parts.
void printCounts(const std::string& label, const CountsByName& counts)
{
    uint64_t total = 0;
    for (const auto& entry : counts)
        total += entry.second;
    tools::printSummaryLine(label, total);
    for (const auto& [name, count] : counts)
        tools::printSummaryLine("  " + name, count);
}

void printSummary(const tools::Tally& tally, const ConsumeTally& consumed, const ConsumeOutput& output,
                  const CaptureFile& capture, std::chrono::steady_clock::duration elapsed)
{
    tools::printSummaryLine("frames received", consumed.received);
    tools::printSummaryLine("frames acknowledged", consumed.acknowledged);
    printCounts("skipped by action", consumed.skippedByAction);
    tools::printConversionLines(tally);
    tools::printSummaryLine("frame errors", consumed.frameErrors);
    tools::printSummaryLine("output write errors", consumed.outputWriteErrors);
    tools::printSummaryLine("output commits", consumed.commits);
    tools::printSummaryLine(
        "  waited ms", std::chrono::duration_cast<std::chrono::milliseconds>(consumed.commitTime).count());
    printOutputSummary(output, consumed.outputReopens);
    tools::printSummaryLine("capture write errors", capture.writeErrors());
    printCounts("reconnects", consumed.reconnectsByCause);
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
    ConsumeOutput output;
    if (!openOutput(options, output, reason))
        return fail(exitUsage, reason);
    writer.setOutput(output.get());
    CaptureFile capture;
    if (!capture.open(options.captureFile, reason))
        return fail(exitUsage, reason);

    const auto started = std::chrono::steady_clock::now();
    int status = exitStopped;
    ReopenOnHangup::blockHangup();
    {
        ConversionWorker worker(options.actions, codec, writer, output.get(), tally, consumed, capture);
        const ReopenOnHangup reopenOnHangup(worker);
        status = runServiceClient(options, url, worker, consumed);
    }
    status = outputExitStatus(output, options.quiet, status);
    codec.close();
    if (!options.quiet)
        printSummary(tally, consumed, output, capture, std::chrono::steady_clock::now() - started);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
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
