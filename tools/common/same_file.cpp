#include "tools/common/same_file.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tools {

namespace {

bool identify(const std::string& path, struct stat& identity)
{
    if (path == "-")
        return ::fstat(STDIN_FILENO, &identity) == 0;
    return ::stat(path.c_str(), &identity) == 0;
}

bool sameIdentity(const struct stat& one, const struct stat& other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The folder an entry would be created in, and the entry's name in it.
bool identifyEntry(const std::string& path, struct stat& folder, std::string& name)
{
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    return !name.empty() && ::stat(parent.c_str(), &folder) == 0;
}

bool sameEntry(const std::string& one, const std::string& other)
{
    struct stat oneFolder {};
    struct stat otherFolder {};
    std::string oneName;
    std::string otherName;
    return identifyEntry(one, oneFolder, oneName) && identifyEntry(other, otherFolder, otherName) &&
           oneName == otherName && sameIdentity(oneFolder, otherFolder);
}

} // namespace

std::string sameFileAs(const std::string& path, const std::vector<std::string>& candidates)
{
    if (path.empty())
        return {};
    struct stat target {};
    const bool exists = ::stat(path.c_str(), &target) == 0;
    for (const std::string& candidate : candidates) {
        if (candidate.empty())
            continue;
        struct stat identity {};
        if (exists
                ? identify(candidate, identity) && sameIdentity(identity, target)
                : candidate != "-" && ::stat(candidate.c_str(), &identity) != 0 && sameEntry(path, candidate))
            return candidate;
    }
    return {};
}

} // namespace tools
