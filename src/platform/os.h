// The OS seam: five interfaces that group every operating-system operation the
// program needs. The Win32 implementation calls the real system; the sandbox
// implementation simulates a Windows machine in a host folder. Paths and texts
// cross the seam as GBK bytes. Operations whose failure the system reports by
// a result code return false (or an empty value) and raise nothing; those that
// the program cannot go on without raise an Os error with the system's message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace setup {

// ---- system ------------------------------------------------------------------

struct OsVersion {
    uint32_t PlatformId = 0;  // 0 Win32s, 1 Windows 9x, 2 NT
    uint32_t Major = 0;
    uint32_t Minor = 0;
};

enum class DriveType : uint32_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// A file time: 100-nanosecond intervals since 1601-01-01 (UTC or local, as
// each operation says).
using FileTime = uint64_t;

// Shell folder identifiers (CSIDL) the programs and the simulated machine know.
enum Csidl : int {
    kCsidlDesktop = 0,  // the desktop as the shell shows it
    kCsidlPrograms = 2,
    kCsidlPersonal = 5,  // the user's documents
    kCsidlStartup = 7,
    kCsidlStartMenu = 11,
    kCsidlDesktopDirectory = 16,  // the folder that holds the desktop's files
    kCsidlCommonStartMenu = 22,
    kCsidlCommonPrograms = 23,
    kCsidlCommonDesktopDirectory = 25,
    kCsidlAppData = 26,
    kCsidlLocalAppData = 28,
    kCsidlCommonAppData = 35,
    kCsidlWindows = 36,
    kCsidlSystem = 37,
    kCsidlProgramFiles = 38,
    kCsidlSystemX86 = 41,  // the 32-bit system folder: SysWOW64 on 64-bit Windows, the system folder elsewhere
    kCsidlProgramFilesCommon = 43,
};
// Every identifier lies below this one.
inline constexpr int kCsidlEnd = 0x40;

// Where the Quick Launch folder lies below the user's application data folder.
inline constexpr char kQuickLaunchBelowAppData[] = "\\Microsoft\\Internet Explorer\\Quick Launch";

class SystemApi {
public:
    virtual ~SystemApi() = default;
    // The Windows version, or nothing when the query fails.
    virtual std::optional<OsVersion> GetVersion() = 0;
    // The path of a shell folder (CSIDL), or empty when there is none.
    virtual std::string GetSpecialFolderPath(int csidl) = 0;
    // The temporary-files folder as Windows gives it (normally ending in "\").
    virtual std::string GetTempPath() = 0;
    // The Windows folder, without a trailing backslash.
    virtual std::string GetWindowsDirectory() = 0;
    // The system folder (System32), without a trailing backslash.
    virtual std::string GetSystemDirectory() = 0;
    // Bit 0 = A:, bit 1 = B:, ...
    virtual uint32_t GetLogicalDrives() = 0;
    // Type of the drive whose root is given ("C:\").
    virtual DriveType GetDriveType(const std::string& root) = 0;
    // Bytes available to the caller on the drive of root, or -1 when unknown.
    virtual int64_t GetFreeBytes(const std::string& root) = 0;
    // The full path of the running executable.
    virtual std::string GetOwnExecutablePath() = 0;
    // The command-line arguments, without the program name.
    virtual std::vector<std::string> GetArguments() = 0;
    // Converts a local file time to UTC; nothing when it cannot be converted.
    virtual std::optional<FileTime> LocalFileTimeToUtc(FileTime local) = 0;
    // True when the process already runs with full administrator rights
    // (elevated); false when it does not or the system cannot tell.
    virtual bool ProcessElevated() { return false; }
};

// ---- files -------------------------------------------------------------------

inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
// A junction or symbolic link: a folder walk does not follow it.
inline constexpr uint32_t kAttrReparsePoint = 0x400;

enum class FileTimeKind { Creation = 0, LastAccess = 1, LastWrite = 2 };

