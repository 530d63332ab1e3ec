// Reads fuzzer bytes front to back; past the end every read gives zeros, so any
// input decodes to something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace fuzzing {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint64_t word()
    {
        std::uint8_t bytes[8] = {};
        const std::size_t available = size_ - position_ < 8 ? size_ - position_ : 8;
        std::memcpy(bytes, data_ + position_, available);
        position_ += available;
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i)
            value = value << 8 | bytes[i];
        return value;
    }
    // A length byte, then up to that many bytes.
    std::string text()
    {
        const std::size_t wanted = byte();
        const std::size_t length = size_ - position_ < wanted ? size_ - position_ : wanted;
        std::string result(reinterpret_cast<const char*>(data_ + position_), length);
        position_ += length;
        return result;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

} // namespace fuzzing
