#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "obclient/obclient.h"

namespace {

constexpr int32_t initialDefaultLevel = 3;

struct LogLevels {
    std::shared_mutex lock;
    std::unordered_map<std::string, int32_t> byCategory;
    std::atomic<int32_t> defaultLevel{initialDefaultLevel};
};

struct LogSink {
    std::mutex lock;
    obclient_log_sink_fn sink = nullptr;
    void* context = nullptr;
};

// Never destroyed: plug-ins may log while the process exits.
LogLevels& levels()
{
    static LogLevels* instance = new LogLevels;
    return *instance;
}

LogSink& sink()
{
    static LogSink* instance = new LogSink;
    return *instance;
}

void writeToStderr(const char* category, int32_t level, const char* text)
{
    std::string line = "[" + std::to_string(level) + "] " + category + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace

void obclient_set_log_level(const char* category, int32_t level)
{
    if (category == nullptr)
        return;
    LogLevels& table = levels();
    std::unique_lock<std::shared_mutex> guard(table.lock);
    table.byCategory[category] = level;
}

void obclient_set_default_log_level(int32_t level)
{
    levels().defaultLevel.store(level, std::memory_order_relaxed);
}

void obclient_reset_log_levels(void)
{
    LogLevels& table = levels();
    std::unique_lock<std::shared_mutex> guard(table.lock);
    table.byCategory.clear();
    table.defaultLevel.store(initialDefaultLevel, std::memory_order_relaxed);
}

void obclient_set_log_sink(obclient_log_sink_fn fn, void* context)
{
    LogSink& target = sink();
    std::lock_guard<std::mutex> guard(target.lock);
    target.sink = fn;
    target.context = fn != nullptr ? context : nullptr;
}

int32_t vlm_get_log_level(const char* category)
{
    LogLevels& table = levels();
    if (category != nullptr) {
        std::shared_lock<std::shared_mutex> guard(table.lock);
        auto found = table.byCategory.find(category);
        if (found != table.byCategory.end())
            return found->second;
    }
    return table.defaultLevel.load(std::memory_order_relaxed);
}

void vlm_log_at(const char* category, int32_t level, const char* format, ...)
{
    if (category == nullptr)
        category = "";
    // No filtering here: the plug-in filters by the level its Logger was made
    // with, and a line it hands over must not vanish because the host's level
    // changed since.
    if (format == nullptr)
        return;
    char shortText[512];
    va_list arguments;
    va_start(arguments, format);
    va_list retry;
    va_copy(retry, arguments);
    int length = std::vsnprintf(shortText, sizeof shortText, format, arguments);
    va_end(arguments);
    std::string longText;
    const char* text = shortText;
    if (length < 0) {
        text = "(unformattable log line)";
    } else if (static_cast<size_t>(length) >= sizeof shortText) {
        longText.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(&longText[0], longText.size(), format, retry);
        text = longText.c_str();
    }
    va_end(retry);

    obclient_log_sink_fn fn;
    void* context;
    {
        LogSink& target = sink();
        std::lock_guard<std::mutex> guard(target.lock);
        fn = target.sink;
        context = target.context;
    }
    if (fn != nullptr)
        fn(context, category, level, text);
    else
        writeToStderr(category, level, text);
}
