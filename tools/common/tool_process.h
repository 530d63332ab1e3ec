// What every tool's main() does alike: how it fails, how it prints its help, and
// the process settings it runs under.
#pragma once

#include <new>
#include <string>

namespace tools {

struct ToolIdentity {
    const char* name;
    const char* tryHelp;
    int helpWriteFailure; // the status when the help cannot be written
};

// Prints "tool: reason" (and the hint to --help after a usage error); returns status.
int fail(const ToolIdentity& tool, int status, const std::string& reason);

// A closed pipe or a full disk under the help is a failure the caller is told of.
int printHelp(const ToolIdentity& tool, const std::string& help);

// A closed output pipe then fails the write that meets it instead of ending the process unannounced.
void ignoreBrokenPipes();

// Every record is bounded, so running out of memory means a machine smaller than the limits
// allow: named on stderr as outOfMemory, with status, rather than an abort.
template <typename Run>
int runNamingOutOfMemory(const ToolIdentity& tool, int status, const char* outOfMemory, Run run)
{
    try {
        return run();
    } catch (const std::bad_alloc&) {
        return fail(tool, status, outOfMemory);
    }
}

} // namespace tools
