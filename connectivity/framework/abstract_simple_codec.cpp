#include <exception>

#include "connectivity/framework/abstract_codec.h"
#include "connectivity/framework/framework_texts.h"

namespace com::velmora::connectivity10_15_4 {
namespace {

struct ErrorInHand {
    bool active = false;
    const std::exception* error = nullptr;
};

thread_local ErrorInHand errorInHand;

// Publishes what the loop's handler caught for as long as the handler runs.
class HoldError {
public:
    explicit HoldError(const std::exception* error) noexcept : saved_(errorInHand)
    {
        errorInHand = {true, error};
    }
    HoldError(const HoldError&) = delete;
    HoldError& operator=(const HoldError&) = delete;
    ~HoldError() { errorInHand = saved_; }

private:
    ErrorInHand saved_;
};

// Transforms each message in place and moves the kept ones to the front in
// their order, by exchanging records so no value is copied. Returns one past
// the last kept message.
template <class Transform, class HandleError>
Message* transformAndCompact(Message* start, Message* end, Transform transform, HandleError handleError)
{
    Message* output = start;
    for (Message* message = start; message != end; ++message) {
        bool keep;
        try {
            keep = transform(*message);
        } catch (const std::exception& error) {
            // Still inside the handler, so the error handler can rethrow to learn the type.
            const HoldError held(&error);
            keep = handleError(*message);
        } catch (...) {
            const HoldError held(nullptr);
            keep = handleError(*message);
        }
        if (!keep)
            continue;
        if (message != output)
            message->swap(*output);
        ++output;
    }
    return output;
}

} // namespace

void AbstractSimpleCodec::sendBatchTowardsHost(Message* start, Message* end)
{
    Message* keptEnd = transformAndCompact(
        start, end,
        [this](Message& message) {
            return message.getPayload().empty() ? transformNullPayloadTowardsHost(message)
                                                : transformMessageTowardsHost(message);
        },
        [this](Message& message) { return handleTransformError(message, false); });
    if (hostSide)
        hostSide->sendBatchTowardsHost(start, keptEnd);
}

void AbstractSimpleCodec::sendBatchTowardsTransport(Message* start, Message* end)
{
    Message* keptEnd = transformAndCompact(
        start, end,
        [this](Message& message) {
            return message.getPayload().empty() ? transformNullPayloadTowardsTransport(message)
                                                : transformMessageTowardsTransport(message);
        },
        [this](Message& message) { return handleTransformError(message, true); });
    if (transportSide)
        transportSide->sendBatchTowardsTransport(start, keptEnd);
}

bool transformErrorInHand(const std::exception*& error) noexcept
{
    error = errorInHand.error;
    return errorInHand.active;
}

bool AbstractSimpleCodec::transformNullPayloadTowardsHost(Message&)
{
    return true;
}

bool AbstractSimpleCodec::transformNullPayloadTowardsTransport(Message&)
{
    return true;
}

bool AbstractSimpleCodec::handleTransformError(Message& message, bool)
{
    // Rendering the message costs host calls, so it is skipped when the line would be filtered anyway.
    try {
        throw;
    } catch (const std::exception& error) {
        if (logger.isEnabled(Logger::levelError))
            logger.error(texts::transformErrorDropped, error.what(), toString(message, true).c_str());
    } catch (...) {
        if (logger.isEnabled(Logger::levelError))
            logger.error(texts::unknownTransformError, toString(message, true).c_str());
    }
    return false;
}

} // namespace com::velmora::connectivity10_15_4
