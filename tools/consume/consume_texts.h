// Every fixed text only the live consumer prints, in one place.
#pragma once

namespace consume::texts {

constexpr const char* toolName = "tessaro-consume";

// Usage errors (exit status 2).
constexpr const char* tryHelp = "Try 'tessaro-consume --help'.";
constexpr const char* outOfMemory = "out of memory; lower --max-buffered-bytes";
constexpr const char* missingUrl = "--url is required";
constexpr const char* badUrl = "--url wants ws://HOST[:PORT]/PATH or wss://HOST[:PORT]/PATH, not ";
constexpr const char* oneTokenSource = "exactly one of --token-file and --token-command is required";
constexpr const char* unexpectedOperand = "unexpected argument ";
constexpr const char* badBatchWait = "--batch-wait wants milliseconds from 1 to 3600000, not ";
constexpr const char* badPingInterval = "--ping-interval wants seconds from 0.01 to 3600, not ";
constexpr const char* badReconnectMax = "--reconnect-max wants seconds from 0.1 to 86400, not ";
constexpr const char* cannotOpenCapture = "cannot open capture ";
constexpr const char* outputIsAnotherFile = "--output is the same file as ";
constexpr const char* captureIsAnotherFile = "--capture is the same file as ";
constexpr const char* cannotReadCa = "cannot use --ca-file ";
constexpr const char* badTokenTimeout = "--token-timeout wants seconds from 0.1 to 3600, not ";
constexpr const char* badMaxBufferedBytes =
    "--max-buffered-bytes wants a whole number from 1024 to 2^40, not ";
constexpr const char* badMaxRecordBytes = "--max-record-bytes wants a whole number from 1 to 2^40, not ";
constexpr const char* noTokenAtStart = "no token to start with: ";

// The token (exit status 4 once running).
constexpr const char* cannotReadToken = "cannot read the token: ";
constexpr const char* tokenCommandFailed = "the token command failed";
constexpr const char* tokenCommandTimedOut = "the token command did not finish within ";
constexpr const char* tokenCommandKilled = "; its process group was killed";
constexpr const char* tokenCommandOutput = "the token command's output";
constexpr const char* tokenTooLong = ": more than 64 KiB, which is no token";
constexpr const char* keepingLastToken = "; keeping the last good token";
constexpr const char* tokenEmpty = "the token source gave an empty token";
constexpr const char* tokenRefusedUnchanged =
    "the service refused the token, and the token source still gives it";
constexpr const char* tokenRefusedAgain = "the service refused the token read again as well";

// The output and the capture.
constexpr const char* outputCut = "cut an unfinished last line, left by an earlier run, off the output: ";
constexpr const char* captureCut = "cut an unfinished last frame, left by an earlier run, off the capture ";
constexpr const char* bytes = "bytes";
constexpr const char* cannotRepairCapture = "cannot cut the unfinished last frame off capture ";
constexpr const char* cannotWriteCapture =
    "cannot write the capture (the stream goes on; frames are not captured "
    "until a write succeeds) ";
constexpr const char* cannotReopenOutput = "cannot reopen the output; writing on to the file already open: ";
constexpr const char* cannotReopenCapture =
    "cannot reopen the capture; writing on to the file already open: ";

// Frames that cannot be converted, acknowledged all the same.
constexpr const char* frameLabel = "frame ";
constexpr const char* frameWithoutIdentifier = "(no identifier)";
constexpr const char* frameTooLarge = " bytes, more than --max-record-bytes; dropped unread";
constexpr const char* frameTooLargeAcknowledged = " and acknowledged";
constexpr const char* frameTooLargeUnacknowledged = ", not acknowledged: no identifier";
constexpr const char* unsubscribeIdentifier = "unsubscribe";
constexpr const char* unsubscribeNotSent =
    ": not acknowledged, since sending its identifier would ask the service to drop the subscription";

// The connection, on stderr at log level 3 and above.
constexpr const char* connected = "connected to ";
constexpr const char* reconnecting = "reconnecting in ";
constexpr const char* draining = ": writing and acknowledging what was received, then closing";
constexpr const char* givingUpGroup =
    ": the output is still waiting; it is asked to give up the group in hand, which stays unacknowledged";
constexpr const char* reopening = "SIGHUP: reopening the output and capture";

// Reconnect causes in the summary, each named for what happened.
constexpr const char* causeClosed = "closed by the service";
constexpr const char* causeFailed = "connection failed";
constexpr const char* causeDead = "no answer to pings";
constexpr const char* causeTimeout = "timed out connecting";
constexpr const char* causeBadResponse = "bad response to the upgrade";
constexpr const char* causeTls = "TLS failure";
constexpr const char* causeAcknowledgementsNotRead = "acknowledgements not read by the service";
constexpr const char* causeRefused = "token refused (401/403)";
constexpr const char* causeBusy = "subscription busy (409)";
constexpr const char* causeHttp = "refused with HTTP ";
constexpr const char* closeCode = "code ";

// The connection's phases, in the log and the summary.
constexpr const char* phaseConnecting = "connecting";
constexpr const char* phaseOpen = "open";
constexpr const char* phaseBackoff = "backoff";
constexpr const char* phaseDraining = "draining";
constexpr const char* phaseStopped = "stopped";

} // namespace consume::texts
