// Host values built straight from parsed JSON. Objects become maps (entries
// inserted in the object's order), arrays lists, strings strings, whole numbers
// that fit 64 signed bits integers and every other number a double, true/false
// booleans, null the empty value. The marked forms the host's JSON writer uses for
// kinds JSON lacks read back to those kinds: {"$decimal":"0x..."},
// {"$buffer":"<base64>"}, {"$double":"nan"|"inf"|"-inf"} and {"$map":[[k,v],...]}.
// A marked form is an object with that one key; {"$custom":N} is refused, since a
// custom object is the host's own and cannot be rebuilt from its number.
#pragma once

#include <simdjson.h>

#include <string>
#include <string_view>

#include "tools/common/host_value.h"

namespace tools {

// False with the reason when the element holds something a host value cannot
// carry (a duplicate key, a NUL in a text, a malformed marked form); nothing
// built stays allocated then.
// What one record may hold. The host map's hash and seed are fixed, so crafted keys
// can all collide; bounding the entries per object bounds what one record costs.
struct ReadLimits {
    size_t maxObjectEntries = size_t{1} << 16;
    // A parsed text holds a NUL only through the escape \u0000; a record whose JSON
    // text has none (see limitsForText) needs no text searched for one.
    bool textsMayHoldNul = true;
};

// The limits for reading one record whose JSON text is jsonText.
ReadLimits limitsForText(std::string_view jsonText, ReadLimits limits = {});

bool buildHostValue(const simdjson::dom::element& element, HostValue& out, std::string& reason,
                    const ReadLimits& limits = {});

// The reason given for text the parser rejected; cutShort when the input ended on it without a line end.
std::string notJsonReason(simdjson::error_code error, bool cutShort);

enum class JsonText { Read, NotJson, Refused };

// Reads a whole text (an option or configuration value) as JSON. NotJson leaves
// out empty; Refused is JSON that buildHostValue refused, with the reason.
JsonText readJsonText(simdjson::dom::parser& parser, std::string_view text, HostValue& out,
                      std::string& reason);

} // namespace tools
