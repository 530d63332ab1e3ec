// tessaro-replay: a host on one machine. It loads the codec plug-in, feeds it the
// notifications read from files or standard input, and writes the events that
// leave it towards the host.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "obclient/obclient.h"
#include "tools/replay/batch.h"
#include "tools/replay/codec_session.h"
#include "tools/replay/configuration.h"
#include "tools/replay/input.h"
#include "tools/replay/options.h"
#include "tools/replay/output.h"
#include "tools/replay/replay_texts.h"
#include "tools/replay/summary.h"

namespace {

using namespace replay;

constexpr int exitAllRead = 0;
constexpr int exitSomeSkipped = 1;
constexpr int exitUsage = 2;
constexpr int exitPlugin = 3;

int fail(int status, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s\n", texts::toolName, reason.c_str());
    if (status == exitUsage)
        std::fprintf(stderr, "%s\n", texts::tryHelp);
    return status;
}

// The codec's lines arrive already prefixed with their category.
void printLogLine(void*, const char*, int32_t, const char* text)
{
    std::fprintf(stderr, "%s\n", text);
}

void routeCodecLog(const Options& options)
{
    obclient_set_log_sink(&printLogLine, nullptr);
    const std::string category = "connectivity." + options.pluginName + "." + options.chainId;
    obclient_set_log_level(category.c_str(), options.logLevel);
}

int replayInputs(const Options& options)
{
    std::string reason;
    HostValue config;
    if (!buildConfiguration(options, config, reason))
        return fail(exitUsage, reason);
    OutputFile output;
    if (!output.open(options.outputFile, reason))
        return fail(exitUsage, reason);
    const std::unique_ptr<PluginLibrary> plugin = loadPlugin(options.pluginPath, reason);
    if (plugin == nullptr)
        return fail(exitPlugin, reason);

    routeCodecLog(options);
    Tally tally;
    EventWriter writer(output.get(), tally);
    CodecSession codec(*plugin);
    if (!codec.open(options, config.get(), writer, reason))
        return fail(exitPlugin, reason);
    config.reset(); // the codec keeps its own copy

    InputErrors errors;
    Batch batch(options.batchSize);
    Progress progress(::isatty(STDERR_FILENO) != 0);
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& path : options.inputs) {
        InputSource source;
        if (!source.open(path, reason)) {
            errors.reportInput(path, reason);
            continue;
        }
        const std::unique_ptr<MessageReader> reader = openMessageReader(options.format, source, errors);
        vlm_message_t message{};
        while (reader->next(message)) {
            ++tally.read;
            batch.add(message);
            if (batch.full()) {
                batch.sendThrough(codec);
                progress.update(tally);
            }
        }
        source.finish(errors);
    }
    batch.sendThrough(codec);
    codec.close();
    progress.finish();

    if (!options.quiet)
        printSummary(tally, errors.count(), std::chrono::steady_clock::now() - started);
    if (writer.writeError() != 0)
        return fail(exitSomeSkipped,
                    texts::cannotWriteOutput + std::string(std::strerror(writer.writeError())));
    return errors.count() == 0 ? exitAllRead : exitSomeSkipped;
}

// Every host value the tool built or the codec made must be gone once the plug-in is unloaded.
// In checked mode a leak stops the process, as a wrong free does.
void checkHostValuesReleased(const obclient_counts_t& before)
{
    const obclient_counts_t after = obclient_live_counts();
    if (after == before)
        return;
    std::fprintf(
        stderr, "%s: %s strings %+lld, maps %+lld, lists %+lld, buffers %+lld, customs %+lld\n",
        texts::toolName, texts::hostValuesLeft, static_cast<long long>(after.strings - before.strings),
        static_cast<long long>(after.maps - before.maps), static_cast<long long>(after.lists - before.lists),
        static_cast<long long>(after.buffers - before.buffers),
        static_cast<long long>(after.customs - before.customs));
    if (obclient_checked())
        std::abort();
}

} // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = parseOptions(argc, argv);
    if (parsed.outcome == OptionsOutcome::Help) {
        std::fputs(usageText, stdout);
        return exitAllRead;
    }
    if (parsed.outcome == OptionsOutcome::UsageError)
        return fail(exitUsage, parsed.error);

    const obclient_counts_t before = obclient_live_counts();
    const int status = replayInputs(parsed.options);
    obclient_clear_user_status();
    checkHostValuesReleased(before);
    return status;
}
