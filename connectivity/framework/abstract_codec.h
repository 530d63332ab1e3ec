// Codec bases: AbstractCodec owns the links to the next element in each
// direction; AbstractSimpleCodec owns the batch loop so a concrete codec is
// written one message at a time.
#pragma once

#include <exception>
#include <memory>

#include "connectivity/framework/plugin.h"

namespace com::velmora::connectivity10_15_4 {

class AbstractCodec : public Plugin, public HostSide, public TransportSide {
public:
    explicit AbstractCodec(const PluginParameters& params) : Plugin(params) {}
    ~AbstractCodec() override;

    // Takes the element over and destroys the one wired before.
    virtual void setNextTowardsHost(std::unique_ptr<HostSide> next);
    virtual void setNextTowardsTransport(std::unique_ptr<TransportSide> next);

protected:
    std::unique_ptr<HostSide> hostSide;
    std::unique_ptr<TransportSide> transportSide;
};

class AbstractSimpleCodec : public AbstractCodec {
public:
    using AbstractCodec::AbstractCodec;

    void sendBatchTowardsHost(Message* start, Message* end) override;
    void sendBatchTowardsTransport(Message* start, Message* end) override;

    // Per-message operations: return true to keep the message in the batch.
    virtual bool transformMessageTowardsHost(Message& message) = 0;
    virtual bool transformMessageTowardsTransport(Message& message) = 0;
    virtual bool transformNullPayloadTowardsHost(Message& message);
    virtual bool transformNullPayloadTowardsTransport(Message& message);
    // Called while the exception from a transformation is being handled, so it can be rethrown to learn its
    // type.
    virtual bool handleTransformError(Message& message, bool towardsTransport);
};

// While the batch loop of this thread calls handleTransformError: true, with the
// standard exception being handled (null for any other kind). Rethrowing to learn
// the type costs another unwinding; this answers without one. False elsewhere.
bool transformErrorInHand(const std::exception*& error) noexcept;

} // namespace com::velmora::connectivity10_15_4