enum class OpenMode {
    Read,        // existing file, read only, sharing everything
    Create,      // create or truncate, read and write
    CreateNew,   // a new file, read and write; fails when the name exists, whatever it is
    ReadWrite,   // existing file, read and write
    ReadLocked,  // existing file, read only; while open, others may read it but not write, rename or delete it
    // CreateNew, and in a process with administrator rights the file admits
    // only administrators and the system (no access inherited from its folder)
    CreateNewProtected,
};

enum class FolderAccess {
    Inherited,  // the access list its parent folder passes on
    // In a process with administrator rights: administrators and the system
    // only, nothing taken from the parent, passed on to everything inside
    Protected,
};

enum class MoveMode {
    NoReplace,        // fails when the target exists
    ReplaceExisting,  // an existing target is replaced in one step: it never goes missing
};

struct FolderEntry {
    std::string Name;  // GBK, without the folder
    uint32_t Attributes = 0;
    int64_t Size = 0;
    FileTime LastWrite = 0;  // UTC
};

class FilesApi {
public:
    virtual ~FilesApi() = default;
    virtual bool FileExists(const std::string& path) = 0;    // a file, not a folder
    virtual bool FolderExists(const std::string& path) = 0;  // a folder
    // Creates the folder and every missing parent; true when it exists after.
    virtual bool CreateFolderTree(const std::string& path) = 0;
    // Creates one folder, whose parent must exist, under a name that nothing
    // holds yet; false when the name exists, whatever holds it (a file, a
    // folder, a link: it is never followed), or the folder cannot be made.
    virtual bool CreateFolderNew(const std::string& path, FolderAccess access) = 0;
    // Removes an empty folder; false when it is not empty or cannot be removed.
    // A junction (or a symbolic link to a folder) is removed as the link, as
    // Windows removes it, whatever its target holds; the target stays as it is.
    virtual bool RemoveFolder(const std::string& path) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    // Attributes of a file or folder, or nothing when it does not exist. A
    // junction or symbolic link has kAttrReparsePoint besides its target's.
    virtual std::optional<uint32_t> GetAttributes(const std::string& path) = 0;
    // Whether the last level of path is itself a reparse point (a junction or
    // a symbolic link), looked at without following it; the levels above are
    // followed as any access follows them. False when nothing is there.
    virtual bool IsReparsePoint(const std::string& path) = 0;
    virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
    // Sets one of the three times (UTC); false when the file cannot be opened.
    virtual bool SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) = 0;
    virtual std::optional<FileTime> GetFileTime(const std::string& path, FileTimeKind kind) = 0;
    // Renames a file to another name on the same drive, with its attributes.
    // Raises an Os error naming both paths when the file cannot be moved (a
    // locked or read-only target, a target that exists without
    // ReplaceExisting, a missing source or folder).
    virtual void MoveFile(const std::string& from, const std::string& to, MoveMode mode) = 0;
    // Copies without replacing an existing target; false on any failure.
    virtual bool CopyFileNoReplace(const std::string& from, const std::string& to) = 0;
    // The entries of a folder ("." and ".." left out); empty when it cannot be read.
    virtual std::vector<FolderEntry> ListFolder(const std::string& folder) = 0;
    // Opens a file stream; raises an Os error naming the path on failure.
    virtual std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) = 0;
    // Moves from over to (replacing it) when Windows next restarts, or
    // deletes from then when to is empty; the operations are kept in the
    // order given. False when the system refuses (no administrator rights).
    virtual bool MoveAtRestart(const std::string& from, const std::string& to) = 0;
    // Whether another program holds the existing file so that it can be
    // neither written nor replaced now (a running program, an open document).
    virtual bool InUse(const std::string& path) = 0;
};

// ---- registry ----------------------------------------------------------------

inline constexpr uint32_t kHkeyClassesRoot = 0x80000000u;
inline constexpr uint32_t kHkeyCurrentUser = 0x80000001u;
inline constexpr uint32_t kHkeyLocalMachine = 0x80000002u;
inline constexpr uint32_t kHkeyUsers = 0x80000003u;
inline constexpr uint32_t kHkeyPerformanceData = 0x80000004u;
inline constexpr uint32_t kHkeyCurrentConfig = 0x80000005u;
inline constexpr uint32_t kHkeyDynData = 0x80000006u;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

