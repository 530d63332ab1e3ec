// The plug-in's C boundary. Every entry point but the version queries and
// destroy runs its work under a catch-all, so no exception reaches the host.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "codec/tessaro_notifications2_codec.h"
#include "connectivity/framework/log_category.h"
#include "connectivity/framework/log_current_exception.h"
#include "host/vlm_abi.h"
#include "host/vlm_plugin_api.h"

namespace {

namespace cv = com::velmora::connectivity10_15_4;
using com::velmora::connectivity::plugins::pulsar::TessaroNotifications2Codec;

constexpr std::int32_t apiVersion = 4;
constexpr const char* productVersion = "10.15.4.1";

constexpr std::int32_t statusSuccess = 0;
constexpr std::int32_t statusFailure = 1;

// No plug-in and so no Logger of its own stands behind a null handle: the
// refusal goes out under this category, at the level of the operation refused.
constexpr const char* nullHandleLogCategory = "connectivity.TessaroNotifications2Codec";

std::string nullCreationArgument(const char* name)
{
    return std::string("Null argument given to create: ") + name;
}

constexpr const char* noNextBatchFunction = "No batch function given for the next element";
constexpr const char* nullHandle = "Null plug-in handle";
constexpr const char* invalidBatchRange = "Invalid batch range: the end is null or before the start";

// The handle designates the object as a Plugin; the codec is the only class made here.
cv::Plugin& pluginOf(void* handle)
{
    return *static_cast<cv::Plugin*>(handle);
}

TessaroNotifications2Codec& codecOf(void* handle)
{
    if (handle == nullptr)
        throw std::runtime_error(nullHandle);
    return static_cast<TessaroNotifications2Codec&>(pluginOf(handle));
}

void requireArgument(const void* argument, const char* name)
{
    if (argument == nullptr)
        throw std::runtime_error(nullCreationArgument(name));
}

void requireBatchFunction(vlm_send_batch_fn nextSendBatch)
{
    if (nextSendBatch == nullptr)
        throw std::runtime_error(noNextBatchFunction);
}

// Both null is an empty batch; checked before any record is touched.
void requireBatchRange(const vlm_message_t* start, const vlm_message_t* end)
{
    if ((start == nullptr) != (end == nullptr) || end < start)
        throw std::runtime_error(invalidBatchRange);
}

std::unique_ptr<cv::Plugin> createCodec(const char* pluginName, const char* chainId, vlm_data_t* config,
                                        void* hostHandle, void* hostContext)
{
    requireArgument(pluginName, "pluginName");
    requireArgument(chainId, "chainId");
    requireArgument(config, "config");
    cv::PluginParameters params;
    params.pluginName = pluginName;
    params.chainId = chainId;
    // The host keeps its record: it is read in place and deep-copied here.
    params.config = reinterpret_cast<const cv::data_t*>(config)->get<cv::map_t>();
    params.hostHandle = hostHandle;
    params.hostContext = hostContext;
    return std::make_unique<TessaroNotifications2Codec>(params);
}

// No plug-in exists yet, so the failure goes out through a Logger of the category it would have had.
void logCreationFailure(const char* pluginName, const char* chainId) noexcept
{
    try {
        const cv::Logger logger(cv::pluginLogCategory(pluginName != nullptr ? pluginName : "",
                                                      chainId != nullptr ? chainId : ""));
        cv::logCurrentException(logger, cv::Logger::levelCritical, "create");
    } catch (...) {
        // Out of memory for the category text; the null handle still reports the failure.
    }
}

void logGuardedFailure(void* handle, std::int32_t level, const char* operation) noexcept
{
    if (handle != nullptr) {
        cv::logCurrentException(pluginOf(handle).getLogger(), level, operation);
        return;
    }
    try {
        cv::logCurrentException(cv::Logger(nullHandleLogCategory), level, operation);
    } catch (...) {
        // Out of memory for the Logger; the status still reports the failure.
    }
}

template <class Work>
std::int32_t runGuarded(void* handle, std::int32_t level, const char* operation, Work work) noexcept
{
    try {
        work(codecOf(handle));
        return statusSuccess;
    } catch (...) {
        logGuardedFailure(handle, level, operation);
        return statusFailure;
    }
}

// Wiring hands the codec a new remote side, which destroys the one wired before.
template <class RemoteSide, class Side>
std::int32_t wireNext(void* handle, const char* operation, void* nextHandle, vlm_send_batch_fn nextSendBatch,
                      void (cv::AbstractCodec::*setNext)(std::unique_ptr<Side>)) noexcept
{
    return runGuarded(handle, cv::Logger::levelCritical, operation,
                      [nextHandle, nextSendBatch, setNext](TessaroNotifications2Codec& codec) {
                          requireBatchFunction(nextSendBatch);
                          (codec.*setNext)(std::make_unique<RemoteSide>(nextHandle, nextSendBatch));
                      });
}

} // namespace

