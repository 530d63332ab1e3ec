// The access token, read afresh before every connection: an outside job may rotate
// it. It never comes from the command line, where the process list shows it. A
// command may hang or leave a child behind, so it runs on a thread of its own with
// a time limit, and can be given up at any moment.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace consume {

struct TokenReading {
    bool read = false;
    std::string token;  // trimmed; when read
    std::string reason; // when not read
};

class TokenSource {
public:
    using Done = std::function<void(TokenReading)>;
    virtual ~TokenSource() = default;
    // One reading at a time; done is called on another thread, unless cancel() came first.
    virtual void fetch(Done done) = 0;
    // Gives up the reading in progress, if any; done is not called after this returns.
    virtual void cancel() = 0;
};

// Reads the file, or runs the command through /bin/sh in a process group of its own and takes what it
// prints; past timeout the group is killed. Reading stops once the command itself has exited, so a
// background child holding its output does not hold the reading. cancelFd: readable means give up.
TokenReading readToken(const std::string& tokenFile, const std::string& tokenCommand,
                       std::chrono::milliseconds timeout, int cancelFd = -1);

class TokenReader : public TokenSource {
public:
    TokenReader(std::string tokenFile, std::string tokenCommand, std::chrono::milliseconds timeout);
    TokenReader(const TokenReader&) = delete;
    TokenReader& operator=(const TokenReader&) = delete;
    ~TokenReader() override;

    void fetch(Done done) override;
    void cancel() override;

private:
    std::string tokenFile_;
    std::string tokenCommand_;
    std::chrono::milliseconds timeout_;
    int cancelPipe_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace consume