struct RegValue {
    std::string Name;  // GBK; empty for the default value
    uint32_t Type = kRegNone;
    // Raw data as Windows stores it: string types as UTF-16LE with the
    // terminating zero, REG_DWORD as four little-endian bytes.
    std::string Data;
};

// The text of a REG_SZ or REG_EXPAND_SZ value as GBK, up to its first zero
// (data without its terminating zero still reads, as the system reads it);
// nothing for other types or text that GBK cannot hold.
std::optional<std::string> RegValueText(const RegValue& value);

// Key paths are relative to the root, "\"-separated; a leading "\" is ignored.
class RegistryApi {
public:
    virtual ~RegistryApi() = default;
    virtual bool KeyExists(uint32_t root, const std::string& path) = 0;
    // Creates the key and its missing parents; false when it cannot.
    virtual bool CreateKey(uint32_t root, const std::string& path) = 0;
    // A string value (REG_SZ or REG_EXPAND_SZ) as GBK, or nothing.
    virtual std::optional<std::string> ReadString(uint32_t root, const std::string& path, const std::string& name) = 0;
    virtual std::optional<RegValue> ReadValue(uint32_t root, const std::string& path, const std::string& name) = 0;
    // Writes into an existing key; false when the key does not exist or the
    // write is refused.
    virtual bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                             const std::string& value) = 0;
    virtual bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) = 0;
    virtual bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                             const std::string& bytes) = 0;
    // Writes a value of any type with its raw data, as ReadValue gives it.
    virtual bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) = 0;
    virtual bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) = 0;
    // Deletes the key with all its subkeys.
    virtual bool DeleteKey(uint32_t root, const std::string& path) = 0;
    virtual std::vector<std::string> ListSubKeys(uint32_t root, const std::string& path) = 0;
    virtual std::vector<RegValue> ListValues(uint32_t root, const std::string& path) = 0;
};

// ---- shell -------------------------------------------------------------------

inline constexpr int kSwHide = 0;
inline constexpr int kSwShowNormal = 1;
inline constexpr int kSwShowMinimized = 2;
inline constexpr int kSwShowMaximized = 3;

inline constexpr uint32_t kSeeMaskNoCloseProcess = 0x00000040;
inline constexpr uint32_t kSeeMaskFlagDdeWait = 0x00000100;
inline constexpr uint32_t kSeeMaskFlagNoUi = 0x00000400;
inline constexpr uint32_t kSeeMaskNoZoneChecks = 0x00800000;

struct ShellExecuteRequest {
    std::string Verb;  // "runas", "open", or empty for the default verb
    std::string File;
    std::string Parameters;
    std::string Directory;
    int Show = kSwShowNormal;
    uint32_t Mask = 0;
    // Start the program as the user who started setup, not with this
    // process's administrator rights: an elevated process hands the start to
    // the desktop's shell, and starts nothing when it cannot (the user would
    // otherwise get a program with an administrator's rights).
    bool AsUser = false;
};

struct ShellExecuteResult {
    bool Ok = false;
    uint32_t LastError = 0;  // the Windows error code when !ok (1223: cancelled by the user)
    uint32_t ExitCode = 0;   // ShellExecuteAndWait: the started program's exit code, when it had a process
};

struct ShellLink {
    std::string Path;  // the target
    std::string WorkingDirectory;
    std::string Arguments;
    std::string Description;
    std::string IconPath;  // empty: no icon location
    int IconIndex = 0;
    int ShowCommand = kSwShowNormal;
};

// One folder of the shell's namespace, as a folder tree shows it.
struct ShellFolderItem {
    std::string DisplayName;  // as the shell shows it ("计算机", "Program Files")
    std::string Id;           // parsing name: a file-system path, or "::{CLSID}" for a virtual folder
    std::string Path;         // file-system path; empty for a virtual folder
    bool HasSubfolders = false;
    int IconIndex = -1;  // in the system's small image list; -1 where there is none
};

