#include "tools/consume/capture_file.h"

#include <cstdio>
#include <cstring>

#include "tools/common/frame_text.h"
#include "tools/consume/consume_texts.h"

namespace consume {

bool CaptureFile::open(const std::string& path, std::string& reason)
{
    if (path.empty())
        return true;
    if (!file_.open(path, tools::OutputFile::Mode::Append, reason)) {
        reason = texts::cannotOpenCapture + reason;
        return false;
    }
    return endOnFrame(reason) == 0;
}

int CaptureFile::endOnFrame(std::string& reason)
{
    int error = 0;
    const uint64_t cut =
        file_.cutAfterLast(tools::frameFileEnd, error); // a file not ending so ends mid-frame
    if (error != 0)
        reason = texts::cannotRepairCapture + file_.path() + ": " + std::strerror(error);
    else if (cut != 0)
        std::fprintf(stderr, "%s: %s%s: %llu %s\n", texts::toolName, texts::captureCut, file_.path().c_str(),
                     static_cast<unsigned long long>(cut), texts::bytes);
    return error;
}

void CaptureFile::write(std::string_view text)
{
    if (!enabled() || text.empty())
        return;
    const int error = file_.write(text);
    if (error == 0) {
        failing_ = false;
        return;
    }
    ++writeErrors_;
    // Once when failures begin, not once a batch: a full disk would otherwise flood the log.
    if (!failing_)
        std::fprintf(stderr, "%s: %s%s: %s\n", texts::toolName, texts::cannotWriteCapture,
                     file_.path().c_str(), std::strerror(error));
    failing_ = true;
}

bool CaptureFile::reopen(std::string& reason)
{
    if (!enabled())
        return true;
    return file_.reopen(reason) == 0 && endOnFrame(reason) == 0;
}

} // namespace consume
