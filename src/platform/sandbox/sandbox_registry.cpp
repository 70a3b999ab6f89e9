#include "platform/sandbox/sandbox_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/registry_roots.h"
#include "platform/sandbox/change_counter.h"
#include "platform/sandbox/machine_files.h"
#include "platform/text.h"

namespace setup::sandbox {

namespace {
std::vector<std::string> KeyParts(const std::string& path) {
    std::vector<std::string> parts;
    for (std::string& part : SplitOn(path, '\\')) {
        if (!part.empty()) parts.push_back(std::move(part));
    }
    return parts;
}
}  // namespace

SandboxRegistry::SandboxRegistry(std::string file) : file_(std::move(file)) {
    for (const RegistryRoot& root : kRegistryRoots) roots_[root.Handle].Name = root.Name;
    Load();
}

SandboxRegistry::Key* SandboxRegistry::Find(uint32_t root, const std::string& path) {
    auto r = roots_.find(root);
    if (r == roots_.end()) return nullptr;
    Key* key = &r->second;
    for (const std::string& part : KeyParts(path)) {
        auto it = key->Subkeys.find(AsciiLowerCase(part));
        if (it == key->Subkeys.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

SandboxRegistry::Key* SandboxRegistry::Create(uint32_t root, const std::string& path) {
    auto r = roots_.find(root);
    if (r == roots_.end()) return nullptr;
    Key* key = &r->second;
    for (const std::string& part : KeyParts(path)) {
        std::unique_ptr<Key>& slot = key->Subkeys[AsciiLowerCase(part)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->Name = part;
        }
        key = slot.get();
    }
    return key;
}

bool SandboxRegistry::KeyExists(uint32_t root, const std::string& path) { return Find(root, path) != nullptr; }

bool SandboxRegistry::Refused(uint32_t root, const std::string& path) const {
    return faults_ != nullptr && IsReadOnlyKey(*faults_, root, path);
}

bool SandboxRegistry::CreateKey(uint32_t root, const std::string& path) {
    bool existed = Find(root, path) != nullptr;
    // Opening for writing is refused as well, as an access-denied key does.
    if (Refused(root, path)) return false;
    if (!Create(root, path)) return false;
    if (!existed) Save("[" + KeyName(root, path) + "]\r\n");
    return true;
}

std::optional<RegValue> SandboxRegistry::ReadValue(uint32_t root, const std::string& path, const std::string& name) {
    Key* key = Find(root, path);
    if (!key) return std::nullopt;
    for (const RegValue& v : key->Values) {
        if (EqualsNoCase(v.Name, name)) return v;
    }
    return std::nullopt;
}

std::optional<std::string> SandboxRegistry::ReadString(uint32_t root, const std::string& path,
                                                       const std::string& name) {
    std::optional<RegValue> v = ReadValue(root, path, name);
    return v ? RegValueText(*v) : std::nullopt;
}

bool SandboxRegistry::SetValue(uint32_t root, const std::string& path, const RegValue& value) {
    Key* key = Find(root, path);
    if (!key || Refused(root, path)) return false;
    for (RegValue& v : key->Values) {
        if (EqualsNoCase(v.Name, value.Name)) {
            v.Type = value.Type;
            v.Data = value.Data;
            Save("[" + KeyName(root, path) + "]\r\n" + FormatRegValue(value) + "\r\n");
            return true;
        }
    }
    key->Values.push_back(value);
    Save("[" + KeyName(root, path) + "]\r\n" + FormatRegValue(value) + "\r\n");
    return true;
}

bool SandboxRegistry::WriteString(uint32_t root, const std::string& path, const std::string& name,
                                  const std::string& value) {
    return SetValue(root, path, RegValue{name, kRegSz, StringValueData(value)});
}

bool SandboxRegistry::WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) {
    std::string data;
    AppendU32(data, value);
    return SetValue(root, path, RegValue{name, kRegDword, data});
}

bool SandboxRegistry::WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                                  const std::string& bytes) {
    return SetValue(root, path, RegValue{name, kRegBinary, bytes});
}

bool SandboxRegistry::WriteValue(uint32_t root, const std::string& path, const RegValue& value) {
    return SetValue(root, path, value);
}

bool SandboxRegistry::DeleteValue(uint32_t root, const std::string& path, const std::string& name) {
    Key* key = Find(root, path);
    if (!key || Refused(root, path)) return false;
    for (auto it = key->Values.begin(); it != key->Values.end(); ++it) {
        if (EqualsNoCase(it->Name, name)) {
            // The name as a value line gives it: a DWORD's line less its data.
            std::string line = FormatRegValue(RegValue{it->Name, kRegDword, std::string(4, '\0')});
            line.resize(line.size() - std::string("dword:00000000").size());
            key->Values.erase(it);
            Save("[" + KeyName(root, path) + "]\r\n" + line + "-\r\n");
            return true;
        }
    }
    return false;
}

bool SandboxRegistry::DeleteKey(uint32_t root, const std::string& path) {
    std::vector<std::string> parts = KeyParts(path);
    if (parts.empty()) return false;  // a root key cannot be deleted
    if (Refused(root, path)) return false;
    std::string last = parts.back();
    parts.pop_back();
    std::string parentPath;
    for (const std::string& p : parts) parentPath += p + "\\";
    Key* parent = Find(root, parentPath);
    if (!parent || parent->Subkeys.erase(AsciiLowerCase(last)) == 0) return false;
    Save("[-" + KeyName(root, path) + "]\r\n");
    return true;
}

std::vector<std::string> SandboxRegistry::ListSubKeys(uint32_t root, const std::string& path) {
    std::vector<std::string> names;
    if (Key* key = Find(root, path)) {
        for (const auto& [folded, sub] : key->Subkeys) names.push_back(sub->Name);
    }
    return names;
}

std::vector<RegValue> SandboxRegistry::ListValues(uint32_t root, const std::string& path) {
    Key* key = Find(root, path);
    return key ? key->Values : std::vector<RegValue>{};
}

void SandboxRegistry::ApplyOne(const RegOperation& op) {
    // An import goes through the same operations as a program's own calls, so
    // that a read-only key refuses a registry file as it refuses a program.
    switch (op.Kind) {
        case RegOperation::CreateKey:
            CreateKey(op.Root, op.Path);
            break;
        case RegOperation::DeleteKey:
            DeleteKey(op.Root, op.Path);
            break;
        case RegOperation::SetValue:
            if (CreateKey(op.Root, op.Path)) SetValue(op.Root, op.Path, op.Value);
            break;
        case RegOperation::DeleteValue:
            DeleteValue(op.Root, op.Path, op.Value.Name);
            break;
    }
}

void SandboxRegistry::Apply(const std::vector<RegOperation>& operations) {
    for (const RegOperation& op : operations) ApplyOne(op);
}

void SandboxRegistry::Load() {
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        replaying_ = true;
        ReplayChanges();
        replaying_ = false;
        return;
    }
    std::stringstream bytes;
    bytes << in.rdbuf();
    bool regedit4 = false;
    std::string text = DecodeRegFile(bytes.str(), file_, regedit4);
    replaying_ = true;
    for (const RegOperation& op : ParseRegText(text, regedit4, file_)) ApplyOne(op);
    // What was just read from the file needs no writing back.
    changed_ = false;
    ReplayChanges();
    replaying_ = false;
}

std::string SandboxRegistry::KeyName(uint32_t root, const std::string& path) const {
    std::string name = RootKeyName(root);
    for (const std::string& part : KeyParts(path)) name += "\\" + GbkToUtf8(part);
    return name;
}

void SandboxRegistry::Save(const std::string& change) {
    changed_ = true;
    if (replaying_) return;  // read from the files, already in them
    if (changes_ < 0) {
        changes_ = ::open(ChangesFile().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (changes_ < 0) ThrowOsError("Cannot write the registry's change file " + ChangesFile());
        struct stat st;
        if (fstat(changes_, &st) == 0 && st.st_size == 0) {
            std::string header = "Windows Registry Editor Version 5.00\r\n";
            if (::write(changes_, header.data(), header.size()) < 0) ThrowOsError("Cannot write " + ChangesFile());
        }
    }
    // One write a change: a program that ends in the middle leaves at most
    // its last change cut short.
    std::string chunk = "\r\n" + change;
    if (::write(changes_, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
        ThrowOsError("Cannot write " + ChangesFile());
    }
    CountChange();
}

void SandboxRegistry::ReplayChanges() {
    std::ifstream in(ChangesFile(), std::ios::binary);
    if (!in) return;
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string text = bytes.str();
    // A change cut short (the program ended while writing it) is dropped;
    // every earlier one is whole.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            std::vector<RegOperation> operations = ParseRegText(text, false, ChangesFile());
            // The change file stays until this program changes something
            // itself and writes the whole registry.
            for (const RegOperation& op : operations) ApplyOne(op);
            changed_ = false;
            replayed_ = !operations.empty();
            return;
        } catch (const Error& e) {
            if (e.Kind() != ErrorKind::Format) throw;
            size_t cut = text.rfind("\r\n\r\n[");
            if (attempt == 1 || cut == std::string::npos) throw;
            text.resize(cut + 2);
        }
    }
}

SandboxRegistry::~SandboxRegistry() {
    // A registry file that cannot be written at the end is skipped here: a
    // destructor cannot report it, and every earlier flush raised.
    try {
        Flush();
    } catch (const Error&) {
    }
    if (changes_ >= 0) ::close(changes_);
}

void SandboxRegistry::Compact() {
    if (changed_ || replayed_) Write();
    changed_ = replayed_ = false;
}

void SandboxRegistry::Flush() {
    if (!changed_) return;
    Write();
    changed_ = false;
}

void SandboxRegistry::Write() {
    std::string out = "Windows Registry Editor Version 5.00\r\n\r\n";
    // Depth first; the key maps are ordered by lower-case name, so the file
    // lists keys sorted and the same registry always gives the same bytes.
    std::function<void(const Key&, const std::string&)> write = [&](const Key& key, const std::string& fullName) {
        out += "[" + fullName + "]\r\n";
        for (const RegValue& v : key.Values) out += FormatRegValue(v) + "\r\n";
        out += "\r\n";
        for (const auto& [folded, sub] : key.Subkeys) write(*sub, fullName + "\\" + GbkToUtf8(sub->Name));
    };
    for (const auto& [root, key] : roots_) {
        for (const auto& [folded, sub] : key.Subkeys) write(*sub, std::string(key.Name) + "\\" + GbkToUtf8(sub->Name));
    }
    ReplaceMachineFile(file_, out);
    // Every change is in the file now.
    if (changes_ >= 0) ::close(changes_);
    changes_ = -1;
    ::unlink(ChangesFile().c_str());
}

}  // namespace setup::sandbox
