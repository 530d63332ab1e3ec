#include "tools/consume/token_source.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/consume/consume_texts.h"

namespace consume {

namespace {

constexpr const char* whitespace = " \t\r\n";

bool readAll(std::FILE* stream, std::string& text)
{
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0)
        text.append(chunk, got);
    return std::ferror(stream) == 0;
}

} // namespace

bool readToken(const std::string& tokenFile, const std::string& tokenCommand, std::string& token,
               std::string& reason)
{
    std::string text;
    if (!tokenFile.empty()) {
        std::FILE* file = std::fopen(tokenFile.c_str(), "rb");
        const bool read = file != nullptr && readAll(file, text);
        const int error = errno;
        if (file != nullptr)
            std::fclose(file);
        if (!read) {
            reason = texts::cannotReadToken + tokenFile + ": " + std::strerror(error);
            return false;
        }
    } else {
        std::FILE* command = ::popen(tokenCommand.c_str(), "r");
        if (command == nullptr) {
            reason = texts::cannotReadToken + std::string(std::strerror(errno));
            return false;
        }
        const bool read = readAll(command, text);
        const int status = ::pclose(command);
        if (!read || status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            reason = texts::cannotReadToken + std::string(texts::tokenCommandFailed);
            return false;
        }
    }
    const size_t first = text.find_first_not_of(whitespace);
    if (first == std::string::npos) {
        reason = texts::cannotReadToken + std::string(texts::tokenEmpty);
        return false;
    }
    token = text.substr(first, text.find_last_not_of(whitespace) + 1 - first);
    return true;
}

} // namespace consume