extern "C" {

[[gnu::visibility("default")]] void* vlm_create_plugin_with_params_TessaroNotifications2Codec(
    const char* pluginName, const char* chainId, vlm_data_t* config, void* hostHandle, void* hostContext)
{
    try {
        return createCodec(pluginName, chainId, config, hostHandle, hostContext).release();
    } catch (...) {
        logCreationFailure(pluginName, chainId);
        return nullptr;
    }
}

// Destructors cannot throw, so there is nothing to guard or log.
[[gnu::visibility("default")]] int32_t vlm_destroy_plugin_TessaroNotifications2Codec(void* handle)
{
    if (handle != nullptr)
        delete &pluginOf(handle);
    return statusSuccess;
}

[[gnu::visibility("default")]] int32_t vlm_plugin_api_version_TessaroNotifications2Codec(void)
{
    return apiVersion;
}

[[gnu::visibility("default")]] const char* vlm_plugin_product_version_TessaroNotifications2Codec(void)
{
    return productVersion;
}

[[gnu::visibility("default")]] int32_t vlm_plugin_start_TessaroNotifications2Codec(void* handle)
{
    return runGuarded(handle, cv::Logger::levelCritical, "start", [](cv::Plugin& plugin) { plugin.start(); });
}

[[gnu::visibility("default")]] int32_t vlm_plugin_hostReady_TessaroNotifications2Codec(void* handle)
{
    return runGuarded(handle, cv::Logger::levelError, "hostReady",
                      [](cv::Plugin& plugin) { plugin.hostReady(); });
}

[[gnu::visibility("default")]] int32_t vlm_plugin_shutdown_TessaroNotifications2Codec(void* handle)
{
    return runGuarded(handle, cv::Logger::levelError, "shutdown",
                      [](cv::Plugin& plugin) { plugin.shutdown(); });
}

[[gnu::visibility("default")]] int32_t
vlm_plugin_setNextTowardsHost_TessaroNotifications2Codec(void* handle, void* nextHandle,
                                                         vlm_send_batch_fn nextSendBatch)
{
    return wireNext<cv::RemoteHostSide>(handle, "setNextTowardsHost", nextHandle, nextSendBatch,
                                        &cv::AbstractCodec::setNextTowardsHost);
}

[[gnu::visibility("default")]] int32_t
vlm_plugin_setNextTowardsTransport_TessaroNotifications2Codec(void* handle, void* nextHandle,
                                                              vlm_send_batch_fn nextSendBatch)
{
    return wireNext<cv::RemoteTransportSide>(handle, "setNextTowardsTransport", nextHandle, nextSendBatch,
                                             &cv::AbstractCodec::setNextTowardsTransport);
}

[[gnu::visibility("default")]] int32_t
vlm_plugin_sendBatchTowardsHost_TessaroNotifications2Codec(void* handle, vlm_message_t* start,
                                                           vlm_message_t* end)
{
    return runGuarded(handle, cv::Logger::levelError, "sendBatchTowardsHost",
                      [start, end](TessaroNotifications2Codec& codec) {
                          requireBatchRange(start, end);
                          codec.sendBatchTowardsHost(cv::Message::fromRecords(start),
                                                     cv::Message::fromRecords(end));
                      });
}

[[gnu::visibility("default")]] int32_t
vlm_plugin_sendBatchTowardsTransport_TessaroNotifications2Codec(void* handle, vlm_message_t* start,
                                                                vlm_message_t* end)
{
    return runGuarded(handle, cv::Logger::levelError, "sendBatchTowardsTransport",
                      [start, end](TessaroNotifications2Codec& codec) {
                          requireBatchRange(start, end);
                          codec.sendBatchTowardsTransport(cv::Message::fromRecords(start),
                                                          cv::Message::fromRecords(end));
                      });
}

} // extern "C"

// Hosts call through these types; a signature that drifts fails here, not in a host.
static_assert(std::is_same_v<decltype(&vlm_create_plugin_with_params_TessaroNotifications2Codec),
                             vlm_create_plugin_fn>);
static_assert(
    std::is_same_v<decltype(&vlm_destroy_plugin_TessaroNotifications2Codec), vlm_destroy_plugin_fn>);
static_assert(
    std::is_same_v<decltype(&vlm_plugin_api_version_TessaroNotifications2Codec), vlm_api_version_fn>);
static_assert(
    std::is_same_v<decltype(&vlm_plugin_product_version_TessaroNotifications2Codec), vlm_product_version_fn>);
static_assert(std::is_same_v<decltype(&vlm_plugin_start_TessaroNotifications2Codec), vlm_lifecycle_fn>);
static_assert(std::is_same_v<decltype(&vlm_plugin_hostReady_TessaroNotifications2Codec), vlm_lifecycle_fn>);
static_assert(std::is_same_v<decltype(&vlm_plugin_shutdown_TessaroNotifications2Codec), vlm_lifecycle_fn>);
static_assert(
    std::is_same_v<decltype(&vlm_plugin_setNextTowardsHost_TessaroNotifications2Codec), vlm_set_next_fn>);
static_assert(std::is_same_v<decltype(&vlm_plugin_setNextTowardsTransport_TessaroNotifications2Codec),
                             vlm_set_next_fn>);
static_assert(
    std::is_same_v<decltype(&vlm_plugin_sendBatchTowardsHost_TessaroNotifications2Codec), vlm_send_batch_fn>);
static_assert(std::is_same_v<decltype(&vlm_plugin_sendBatchTowardsTransport_TessaroNotifications2Codec),
                             vlm_send_batch_fn>);
