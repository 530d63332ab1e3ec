// The fixture of the replay suites: a scratch directory for inputs, and the tool
// run as a separate process on them. The tool inherits checked mode from the test
// environment and aborts if it leaves a host value live, so every run also checks
// the tool's own accounting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/host_test.h"

namespace replay_testing {

struct ToolRun {
    int status = -1; // the exit status, or 128 + the signal that ended the tool
    std::string out;
    std::string err;
};

class ReplayTest : public testing_support::HostTest {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& directory() const { return directory_; }
    // Writes a file into the scratch directory and returns its path.
    std::string writeInput(const std::string& name, const std::string& content);
    // standardOutput: a file the tool writes its standard output to instead (then out is empty).
    ToolRun runTool(const std::vector<std::string>& arguments, const std::string& standardInput = "",
                    const std::string& standardOutput = "");

private:
    std::string directory_;
};

std::string contentsOf(const std::string& path);
std::vector<std::string> linesOf(const std::string& text);
// The number on the summary line that starts with label ("dropped", "  com.orbel.tessaro.Alarm"), or -1.
int64_t summaryCount(const std::string& err, const std::string& label);

} // namespace replay_testing
