#include "tests/replay/replay_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace replay_testing {

ToolProcess::ToolProcess(const std::vector<std::string>& arguments, const std::string& errorFile,
                         const std::string& inputFile, const std::string& outputFile)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    EXPECT_TRUE(!outputFile.empty() || ::pipe(pipeEnds) == 0);
    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int out =
            outputFile.empty() ? pipeEnds[1] : ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(::open(inputFile.c_str(), O_RDONLY), STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    out_ = pipeEnds[0];
}

ToolProcess::~ToolProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
}

bool ToolProcess::waitFor(const std::string& prefix, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (; next_ < seen_.size(); ++next_) {
            if (seen_[next_].rfind(prefix, 0) == 0) {
                ++next_;
                return true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{out_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char chunk[4096];
        const ssize_t got = ::read(out_, chunk, sizeof chunk);
        if (got <= 0)
            return false;
        partial_.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = partial_.find('\n')) != std::string::npos; partial_.erase(0, end + 1))
            seen_.push_back(partial_.substr(0, end));
    }
}

std::size_t ToolProcess::count(const std::string& prefix) const
{
    return std::count_if(seen_.begin(), seen_.end(),
                         [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

int ToolProcess::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ended == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    return ended == 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ReplayTest::SetUp()
{
    HostTest::SetUp();
    std::string pattern = (std::filesystem::temp_directory_path() / "replay-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
}

void ReplayTest::TearDown()
{
    std::filesystem::remove_all(directory_);
    HostTest::TearDown();
}

std::string ReplayTest::writeInput(const std::string& name, const std::string& content)
{
    const std::string path = directory_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

ToolRun ReplayTest::runTool(const std::vector<std::string>& arguments, const std::string& standardInput,
                            const std::string& standardOutput)
{
    std::vector<std::string> command{TESSARO_REPLAY_TOOL};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string outPath = standardOutput.empty() ? directory_ + "/stdout" : standardOutput;
    ToolRun run;
    run.status =
        ToolProcess(command, directory_ + "/stderr", writeInput("stdin", standardInput), outPath).wait();
    run.out = standardOutput.empty() ? contentsOf(outPath) : "";
    run.err = contentsOf(directory_ + "/stderr");
    return run;
}

std::string contentsOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

int64_t summaryCount(const std::string& err, const std::string& label)
{
    for (const std::string& line : linesOf(err)) {
        if (line.rfind(label + " ", 0) == 0)
            return std::strtoll(line.c_str() + label.size(), nullptr, 10);
    }
    return -1;
}

} // namespace replay_testing
