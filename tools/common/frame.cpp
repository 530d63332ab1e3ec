#include "tools/common/frame.h"

#include "tools/common/host_value.h"
#include "tools/common/json_value.h"
#include "tools/common/texts.h"
#include "tools/common/wide_integers.h"

namespace tools {

namespace {

constexpr const char* pathKey = "pulsarPath";

} // namespace

bool FrameConverter::toMessage(const std::vector<std::string>& header, const std::string& body, bool cutShort,
                               vlm_message_t& message, FramePart& fault, std::string& reason,
                               const ReadLimits& limits)
{
    if (header.size() < frameHeaderLines) { // further header lines are the service's to add
        fault = FramePart::Header;
        reason = texts::frameHeaderLines + std::to_string(header.size());
        return false;
    }
    HostValue path;
    if (!makeHostString(header[pathLine], path)) {
        fault = FramePart::Path;
        reason = texts::nulInText;
        return false;
    }
    simdjson::dom::element json;
    if (const simdjson::error_code error = parseWideningIntegers(parser_, body, false, widened_, json)) {
        fault = FramePart::Body;
        reason = notJsonReason(error, cutShort);
        return false;
    }
    HostValue payload;
    if (!buildHostValue(json, payload, reason, limitsForText(body, limits))) {
        fault = FramePart::Body;
        return false;
    }
    message.metadata = nullptr;
    obclient_map_insert_string(&message.metadata, pathKey, path.release());
    message.payload = payload.release();
    return true;
}

} // namespace tools
