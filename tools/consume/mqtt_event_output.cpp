#include "tools/consume/mqtt_event_output.h"

#include <cerrno>
#include <utility>

#include "tools/common/output.h"

namespace consume {

MqttEventOutput::MqttEventOutput(MqttSettings settings, BrokerMetrics& metrics)
    : metrics_(metrics), publisher_(std::move(settings), metrics)
{}

bool MqttEventOutput::write(const tools::EventLines& events)
{
    if (failure_ != 0)
        return false;
    for (size_t event = 0; event < events.count(); ++event) {
        std::string error;
        const uint64_t ticket = publisher_.publish(events.channel(event), events.line(event), error);
        if (ticket == 0) {
            // The frame stays unacknowledged; an event no topic or message can carry is a fault to fix.
            fail(EINVAL, error);
            return false;
        }
        lastTicket_ = ticket;
    }
    return true;
}

tools::EventOutput::Commit MqttEventOutput::commit()
{
    if (failure_ != 0)
        return Commit::Failed;
    switch (publisher_.waitDurable(lastTicket_)) {
    case MqttStatus::Durable:
        return Commit::Durable;
    case MqttStatus::Stopped:
        return Commit::Stopped;
    case MqttStatus::LoginRefused:
        loginRefused_ = true;
        failure_ = EACCES;
        reason_ = publisher_.failure();
        return Commit::Failed;
    case MqttStatus::Failed:
        break;
    }
    failure_ = EIO;
    reason_ = publisher_.failure();
    return Commit::Failed;
}

void MqttEventOutput::fail(int error, const std::string& reason)
{
    failure_ = error;
    reason_ = reason;
}

} // namespace consume
