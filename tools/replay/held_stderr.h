// Standard error per thread: while a HeldStderr lives, whatever its thread
// writes to stderr (input errors, the codec's log lines, the plug-in's own
// lines) is appended to a text instead, so that a worker's lines can be
// printed later in input order. Other threads write through as usual.
#pragma once

#include <string>

namespace replay {

// Replaces the process's stderr stream with one that honours HeldStderr; once, before any thread starts.
// Throws std::bad_alloc when the stream cannot be made.
void routeStderrByThread();

class HeldStderr {
public:
    explicit HeldStderr(std::string& into);
    HeldStderr(const HeldStderr&) = delete;
    HeldStderr& operator=(const HeldStderr&) = delete;
    ~HeldStderr();

private:
    std::string* previous_;
};

} // namespace replay
