#include "tools/replay/held_stderr.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

namespace replay {

namespace {

thread_local std::string* heldText = nullptr;

ssize_t writeStderr(void*, const char* bytes, size_t size)
{
    if (heldText != nullptr) {
        heldText->append(bytes, size);
        return static_cast<ssize_t>(size);
    }
    size_t written = 0;
    while (written < size) {
        const ssize_t got = ::write(STDERR_FILENO, bytes + written, size - written);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return written != 0 ? static_cast<ssize_t>(written) : -1;
        written += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(size);
}

} // namespace

void routeStderrByThread()
{
    // The plug-in and the host library write through the same stderr variable, so they are routed too.
    static std::FILE* const routed =
        fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, &writeStderr, nullptr, nullptr});
    if (routed == nullptr)
        throw std::bad_alloc();
    std::setvbuf(routed, nullptr, _IONBF, 0);
    stderr = routed;
}

HeldStderr::HeldStderr(std::string& into) : previous_(heldText)
{
    heldText = &into;
}

HeldStderr::~HeldStderr()
{
    heldText = previous_;
}

} // namespace replay
