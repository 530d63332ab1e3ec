#include "tools/common/frame_text.h"

namespace tools {

std::string_view withoutCarriageReturn(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool isBlankLine(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool isFrameSeparator(std::string_view line)
{
    return line == frameSeparator;
}

FrameText splitFrame(std::string_view text)
{
    FrameText parts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = withoutCarriageReturn(text.substr(start, end - start));
        start = end + 1;
        if (isBlankLine(line)) {
            parts.hasBody = true;
            if (start < text.size())
                parts.body = text.substr(start);
            return parts;
        }
        parts.header.emplace_back(line);
    }
    return parts;
}

std::string_view firstLine(std::string_view text)
{
    return withoutCarriageReturn(text.substr(0, text.find('\n')));
}

void appendFrameToFile(std::string& file, std::string_view frame)
{
    file += frame;
    if (frame.empty() || frame.back() != '\n')
        file += '\n';
    file += frameSeparator;
    file += '\n';
}

} // namespace tools
