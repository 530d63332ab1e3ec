# The codec's mapping written in jq, as a peer to measure the replay tool against.
# Input: one replay line {"metadata":{"pulsarPath":...},"payload":{...}}.
# Output: the event line the replay tool writes for it, or nothing when the codec
# drops the notification. Run with: jq -c -f notifications.jq FILE

# Like std::stoi: optional blanks, an optional sign, digits; null when there are none.
def leading_integer:
  (capture("^\\s*(?<sign>[+-]?)(?<digits>[0-9]+)")
   | (.digits | tonumber) * (if .sign == "-" then -1 else 1 end)) // null;

# Seconds east of UTC for the zone window of a timestamp, or null.
def zone_offset:
  . as $zone
  | (if ($zone | contains(":")) then ($zone | index(":")) as $colon | [$zone[0:$colon], $zone[$colon + 1:]]
     elif ($zone[0:1] == "Z" or $zone[0:1] == "z") then ["", ""]
     else [$zone[0:3], $zone[3:5]] end) as [$hours, $minutes]
  | if $hours != "" and $minutes != "" then
      ($hours | leading_integer) as $h
      | ($minutes | leading_integer) as $m
      | if $h == null or $m == null then null
        else $h * 3600 + ($m * (if ($zone | contains("-")) then -1 else 1 end)) * 60 end
    elif $hours == "" and $minutes == "" then 0
    else null end;

# Seconds since the epoch of a platform timestamp (2024-02-01T10:00:00.000Z), or null.
def epoch_seconds:
  if type != "string" or length < 20 or .[4:5] != "-" or .[7:8] != "-" or .[10:11] != "T"
     or .[13:14] != ":" or .[16:17] != ":" then null
  else
    (.[19:20] == ".") as $fraction_follows
    | (if $fraction_follows then ((("1" + .[20:23]) | leading_integer) - 1000) / 1000 else 0 end) as $fraction
    | (if $fraction_follows then .[23:29] else .[19:25] end | zone_offset) as $offset
    | (try (.[0:19] | strptime("%Y-%m-%dT%H:%M:%S") | mktime) catch null) as $seconds
    | if $offset == null or $seconds == null then null else $seconds + $fraction - $offset end
  end;

