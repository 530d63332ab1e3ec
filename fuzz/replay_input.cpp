// The replay tool's input readers on arbitrary bytes: the first byte picks the
// format and the record limits (mostly small, so records meet them often), the
// rest is the input. No crash, no host value left behind, and for JSONL every
// non-blank or overlong line is either read as a message or reported.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "obclient/obclient.h"
#include "tools/common/frame_text.h"
#include "tools/replay/input.h"

namespace {

long liveTotal()
{
    const obclient_counts_t counts = obclient_live_counts();
    return counts.strings + counts.maps + counts.lists + counts.buffers + counts.customs;
}

// Lines as the reader splits them: "\n" ends a line, and a carriage return before
// it (or at the very end) is not part of the text; blank means only spaces and tabs.
// A line longer than the limit is a record even when blank. With separators not
// counted, what is left are the lines that belong to frames.
long recordLines(std::string_view input, size_t maxRecordBytes, bool countSeparators = true)
{
    long count = 0;
    while (!input.empty()) {
        const std::size_t end = input.find('\n');
        const std::string_view line = tools::withoutCarriageReturn(input.substr(0, end));
        const bool record = line.size() > maxRecordBytes || !tools::isBlankLine(line);
        if (record && (countSeparators || !tools::isFrameSeparator(line)))
            ++count;
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    }
    return count;
}

[[noreturn]] void fail(const char* what, long expected, long actual)
{
    std::fprintf(stderr, "replay_input: %s (expected %ld, got %ld)\n", what, expected, actual);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    obclient_set_checked(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool frames = (data[0] & 1) != 0;
    const size_t limitChoice = data[0] >> 1;
    const size_t maxRecordBytes = limitChoice == 0 ? size_t{1} << 20 : 8 * limitChoice;
    const tools::ReadLimits valueLimits{limitChoice == 0 ? size_t{1} << 16 : 1 + limitChoice % 8};
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const int fd = memfd_create("replay_input", 0);
    if (fd < 0 || write(fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
        lseek(fd, 0, SEEK_SET) != 0)
        fail("cannot stage the input in memory", 0, fd);

    const long baseline = liveTotal();
    long read = 0;
    long errors = 0;
    {
        replay::InputSource source;
        std::string reason;
        if (!source.open("/proc/self/fd/" + std::to_string(fd), maxRecordBytes, valueLimits, reason))
            fail("cannot open the staged input", 0, 1);
        replay::InputErrors reported;
        auto reader = replay::openMessageReader(
            frames ? replay::InputFormat::Frames : replay::InputFormat::Jsonl, source, reported);
        vlm_message_t message{};
        while (reader->next(message)) {
            ++read;
            obclient_free_data(message.payload);
            vlm_free_map(message.metadata);
            message = vlm_message_t{};
        }
        source.finish(reported);
        errors = static_cast<long>(reported.count());
    }
    close(fd);

    if (liveTotal() != baseline)
        fail("host values leaked", baseline, liveTotal());
    const long records = recordLines(input, maxRecordBytes);
    if (!frames && read + errors != records)
        fail("a JSONL record was neither read nor reported", records, read + errors);
    if (frames && recordLines(input, maxRecordBytes, false) > 0 && read + errors == 0)
        fail("frames were neither read nor reported", 1, 0);
    return 0;
}
