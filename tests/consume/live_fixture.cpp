#include "tests/consume/live_fixture.h"

#include <regex>

namespace live_testing {

std::string alarmFrames(int count, int sources)
{
    std::string frames;
    for (int i = 1; i <= count; ++i) {
        const std::string source = std::to_string(4700 + i % sources);
        frames +=
            "a-" + std::to_string(i) + "\n/t12345/alarms/" + source + "\nCREATE\n\n" + R"({"id":")" +
            std::to_string(i) + R"(","source":{"id":")" + source +
            R"("},"type":"t5o_Alarm","time":"2024-02-01T11:00:00.000Z","text":"x","status":"ACTIVE","count":1,)"
            R"("severity":"MAJOR"})" +
            "\n---\n";
    }
    return frames;
}

std::set<std::string> eventIds(const std::vector<std::string>& lines)
{
    std::set<std::string> ids;
    const std::regex id(R"re("payload":\{.*?"id":"([0-9]+)")re");
    for (const std::string& line : lines) {
        std::smatch match;
        if (std::regex_search(line, match, id))
            ids.insert(match[1]);
    }
    return ids;
}

std::set<std::string> eventIds(const std::string& output)
{
    return eventIds(replay_testing::linesOf(replay_testing::contentsOf(output)));
}

std::set<std::string> acknowledgedIds(const std::vector<std::string>& serviceLines)
{
    std::set<std::string> acknowledged;
    for (const std::string& line : serviceLines)
        if (line.rfind("acknowledged a-", 0) == 0)
            acknowledged.insert(line.substr(15));
    return acknowledged;
}

} // namespace live_testing
