// The MQTT output: each event goes to the broker on its channel's topic, and a commit
// is durable once the broker has acknowledged every event written before it.
#pragma once

#include <cstdint>
#include <string>

#include "tools/common/event_output.h"
#include "tools/consume/mqtt_publisher.h"

namespace consume {

class MqttEventOutput : public tools::EventOutput {
public:
    // Starts connecting at once and counts into metrics, which must outlive it. Throws
    // std::runtime_error, with the reason, for settings that cannot work.
    MqttEventOutput(MqttSettings settings, BrokerMetrics& metrics);

    bool needsEventIndex() const override { return true; }
    bool write(const tools::EventLines& events) override;
    Commit commit() override;
    void requestStop() override { publisher_.requestStop(); }
    int failure() const override { return failure_; }
    std::string failureText() const override { return reason_; }
    // The broker refused the user or password: trying again cannot help.
    bool loginRefused() const { return loginRefused_; }
    const BrokerMetrics& metrics() const { return metrics_; }

private:
    void fail(int error, const std::string& reason);

    const BrokerMetrics& metrics_;
    MqttPublisher publisher_;
    uint64_t lastTicket_ = 0;
    int failure_ = 0;
    bool loginRefused_ = false;
    std::string reason_;
};

} // namespace consume
