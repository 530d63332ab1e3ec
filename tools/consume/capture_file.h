// The --capture file: every received frame appended in the frames format, so that a
// session can be replayed. It is a copy for diagnosis, not what is acknowledged: a
// failed write is reported when failures begin, counted, and the consumer goes on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/common/output_file.h"

namespace consume {

class CaptureFile {
public:
    // An empty path is no capture. Cuts off a frame an earlier run left unfinished.
    bool open(const std::string& path, std::string& reason);
    bool enabled() const { return !file_.path().empty(); }

    // Appends frames already in the frames format.
    void write(std::string_view text);
    // Opens the path again (a log rotation); false with the reason, the old file kept.
    bool reopen(std::string& reason);

    uint64_t writeErrors() const { return writeErrors_; }

private:
    int endOnFrame(std::string& reason);

    tools::OutputFile file_;
    bool failing_ = false;
    uint64_t writeErrors_ = 0;
};

} // namespace consume
