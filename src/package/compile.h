// The project model: one TCompile per run holds the author's settings, the
// lists of files, folders, registry values, shortcuts and component packages,
// and the install options of the session (TInstallData). It is loaded from the
// setup program's own file (LoadFromExe), extracts the setup resources into
// the temporary folder (ExtractTempFiles) and copies item data out of the
// package (ReadPackageData). Items belong to the model's lists: whoever holds
// one never frees it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/codecs.h"
#include "package/project_stream.h"
#include "platform/stream.h"

namespace setup {

enum TFileKind : uint8_t { fkFile = 0, fkFolder = 1, fkRegFile = 2, fkCompFile = 3, fkInfoFile = 4, fkUnInsFile = 5 };

enum TInfoGroup : uint8_t {
    igProject = 0,
    igPageSwitch = 1,
    igWelcome = 2,
    igProtocol = 3,
    igExplain = 5,
    igStartFolder = 6,
    igComponent = 7,
    igInstallDir = 8,
    igAddonsTask = 9,
    igReadyIns = 10,
    igBeginIns = 11,
    igEndIns = 12,
};

// The type of a listed registry value.
enum TRegValueKind : uint8_t { rvString = 0, rvDword = 1, rvBinary = 2 };

// What a listed shortcut is: a shell link to the target, an internet shortcut
// to an address, or a shell link to the target's folder.
enum TShortcutKind : uint8_t { skShellLink = 0, skInternetShortcut = 1, skFolderLink = 2 };

// The value of a switch setting that means "on"; every other value is off.
inline constexpr char kSwitchOn[] = "启用";
inline constexpr char kSwitchOff[] = "禁用";

struct TCompileData {
    std::string Key;
    std::string Value;
    uint8_t Group = igProject;
};

struct TCompileFileData {
    std::string Name;
    std::string Source;
    std::string TargetDir;
    bool RunAtStartup = false;
    bool KeepOnUninstall = false;
    bool NoOverwrite = false;
    bool IsComponent = false;
    bool IsService = false;
    bool RunAfterInstall = false;
    bool IsPatch = false;
    std::string TargetOs;
    int64_t DataStart = 0;
    int64_t DataEnd = 0;
    int64_t FileSize = 0;
    uint8_t Kind = fkFile;
    double FileTime = 0;
    uint8_t Reserved = 0;
};

struct TRegInfoData {
    std::string Key;
    std::string ValueName;
    std::string Data;
    std::string TargetOs;
    uint8_t ValueType = rvString;  // a TRegValueKind
};

struct TShotCutData {
    std::string Folder;
    std::string Name;
    std::string Target;
    std::string IconFile;
    std::string Arguments;
    std::string Description;
    uint8_t Kind = skShellLink;  // a TShortcutKind
};

struct TCompileCompData {
    std::string Name;
    int64_t Size = 0;
};

// The install options of the session.
struct TInstallData {
    bool ShowSetupUI = true;
    std::string StartFolder;
    bool CreateStartFolder = true;
    std::string InstallDir;
    bool DesktopShortcut = false;
    bool QuickLaunchShortcut = false;
    bool RunApp = false;
    bool ShowReadme = false;
    bool SetHomePage = false;
    std::string AppFile;
    std::string ReadmeFile;
    std::string HomePage;
    std::string RebootOs;
    std::string HintMsg;
    std::string BeforeHintMsg;
    std::string WebHint;
    std::string DefaultHtml;
    std::string EnableUnIns;
    int64_t TotalSize = 0;
};

// One item the installation could not complete: the file, folder, registry
// value, link, component or program, and the reason.
struct InstallFailure {
    std::string Item;
    std::string Reason;
};

// A progress report of the installation: Position = Max = -1 marks a
// message-only event.
using TCompileProEvent =
    std::function<void(const std::string& fileName, const std::string& hintMsg, int64_t position, int64_t max)>;

// Progress of the resource extraction: (position, maximum).
using TExtractProgress = std::function<void(int position, int maximum)>;

// True for a package identity in the form 7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F
// (hexadecimal digits of either case, optionally in braces). Only such an
// identity names a key of its own under the Windows Uninstall key.
bool IsPackageIdentity(const std::string& id);
// Whether the item's FileSize is its data's size: folder entries and the
// uninstaller's entry leave the field to the writer (readers ignore it).
bool HasOwnSize(const TCompileFileData& item);

// The most a project stream may inflate to; a project describes settings and
// lists, never file contents.
inline constexpr int64_t kMaxProjectStreamSize = 256LL * 1024 * 1024;

template <typename T>
using ItemList = std::vector<std::unique_ptr<T>>;

class TCustomCompile : public TElement {
public:
    ItemList<TCompileData> InfoList;
    std::vector<std::string> FileFolderList;
    ItemList<TCompileFileData> FileList;
    std::vector<std::string> RegFolderList;
    ItemList<TRegInfoData> RegList;
    ItemList<TCompileCompData> CompList;
    std::vector<std::string> ShotCutFolderList;
    ItemList<TShotCutData> ShotCutList;
};

class TCompile : public TCustomCompile {
public:
    TCompile() = default;
    TCompile(const TCompile&) = delete;
    TCompile& operator=(const TCompile&) = delete;

