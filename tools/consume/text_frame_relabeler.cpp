#include "tools/consume/text_frame_relabeler.h"

#include <algorithm>

namespace consume {

namespace {

constexpr unsigned char opcodeMask = 0x0f;
constexpr unsigned char textOpcode = 0x1;
constexpr unsigned char binaryOpcode = 0x2;
constexpr unsigned char maskBit = 0x80;
constexpr unsigned char lengthMask = 0x7f;
constexpr unsigned char length16 = 126;
constexpr unsigned char length64 = 127;
constexpr const char* headEnd = "\r\n\r\n";

} // namespace

void TextFrameRelabeler::pass(unsigned char* data, size_t size)
{
    size_t at = 0;
    while (at < size) {
        switch (part_) {
        case Part::HttpHead: {
            const char byte = static_cast<char>(data[at++]);
            if (byte == headEnd[headEndMatched_])
                ++headEndMatched_;
            else
                headEndMatched_ = byte == '\r' ? 1 : 0;
            if (headEndMatched_ == 4)
                part_ = Part::FrameHeader;
            break;
        }
        case Part::FrameHeader:
            headerByte(data[at++]);
            break;
        case Part::Payload: {
            const uint64_t skipped = std::min<uint64_t>(payloadLeft_, size - at);
            at += static_cast<size_t>(skipped);
            payloadLeft_ -= skipped;
            if (payloadLeft_ == 0)
                part_ = Part::FrameHeader;
            break;
        }
        }
    }
}

void TextFrameRelabeler::headerByte(unsigned char& byte)
{
    // Continuation frames keep opcode 0: the message takes the opcode of its first frame.
    if (headerHave_ == 0 && (byte & opcodeMask) == textOpcode)
        byte = static_cast<unsigned char>((byte & ~opcodeMask) | binaryOpcode);
    header_[headerHave_++] = byte;
    if (headerHave_ == 2) {
        const unsigned char length = header_[1] & lengthMask;
        headerNeed_ = 2 +
                      (length == length16   ? 2
                       : length == length64 ? 8
                                            : 0) +
                      ((header_[1] & maskBit) != 0 ? 4 : 0);
    }
    if (headerHave_ < headerNeed_)
        return;
    const unsigned char length = header_[1] & lengthMask;
    uint64_t payload = length;
    if (length >= length16) {
        const size_t bytes = length == length16 ? 2 : 8;
        payload = 0;
        for (size_t i = 0; i < bytes; ++i)
            payload = (payload << 8) | header_[2 + i];
    }
    headerHave_ = 0;
    headerNeed_ = 2;
    payloadLeft_ = payload;
    part_ = payload > 0 ? Part::Payload : Part::FrameHeader;
}

} // namespace consume
