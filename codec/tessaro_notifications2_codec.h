// The notifications codec: converts each platform notification travelling
// towards the host into one host event, and passes everything else through.
#pragma once

#include <memory>

#include <boost/optional.hpp>

#include "connectivity/framework/abstract_codec.h"
#include "connectivity/values/data_t.h"
#include "connectivity/values/message.h"

namespace com::velmora::connectivity::plugins::pulsar {

namespace cv = com::velmora::connectivity10_15_4;

class OrbelMessageBuilder;

class TessaroNotifications2Codec : public cv::AbstractSimpleCodec {
public:
    explicit TessaroNotifications2Codec(const cv::PluginParameters& params);
    ~TessaroNotifications2Codec() override;

    bool transformMessageTowardsHost(cv::Message& message) override;
    bool transformMessageTowardsTransport(cv::Message& message) override;
    bool handleTransformError(cv::Message& message, bool towardsTransport) override;

    const cv::data_t& getMeasurementChannel() const noexcept { return measurementChannel; }
    const cv::data_t& getDevicesChannel() const noexcept { return devicesChannel; }
    const boost::optional<cv::data_t>& getTenant() const noexcept { return tenant; }

    cv::Message convertNotification(cv::Message&& notification) const;
    static std::unique_ptr<OrbelMessageBuilder> createBuilder(cv::Message& notification);
    // The text after the path's second "/" (empty when there are fewer).
    static const char* pulsarPathTail(const cv::Message& notification);

private:
    // The same, with the tail of the notification's path already found.
    cv::Message convertNotification(cv::Message&& notification, const char* tail) const;
    // The tail of a path value; throws the typed read's error when the value is no string.
    static const char* tailOfPath(const cv::data_t& path);

    cv::data_t measurementChannel;
    cv::data_t devicesChannel;
    boost::optional<cv::data_t> tenant;
};

} // namespace com::velmora::connectivity::plugins::pulsar
