// tessaro-replay: a host on one machine. It loads the codec plug-in, feeds it the
// notifications read from files or standard input, and writes the events that
// leave it towards the host.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "obclient/obclient.h"
#include "tools/common/batch.h"
#include "tools/common/codec_session.h"
#include "tools/common/configuration.h"
#include "tools/common/configuration_warnings.h"
#include "tools/common/exit_status.h"
#include "tools/common/file_output.h"
#include "tools/common/output.h"
#include "tools/common/same_file.h"
#include "tools/common/setup_check.h"
#include "tools/common/summary.h"
#include "tools/common/texts.h"
#include "tools/common/tool_process.h"
#include "tools/replay/chunk_output.h"
#include "tools/replay/chunked_replay.h"
#include "tools/replay/held_stderr.h"
#include "tools/replay/input.h"
#include "tools/replay/options.h"
#include "tools/replay/replay_texts.h"

namespace {

using namespace replay;
using namespace tools;

constexpr ToolIdentity replayTool{replay::texts::toolName, replay::texts::tryHelp, exitSomeSkipped};

int fail(int status, const std::string& reason)
{
    return tools::fail(replayTool, status, reason);
}

// Opened only once the codecs exist: a run that cannot start leaves an existing output as it was.
bool openOutput(const Options& options, FileEventOutput& output, EventWriter& writer)
{
    std::string reason;
    if (!output.open({options.outputFile, OutputFile::Mode::Truncate, false}, reason)) {
        fail(exitUsage, reason);
        return false;
    }
    writer.setOutput(output);
    return true;
}

int writeFailed(const EventWriter& writer)
{
    return fail(exitSomeSkipped, tools::texts::cannotWriteOutput +
                                     std::string(std::strerror(writer.writeError())) + "; " +
                                     replay::texts::stoppedReading);
}

// One worker, on this thread. The batches end where the inputs' chunks end, and each chunk is
// written as several workers write it.
int replayOnThisThread(const PluginLibrary& plugin, HostValue& config, const Options& options, Tally& tally,
                       uint64_t& inputErrors)
{
    std::string reason;
    EventWriter writer(tally);
    ChunkOutput chunk;
    CodecSession codec(plugin);
    if (!codec.open(options, config.get(), &chunk, &ChunkOutput::receiveBatch, reason))
        return fail(exitPlugin, reason);
    config.reset(); // the codec keeps its own copy
    FileEventOutput output;
    if (!openOutput(options, output, writer))
        return exitUsage;

    routeStderrByThread();
    InputErrors errors;
    Batch batch(options.batchSize);
    Progress progress(::isatty(STDERR_FILENO) != 0);
    for (auto path = options.inputs.begin(); path != options.inputs.end() && writer.writeError() == 0;
         ++path) {
        InputSource source;
        if (!source.open(*path, options.maxRecordBytes, tools::ReadLimits{options.maxObjectEntries},
                         reason)) {
            errors.reportInput(*path, reason);
            continue;
        }
        source.cutIntoChunks(options.format);
        const ActionFilter filter{options.actions, chunk.tally.skippedByAction};
        const std::unique_ptr<MessageReader> reader =
            openMessageReader(options.format, source, errors, &filter);
        vlm_message_t message{};
        // A failed write stops the reading: an endless input would otherwise run on for nothing.
        do {
            {
                HeldStderr hold(chunk.held);
                while (reader->next(message)) {
                    ++chunk.tally.read;
                    batch.add(message);
                    if (batch.full())
                        batch.sendThrough(codec);
                }
                batch.sendThrough(codec);
            }
            chunk.writeTo(writer, tally);
            chunk.clear();
            progress.update(tally);
        } while (writer.writeError() == 0 && source.lines().endOfChunk());
        source.finish(errors);
    }
    codec.close();
    progress.finish();
    inputErrors = errors.count();
    return writer.writeError() == 0 ? exitAllRead : writeFailed(writer);
}

// Several workers, each converting whole chunks of the input with its own codec.
int replayInChunks(const PluginLibrary& plugin, HostValue& config, const Options& options, Tally& tally,
                   uint64_t& inputErrors)
{
    std::string reason;
    EventWriter writer(tally);
    Progress progress(::isatty(STDERR_FILENO) != 0);
    ChunkedReplay replay(plugin, options, writer, tally, progress);
    if (!replay.open(config.get(), reason))
        return fail(exitPlugin, reason);
    config.reset(); // each codec keeps its own copy
    FileEventOutput output;
    if (!openOutput(options, output, writer))
        return exitUsage;
    for (const std::string& path : options.inputs)
        replay.replay(path);
    replay.finish();
    progress.finish();
    inputErrors = replay.inputErrors();
    return writer.writeError() == 0 ? exitAllRead : writeFailed(writer);
}

int replayInputs(const Options& options)
{
    std::string reason;
    std::vector<std::string> inputs = options.inputs;
    inputs.push_back(options.configFile);
    inputs.push_back(options.pluginPath);
    const std::string overwritten = sameFileAs(options.outputFile, inputs);
    if (!overwritten.empty())
        return fail(exitUsage, replay::texts::outputIsAnInput + overwritten);
    if (options.check)
        return checkSetup(replay::texts::toolName, options);
    HostValue config;
    if (!buildConfiguration(options, config, reason))
        return fail(exitUsage, reason);
    printConfigurationWarnings(replay::texts::toolName, config.get());
    const std::unique_ptr<PluginLibrary> plugin = loadPlugin(options.pluginPath, reason);
    if (plugin == nullptr)
        return fail(exitPlugin, reason);

    routeCodecLog(options);
    Tally tally;
    uint64_t inputErrors = 0;
    const auto started = std::chrono::steady_clock::now();
    int status = options.jobs == 1 ? replayOnThisThread(*plugin, config, options, tally, inputErrors)
                                   : replayInChunks(*plugin, config, options, tally, inputErrors);
    if (status == exitUsage || status == exitPlugin)
        return status;
    if (status == exitAllRead && inputErrors != 0)
        status = exitSomeSkipped;
    const bool frames = options.format == InputFormat::Frames;
    if (!options.quiet &&
        !printSummary(tally, inputErrors, std::chrono::steady_clock::now() - started, frames))
        status = exitSomeSkipped;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = parseOptions(argc, argv);
    if (parsed.outcome == OptionsOutcome::Help)
        return printHelp(replayTool, usageText());
    if (parsed.outcome == OptionsOutcome::UsageError)
        return fail(exitUsage, parsed.error);
    if (parsed.outcome == OptionsOutcome::Version)
        return printVersion(replay::texts::toolName, parsed.options);

    const obclient_counts_t before = obclient_live_counts();
    ignoreBrokenPipes();
    const int status = runNamingOutOfMemory(replayTool, exitSomeSkipped, replay::texts::outOfMemory,
                                            [&] { return replayInputs(parsed.options); });
    obclient_clear_user_status();
    checkHostValuesReleased(replay::texts::toolName, before);
    return status;
}
