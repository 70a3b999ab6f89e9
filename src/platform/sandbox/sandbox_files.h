// The file system of the simulated machine. Windows attributes that a host
// file cannot carry (read-only for root, hidden, system) and creation times
// are kept in <root>/file-metadata.txt, so that they survive the process like
// the files themselves; a read-only file refuses writes and deletion as on
// Windows.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/os.h"
#include "platform/sandbox/host_paths.h"

namespace setup::sandbox {

class SandboxFiles : public FilesApi {
public:
    SandboxFiles(HostPaths& paths, std::string metadataFile);
    // Writes what changed since the last flush.
    ~SandboxFiles() override;
    SandboxFiles(const SandboxFiles&) = delete;
    SandboxFiles& operator=(const SandboxFiles&) = delete;

    // Writes the metadata file when anything changed since it was last written.
    void Flush();

    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    bool CreateFolderTree(const std::string& path) override;
    bool CreateFolderNew(const std::string& path, FolderAccess access) override;
    bool RemoveFolder(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    std::optional<uint32_t> GetAttributes(const std::string& path) override;
    bool IsReparsePoint(const std::string& path) override;
    bool SetAttributes(const std::string& path, uint32_t attributes) override;
    bool SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) override;
    std::optional<FileTime> GetFileTime(const std::string& path, FileTimeKind kind) override;
    void MoveFile(const std::string& from, const std::string& to, MoveMode mode) override;
    bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
    std::vector<FolderEntry> ListFolder(const std::string& folder) override;
    std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) override;
    // Kept in the registry where Windows keeps them (PendingFileRenameOperations);
    // ApplyPendingRenames carries them out as a restart does.
    bool MoveAtRestart(const std::string& from, const std::string& to) override;
    bool InUse(const std::string& path) override;

    // The registry that keeps the operations waiting for a restart.
    void SetRegistry(RegistryApi* registry) { registry_ = registry; }
    // While set, no file is locked or running (the machine restarts).
    void SetRestarting(bool restarting) { restarting_ = restarting; }

    // The injected failures: locked files, and drives that fill up. The
    // configuration must outlive this object.
    void SetFaults(const FaultConfig& faults);
    // The bytes this run may still write to a drive with an injected full
    // disk, or -1 for a drive without one.
    int64_t WritableBytes(char driveLetter) const;

    // Writes a whole file (used by the shell for links and by tests).
    void WriteWholeFile(const std::string& path, const std::string& bytes);

private:
    struct Metadata {
        uint32_t Attributes = kAttrArchive;  // without kAttrDirectory
        std::optional<FileTime> Creation;
    };
    HostPath ResolveExisting(const std::string& path);
    // Whether the file open for writing at fd lies inside a drive and has no
    // other name; when not, fd is closed (and a file it created removed).
    bool WritesInsideDrives(int fd, bool created);
    bool Locked(const std::string& path) const;
    // A running program ([Faults] InUse): it follows its file when renamed.
    bool Running(const std::string& path) const;
    int64_t* WriteBudget(const HostPath& hp);
    std::string Key(const std::string& hostPath) const;
    uint32_t AttributesOf(const std::string& hostPath, bool isFolder) const;
    void Forget(const std::string& hostPath);
    void LoadMetadata();
    // Notes a change of the metadata; the file is written by the next Flush.
    void SaveMetadata() { metadataChanged_ = true; }
    void WriteMetadata();

    HostPaths& paths_;
    std::string metadataFile_;
    std::map<std::string, Metadata> metadata_;  // by host path relative to the root
    bool metadataChanged_ = false;
    const FaultConfig* faults_ = nullptr;
    std::map<char, int64_t> writableBytes_;  // drive letter -> bytes this run may still write
    RegistryApi* registry_ = nullptr;
    bool restarting_ = false;
    std::set<std::string> runningMovedAway_;  // folded paths a running program was renamed from
    std::set<std::string> runningMovedTo_;    // and to
};

inline constexpr char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";

FileTime TimespecToFileTime(const struct timespec& ts);
struct timespec FileTimeToTimespec(FileTime ft);

}  // namespace setup::sandbox
