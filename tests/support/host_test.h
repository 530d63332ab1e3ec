// Base fixture of every suite: the host stand-in runs in checked mode, each test must leave its live
// allocation counts where it found them, and log lines are captured instead of printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "obclient/obclient.h"

namespace testing_support {

struct LogLine {
    std::string category;
    std::int32_t level;
    std::string text;
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Lines emitted through the host since the test began.
    const std::vector<LogLine>& logLines() const { return lines_; }
    // The same lines as "LEVEL TEXT"; every line must be in `category`.
    std::vector<std::string> logTexts(const std::string& category) const;
    void clearLogLines() { lines_.clear(); }

private:
    static void capture(void* context, const char* category, std::int32_t level, const char* text);

    obclient_counts_t baseline_{};
    std::vector<LogLine> lines_;
};

// What `action` writes to standard error (the typed reads' diagnostic line), kept out of the test output.
std::string standardErrorOf(const std::function<void()>& action);

// The text of the runtime error that action throws, or "(no error)".
template <class Action> std::string errorOf(Action&& action)
{
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(no error)";
}

// A host value as the host's JSON writer renders it.
std::string jsonOf(const vlm_data_t& value);

} // namespace testing_support
