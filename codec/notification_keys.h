// Library-wide string constants: every key the codec reads or writes, the
// enumeration texts and the event type names. All are made through the host
// when the library is loaded (in one translation unit, so in a known order)
// and carry their key hash, so lookups by them never hash again.
#pragma once

#include "connectivity/values/static_string.h"

namespace com::velmora::connectivity::plugins::pulsar {

namespace cv = com::velmora::connectivity10_15_4;

namespace keys {

// Message metadata.
extern const cv::StaticString pulsarPath;
extern const cv::StaticString vlmType;
extern const cv::StaticString vlmChannel;

// Notification and event payloads.
extern const cv::StaticString id;
extern const cv::StaticString source;
extern const cv::StaticString type;
extern const cv::StaticString time;
extern const cv::StaticString text;
extern const cv::StaticString status;
extern const cv::StaticString severity;
extern const cv::StaticString count;
extern const cv::StaticString creationTime;
extern const cv::StaticString firstOccurrenceTime;
extern const cv::StaticString lastUpdated;
extern const cv::StaticString measurements;
extern const cv::StaticString tenantId;
extern const cv::StaticString deviceId;
extern const cv::StaticString name;

// Measurement series.
extern const cv::StaticString value;
extern const cv::StaticString units;
extern const cv::StaticString params;

// Managed objects: platform fragments and the event fields they become.
extern const cv::StaticString t5oSupportedOperations;
extern const cv::StaticString t5oSupportedMeasurements;
extern const cv::StaticString t5oPosition;
extern const cv::StaticString supportedOperations;
extern const cv::StaticString supportedMeasurements;
extern const cv::StaticString position;
extern const cv::StaticString childDevices;
extern const cv::StaticString childDeviceIds;
extern const cv::StaticString childAssets;
extern const cv::StaticString childAssetIds;
extern const cv::StaticString childAdditions;
extern const cv::StaticString childAdditionIds;
extern const cv::StaticString deviceParents;
extern const cv::StaticString deviceParentIds;
extern const cv::StaticString assetParents;
extern const cv::StaticString assetParentIds;
extern const cv::StaticString additionParents;
extern const cv::StaticString additionParentIds;
} // namespace keys

namespace texts {

extern const cv::StaticString severityCritical;
extern const cv::StaticString severityMajor;
extern const cv::StaticString severityMinor;
extern const cv::StaticString severityWarning;

extern const cv::StaticString alarmActive;
extern const cv::StaticString alarmAcknowledged;
extern const cv::StaticString alarmCleared;

extern const cv::StaticString operationSuccessful;
extern const cv::StaticString operationFailed;
extern const cv::StaticString operationExecuting;
extern const cv::StaticString operationPending;

// The type of a managed object that names none.
extern const cv::StaticString emptyType;
} // namespace texts

namespace eventTypes {

extern const cv::StaticString alarm;
extern const cv::StaticString event;
extern const cv::StaticString measurement;
extern const cv::StaticString managedObject;
extern const cv::StaticString operation;
} // namespace eventTypes

} // namespace com::velmora::connectivity::plugins::pulsar
