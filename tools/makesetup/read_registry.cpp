// [[registry_key]] and [[registry]]: keys to create and values to write. The
// project file writes a REG_DWORD as a number (decimal, or hexadecimal with
// 0x) and REG_BINARY as hexadecimal bytes; the package holds both as
// hexadecimal digits.
#include <cstdio>

#include "platform/text.h"
#include "project_reader.h"

namespace setup::makesetup {

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The value of decimal or 0x-prefixed hexadecimal text, or nothing when the
// text is not such a number or does not fit 32 bits.
std::optional<uint64_t> ParseDword(const std::string& text, bool& tooLarge) {
    tooLarge = false;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (hex ? !IsHex(c) : !(c >= '0' && c <= '9')) return std::nullopt;
        int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) {
            tooLarge = true;
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace

void ProjectReader::ReadRegistry(const toml::table& root) {
    TCompile& model = *plan_.Model;
    if (const toml::array* keys = root["registry_key"].as_array()) {
        for (const toml::node& entry : *keys) {
            const toml::table* t = entry.as_table();
            const toml::node* key = t ? t->get("key") : nullptr;
            if (!key || t->size() != 1) Fail(&entry, "registry_key", "each entry has exactly one field, key");
            std::string text = Text(*key, "registry_key.key");
            Require(key, "registry_key.key", CheckRegistryKey(text));
            model.RegFolderList.push_back(text);
        }
    }
    const toml::array* values = root["registry"].as_array();
    if (!values) return;
    for (const toml::node& entry : *values) {
        const toml::table* t = entry.as_table();
        if (!t) Fail(&entry, "registry", "each [[registry]] entry must be a table");
        auto item = std::make_unique<TRegInfoData>();
        const toml::node* keyNode = nullptr;
        const toml::node* dataNode = nullptr;
        for (auto&& [key, node] : *t) {
            std::string field = "registry." + std::string(key.str());
            if (key == "key") {
                item->Key = Text(node, field);
                keyNode = &node;
            } else if (key == "name") {
                item->ValueName = Text(node, field);
            } else if (key == "data") {
                dataNode = &node;
            } else if (key == "target_os") {
                item->TargetOs = Text(node, field);
            } else if (key == "type") {
                std::string type = Text(node, field);
                if (type == "string") {
                    item->ValueType = rvString;
                } else if (type == "dword") {
                    item->ValueType = rvDword;
                } else if (type == "binary") {
                    item->ValueType = rvBinary;
                } else {
                    Fail(&node, field, "must be string, dword or binary");
                }
            } else {
                Fail(&node, field, "unknown field");
            }
        }
        if (!keyNode) Fail(&entry, "registry.key", "is missing");
        Require(keyNode, "registry.key", CheckRegistryKey(item->Key));
        // The data, read once the type is known, whatever the order of the fields.
        if (item->ValueType == rvString && dataNode) {
            item->Data =
                dataNode->is_integer() ? std::to_string(*dataNode->value<int64_t>()) : Text(*dataNode, "registry.data");
        } else if (item->ValueType == rvDword) {
            if (!dataNode) Fail(&entry, "registry.data", "is missing; a dword value needs a number");
            std::optional<uint64_t> value;
            bool tooLarge = false;
            if (dataNode->is_integer()) {
                int64_t n = *dataNode->value<int64_t>();
                tooLarge = n < 0 || n > 0xFFFFFFFFll;
                if (!tooLarge) value = static_cast<uint64_t>(n);
            } else if (dataNode->is_string()) {
                value = ParseDword(*dataNode->value<std::string>(), tooLarge);
            }
            if (tooLarge) Fail(dataNode, "registry.data", "does not fit 32 bits (0 to 4294967295, or 0xFFFFFFFF)");
            if (!value) Fail(dataNode, "registry.data", "must be a number: decimal, or hexadecimal written with 0x");
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(*value));
            item->Data = hex;
        } else if (item->ValueType == rvBinary && dataNode) {
            // Bytes may be written apart ("01 AB 00 FF") for reading's sake.
            std::string digits;
            bool ok = dataNode->is_string();
            for (char c : ok ? *dataNode->value<std::string>() : std::string()) {
                if (c == ' ' || c == ',') continue;
                ok = ok && IsHex(c);
                digits += c;
            }
            if (!ok || digits.size() % 2 != 0) {
                Fail(dataNode, "registry.data", "must be hexadecimal bytes, two digits each, such as \"01AB00FF\"");
            }
            item->Data = digits;
        }
        Claim(item->Key, *keyNode, "registry.key", item->ValueName);
        model.RegList.push_back(std::move(item));
    }
}

}  // namespace setup::makesetup
