// Operation notifications become "com.orbel.tessaro.Operation" events, with the
// status checked against its table.
#pragma once

#include <memory>

#include "codec/orbel_message_builder.h"

namespace com::velmora::connectivity::plugins::pulsar {

enum class OperationStatus { Successful = 0, Failed = 1, Executing = 2, Pending = 3 };

OperationStatus parseOperationStatus(const char* text);
const cv::data_t& operationStatusName(OperationStatus status);

class OperationMessageBuilder : public OrbelMessageBuilder {
public:
    // id is the notification's "deviceId": a notification "id", carried over
    // with the leftovers, replaces it.
    OperationMessageBuilder(MapEntry&& id, MapEntry&& source, MapEntry&& status);
};

std::unique_ptr<OrbelMessageBuilder> createOperationBuilder(cv::Message& notification);

} // namespace com::velmora::connectivity::plugins::pulsar
