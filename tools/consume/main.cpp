// tessaro-consume: the replay tool's live counterpart. It converts the platform's
// websocket notification stream through the codec plug-in, writes the events, and
// acknowledges each frame only once what it produced is written.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "obclient/obclient.h"
#include "tools/common/codec_session.h"
#include "tools/common/configuration.h"
#include "tools/common/output.h"
#include "tools/common/summary.h"
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

// Appends, so that a restarted consumer adds to the same capture.
class CaptureFile {
public:
    ~CaptureFile()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    bool open(const std::string& path)
    {
        file_ = path.empty() ? nullptr : std::fopen(path.c_str(), "ab");
        return path.empty() || file_ != nullptr;
    }
    std::FILE* get() const { return file_; }

private:
    std::FILE* file_ = nullptr;
};

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

void printSummary(const tools::Tally& tally, const ConsumeTally& consumed,
                  std::chrono::steady_clock::duration elapsed)
{
    tools::printSummaryLine("frames received", consumed.received);
    tools::printSummaryLine("frames acknowledged", consumed.acknowledged);
    printCounts("skipped by action", consumed.skippedByAction);
    tools::printConversionLines(tally);
    tools::printSummaryLine("frame errors", consumed.frameErrors);
    printCounts("reconnects", consumed.reconnectsByCause);
    tools::printElapsed(elapsed, consumed.received, "frames");
}

int consumeStream(const Options& options)
{
    ServiceUrl url;
    if (!parseServiceUrl(options.url, url))
        return fail(exitUsage, texts::badUrl + options.url);
    std::string reason;
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
    tools::OutputFile output;
    if (!output.open(options.outputFile, tools::OutputFile::Mode::Append, reason))
        return fail(exitUsage, reason);
    writer.setOutput(output.get());
    CaptureFile capture;
    if (!capture.open(options.captureFile))
        return fail(exitUsage, texts::cannotOpenCapture + options.captureFile + ": " + std::strerror(errno));

    const auto started = std::chrono::steady_clock::now();
    int status = exitStopped;
    {
        ConversionWorker worker(options.actions, codec, writer, tally, consumed, capture.get());
        status = runServiceClient(options, url, worker, consumed);
    }
    codec.close();
    if (!options.quiet)
        printSummary(tally, consumed, std::chrono::steady_clock::now() - started);
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
