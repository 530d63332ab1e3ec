#include <atomic>

#include "obclient/accounting.h"
#include "obclient/obclient.h"
#include "obclient/records.h"

using obclient::RecordKind;

namespace {

// A null copy callback makes copies share `user`; a null release callback
// leaves `user` alone when the object is freed.
struct CustomObject {
    void* user;
    obclient_custom_copy_fn copy;
    obclient_custom_free_fn release;
    uint64_t sequence;
};

std::atomic<uint64_t> lastSequence{0};

CustomObject* allocateCustom(void* user, obclient_custom_copy_fn copy, obclient_custom_free_fn release)
{
    auto* object =
        static_cast<CustomObject*>(obclient::allocateRecord(RecordKind::Custom, sizeof(CustomObject), false));
    *object = CustomObject{user, copy, release, lastSequence.fetch_add(1, std::memory_order_relaxed) + 1};
    return object;
}

} // namespace

vlm_data_t obclient_custom(void* user, obclient_custom_copy_fn copy, obclient_custom_free_fn release)
{
    vlm_data_t value{};
    value.payload.custom = allocateCustom(user, copy, release);
    value.tag = VLM_TAG_CUSTOM;
    return value;
}

void* obclient_custom_user(const void* custom)
{
    return custom == nullptr ? nullptr : static_cast<const CustomObject*>(custom)->user;
}

void vlm_free_custom(void* custom)
{
    if (custom == nullptr)
        return;
    obclient::retireRecord(RecordKind::Custom, custom, "vlm_free_custom");
    auto* object = static_cast<CustomObject*>(custom);
    if (object->release != nullptr)
        object->release(object->user);
    obclient::freeRecordMemory(object);
}

namespace obclient {

void* copyCustom(const void* custom)
{
    if (custom == nullptr)
        return nullptr;
    const auto* object = static_cast<const CustomObject*>(custom);
    void* user = object->copy != nullptr ? object->copy(object->user) : object->user;
    return allocateCustom(user, object->copy, object->release);
}

uint64_t customSequence(const void* custom)
{
    return custom == nullptr ? 0 : static_cast<const CustomObject*>(custom)->sequence;
}

} // namespace obclient
