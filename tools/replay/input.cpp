#include "tools/replay/input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "tools/replay/frame_reader.h"
#include "tools/replay/jsonl_reader.h"
#include "tools/replay/replay_texts.h"

namespace replay {

void InputErrors::report(const std::string& input, uint64_t line, const std::string& reason)
{
    ++count_;
    std::fprintf(stderr, "%s:%llu: %s\n", input.c_str(), static_cast<unsigned long long>(line),
                 reason.c_str());
}

void InputErrors::reportInput(const std::string& input, const std::string& reason)
{
    ++count_;
    std::fprintf(stderr, "%s: %s\n", input.c_str(), reason.c_str());
}

void InputErrors::reportOversized(const std::string& input, uint64_t line, size_t maxRecordBytes)
{
    report(input, line, texts::recordTooLong + std::to_string(maxRecordBytes) + texts::recordTooLongHint);
}

void InputErrors::note(const std::string& input, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", input.c_str(), text);
}

InputSource::~InputSource()
{
    if (ownsFd_)
        ::close(fd_);
}

bool InputSource::open(const std::string& path, size_t maxRecordBytes, const tools::ReadLimits& valueLimits,
                       std::string& reason)
{
    valueLimits_ = valueLimits;
    if (path == "-") {
        fd_ = STDIN_FILENO;
        name_ = texts::standardInputName;
    } else {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        name_ = path;
        if (fd_ < 0) {
            reason = texts::cannotOpen + std::string(std::strerror(errno));
            return false;
        }
        ownsFd_ = true;
    }
    lines_ = std::make_unique<LineReader>(fd_, maxRecordBytes);
    return true;
}

void InputSource::openChunk(const std::string& name, std::vector<char>&& text,
                            std::vector<SkippedLines>&& skipped, uint64_t linesBefore, size_t maxRecordBytes,
                            const tools::ReadLimits& valueLimits)
{
    name_ = name;
    valueLimits_ = valueLimits;
    lines_ = std::make_unique<LineReader>(std::move(text), std::move(skipped), linesBefore, maxRecordBytes);
}

void InputSource::cutIntoChunks(InputFormat format)
{
    lines_->cutIntoChunks(chunkBytes,
                          format == InputFormat::Frames ? tools::frameSeparator : std::string_view());
}

void InputSource::finish(InputErrors& errors)
{
    if (lines_->readError() != 0)
        errors.reportInput(name_, texts::cannotRead + std::string(std::strerror(lines_->readError())));
    else if (lines_->bytesRead() == 0)
        std::fprintf(stderr, "%s: %s\n", name_.c_str(), texts::emptyInput);
}

std::unique_ptr<MessageReader> openMessageReader(InputFormat format, InputSource& source, InputErrors& errors,
                                                 const ActionFilter* filter)
{
    if (format == InputFormat::Frames)
        return std::make_unique<FrameReader>(source, errors, filter);
    return std::make_unique<JsonlReader>(source, errors);
}

} // namespace replay
