// The uninstall record: every folder, file, registry key and value that an
// installation created, in the order created, saved compressed next to the
// uninstaller, which reads it to remove them. Also the product's entry under
// the Windows Uninstall key. Adding an entry that is already there does
// nothing; an index beside the ordered list keeps that test constant-time, so
// recording 100,000 files costs ten times recording 10,000. The SHA-256 digest
// of the saved file is kept in the Uninstall entry, which only administrators
// can write, so that an edited record is recognised before it is trusted.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "package/project_stream.h"

namespace setup {

// Kind 2 with an empty value name is a key the installation created (removed
// whole); with a value name, a value it wrote. Kind 3 is the default (unnamed)
// value written into a key, removed as a value. Records without kind 3 read as
// they always did.
enum TUnInsKind : uint8_t { ukFile = 0, ukFolder = 1, ukRegistry = 2, ukRegistryDefaultValue = 3 };

// The name of the value in the product's Uninstall entry that holds the
// digest of the saved record.
inline constexpr char kRecordDigestValue[] = "RecordSHA256";

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
    // A created key (empty value name) or a written named value.
    void AddRegistry(const std::string& root, const std::string& subkey, const std::string& valueName);
    // A written value: a named one as AddRegistry records it, the default value
    // (empty name) as kind 3, so that it never reads as a created key.
    void AddRegistryValue(const std::string& root, const std::string& subkey, const std::string& valueName);
    // Appends a copy of entry unless the same one is there.
    void AddEntry(const TUnInsData& entry);

    // Appends every entry of an earlier record of the same product (those not
    // yet present) and remembers its files, so that RecordedEarlier can tell
    // a link the product made before from someone else's.
    void MergeEarlier(const TUnInstall& earlier);
    bool RecordedEarlier(const std::string& file) const;

    // Creates every missing level of path (the first piece, the drive, is never
    // tested or created) and records each level that was missing, whether or
    // not its creation succeeded.
    void CreateFoldersLogged(const std::string& path);
    // Creates every missing level of subkey under root and records each level
    // whose creation succeeded.
    void CreateKeysLogged(uint32_t root, const std::string& subkey);

    // The record file. LoadFromFile does nothing when the file is missing and
    // raises Damaged or "error" for one that cannot be read, and Damaged for a
    // file or content beyond 64 MiB (inflation stops at the bound); SaveToFile raises
    // an Os error when the file cannot be written and returns the SHA-256
    // digest (hex) of the bytes it wrote.
    void LoadFromFile(const std::string& path);
    std::string SaveToFile(const std::string& path) const;
    // Reads the record file like LoadFromFile (false when it is missing) and
    // tells whether it is the file the installation saved. The bytes are read
    // once, so what is checked is what is used.
    bool LoadVerifiedFromFile(const std::string& path);
    // How far a record read from a file can be trusted. Genuine: the digest
    // of the raw bytes is the one an Uninstall entry keeps, found among the
    // entries before anything is inflated, and the record names that entry's
    // product. Unvouched: no entry knows the bytes and the record's product
    // keeps no digest (an earlier version of the program saved it, or it is
    // anyone's). Edited: the record's product keeps another digest, or the
    // entry vouching for the bytes is another product's.
    enum class Trust { Missing, Genuine, Unvouched, Edited };
    // Reads the record file like LoadVerifiedFromFile and tells which.
    Trust LoadCheckedFromFile(const std::string& path);
    // The compressed file image and reading it back.
    std::string FileBytes() const;
    void LoadFromFileBytes(const std::string& bytes);
    // The uncompressed content, and reading it back.
    std::string Serialize() const;
    void Deserialize(Stream& stream);

    // Writes the product's Uninstall entry under HKEY_LOCAL_MACHINE: the names
    // the program list shows and the values deployment tools read (the
    // install location, the size in KiB of installedBytes rounded up, no
    // modify or repair, the quiet uninstall command). A key that cannot be
    // opened is skipped, a value that cannot be written raises.
    static void WriteUninstallEntry(const std::string& uninstallerPath, const std::string& projectName,
                                    const std::string& installDir, const std::string& packageId,
                                    const std::string& author, const std::string& url, const std::string& version,
                                    int64_t installedBytes);
    // The record digest in the product's Uninstall entry: written into the key
    // (raises an Os error when the key is missing or refuses it), read back
    // (nothing when absent).
    static void WriteRecordDigest(const std::string& packageId, const std::string& digest);
    static std::optional<std::string> ReadRecordDigest(const std::string& packageId);

private:
    bool Remember(uint8_t kind, const std::string& a, const std::string& b = "", const std::string& c = "");
    void Append(std::string root, std::string path, std::string valueName, uint8_t deleteFlag, uint8_t kind);

    std::string projectName_;
    std::string packageId_;
    std::vector<std::unique_ptr<TUnInsData>> entries_;
    std::unordered_set<std::string> index_;         // kind + folded texts of every entry
    std::unordered_set<std::string> earlierFiles_;  // folded paths of the merged earlier files
};

// The record file beside an uninstaller: its path with the last three
// characters replaced by "log".
std::string RecordPathFor(const std::string& uninstallerPath);

// Merges into record what an earlier installation of the same package
// recorded: the record saved beside the uninstaller (recordPath, when not
// empty) if it is the genuine record of this package identity (its digest
// matches the Uninstall entry). A record that is damaged, edited or another
// package's is left out, and so is any other file in the installation folder
// (an "Ins.log" there is anyone's who can write the folder): no entry is
// trusted into a record that the new digest would vouch for.
void MergeEarlierRecords(TUnInstall& record, const std::string& recordPath, const std::string& packageId);

}  // namespace setup
