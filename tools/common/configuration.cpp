#include "tools/common/configuration.h"

#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/common/json_value.h"
#include "tools/common/texts.h"

namespace tools {

namespace {

// yaml-cpp's tag of a scalar written without quotes and without an explicit tag.
constexpr const char* plainScalarTag = "?";

// A configuration is a small, nearly flat map. Aliases let a few bytes stand for an
// endless (self-referring) or exponentially large tree, so what is built is bounded.
constexpr size_t largestConfigBytes = size_t{16} << 20;
constexpr int deepestConfigValue = 64;
constexpr size_t mostConfigValues = 100000;

bool readWholeFile(const std::string& path, std::string& text, std::string& reason)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = texts::cannotReadConfig + path + ": " + std::strerror(errno);
        return false;
    }
    char chunk[1 << 14];
    size_t got = 0;
    while (text.size() <= largestConfigBytes && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    const int readError = std::ferror(file) != 0 ? errno : 0;
    std::fclose(file);
    if (readError != 0)
        reason = texts::cannotReadConfig + path + ": " + std::strerror(readError);
    else if (text.size() > largestConfigBytes)
        reason = texts::cannotReadConfig + path + texts::configTooLong;
    return readError == 0 && text.size() <= largestConfigBytes;
}

class YamlToHost {
public:
    explicit YamlToHost(const std::string& where) : where_(where) {}

    bool convert(const YAML::Node& node, HostValue& out, std::string& reason)
    {
        if (++values_ > mostConfigValues || depth_ >= deepestConfigValue) {
            reason = texts::configTooBig + where_;
            return false;
        }
        ++depth_;
        const bool converted = convertNode(node, out, reason);
        --depth_;
        return converted;
    }

    bool convertMap(const YAML::Node& node, HostValue& out, std::string& reason)
    {
        HostValue map(obclient_map_value(obclient_map_new(node.size())));
        for (const auto& entry : node) {
            HostValue value;
            if (!entry.first.IsScalar() || entry.first.Scalar().find('\0') != std::string::npos) {
                reason = texts::configKeyNotText + where_;
                return false;
            }
            if (!convert(entry.second, value, reason))
                return false;
            putMapEntry(&map.get().payload.map, entry.first.Scalar().c_str(), std::move(value));
        }
        out = std::move(map);
        return true;
    }

private:
    bool convertNode(const YAML::Node& node, HostValue& out, std::string& reason)
    {
        switch (node.Type()) {
        case YAML::NodeType::Map:
            return convertMap(node, out, reason);
        case YAML::NodeType::Sequence:
            return convertSequence(node, out, reason);
        case YAML::NodeType::Scalar:
            return convertScalar(node, out, reason);
        case YAML::NodeType::Null:
        case YAML::NodeType::Undefined:
            break;
        }
        out.reset();
        return true;
    }

    bool convertSequence(const YAML::Node& node, HostValue& out, std::string& reason)
    {
        HostValue list(obclient_list_value(obclient_list_new(node.size())));
        for (const auto& item : node) {
            HostValue value;
            if (!convert(item, value, reason))
                return false;
            obclient_list_append(&list.get().payload.list, value.release());
        }
        out = std::move(list);
        return true;
    }

    bool convertScalar(const YAML::Node& node, HostValue& out, std::string& reason)
    {
        const std::string& text = node.Scalar();
        if (node.Tag() == plainScalarTag) {
            switch (readJsonText(parser_, text, out, reason)) {
            case JsonText::Read:
                return true;
            case JsonText::Refused:
                reason = where_ + ": " + reason;
                return false;
            case JsonText::NotJson:
                break;
            }
        }
        if (makeHostString(text, out))
            return true;
        reason = where_ + ": " + texts::nulInText;
        return false;
    }

    std::string where_;
    simdjson::dom::parser parser_;
    size_t values_ = 0;
    int depth_ = 0;
};

bool readConfigFile(const std::string& path, HostValue& config, std::string& reason)
{
    std::string text;
    if (!readWholeFile(path, text, reason))
        return false;
    YAML::Node root;
    try {
        root = YAML::Load(text);
    } catch (const YAML::Exception& error) {
        reason = texts::cannotReadConfig + path + ": " + error.what();
        return false;
    }
    if (root.IsNull())
        return true;
    if (!root.IsMap()) {
        reason = texts::configNotMap + path;
        return false;
    }
    return YamlToHost(path).convertMap(root, config, reason);
}

// The value of --set KEY=VALUE: JSON when it parses, else the text itself.
bool readSetting(simdjson::dom::parser& parser, const std::string& key, const std::string& text,
                 HostValue& value, std::string& reason)
{
    switch (readJsonText(parser, text, value, reason)) {
    case JsonText::Read:
        return true;
    case JsonText::Refused:
        reason = texts::badSettingValue + key + ": " + reason;
        return false;
    case JsonText::NotJson:
        break;
    }
    if (makeHostString(text, value))
        return true;
    reason = texts::badSettingValue + key + ": " + texts::nulInText;
    return false;
}

} // namespace

bool buildConfiguration(const SharedOptions& options, HostValue& config, std::string& reason)
{
    HostValue entries(obclient_map_value(obclient_map_new(options.settings.size())));
    if (!options.configFile.empty() && !readConfigFile(options.configFile, entries, reason))
        return false;
    simdjson::dom::parser parser;
    for (const auto& [key, text] : options.settings) {
        HostValue value;
        if (!readSetting(parser, key, text, value, reason))
            return false;
        putMapEntry(&entries.get().payload.map, key.c_str(), std::move(value));
    }
    config = std::move(entries);
    return true;
}

} // namespace tools
