#include <cstdint>
#include <cstring>

#include "obclient/accounting.h"
#include "obclient/obclient.h"
#include "obclient/records.h"

using obclient::RecordKind;

namespace {

vlm_buffer_t* allocateBuffer(const void* bytes, size_t length)
{
    size_t recordSize = obclient::recordBytes(RecordKind::Buffer, sizeof(vlm_buffer_t), 1, length);
    auto* buffer =
        static_cast<vlm_buffer_t*>(obclient::allocateRecord(RecordKind::Buffer, recordSize, false));
    buffer->length = length;
    if (length != 0)
        std::memcpy(vlm_buffer_bytes(buffer), bytes, length);
    return buffer;
}

} // namespace

vlm_data_t obclient_buffer(const void* bytes, size_t length)
{
    vlm_data_t value{};
    value.payload.buffer = allocateBuffer(bytes, length);
    value.tag = VLM_TAG_BUFFER;
    return value;
}

void vlm_free_buffer(vlm_buffer_t* buffer)
{
    if (buffer == nullptr)
        return;
    obclient::retireRecord(RecordKind::Buffer, buffer, "vlm_free_buffer");
    obclient::freeRecordMemory(buffer);
}

namespace obclient {

vlm_buffer_t* copyBuffer(const vlm_buffer_t* buffer)
{
    if (buffer == nullptr)
        return nullptr;
    return allocateBuffer(vlm_buffer_bytes(const_cast<vlm_buffer_t*>(buffer)), buffer->length);
}

} // namespace obclient
