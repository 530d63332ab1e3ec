#include "tools/consume/token_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/common/log_text.h"
#include "tools/consume/consume_texts.h"

namespace consume {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* whitespace = " \t\r\n";
// A token is a few kilobytes at most; a command that prints more is broken, and is not read on.
constexpr size_t largestTokenOutput = 64 * 1024;
// Where the kernel cannot tell when a child ends, it is asked this often.
constexpr int childPollMs = 20;

TokenReading failure(const std::string& reason)
{
    return {false, "", texts::cannotReadToken + reason};
}

TokenReading trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(whitespace);
    if (first == std::string::npos)
        return failure(texts::tokenEmpty);
    return {true, text.substr(first, text.find_last_not_of(whitespace) + 1 - first), ""};
}

TokenReading readTokenFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return failure(path + ": " + std::strerror(errno));
    std::string text;
    char chunk[4096];
    size_t got = 0;
    while (text.size() <= largestTokenOutput && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    const int error = std::ferror(file) != 0 ? errno : 0;
    std::fclose(file);
    if (error != 0)
        return failure(path + ": " + std::strerror(error));
    if (text.size() > largestTokenOutput)
        return failure(path + texts::tokenTooLong);
    return trimmed(text);
}

// The child's side of fork: only async-signal-safe calls until exec.
[[noreturn]] void runInChild(const char* command, int output)
{
    ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr); // the tool blocks its stop signals; the command must not
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(output, STDOUT_FILENO);
    ::execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    ::_exit(127);
}

class CommandRun {
public:
    CommandRun(const std::string& command, std::chrono::milliseconds timeout, int cancelFd)
        : command_(command), deadline_(Clock::now() + timeout), timeout_(timeout), cancelFd_(cancelFd)
    {}
    ~CommandRun()
    {
        for (const int fd : {output_, pidFd_}) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    TokenReading run()
    {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
            return failure(std::strerror(errno));
        pid_ = ::fork();
        if (pid_ == 0)
            runInChild(command_.c_str(), pipeEnds[1]);
        const int forkError = errno;
        ::close(pipeEnds[1]);
        output_ = pipeEnds[0];
        if (pid_ < 0)
            return failure(std::strerror(forkError));
        ::setpgid(pid_, pid_); // also here, so that a kill right after fork reaches the whole group
        pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        return collect();
    }

private:
    TokenReading collect()
    {
        std::string text;
        bool exited = false;
        int status = 0;
        while (!exited) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0)
                return giveUp(texts::tokenCommandTimedOut + tools::secondsText(timeout_) +
                              texts::tokenCommandKilled);
            pollfd watched[3] = {{cancelFd_, POLLIN, 0}, {pidFd_, POLLIN, 0}, {output_, POLLIN, 0}};
            const int wait = pidFd_ >= 0 ? static_cast<int>(left.count())
                                         : static_cast<int>(std::min<long>(left.count(), childPollMs));
            if (::poll(watched, output_ >= 0 ? 3 : 2, wait) < 0 && errno != EINTR)
                return giveUp(std::strerror(errno));
            if ((watched[0].revents & POLLIN) != 0)
                return giveUp("");
            if (output_ >= 0 && (watched[2].revents & (POLLIN | POLLHUP)) != 0 && !readSome(text))
                return giveUp(texts::tokenCommandOutput + std::string(texts::tokenTooLong));
            exited = ::waitpid(pid_, &status, WNOHANG) == pid_;
        }
        pid_ = -1;
        // What it printed before it ended is there to read; a child it left behind may hold the pipe open.
        if (output_ >= 0) {
            ::fcntl(output_, F_SETFL, O_NONBLOCK);
            while (output_ >= 0 && readSome(text)) {
            }
        }
        if (text.size() > largestTokenOutput)
            return failure(texts::tokenCommandOutput + std::string(texts::tokenTooLong));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return failure(texts::tokenCommandFailed);
        return trimmed(text);
    }

    // False past the largest output; closes output_ at its end (or when nothing more is there now).
    bool readSome(std::string& text)
    {
        char chunk[4096];
        const ssize_t got = ::read(output_, chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                return true;
            ::close(output_);
            output_ = -1;
            return true;
        }
        text.append(chunk, static_cast<size_t>(got));
        return text.size() <= largestTokenOutput;
    }

    TokenReading giveUp(const std::string& reason)
    {
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return failure(reason);
    }

    const std::string& command_;
    Clock::time_point deadline_;
    std::chrono::milliseconds timeout_;
    int cancelFd_;
    pid_t pid_ = -1;
    int output_ = -1;
    int pidFd_ = -1;
};

} // namespace

TokenReading readToken(const std::string& tokenFile, const std::string& tokenCommand,
                       std::chrono::milliseconds timeout, int cancelFd)
{
    if (!tokenFile.empty())
        return readTokenFile(tokenFile);
    return CommandRun(tokenCommand, timeout, cancelFd).run();
}

TokenReader::TokenReader(std::string tokenFile, std::string tokenCommand, std::chrono::milliseconds timeout)
    : tokenFile_(std::move(tokenFile)), tokenCommand_(std::move(tokenCommand)), timeout_(timeout)
{
    if (::pipe2(cancelPipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        cancelPipe_[0] = cancelPipe_[1] = -1;
}

TokenReader::~TokenReader()
{
    cancel();
    for (const int fd : cancelPipe_) {
        if (fd >= 0)
            ::close(fd);
    }
}

void TokenReader::fetch(Done done)
{
    if (thread_.joinable())
        thread_.join(); // the last reading has called its done already
    thread_ = std::thread([this, done = std::move(done)] {
        done(readToken(tokenFile_, tokenCommand_, timeout_, cancelPipe_[0]));
    });
}

void TokenReader::cancel()
{
    if (!thread_.joinable())
        return;
    const char wake = 1;
    const bool woken = ::write(cancelPipe_[1], &wake, 1) == 1;
    thread_.join();
    char drained = 0;
    while (woken && ::read(cancelPipe_[0], &drained, 1) == 1) {
    }
}

} // namespace consume
