// Every fixed text only the live consumer prints, in one place.
#pragma once

namespace consume::texts {

constexpr const char* toolName = "tessaro-consume";

// Usage errors (exit status 2).
constexpr const char* tryHelp = "Try 'tessaro-consume --help'.";
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

// The token (exit status 4).
constexpr const char* cannotReadToken = "cannot read the token: ";
constexpr const char* tokenCommandFailed = "the token command failed";
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

// The connection, on stderr at log level 3 and above.
constexpr const char* connected = "connected to ";
constexpr const char* reconnecting = "reconnecting in ";

// Reconnect causes in the summary.
constexpr const char* causeClosed = "closed by the service";
constexpr const char* causeFailed = "connection failed";
constexpr const char* causeDead = "no answer to pings";
constexpr const char* causeRefused = "token refused (401/403)";
constexpr const char* causeBusy = "subscription busy (409)";
constexpr const char* causeHttp = "refused with HTTP ";

} // namespace consume::texts
