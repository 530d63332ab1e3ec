// The road of one notification through the codec towards the host, and of a
// notification that cannot be converted, from the throw to its one log line:
// transformMessageTowardsHost leaves the error stub in the batch slot and lets
// the exception go on; the batch loop, still handling it, calls
// handleTransformError, which takes its text from the loop and logs the line.
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "codec/codec_errors.h"
#include "codec/notification_keys.h"
#include "codec/tessaro_notifications2_codec.h"

namespace com::velmora::connectivity::plugins::pulsar {
namespace {

// The notification's "id" when it is a string, else null.
const cv::data_t* findStringId(const cv::map_t& payload)
{
    const cv::map_t::const_iterator id = payload.find(keys::id.value(), keys::id.hash());
    return id != payload.end() && id->second.isString() ? &id->second : nullptr;
}

// What stays in the batch slot of a notification that could not be converted:
// only its id, so that the drop report can name it. Nothing reads the slot while
// the notification is converted, so the stub is made only when conversion fails,
// from the id as it was when conversion began; a conversion that succeeds costs
// no host allocation for it.
class ErrorStub {
public:
    explicit ErrorStub(const cv::map_t& notificationPayload)
    {
        const cv::data_t* id = findStringId(notificationPayload);
        if (id == nullptr)
            return;
        hasId = true;
        // A borrowed text is copied as its pointer, without allocating; an owned one
        // is kept here until needed. Platform ids are short, and every notification
        // pays for this copy, so those are copied in place without a string's calls.
        if (id->tag() == VLM_TAG_BORROWED_STRING) {
            borrowedId = *id;
            return;
        }
        const char* text = id->get<const char*>();
        const std::size_t length = std::strlen(text);
        if (length < sizeof shortIdText)
            std::memcpy(shortIdText, text, length + 1);
        else
            longIdText.assign(text, length);
    }
    ErrorStub(const ErrorStub&) = delete;
    ErrorStub& operator=(const ErrorStub&) = delete;

    cv::Message make() const
    {
        if (!hasId)
            return cv::Message();
        cv::map_t stubPayload;
        stubPayload.findOrInsert(keys::id.value(), keys::id.hash()) =
            borrowedId.empty() ? cv::data_t(longIdText.empty() ? shortIdText : longIdText.c_str())
                               : borrowedId;
        return cv::Message(cv::data_t(std::move(stubPayload)), cv::map_t());
    }

private:
    bool hasId = false;
    cv::data_t borrowedId;
    char shortIdText[32] = {};
    std::string longIdText; // an id too long for shortIdText
};

// The id the drop report names: the stub's, or the untouched message's when the
// failure came before the stub could be left.
const char* stringIdOf(const cv::Message& message)
{
    const cv::data_t& payload = message.getPayload();
    const cv::data_t* id = payload.isMap() ? findStringId(payload.get<cv::map_t>()) : nullptr;
    return id == nullptr ? nullptr : id->get<const char*>();
}

// Leaves the error stub in the batch slot unless dismissed once conversion has
// succeeded. It does not catch: a catch and rethrow would unwind the stack a
// second time.
class StubOnFailure {
public:
    StubOnFailure(cv::Message& slot, const ErrorStub& stub) : slot_(slot), stub_(stub) {}
    StubOnFailure(const StubOnFailure&) = delete;
    StubOnFailure& operator=(const StubOnFailure&) = delete;
    ~StubOnFailure()
    {
        if (dismissed_)
            return;
        try {
            slot_ = stub_.make();
        } catch (...) {
            // No memory for the stub: the drop is still reported, without the id.
            slot_ = cv::Message();
        }
    }
    void dismiss() { dismissed_ = true; }

private:
    cv::Message& slot_;
    const ErrorStub& stub_;
    bool dismissed_ = false;
};

// Call only while an exception is being handled. The text of a standard
// exception, else null; it stays valid while the caller's handler is active,
// since that handler keeps the exception alive. Outside the batch loop the
// exception is rethrown to learn its type.
const char* currentExceptionText()
{
    const std::exception* inHand = nullptr;
    if (cv::transformErrorInHand(inHand))
        return inHand == nullptr ? nullptr : inHand->what();
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return nullptr;
    }
}

} // namespace

bool TessaroNotifications2Codec::transformMessageTowardsHost(cv::Message& message)
{
    const cv::map_t& metadata = message.getMetadata();
    const cv::map_t::const_iterator found = metadata.find(keys::pulsarPath.value(), keys::pulsarPath.hash());
    if (found == metadata.end())
        return true;
    // The value stays where it is while the metadata moves to the notification with its table.
    const cv::data_t& path = found->second;
    if (logger.isEnabled(cv::Logger::levelDebug))
        logger.debug("%s", (logTexts::processingMessage + cv::toString(message, true)).c_str());
    // A payload that is not a map throws here, leaving the message as it came.
    const ErrorStub errorStub(message.getPayload().get<cv::map_t>());
    cv::Message notification;
    notification.swap(message);
    StubOnFailure stubOnFailure(message, errorStub);
    message = convertNotification(std::move(notification), tailOfPath(path));
    stubOnFailure.dismiss();
    return true;
}

bool TessaroNotifications2Codec::handleTransformError(cv::Message& message, bool towardsTransport)
{
    if (std::current_exception() == nullptr)
        return false;
    const char* id = stringIdOf(message);
    const char* reason = currentExceptionText();
    logger.error("%s", logTexts::transformError(towardsTransport, id, reason).c_str());
    return false;
}

} // namespace com::velmora::connectivity::plugins::pulsar
