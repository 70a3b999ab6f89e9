// The registry pass: packaged registry files imported, listed keys created
// level by level, listed values written; created keys and written values are
// recorded for the uninstaller.
#include "engine/install.h"
#include "engine/target_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/registry_roots.h"
#include "platform/text.h"

namespace setup {

namespace {
bool ForThisSystem(const std::string& targetOs, const std::string& osVersion) {
    return targetOs.empty() || targetOs == osVersion;
}
}  // namespace

bool ParseKeyPath(const std::string& path, uint32_t& root, std::string& subkey) {
    std::vector<std::string> pieces = SplitPath(path);
    // The first piece names the virtual machine; a path needs a root and a subkey.
    if (pieces.size() < 3) return false;
    std::optional<uint32_t> known = RootKeyFromName(pieces[1], RootNameForms::LongOnly);
    if (!known) return false;
    root = *known;
    subkey.clear();
    for (size_t i = 2; i < pieces.size(); ++i) subkey += (i > 2 ? "\\" : "") + pieces[i];
    return true;
}

int64_t HexToInteger(const std::string& text) {
    uint64_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        value = value * 16 + static_cast<uint64_t>(digit);  // wraps in 64 bits
    }
    return static_cast<int64_t>(value);
}

std::string HexToBytes(const std::string& text) {
    std::string digits = text;
    if (digits.size() % 2) digits.push_back('0');
    std::string bytes(digits.size() / 2, '\0');
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(HexToInteger(digits.substr(2 * k, 2)));
    return bytes;
}

void RegistryPass(InstallRun& run) {
    TCompile& model = run.Model;
    RegistryApi& registry = OS().Registry();
    if (!model.FileList.empty() || !model.RegFolderList.empty() || !model.RegList.empty()) {
        run.Message("正在写入注册表信息，请稍候");
    }
    for (const auto& item : model.FileList) {
        if (item->Kind == fkRegFile && ForThisSystem(item->TargetOs, run.OsVersion)) ImportRegFile(item->Source);
    }
    for (const std::string& key : model.RegFolderList) {
        uint32_t root;
        std::string subkey;
        // A path the registry cannot hold (unknown root, no subkey) is skipped.
        if (!ParseKeyPath(key, root, subkey)) continue;
        if (registry.KeyExists(root, subkey)) continue;
        run.Record.CreateKeysLogged(root, subkey);
        if (!registry.KeyExists(root, subkey)) run.Fail(key, msg::CannotCreateRegistryKey());
    }
    for (const auto& value : model.RegList) {
        if (!ForThisSystem(value->TargetOs, run.OsVersion)) continue;
        uint32_t root;
        std::string subkey;
        if (!ParseKeyPath(value->Key, root, subkey)) continue;
        // The levels made to hold the value are recorded as created keys, so
        // that the uninstaller removes them once they are empty again.
        if (!registry.KeyExists(root, subkey)) run.Record.CreateKeysLogged(root, subkey);
        // A key that cannot be opened or created skips its value, reported.
        if (!registry.CreateKey(root, subkey)) {
            run.Fail(value->Key + "\\" + value->ValueName, msg::CannotOpenOrCreateRegistryKey());
            continue;
        }
        bool written = true;
        switch (value->ValueType) {
            case rvString:
                written = registry.WriteString(root, subkey, value->ValueName,
                                               ExpandRegistryText(value->Data, model.InstallData.InstallDir));
                break;
            case rvDword:
                written = registry.WriteDword(root, subkey, value->ValueName,
                                              static_cast<uint32_t>(HexToInteger(value->Data)));
                break;
            case rvBinary:
                written = registry.WriteBinary(root, subkey, value->ValueName, HexToBytes(value->Data));
                break;
            default:
                // An unknown type writes nothing, and nothing is recorded: a
                // value of that name that was there before is not this
                // installation's to remove.
                continue;
        }
        if (!written) {
            run.Fail(value->Key + "\\" + value->ValueName, msg::CannotWriteRegistryValue());
            continue;
        }
        // The default value is recorded as a value: the key may hold data of
        // others, and only a key this installation created goes whole.
        run.Record.AddRegistryValue(std::to_string(root), subkey, value->ValueName);
    }
}

}  // namespace setup
