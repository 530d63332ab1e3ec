// The polymorphic base of every plug-in instance and the two chain interfaces
// through which batches move on.
#pragma once

#include <memory>
#include <string>

#include "connectivity/framework/logger.h"
#include "connectivity/values/map_t.h"
#include "connectivity/values/message.h"
#include "host/vlm_abi.h"

namespace com::velmora::connectivity10_15_4 {

// What creation hands to every plug-in constructor. Not an aggregate, so it is
// filled field by field by name: the chain id and the plug-in name, both texts,
// cannot be swapped by their position.
struct PluginParameters {
    PluginParameters() noexcept {}

    std::string chainId;
    std::string pluginName;
    map_t config;
    // What the host passed at creation: the handle names the instance when it calls
    // back for user status; the context is the host's own and only kept.
    void* hostHandle = nullptr;
    void* hostContext = nullptr;
};

// Publishes pending user status to the host when the plug-in goes away. This codec
// adds no entries, but the framework owes every plug-in the publication: a host
// runtime expects the status call among the plug-in's imports, so it stays.
class UserStatusHolder {
public:
    explicit UserStatusHolder(void* hostHandle) noexcept : hostHandle(hostHandle) {}
    UserStatusHolder(const UserStatusHolder&) = delete;
    UserStatusHolder& operator=(const UserStatusHolder&) = delete;
    ~UserStatusHolder();

private:
    void* hostHandle;
    map_t pendingStatus;
};

class Plugin {
public:
    explicit Plugin(const PluginParameters& params);
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    virtual ~Plugin();

    // Lifecycle notifications from the host; nothing to do unless a plug-in overrides them.
    virtual void start() {}
    virtual void hostReady() {}
    virtual void shutdown() {}

    const std::string& getPluginName() const noexcept { return pluginName; }
    const std::string& getChainId() const noexcept { return chainId; }
    const map_t& getConfig() const noexcept { return config; }
    const Logger& getLogger() const noexcept { return logger; }

protected:
    std::string pluginName;
    std::string chainId;
    map_t config;
    void* hostContext; // kept for the instance's life, as the host hands it over; read by no codec here
    Logger logger;
    std::unique_ptr<UserStatusHolder> userStatus;
};

// The next element towards the host. start..end is a contiguous array the
// caller owns; the element may transform and reorder it in place.
class HostSide {
public:
    virtual ~HostSide() = default;
    virtual void sendBatchTowardsHost(Message* start, Message* end) = 0;
};

// The next element towards the transport; same contract as HostSide.
class TransportSide {
public:
    virtual ~TransportSide() = default;
    virtual void sendBatchTowardsTransport(Message* start, Message* end) = 0;
};

// A neighbour that lives in the host, reached through the function it supplied when wiring.
class RemoteHostSide : public HostSide {
public:
    RemoteHostSide(void* nextHandle, vlm_send_batch_fn nextSendBatch) noexcept
        : nextHandle(nextHandle), nextSendBatch(nextSendBatch)
    {}
    void sendBatchTowardsHost(Message* start, Message* end) override;

private:
    void* nextHandle;
    vlm_send_batch_fn nextSendBatch;
};

class RemoteTransportSide : public TransportSide {
public:
    RemoteTransportSide(void* nextHandle, vlm_send_batch_fn nextSendBatch) noexcept
        : nextHandle(nextHandle), nextSendBatch(nextSendBatch)
    {}
    void sendBatchTowardsTransport(Message* start, Message* end) override;

private:
    void* nextHandle;
    vlm_send_batch_fn nextSendBatch;
};

} // namespace com::velmora::connectivity10_15_4
