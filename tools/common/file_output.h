// The events as JSON lines in a file or on standard output. For the live consumer it
// appends, repairs a record an earlier run left unfinished, and at every commit makes
// sure the events are in the file its path names and synced to the disk.
#pragma once

#include <cstdint>
#include <string>

#include "tools/common/event_output.h"
#include "tools/common/output_file.h"

namespace tools {

class FileEventOutput : public EventOutput {
public:
    struct Settings {
        std::string path; // empty: standard output
        OutputFile::Mode mode = OutputFile::Mode::Truncate;
        // Append keeps what was written since the last commit, to write it again should the file
        // lose its name meanwhile; replay, which never commits, truncates.
        bool sync = false; // fdatasync at every commit that follows a write
    };

    // False with the reason when the file cannot be opened. Appending, it first cuts off a partial
    // last line (cutAtOpen() tells how much).
    bool open(const Settings& settings, std::string& reason);
    uint64_t cutAtOpen() const { return cutAtOpen_; }

    bool write(const EventLines& events) override;
    Commit commit() override;
    bool reopen(std::string& reason) override;
    int failure() const override { return failure_; }

    // What commit() found besides syncing: the file renamed (followed to the path), or unlinked
    // (what it held since the last commit written again at the path); and the bytes of partial
    // lines cut off, at the start and in every file opened since.
    uint64_t movedAway() const { return movedAway_; }
    uint64_t rewrittenAfterUnlink() const { return rewritten_; }
    uint64_t cutOff() const { return cut_; }

private:
    int endOnLine(std::string& reason);
    int followPath(std::string& reason);
    int syncWritten();
    Commit failed(int error);

    Settings settings_;
    OutputFile file_;
    std::string held_; // written since the last commit, when appending
    bool unsynced_ = false;
    int failure_ = 0;
    uint64_t cutAtOpen_ = 0;
    uint64_t cut_ = 0;
    uint64_t movedAway_ = 0;
    uint64_t rewritten_ = 0;
};

} // namespace tools
