// The registry of the simulated machine: a tree of keys in memory, loaded from
// <root>/registry.reg at start and written back (to a temporary file first,
// then renamed over it) when someone else can look: before another program
// starts, when the program ends, on an explicit flush. Writing it after every
// change would make an installation quadratic in its values; instead each
// change is appended to <root>/registry.reg.changes as it is made, and read
// after registry.reg by the next program, so that a program killed at any
// moment leaves its changes behind as on Windows. Keys are sorted in the
// file; names match without regard to ASCII letter case.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/os.h"
#include "platform/sandbox/machine_config.h"
#include "platform/sandbox/reg_text.h"

namespace setup::sandbox {

class SandboxRegistry : public RegistryApi {
public:
    explicit SandboxRegistry(std::string file);
    // Writes what changed since the last flush; nothing is lost when the
    // store goes away.
    ~SandboxRegistry() override;
    SandboxRegistry(const SandboxRegistry&) = delete;
    SandboxRegistry& operator=(const SandboxRegistry&) = delete;

    // Writes registry.reg when anything changed since it was last written.
    // Raises an Os error when the file cannot be written.
    void Flush();
    // Writes registry.reg also when only changes read from the change file
    // are missing from it, so that the file alone shows the registry. Only
    // for a program that knows no other one is running on the machine.
    void Compact();

    bool KeyExists(uint32_t root, const std::string& path) override;
    bool CreateKey(uint32_t root, const std::string& path) override;
    std::optional<std::string> ReadString(uint32_t root, const std::string& path, const std::string& name) override;
    std::optional<RegValue> ReadValue(uint32_t root, const std::string& path, const std::string& name) override;
    bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                     const std::string& value) override;
    bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) override;
    bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                     const std::string& bytes) override;
    bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) override;
    bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) override;
    bool DeleteKey(uint32_t root, const std::string& path) override;
    std::vector<std::string> ListSubKeys(uint32_t root, const std::string& path) override;
    std::vector<RegValue> ListValues(uint32_t root, const std::string& path) override;

    // Keys that refuse writes (creating subkeys, writing and deleting values,
    // deleting the key). The configuration must outlive this object.
    void SetFaults(const FaultConfig& faults) { faults_ = &faults; }

    // Applies the operations of a parsed registry file, as regedit does; an
    // operation on a read-only key is skipped and the rest applied.
    void Apply(const std::vector<RegOperation>& operations);
    // Writes a value of any type into an existing key.
    bool SetValue(uint32_t root, const std::string& path, const RegValue& value);

private:
    struct Key {
        std::string Name;
        std::map<std::string, std::unique_ptr<Key>> Subkeys;  // by lower-case name
        std::vector<RegValue> Values;                         // in the order written
    };
    Key* Find(uint32_t root, const std::string& path);
    Key* Create(uint32_t root, const std::string& path);
    void Load();
    // Notes a change (given as the lines of a registry file); registry.reg
    // is written by the next Flush, the change file at once.
    void Save(const std::string& change);
    void ReplayChanges();
    std::string ChangesFile() const { return file_ + ".changes"; }
    std::string KeyName(uint32_t root, const std::string& path) const;
    void Write();
    void ApplyOne(const RegOperation& op);

    bool Refused(uint32_t root, const std::string& path) const;

    std::string file_;
    bool changed_ = false;
    int changes_ = -1;  // the open change file
    bool replaying_ = false;
    bool replayed_ = false;  // changes were read from the change file
    std::map<uint32_t, Key> roots_;
    const FaultConfig* faults_ = nullptr;
};

}  // namespace setup::sandbox