# An optional time field: a text that parses becomes seconds, anything else stays.
def optional_time: if type == "string" then (epoch_seconds // .) else . end;

def with_optional_times($notification; $keys):
  reduce ($keys[] | select(. as $key | $notification | has($key))) as $key
    (.; .[$key] = ($notification[$key] | optional_time));

def has_string($key): has($key) and (.[$key] | type) == "string";
def has_source_id: (.source | type) == "object" and (.source | has_string("id"));
def is_integer: type == "number" and . == floor;

# strtod's view: a leading decimal number (or inf/nan), never hexadecimal.
def is_numeric_value:
  if type == "number" then true
  elif type == "string" then test("^\\s*[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+|inf|nan)"; "i") and (test("[xX]") | not)
  else false end;

def is_measurement_fragment:
  type == "object" and all(.[]; type == "object" and has("value") and (.value | is_numeric_value));

def measurement_value:
  {value: .value} + (if has("units") then {units: .units} else {} end) + {params: del(.value, .units)};

def alarm:
  (.time | epoch_seconds) as $time
  | select(has_source_id and has_string("type") and $time != null and has_string("text")
         and (.status | IN("ACTIVE", "ACKNOWLEDGED", "CLEARED"))
         and (.severity | IN("CRITICAL", "MAJOR", "MINOR", "WARNING"))
         and (.count | is_integer) and has_string("id"))
  | . as $n
  | {measurements: {}}
    + {id: .id, count: .count, severity: .severity, source: .source.id, status: .status, text: .text,
       time: $time, type: .type}
    | with_optional_times($n; ["creationTime", "firstOccurrenceTime", "lastUpdated"])
    | . + ($n | del(.source, .type, .time, .text, .status, .severity, .count, .id,
                    .creationTime, .firstOccurrenceTime, .lastUpdated));

def event:
  (.time | epoch_seconds) as $time
  | select(has_source_id and has_string("type") and $time != null and has_string("text") and has_string("id"))
  | . as $n
  | {measurements: {}}
    + {id: .id, source: .source.id, text: .text, time: $time, type: .type}
    | with_optional_times($n; ["creationTime", "firstOccurrenceTime", "lastUpdated"])
    | . + ($n | del(.source, .type, .time, .text, .id, .creationTime, .firstOccurrenceTime, .lastUpdated));

def measurement:
  (.time | epoch_seconds) as $time
  | select(has_source_id and has_string("type") and $time != null and has_string("id"))
  | . as $n
  | ($n | del(.source, .type, .time, .id, .creationTime, .lastUpdated) | to_entries) as $rest
  | {measurements: (reduce ($rest[] | select(.value | is_measurement_fragment) | .value | to_entries[]) as $series
                     ({}; if has($series.key) then . else .[$series.key] = ($series.value | measurement_value) end))}
    + {id: .id, source: .source.id, time: $time, type: .type}
    | with_optional_times($n; ["creationTime", "lastUpdated"])
    | . + ($rest | map(select(.value | is_measurement_fragment | not)) | from_entries);

def position_fields:
  (with_entries(select(.value | is_numeric_value))) as $numeric
  | (if $numeric == {} then {} else {position: $numeric} end)
    + with_entries(select(.value | is_numeric_value | not));

def managed_object:
  select(has_string("id") and has_string("name") and ((has("type") | not) or has_string("type")))
  | . as $n
  | ([["childDevices", "childDeviceIds"], ["childAssets", "childAssetIds"], ["childAdditions", "childAdditionIds"],
      ["deviceParents", "deviceParentIds"], ["assetParents", "assetParentIds"],
      ["additionParents", "additionParentIds"]]) as $references
  | {measurements: {}}
    + {id: .id, name: .name, type: (if has("type") then .type else "" end)}
    + (if has("t5o_SupportedOperations") then {supportedOperations: .t5o_SupportedOperations} else {} end)
    + (if has("t5o_SupportedMeasurements") then {supportedMeasurements: .t5o_SupportedMeasurements} else {} end)
    + (if (.t5o_Position | type) == "object" then (.t5o_Position | position_fields) else {} end)
    + (reduce ($references[] | select(.[0] as $from | $n | has($from))) as $pair
         ({}; .[$pair[1]] = $n[$pair[0]]))
    | with_optional_times($n; ["creationTime", "lastUpdated"])
    | . + ($n | delpaths([["type"], ["name"], ["id"], ["t5o_SupportedOperations"], ["t5o_SupportedMeasurements"],
                          ["t5o_Position"], ["creationTime"], ["lastUpdated"]] + ($references | map([.[0]]))));

def operation:
  select(has_source_id and (.status | IN("SUCCESSFUL", "FAILED", "EXECUTING", "PENDING")) and has_string("deviceId"))
  | . as $n
  | {measurements: {}}
    + {id: .deviceId, source: .source.id, status: .status}
    | with_optional_times($n; ["creationTime", "firstOccurrenceTime", "lastUpdated"])
    | . + ($n | del(.source, .status, .deviceId, .creationTime, .firstOccurrenceTime, .lastUpdated));

# The text after the second "/" of the path; empty with fewer than two.
def pulsar_tail: split("/") | if length < 3 then "" else .[2:] | join("/") end;

def event_line($type; $channel):
  {metadata: {"vlm.type": $type, "vlm.channel": $channel}, payload: .};

if (.metadata | has("pulsarPath") | not) or .payload == null then .
elif (.payload | type) != "object" or (.metadata.pulsarPath | type) != "string" then empty
else
  (.metadata.pulsarPath | pulsar_tail) as $tail
  | .payload
  | if ($tail | startswith("alarms")) then alarm | event_line("com.orbel.tessaro.Alarm"; "tessaro.devices")
    elif ($tail | startswith("events")) then event | event_line("com.orbel.tessaro.Event"; "tessaro.devices")
    elif ($tail | startswith("measurements")) then
      measurement | event_line("com.orbel.tessaro.Measurement"; "tessaro.measurements")
    elif ($tail | startswith("managedobjects")) then
      managed_object | event_line("com.orbel.tessaro.ManagedObject"; "tessaro.devices")
    elif ($tail | startswith("operations")) then
      operation | event_line("com.orbel.tessaro.Operation"; "tessaro.devices")
    else empty end
end
