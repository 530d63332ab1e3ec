// Where tessaro-consume writes its events: the --output file, or an MQTT broker
// when --output is an mqtt:// or mqtts:// URL.
#pragma once

#include <memory>
#include <string>

#include "tools/common/exit_status.h"
#include "tools/common/file_output.h"
#include "tools/consume/consume_metrics.h"
#include "tools/consume/consume_options.h"
#include "tools/consume/mqtt_event_output.h"

namespace consume {

struct ConsumeOutput {
    std::unique_ptr<tools::FileEventOutput> file;
    std::unique_ptr<MqttEventOutput> mqtt;

    tools::EventOutput& get() { return file ? static_cast<tools::EventOutput&>(*file) : *mqtt; }
};

// False, with the reason, when the output cannot be opened or its settings cannot work. A broker
// output counts into metrics, which must outlive it.
bool openOutput(const Options& options, ConsumeOutput& output, ConsumeMetrics& metrics, std::string& reason);

// The exit status once the service client returned status.
int outputExitStatus(const ConsumeOutput& output, int status);

// The output's own lines of the summary.
void printOutputSummary(const ConsumeOutput& output, uint64_t reopens);

} // namespace consume
