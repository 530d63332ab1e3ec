// The host-owned batch array. Messages go to the codec in place; once a batch
// has been through, every record's values are freed: those the codec kept (and
// the writer has written) and those it dropped, which it leaves behind the kept
// ones in the same array.
#pragma once

#include <cstddef>
#include <vector>

#include "host/vlm_abi.h"
#include "tools/common/codec_session.h"

namespace tools {

class Batch {
public:
    explicit Batch(size_t capacity) : capacity_(capacity) { messages_.reserve(capacity); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    ~Batch() { release(); }

    // Takes the message's values.
    void add(const vlm_message_t& message) { messages_.push_back(message); }
    bool full() const { return messages_.size() == capacity_; }

    // Hands the batch to the codec, then frees it; an empty batch is not sent.
    void sendThrough(CodecSession& codec);

private:
    void release();

    size_t capacity_;
    std::vector<vlm_message_t> messages_;
};

} // namespace tools
