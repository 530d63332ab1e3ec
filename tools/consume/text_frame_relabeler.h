// Websocket frames arrive as bytes; the websocket library refuses a text message whose
// bytes are not valid UTF-8 by failing the whole connection, after which the service
// delivers the same message again, for ever. The consumer reads each message as bytes
// instead: this rewrites the opcode of every incoming text frame to binary before the
// library sees it, so a message that cannot be read reaches the worker, which reports
// and acknowledges it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace consume {

class TextFrameRelabeler {
public:
    // The bytes read from the connection, in order and each once: first the HTTP response to the upgrade,
    // then frames from the service (never masked, but a mask is skipped all the same).
    void pass(unsigned char* data, size_t size);

private:
    enum class Part { HttpHead, FrameHeader, Payload };

    void headerByte(unsigned char& byte);

    Part part_ = Part::HttpHead;
    int headEndMatched_ = 0; // of "\r\n\r\n"
    unsigned char header_[14] = {};
    size_t headerHave_ = 0;
    size_t headerNeed_ = 2;
    uint64_t payloadLeft_ = 0;
};

} // namespace consume
