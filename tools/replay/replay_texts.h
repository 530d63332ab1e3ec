// Every fixed text only the replay tool prints, in one place.
#pragma once

namespace replay::texts {

constexpr const char* toolName = "tessaro-replay";
constexpr const char* standardInputName = "<stdin>";

// Whole inputs (reported as FILE: text).
constexpr const char* cannotOpen = "cannot open: ";
constexpr const char* cannotRead = "cannot read: ";
constexpr const char* emptyInput = "empty input, no messages";

// Usage errors (exit status 2).
constexpr const char* tryHelp = "Try 'tessaro-replay --help'.";
constexpr const char* badFormat = "--format wants jsonl or frames, not ";

} // namespace replay::texts
