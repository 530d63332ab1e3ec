// The tools' suites' fixture: a scratch directory, and the tools run as processes, which inherit
// checked mode and abort if they leave a host value live, so every run checks their accounting.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/host_test.h"

namespace replay_testing {

// A tool run as a child process: standard input and error are files, standard output a file
// or, when none is given, a pipe read line by line. Killed if still running when destroyed.
class ToolProcess {
public:
    ToolProcess(const std::vector<std::string>& arguments, const std::string& errorFile,
                const std::string& inputFile = "/dev/null", const std::string& outputFile = "");
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;
    ~ToolProcess();

    // Reads on to the next line that starts with prefix (earlier ones stay in seen()); false on timeout.
    bool waitFor(const std::string& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void drain() { waitFor("\x01", std::chrono::milliseconds(300)); } // what comes a moment longer
    const std::vector<std::string>& seen() const { return seen_; }
    std::size_t count(const std::string& prefix) const;

    void signal(int number) { ::kill(pid_, number); }
    pid_t pid() const { return pid_; }
    // The exit status, or 128 + the signal that ended it; -1, killed, if not ended within timeout.
    int wait(std::chrono::milliseconds timeout = std::chrono::minutes(10));

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string partial_;
    std::vector<std::string> seen_;
    std::size_t next_ = 0;
};

struct ToolRun {
    int status = -1; // as ToolProcess::wait gives it
    std::string out;
    std::string err;
};

class ReplayTest : public testing_support::HostTest {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& directory() const { return directory_; }
    std::string writeInput(const std::string& name, const std::string& content);
    // Runs tessaro-replay to its end; with standardOutput, into that file (then out is empty).
    ToolRun runTool(const std::vector<std::string>& arguments, const std::string& standardInput = "",
                    const std::string& standardOutput = "");

private:
    std::string directory_;
};

std::string contentsOf(const std::string& path);
std::vector<std::string> linesOf(const std::string& text);
inline bool mentions(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}
// The number on the summary line that starts with label ("dropped", "  com.orbel.tessaro.Alarm"), or -1.
int64_t summaryCount(const std::string& err, const std::string& label);

} // namespace replay_testing
