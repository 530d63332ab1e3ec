#include "tests/replay/replay_fixture.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

namespace {

std::string shellQuoted(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

ToolRun ReplayTest::runTool(const std::vector<std::string>& arguments, const std::string& standardInput,
                            const std::string& standardOutput)
{
    const std::string outPath = standardOutput.empty() ? directory_ + "/stdout" : standardOutput;
    const std::string errPath = directory_ + "/stderr";
    std::string command = shellQuoted(TESSARO_REPLAY_TOOL);
    for (const std::string& argument : arguments)
        command += " " + shellQuoted(argument);
    command += " <" + shellQuoted(writeInput("stdin", standardInput)) + " >" + shellQuoted(outPath) + " 2>" +
               shellQuoted(errPath);
    const int status = std::system(command.c_str());
    ToolRun run;
    // A shell that waited for the tool reports its signal as 128 + the signal itself.
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = standardOutput.empty() ? contentsOf(outPath) : "";
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
