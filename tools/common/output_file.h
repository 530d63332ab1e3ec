// A file the tools write whole records to with write(2): the event output (a file or
// standard output) and the consumer's capture. It never keeps part of a record after a
// failed write, and it can tell when its path has come to name another file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tools {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { close(); }

    // Replay starts a file afresh; the live consumer appends, since what an earlier run
    // wrote was acknowledged and exists nowhere else.
    enum class Mode { Truncate, Append };

    // An empty path is standard output. False with the reason ("PATH: what went wrong") when the
    // file cannot be opened.
    bool open(const std::string& path, Mode mode, std::string& reason);
    // Opens the path again for appending; the file open until then is closed only once the
    // new one is open. 0, or errno and the reason as open() gives it, with the old file kept.
    int reopen(std::string& reason);

    // Writes all of text, or returns errno with the file cut back to where it ended before,
    // so that no record is left half written.
    int write(std::string_view text);

    // Cuts off what follows the last occurrence of terminator (everything, when there is none):
    // the tail of a record an earlier run could not finish. The number of bytes cut; 0 for
    // what is not a regular file.
    uint64_t cutAfterLast(std::string_view terminator, int& error);

    // Where the file stands against its path.
    enum class Whereabouts {
        AtPath,   // the path names this file (or it cannot be told: standard output, no access)
        Moved,    // the file lives on under another name, and the path names another file or none
        Unlinked, // no name leads to the file any more: what it holds is lost once it is closed
    };
    Whereabouts whereabouts() const;

    // fdatasync, for a regular file; the folder too once, after the open created the file, so that
    // the file's name survives a crash as well. 0 or errno.
    int sync();

    bool regularFile() const { return regular_; }
    const std::string& path() const { return path_; }

private:
    int openAt(const std::string& path, Mode mode, int& descriptor, std::string& reason);
    void close();

    std::string path_;
    int descriptor_ = -1;
    bool owned_ = false;
    bool regular_ = false;
    bool createdUnsynced_ = false;
};

} // namespace tools
