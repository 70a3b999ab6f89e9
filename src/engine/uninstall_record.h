// The uninstall record: every folder, file, registry key and value that an
// installation created, in the order created, saved compressed next to the
// uninstaller, which reads it to remove them. Also the product's entry under
// the Windows Uninstall key. Adding an entry that is already there does
// nothing; an index beside the ordered list keeps that test constant-time, so
// recording 100,000 files costs ten times recording 10,000.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "package/project_stream.h"

namespace setup {

enum TUnInsKind : uint8_t { ukFile = 0, ukFolder = 1, ukRegistry = 2 };

struct TUnInsData {
    std::string RootKey;  // registry entries: the root handle as unsigned decimal text
    std::string Path;
    std::string ValueName;
    uint8_t DeleteFlag = 1;
    uint8_t EntryKind = ukFile;
};

class TUnInstall : public TElement {
public:
    const std::string& ProjectName() const { return projectName_; }
    const std::string& PackageId() const { return packageId_; }
    void SetProjectName(const std::string& name) { projectName_ = name; }
    void SetPackageId(const std::string& id) { packageId_ = id; }
    const std::vector<std::unique_ptr<TUnInsData>>& Entries() const { return entries_; }

    void Clear();
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, bool deleteOnUninstall);
    void AddRegistry(const std::string& root, const std::string& subkey, const std::string& valueName);

    // Creates every missing level of path (the first piece, the drive, is never
    // tested or created) and records each level that was missing, whether or
    // not its creation succeeded.
    void CreateFoldersLogged(const std::string& path);
    // Creates every missing level of subkey under root and records each level
    // whose creation succeeded.
    void CreateKeysLogged(uint32_t root, const std::string& subkey);

    // The record file. LoadFromFile does nothing when the file is missing and
    // raises Damaged or "error" for one that cannot be read; SaveToFile raises
    // an Os error when the file cannot be written.
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;
    // The uncompressed content, and reading it back.
    std::string Serialize() const;
    void Deserialize(Stream& stream);

    // Writes the product's Uninstall entry under HKEY_LOCAL_MACHINE; a key that
    // cannot be opened is skipped, a value that cannot be written raises.
    static void WriteUninstallEntry(const std::string& uninstallerPath, const std::string& projectName,
                                    const std::string& installDir, const std::string& packageId,
                                    const std::string& author, const std::string& url, const std::string& version);

private:
    bool Remember(uint8_t kind, const std::string& a, const std::string& b = "", const std::string& c = "");
    void Append(std::string root, std::string path, std::string valueName, uint8_t deleteFlag, uint8_t kind);

    std::string projectName_;
    std::string packageId_;
    std::vector<std::unique_ptr<TUnInsData>> entries_;
    std::unordered_set<std::string> index_;  // kind + folded texts of every entry
};

// The record file beside an uninstaller: its path with the last three
// characters replaced by "log".
std::string RecordPathFor(const std::string& uninstallerPath);

}  // namespace setup
