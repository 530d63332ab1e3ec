#include <atomic>
#include <mutex>
#include <unordered_map>

#include "obclient/obclient.h"
#include "obclient/records.h"

namespace {

struct UserStatusStore {
    std::mutex lock;
    std::unordered_map<void*, vlm_map_table_t*> byHandle;
    std::atomic<uint64_t> calls{0};
};

// Never destroyed: a plug-in may publish while the process exits.
UserStatusStore& store()
{
    static UserStatusStore* instance = new UserStatusStore;
    return *instance;
}

} // namespace

void vlm_set_user_status_map(void* hostHandle, vlm_map_table_t* map)
{
    UserStatusStore& status = store();
    status.calls.fetch_add(1, std::memory_order_relaxed);
    vlm_map_table_t* copy = obclient::copyMapTable(map);
    vlm_map_table_t* previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(status.lock);
        vlm_map_table_t*& slot = status.byHandle[hostHandle];
        previous = slot;
        slot = copy;
    }
    vlm_free_map(previous);
}

vlm_map_table_t* obclient_user_status(void* hostHandle)
{
    UserStatusStore& status = store();
    std::lock_guard<std::mutex> guard(status.lock);
    auto found = status.byHandle.find(hostHandle);
    return found != status.byHandle.end() ? obclient::copyMapTable(found->second) : nullptr;
}

uint64_t obclient_user_status_calls(void)
{
    return store().calls.load(std::memory_order_relaxed);
}

void obclient_clear_user_status(void)
{
    std::unordered_map<void*, vlm_map_table_t*> published;
    {
        UserStatusStore& status = store();
        std::lock_guard<std::mutex> guard(status.lock);
        published.swap(status.byHandle);
    }
    for (auto& entry : published)
        vlm_free_map(entry.second);
}