// The parsing name of the Computer folder.
inline constexpr char kComputerFolderId[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

class ShellApi {
public:
    virtual ~ShellApi() = default;
    // ShellExecuteEx; the process handle, if any, is closed at once.
    virtual ShellExecuteResult ShellExecuteEx(const ShellExecuteRequest& request) = 0;
    // ShellExecuteEx, then waits for the started process, calling pump to let
    // window messages through while it waits.
    virtual ShellExecuteResult ShellExecuteAndWait(const ShellExecuteRequest& request,
                                                   const std::function<void()>& pump) = 0;
    // WinExec; returns the system's result (greater than 31 on success).
    virtual uint32_t WinExec(const std::string& commandLine, int show) = 0;
    // CreateProcess with a hidden window at idle priority; handles closed, no wait.
    virtual bool CreateProcessHidden(const std::string& commandLine) = 0;
    // Saves a shell link file; false when it cannot be saved.
    virtual bool SaveShellLink(const ShellLink& link, const std::string& linkFile) = 0;
    // Invokes, in list order, every verb of the item `file` whose display name
    // contains `verbFragment`; returns how many were invoked. Raises an Os error
    // when the shell's automation interfaces fail.
    virtual int InvokeItemVerbs(const std::string& file, const std::string& verbFragment) = 0;
    // Background music through the media player.
    virtual bool MediaOpen(const std::string& file) = 0;
    virtual void MediaPlay() = 0;
    virtual int64_t MediaLength() = 0;
    virtual int64_t MediaPosition() = 0;
    virtual void MediaClose() = 0;
    // Enables the shutdown privilege and asks Windows to restart.
    virtual bool RequestRestart() = 0;
    // The item of a namespace folder by its id ("" is the desktop); no value
    // for an id the shell cannot parse.
    virtual std::optional<ShellFolderItem> ShellFolderOf(const std::string& id) = 0;
    // The subfolders of a namespace folder, in the shell's order: file-system
    // folders and the virtual folders that hold them (Computer, the drives),
    // nothing else. Empty when the folder cannot be read.
    virtual std::vector<ShellFolderItem> ListShellFolders(const std::string& id) = 0;
};

// ---- dialogs -----------------------------------------------------------------

inline constexpr uint32_t kMbOk = 0x00;
inline constexpr uint32_t kMbOkCancel = 0x01;
inline constexpr uint32_t kMbYesNo = 0x04;
inline constexpr uint32_t kMbIconStop = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr uint32_t kMbTaskModal = 0x2000;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class DialogsApi {
public:
    virtual ~DialogsApi() = default;
    // Shows a modal message box owned by the active window; returns the answer.
    virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) = 0;
};

// ---- the platform ------------------------------------------------------------

class Platform {
public:
    virtual ~Platform() = default;
    virtual SystemApi& System() = 0;
    virtual FilesApi& Files() = 0;
    virtual RegistryApi& Registry() = 0;
    virtual ShellApi& Shell() = 0;
    virtual DialogsApi& Dialogs() = 0;
};

// The process-wide active platform, set once by each program entry and by each
// test fixture. OS() raises when none is set.
void SetPlatform(Platform* platform);
Platform& OS();
bool HasPlatform();

// The platform of this build for a program entry: the real Windows one, or on
// Linux the sandbox machine named by SANDBOX_ROOT (default ./sandbox).
std::unique_ptr<Platform> CreateNativePlatform(int argc, char** argv);

// Opens a file through the active platform.
std::unique_ptr<Stream> OpenFile(const std::string& path, OpenMode mode);

// The first level of path, from root itself down to path, that is a reparse
// point, or "" when none is (or path does not lie below root). A process with
// administrator rights that removes or restores what it recorded below a
// folder asks this first: a junction planted at any of these levels would
// send the operation into a folder of someone else's (the system folder,
// another user's profile). The levels above root are the system's own (a
// profile folder may be reached through a junction the system made) and are
// not looked at. Paths compare without regard to ASCII case; both use "\".
std::string FirstReparsePoint(const std::string& root, const std::string& path);

}  // namespace setup
