// Every fixed text the shared pieces of the tools print, in one place.
#pragma once

namespace tools::texts {

// Records that cannot be read.
constexpr const char* cannotWriteHelp = "cannot write the help: ";
constexpr const char* notJson = "not valid JSON: ";
constexpr const char* numberOutOfRange = " (a number must lie within the range of a double)";
constexpr const char* cutShort = " (the last line has no line end: the input may have been cut short)";
constexpr const char* notMessageObject = "a message is a JSON object with \"metadata\" and \"payload\"";
constexpr const char* unexpectedMessageKey = "only \"metadata\" and \"payload\" belong in a message, not ";
constexpr const char* missingPayload = "the message has no \"payload\"";
constexpr const char* metadataNotObject = "\"metadata\" must be an object";
constexpr const char* duplicateKey = "duplicate key ";
constexpr const char* unhashableKey = "a map key the host cannot hash";
constexpr const char* nulInText = "a text holds a NUL character (\\u0000), which host strings cannot carry";
constexpr const char* customNotReadable =
    "{\"$custom\":N} stands for a host object that cannot be rebuilt from text";
constexpr const char* badDecimal = "\"$decimal\" wants a text of \"0x\" and 1 to 16 hex digits";
constexpr const char* badBuffer = "\"$buffer\" wants base64 text";
constexpr const char* badDouble = "\"$double\" wants \"nan\", \"inf\" or \"-inf\"";
constexpr const char* badMapForm = "\"$map\" wants a list of [key, value] pairs";
constexpr const char* frameHeaderLines =
    "a frame begins with at least 3 header lines (identifier, path, action), found ";
constexpr const char* frameWithoutBody = "the frame has no blank line and body after its header";
constexpr const char* tooManyEntries = "an object has more entries than the limit of ";
constexpr const char* tooManyEntriesHint = " (see --max-object-entries)";

// Usage errors (exit status 2).
constexpr const char* unknownOption = "unknown option ";
constexpr const char* missingArgument = "missing value for ";
constexpr const char* badBatch = "--batch wants a whole number from 1 to 1048576, not ";
constexpr const char* badActions = "--actions wants a comma-separated list of CREATE, UPDATE, DELETE, not ";
constexpr const char* badLogLevel = "--log-level wants a whole number, not ";
constexpr const char* badSetting = "--set wants KEY=VALUE with a non-empty KEY, not ";
constexpr const char* badSettingValue = "--set ";
constexpr const char* cannotReadConfig = "cannot read configuration ";
constexpr const char* configNotMap = "a configuration is a map of keys to values: ";
constexpr const char* configKeyNotText = "configuration keys are texts: ";
constexpr const char* configTooLong = ": longer than 16 MiB";
constexpr const char* configTooBig =
    "the configuration nests deeper than 64 or holds more than 100000 values (aliases?): ";
constexpr const char* cannotOpenOutput = "cannot open output ";
constexpr const char* cannotRepairOutput = "cannot cut the unfinished last line off output ";

// The plug-in (exit status 3).
constexpr const char* pluginInterfaceVersion = "the plug-in speaks interface version ";
constexpr const char* hostInterfaceVersion = "; this host speaks ";
constexpr const char* pluginStepFailed = " failed in the plug-in (its reason is logged above)";

// --check and a run's start: configuration the codec will not use as written.
constexpr const char* keyNotRead = "configuration key \"";
constexpr const char* keyNotReadReason = "\" is not read by the codec, which reads ";
constexpr const char* keyOfWrongKind = "\" holds ";
constexpr const char* keyWants = ", but the codec wants ";
constexpr const char* keyTakesDefault = " and takes its default, ";
constexpr const char* checkPassed =
    "check passed: the plug-in created and destroyed a codec with this configuration";
constexpr const char* checkWarnings = " warning(s) above";

// --version.
constexpr const char* pluginVersions = "plug-in ";
constexpr const char* productVersion = ": product version ";
constexpr const char* interfaceVersion = ", interface version ";

// After the run.
constexpr const char* cannotWriteOutput = "cannot write the output: ";
constexpr const char* hostValuesLeft = "host values still live at exit:";

} // namespace tools::texts