    TCompileProEvent OnCompile;
    std::string ItemName;
    std::string Url;
    std::string Version;
    std::string Author;
    int64_t Size = 0;
    std::string PackageId;
    std::vector<std::string> ComponentList;
    TInstallData InstallData;
    // The files ExtractTempFiles wrote, and the folders it made for them: the
    // extraction folder first, then its subfolders in the order made.
    std::vector<std::string> TempFiles;
    std::vector<std::string> TempFolders;
    // The items the last installation could not complete, in the order met;
    // empty after a run that completed everything.
    std::vector<InstallFailure> Failures;
    // The items LoadFromExe left out because they break the item rules (a
    // package edited by hand): every installation lists them first among
    // its failures.
    std::vector<InstallFailure> LeftOut;
    // The files the last installation could not replace because a program
    // held them: each waits beside its target and takes its place when
    // Windows restarts.
    std::vector<std::string> ReplacedAtRestart;
    // Whether the last installation needs a restart of Windows to finish
    // (files waiting, backups of files in use to delete).
    bool RestartNeeded = false;

    bool Patched() const { return patched_; }
    void SetPatched(bool patched) { patched_ = patched; }

    // Loads the package appended to the file exeName: nothing happens when the
    // file is missing. The file is opened once, read-locked, and stays open
    // for the model's lifetime (PackageFile): while the model lives nobody can
    // write, rename, replace or delete it, so every later read of items and
    // resources sees the bytes that were checked here. Raises Damaged for a
    // package whose tail does not point at a project inside the file, whose
    // chunk lengths do not fit the file, whose project stream is implausibly
    // large, whose identity is not a GUID or whose item data or project stream
    // does not verify or inflate (VerifyPackageData), and the conversion
    // failure for a bad "Patch" value. Items that break the item rules are
    // left out and kept in LeftOut.
    void LoadFromExe(const std::string& exeName);
    // The package file LoadFromExe opened and holds. Raises the OS error kind
    // when the model was not loaded from a file. Its position is the last
    // reader's: seek before reading.
    Stream& PackageFile() const;
    // The container steps of LoadFromExe on an open file: reads the tail and
    // parses the project stream, without deriving the install options.
    void LoadPackage(Stream& file, const std::string& name);
    // Inflates the data of every item of a loaded package without keeping it:
    // raises Damaged for data that does not inflate, that inflates to another
    // size than the item's, or for a tail whose total of file bytes differs
    // from the items'. LoadFromExe runs it, so that a package damaged anywhere
    // is refused before anything reaches the machine. When another view of the
    // same file can be opened (openAnother), a large package is checked on two
    // threads, which take runs of neighbouring items in turn, each through a
    // view of its own; the failure raised is still that of the first damaged
    // item.
    void VerifyPackageData(Stream& file, const std::function<std::unique_ptr<Stream>()>& openAnother = {}) const;
    // Derives the install options from the settings.
    void InitInstallData();
    // The settings of one group, in InfoList order (the model's own items).
    void GetInfoItems(uint8_t group, std::vector<TCompileData*>& list) const;
    // Extracts registry scripts, component files and resources into a new
    // folder of the temporary folder and re-points their sources (and the
    // settings naming resources). The folder has a random name, is made by
    // this process (never one that exists) and, with administrator rights,
    // admits only administrators and the system; below it every folder and
    // file is made new, so nothing another user placed there beforehand is
    // ever written, read or started. Raises an OS error when no such folder
    // can be made or an item's path would leave it; any failure propagates,
    // and what was made so far is in TempFiles and TempFolders.
    void ExtractTempFiles(Stream& source, const TExtractProgress& progress = nullptr);
    // The run's own temporary folder, under a name nobody can predict, made
    // by this process (protected when elevated) on first use; the first of
    // TempFolders. Raises an Os error when it cannot be made.
    const std::string& RunFolder();
    // A name for the run's folder that nothing holds yet, and its making:
    // false when the run has its folder already or the name is taken.
    std::string NewRunFolderName() const;
    bool MakeRunFolder(const std::string& folder);
    // Deletes every file of TempFiles that exists, then the folders of
    // TempFolders, innermost first; a folder something else wrote into stays.
    void DeleteTempFiles();
    // Writes the inflated data of the item between dataStart and dataEnd to the
    // target's position; the source is left at dataEnd. Offsets that do not lie
    // within the source, chunks that cross dataEnd, and data that inflates to
    // more than promisedSize bytes (when not negative: the item's FileSize)
    // are damage.
    static void ReadPackageData(Stream& source, Stream& target, int64_t dataStart, int64_t dataEnd,
                                int64_t promisedSize = -1);
    // The same, handing the content to a sink piece by piece.
    // Buffers, when given, are reused across the calls that pass them.
    static void ReadPackageData(Stream& source, const ContentSink& sink, int64_t dataStart, int64_t dataEnd,
                                int64_t promisedSize = -1, ChunkBuffers* buffers = nullptr);

    // The first igProject setting whose key matches without regard to ASCII
    // case, or null.
    TCompileData* FindProjectInfo(const std::string& key) const;

private:
    bool patched_ = false;
    std::shared_ptr<Stream> packageFile_;
};

}  // namespace setup
