// The host's end of the chain: every message that leaves the codec towards the
// host becomes one JSON line, {"metadata":{...},"payload":...}, written by the
// host's own JSON writer, so every kind shows as the host renders it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "host/vlm_abi.h"
#include "tools/common/summary.h"

namespace tools {

// Standard output, or the --output file; unbuffered, since each batch is written whole.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Replay starts a file afresh; the live consumer appends, since what an earlier run
    // wrote was acknowledged and exists nowhere else.
    enum class Mode { Truncate, Append };

    // An empty path is standard output.
    bool open(const std::string& path, Mode mode, std::string& reason);
    std::FILE* get() const { return file_; }

private:
    std::FILE* file_ = nullptr;
    bool owned_ = false;
};

// Renders batches of messages as output lines into a buffer kept from batch to batch,
// so the buffer is zero-filled only when it grows past its largest size yet.
class EventLines {
public:
    // Adds the lines of the messages from start to end to those held.
    void add(const vlm_message_t* start, const vlm_message_t* end);
    // The lines held; valid until the next change.
    std::string_view text() const { return std::string_view(buffer_.data(), size_); }
    void clear() { size_ = 0; }

private:
    std::string buffer_;
    size_t size_ = 0;
};
// Counts a message that left the codec: an event by its type, or passed through.
void countArrived(Tally& tally, const vlm_message_t& message);

// Writes each batch as it arrives and counts only what was written; after the
// first failed write it writes and counts nothing more.
class EventWriter {
public:
    explicit EventWriter(Tally& tally) : tally_(tally) {}
    // Set before the first batch arrives: the output is opened only once the codec exists.
    void setOutput(std::FILE* out) { out_ = out; }

    // The batch function the codec is wired to towards the host; handle is the writer.
    // The messages stay the host's: they are only read here.
    static int32_t receiveBatch(void* handle, vlm_message_t* start, vlm_message_t* end);

    // Writes lines rendered elsewhere; false when this or an earlier write failed.
    bool emit(std::string_view text);

    // errno of the first failed write, 0 when all went out.
    int writeError() const { return writeError_; }

private:
    void write(const vlm_message_t* start, const vlm_message_t* end);

    std::FILE* out_ = nullptr;
    Tally& tally_;
    EventLines lines_;
    int writeError_ = 0;
};

} // namespace tools
