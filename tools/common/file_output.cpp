#include "tools/common/file_output.h"

#include <cstring>

#include "tools/common/output.h"
#include "tools/common/texts.h"

namespace tools {

namespace {

constexpr std::string_view lineEnd = "\n";

} // namespace

bool FileEventOutput::open(const Settings& settings, std::string& reason)
{
    settings_ = settings;
    if (!file_.open(settings.path, settings.mode, reason)) {
        reason = texts::cannotOpenOutput + reason;
        return false;
    }
    if (settings.mode == OutputFile::Mode::Truncate)
        return true;
    const int error = endOnLine(reason);
    cutAtOpen_ = cut_;
    return error == 0;
}

int FileEventOutput::endOnLine(std::string& reason)
{
    int error = 0;
    cut_ += file_.cutAfterLast(lineEnd, error);
    if (error != 0)
        reason = texts::cannotRepairOutput + settings_.path + ": " + std::strerror(error);
    return error;
}

int FileEventOutput::followPath(std::string& reason)
{
    const int error = file_.reopen(reason);
    return error != 0 ? error : endOnLine(reason);
}

bool FileEventOutput::write(const EventLines& events)
{
    if (failure_ != 0)
        return false;
    const std::string_view text = events.text();
    if (text.empty())
        return true;
    if (const int error = file_.write(text); error != 0) {
        failure_ = error;
        return false;
    }
    if (settings_.mode == OutputFile::Mode::Append)
        held_.append(text);
    unsynced_ = true;
    return true;
}

EventOutput::Commit FileEventOutput::commit()
{
    if (failure_ != 0)
        return Commit::Failed;
    std::string reason;
    switch (file_.whereabouts()) {
    case OutputFile::Whereabouts::AtPath:
        break;
    case OutputFile::Whereabouts::Unlinked:
        // What was written since the last commit went into a file nobody can read any more.
        if (const int error = followPath(reason); error != 0)
            return failed(error);
        ++rewritten_;
        if (const int error = file_.write(held_); error != 0)
            return failed(error);
        break;
    case OutputFile::Whereabouts::Moved:
        // Renamed, as a rotation does: what it holds stays there, durable before the path is followed.
        if (const int error = syncWritten(); error != 0)
            return failed(error);
        if (const int error = followPath(reason); error != 0)
            return failed(error);
        ++movedAway_;
        break;
    }
    if (const int error = syncWritten(); error != 0)
        return failed(error);
    held_.clear();
    return Commit::Durable;
}

int FileEventOutput::syncWritten()
{
    if (!unsynced_)
        return 0;
    if (settings_.sync) {
        if (const int error = file_.sync(); error != 0)
            return error;
    }
    unsynced_ = false;
    return 0;
}

bool FileEventOutput::reopen(std::string& reason)
{
    if (failure_ != 0) {
        reason = texts::cannotWriteOutput + std::string(std::strerror(failure_));
        return false;
    }
    return followPath(reason) == 0;
}

EventOutput::Commit FileEventOutput::failed(int error)
{
    failure_ = error;
    return Commit::Failed;
}

} // namespace tools
