#include "tests/replay/replay_fixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace replay_testing {

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

ToolRun ReplayTest::runTool(const std::vector<std::string>& arguments, const std::string& standardInput)
{
    const std::string inPath = writeInput("stdin", standardInput);
    const std::string outPath = directory_ + "/stdout";
    const std::string errPath = directory_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words{TESSARO_REPLAY_TOOL};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    ToolRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, TESSARO_REPLAY_TOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << TESSARO_REPLAY_TOOL;
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = contentsOf(outPath);
    run.err = contentsOf(errPath);
    return run;
}

std::string contentsOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
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
        if (line.compare(0, label.size(), label) == 0 && line.size() > label.size() &&
            line[label.size()] == ' ')
            return std::strtoll(line.c_str() + label.size(), nullptr, 10);
    }
    return -1;
}

} // namespace replay_testing
