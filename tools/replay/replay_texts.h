// Every fixed text only the replay tool prints, in one place.
#pragma once

namespace replay::texts {

constexpr const char* toolName = "tessaro-replay";
constexpr const char* standardInputName = "<stdin>";

// Records that cannot be read (reported as FILE:LINE: text).
constexpr const char* recordTooLong = "skipped: the record is longer than ";
constexpr const char* recordTooLongHint = " bytes (see --max-record-bytes)";

// Whole inputs (reported as FILE: text).
constexpr const char* cannotOpen = "cannot open: ";
constexpr const char* cannotRead = "cannot read: ";
constexpr const char* emptyInput = "empty input, no messages";
constexpr const char* looksLikeFrames =
    "these lines look like notification frames (identifier, path, action): read them with --format frames";

// Usage errors (exit status 2).
constexpr const char* tryHelp = "Try 'tessaro-replay --help'.";
constexpr const char* badFormat = "--format wants jsonl or frames, not ";
constexpr const char* badMaxRecordBytes = "--max-record-bytes wants a whole number from 1 to 2^40, not ";
constexpr const char* badMaxObjectEntries = "--max-object-entries wants a whole number from 1 to 2^32, not ";
constexpr const char* badJobs = "--jobs wants a whole number from 1 to 256, not ";
constexpr const char* actionsWithoutFrames =
    "--actions chooses frames by their action: it wants --format frames";
constexpr const char* outputIsAnInput = "--output would overwrite an input of this run: ";

// After the run.
constexpr const char* stoppedReading = "stopped reading at the first failed write";
constexpr const char* outOfMemory = "out of memory; lower --max-record-bytes or --batch";

} // namespace replay::texts
