// The marked forms: how the host's JSON text writes the kinds JSON lacks, as an
// object with one of these keys. The writer and the tools' reader share them.
#pragma once

namespace value_text::marked {

inline constexpr const char* decimal = "$decimal"; // {"$decimal":"0x<16 hex digits>"}
inline constexpr const char* buffer = "$buffer";   // {"$buffer":"<base64>"}
inline constexpr const char* special = "$double";  // {"$double":"nan"|"inf"|"-inf"}
inline constexpr const char* map = "$map";         // {"$map":[[key,value],...]}: a key that is not a text
inline constexpr const char* custom = "$custom";   // {"$custom":N}: written, never read back

} // namespace value_text::marked
