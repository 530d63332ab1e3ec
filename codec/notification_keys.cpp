// All constants live in this one file: within a translation unit they are made
// in the order written and released in reverse, which keeps load and unload
// predictable.
#include "codec/notification_keys.h"

namespace com::velmora::connectivity::plugins::pulsar {

namespace keys {
const cv::StaticString pulsarPath("pulsarPath");
const cv::StaticString vlmType("vlm.type");
const cv::StaticString vlmChannel("vlm.channel");

const cv::StaticString id("id");
const cv::StaticString source("source");
const cv::StaticString type("type");
const cv::StaticString time("time");
const cv::StaticString text("text");
const cv::StaticString status("status");
const cv::StaticString severity("severity");
const cv::StaticString count("count");
const cv::StaticString creationTime("creationTime");
const cv::StaticString firstOccurrenceTime("firstOccurrenceTime");
const cv::StaticString lastUpdated("lastUpdated");
const cv::StaticString measurements("measurements");
const cv::StaticString tenantId("tenantId");
const cv::StaticString deviceId("deviceId");
const cv::StaticString name("name");

const cv::StaticString value("value");
const cv::StaticString units("units");
const cv::StaticString params("params");

const cv::StaticString t5oSupportedOperations("t5o_SupportedOperations");
const cv::StaticString t5oSupportedMeasurements("t5o_SupportedMeasurements");
const cv::StaticString t5oPosition("t5o_Position");
const cv::StaticString supportedOperations("supportedOperations");
const cv::StaticString supportedMeasurements("supportedMeasurements");
const cv::StaticString position("position");
const cv::StaticString childDevices("childDevices");
const cv::StaticString childDeviceIds("childDeviceIds");
const cv::StaticString childAssets("childAssets");
const cv::StaticString childAssetIds("childAssetIds");
const cv::StaticString childAdditions("childAdditions");
const cv::StaticString childAdditionIds("childAdditionIds");
const cv::StaticString deviceParents("deviceParents");
const cv::StaticString deviceParentIds("deviceParentIds");
const cv::StaticString assetParents("assetParents");
const cv::StaticString assetParentIds("assetParentIds");
const cv::StaticString additionParents("additionParents");
const cv::StaticString additionParentIds("additionParentIds");
} // namespace keys

namespace texts {
const cv::StaticString severityCritical("CRITICAL");
const cv::StaticString severityMajor("MAJOR");
const cv::StaticString severityMinor("MINOR");
const cv::StaticString severityWarning("WARNING");

const cv::StaticString alarmActive("ACTIVE");
const cv::StaticString alarmAcknowledged("ACKNOWLEDGED");
const cv::StaticString alarmCleared("CLEARED");

const cv::StaticString operationSuccessful("SUCCESSFUL");
const cv::StaticString operationFailed("FAILED");
const cv::StaticString operationExecuting("EXECUTING");
const cv::StaticString operationPending("PENDING");

const cv::StaticString emptyType("");
} // namespace texts

namespace eventTypes {
const cv::StaticString alarm("com.orbel.tessaro.Alarm");
const cv::StaticString event("com.orbel.tessaro.Event");
const cv::StaticString measurement("com.orbel.tessaro.Measurement");
const cv::StaticString managedObject("com.orbel.tessaro.ManagedObject");
const cv::StaticString operation("com.orbel.tessaro.Operation");
} // namespace eventTypes

} // namespace com::velmora::connectivity::plugins::pulsar
