// Maps the Windows paths of the simulated machine onto host paths: drive C:
// lives in <root>/C, the host's own root is the read-only drive Z: (as Wine
// maps it). Names match without regard to ASCII letter case, like NTFS; a
// per-folder index keeps that lookup cheap when a folder holds many files.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <unordered_map>

#include "platform/sandbox/machine_config.h"

namespace setup::sandbox {

struct HostPath {
    bool Valid = false;  // false: not an absolute path of an existing drive
    std::string Error;   // why it is not valid, as the system says it (GBK)
    std::string Host;    // the host path (UTF-8)
    // Inside a drive of the machine, every link on the way (the last level
    // included) leading to a place inside a drive too.
    bool Writable = false;
    // The entry itself, its last level not followed, lies inside a drive: a
    // link there may be removed even where its target may not be written.
    bool EntryWritable = false;
    // The last level exists and is a host symbolic link: the machine's
    // junction (or symbolic link), a reparse point.
    bool LastIsLink = false;
    std::string DrivePart;  // "C:" of the Windows path
};

class HostPaths {
public:
    HostPaths(std::string root, const MachineConfig& config);

    // Resolves a GBK Windows path. Existing components are matched without
    // regard to case; the rest keep the spelling given. A host symbolic link
    // inside a drive is a junction: it is followed, and what lies behind it
    // may be written when its target lies inside a drive of the machine; a
    // link leading out of the drives (or nowhere) may be read through, never
    // written through.
    HostPath Resolve(const std::string& windowsPath);

    // Whether a host path, resolved by the host, lies inside a drive folder of
    // the machine (the drive folder itself included).
    bool InsideDrives(const std::string& hostPath) const;

    // The Windows path of a host path: a path inside a drive folder maps to
    // that drive, anything else to Z:.
    std::string ToWindows(const std::string& hostPath) const;

    // Keeps the folder index right after this process changed a folder.
    void NoteAdded(const std::string& hostPath);
    void NoteRemoved(const std::string& hostPath);

    const std::string& Root() const { return root_; }

private:
    struct FolderIndex {
        struct timespec Mtime {};
        std::unordered_map<std::string, std::string> ByFoldedName;
    };
    // The actual name of an entry of folder matching name without case, or "".
    std::string FindInFolder(const std::string& folder, const std::string& name);
    FolderIndex* IndexOf(const std::string& folder, bool rescanIfStale);

    std::string root_;
    const MachineConfig& config_;
    std::unordered_map<std::string, FolderIndex> indexes_;
};

// Splits a host path into folder and name at the last "/".
std::string HostParent(const std::string& hostPath);
std::string HostName(const std::string& hostPath);

}  // namespace setup::sandbox
