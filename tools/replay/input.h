// Where messages come from: files or standard input, read as JSONL or as
// websocket notification frames. A record that cannot be read is reported as
// FILE:LINE: reason and skipped; the records after it are read as usual.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/vlm_abi.h"
#include "tools/common/json_value.h"
#include "tools/common/summary.h"
#include "tools/replay/line_reader.h"

namespace replay {

enum class InputFormat { Jsonl, Frames };

// Reports bad input on stderr and counts it.
class InputErrors {
public:
    void report(const std::string& input, uint64_t line, const std::string& reason);
    void reportInput(const std::string& input, const std::string& reason);
    void reportOversized(const std::string& input, uint64_t line, size_t maxRecordBytes);
    // A hint about the input as a whole; not an error, not counted.
    void note(const std::string& input, const char* text);
    uint64_t count() const { return count_; }

private:
    uint64_t count_ = 0;
};

// One file, or standard input for "-".
class InputSource {
public:
    // Large enough that handing a chunk to a worker costs little per record, small enough that a
    // chunk's records stay in the worker's cache.
    static constexpr size_t chunkBytes = size_t{1} << 18;

    InputSource() = default;
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;
    ~InputSource();

    // False with the reason when the file cannot be opened. Longer records, and records
    // beyond the value limits, are reported and skipped.
    bool open(const std::string& path, size_t maxRecordBytes, const tools::ReadLimits& valueLimits,
              std::string& reason);
    // A chunk of input name cut before (see LineReader), whose first line is line linesBefore + 1.
    void openChunk(const std::string& name, std::vector<char>&& text, std::vector<SkippedLines>&& skipped,
                   uint64_t linesBefore, size_t maxRecordBytes, const tools::ReadLimits& valueLimits);
    // Cuts the input into chunks at record ends. Both ways of running cut alike and send each chunk's
    // messages in batches of their own, so the codec sees the same batches whatever the number of workers.
    void cutIntoChunks(InputFormat format);
    const std::string& name() const { return name_; }
    const tools::ReadLimits& valueLimits() const { return valueLimits_; }
    LineReader& lines() { return *lines_; }
    // After the last record: reports a failed read as an error, and notes an empty input.
    void finish(InputErrors& errors);

private:
    int fd_ = -1;
    bool ownsFd_ = false;
    std::string name_;
    tools::ReadLimits valueLimits_;
    std::unique_ptr<LineReader> lines_;
};

class MessageReader {
public:
    virtual ~MessageReader() = default;
    // Fills message with the next record's host values, which the caller then owns.
    // False at the end of the input.
    virtual bool next(vlm_message_t& message) = 0;
};

// Which frames are read, as the live consumer chooses them: a frame with another action is
// counted in skipped and not read. No filter reads every frame.
struct ActionFilter {
    const std::vector<std::string>& actions;
    tools::NamedCounts& skipped;
};

std::unique_ptr<MessageReader> openMessageReader(InputFormat format, InputSource& source, InputErrors& errors,
                                                 const ActionFilter* filter = nullptr);

} // namespace replay
