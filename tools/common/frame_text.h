// The text of a websocket notification frame: header lines (the first is the
// acknowledgement identifier), a blank line, then the body; lines end in "\n" or
// "\r\n". In a file, frames follow one another, each ended by a line holding only
// frameSeparator. Every reader and writer of frames goes through here, so that a
// capture replays exactly as it was received.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

enum FrameHeaderLine : size_t { identifierLine, pathLine, actionLine, frameHeaderLines };

constexpr std::string_view frameSeparator = "---";
// What ends every complete frame in a file: the separator on a line of its own.
constexpr std::string_view frameFileEnd = "\n---\n";

// The line without a carriage return before its "\n".
std::string_view withoutCarriageReturn(std::string_view line);
// Only spaces and tabs: the line that ends a frame's header.
bool isBlankLine(std::string_view line);
bool isFrameSeparator(std::string_view line);

struct FrameText {
    std::vector<std::string> header;
    std::string body;
    bool hasBody = false; // a blank line ended the header
};

FrameText splitFrame(std::string_view text);
std::string_view firstLine(std::string_view text);

// Appends the frame in the file form: its text, a line end when it has none, and the separator line.
void appendFrameToFile(std::string& file, std::string_view frame);

} // namespace tools
