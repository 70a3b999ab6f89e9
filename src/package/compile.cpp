#include "package/compile.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <random>
#include <system_error>
#include <thread>

#include "package/codecs.h"
#include "package/install_paths.h"
#include "package/item_rules.h"
#include "package/package_tail.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

namespace {

const char* const kPackage = msg::kWhatPackage;

std::string LastComponent(const std::string& path) { return FileNamePart(path); }

std::string FolderOf(const std::string& path) { return FolderPart(path); }

}  // namespace

bool HasOwnSize(const TCompileFileData& item) { return item.Kind != fkFolder && item.Kind != fkUnInsFile; }

bool IsPackageIdentity(const std::string& id) {
    std::string_view text = id;
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

void TCompile::LoadFromExe(const std::string& exeName) {
    if (!OS().Files().FileExists(exeName)) return;
    {
        // Held read-locked for the whole run: the bytes checked here are the
        // bytes that are later extracted and installed, even when the program
        // was started from a folder other users can write to.
        std::shared_ptr<Stream> file = OpenFile(exeName, OpenMode::ReadLocked);
        ReadAheadStream package(*file);
        LoadPackage(package, exeName);
        // While the locked view is open nobody can replace the file, so a
        // second view by path reads the same bytes.
        VerifyPackageData(package, [&exeName] { return OpenFile(exeName, OpenMode::ReadLocked); });
        packageFile_ = std::move(file);
    }
    // The identity names the product's Uninstall key: an empty or malformed
    // one would put the entry on the Uninstall key itself.
    if (!IsPackageIdentity(PackageId)) {
        ThrowDamaged(msg::PackageIdNotGuid(PackageId));
    }
    // A package edited by hand or made to harm may hold items that would
    // install outside their roots or under names Windows cannot create: they
    // are left out and listed. Everything else installs as the format says.
    LeftOut = LeaveOutRuleBreaks(*this);
    InstallData.TotalSize = Size;
    for (const auto& component : CompList) InstallData.TotalSize += component->Size;
    InitInstallData();
}

Stream& TCompile::PackageFile() const {
    if (!packageFile_) ThrowOsError(msg::PackageFileNotOpen());
    return *packageFile_;
}

void TCompile::LoadPackage(Stream& file, const std::string& name) {
    // A signed program carries its certificate table after the package.
    int64_t fileSize = FindPackageEnd(file);
    if (fileSize < 16) ThrowDamaged(msg::FileTooShortForTail(name));
    file.Seek(fileSize - 16, SeekOrigin::Begin);
    Size = file.ReadI64(kPackage);
    int64_t projectOffset = file.ReadI64(kPackage);
    // A tail that does not point at a project inside the file describes no
    // package: the file was cut, overwritten or never was a setup package.
    if (projectOffset <= 0 || projectOffset >= fileSize - 16) {
        ThrowDamaged(msg::ProjectOffsetOutside(projectOffset));
    }
    MemoryStream project;
    file.Seek(projectOffset, SeekOrigin::Begin);
    try {
        ReadChunks(file, project, fileSize - 16, kPackage, kMaxProjectStreamSize);
    } catch (const Error& e) {
        // The project stream is the package's own: a chunk of it that does
        // not inflate is a damaged package like any other.
        if (e.Kind() != ErrorKind::Decompression) throw;
        ThrowDamaged(msg::ProjectStreamDoesNotInflate());
    }
    ParseProjectStream(project, *this);
    // A signed program's signature ends where its certificate table begins:
    // an item whose data reaches into the table, or past it, would install
    // bytes that no one signed.
    if (fileSize < file.Size()) {
        for (const auto& item : FileList) {
            if (item->Kind != fkFolder && item->DataEnd > fileSize) {
                ThrowDamaged(msg::ItemDataPastSignature(item->Source, item->DataEnd, fileSize));
            }
        }
    }
}

namespace {

// A package with less data than this is checked on one thread: a second one
// would cost more to start than it saves.
constexpr int64_t kTwoThreadCheckSize = 1 << 20;
// The threads take runs of neighbouring items of about this much data in
// turn, so that neither waits for the other at the end and each reads on
// from where it was.
constexpr int64_t kCheckRunSize = 256 << 10;

int64_t DataSize(const TCompileFileData& item) {
    return item.DataEnd > item.DataStart ? item.DataEnd - item.DataStart : 0;
}

// Inflates the data of one item without keeping it. The uninstaller's entry
// carries no size of its own (writers leave the field as it comes): its
// data is checked chunk by chunk only.
void VerifyItem(Stream& file, const TCompileFileData& item, ChunkBuffers& buffers) {
    int64_t inflated = 0;
    bool sized = HasOwnSize(item);
    try {
        TCompile::ReadPackageData(
            file, [&inflated](std::string& piece) { inflated += static_cast<int64_t>(piece.size()); }, item.DataStart,
            item.DataEnd, sized ? item.FileSize : -1, &buffers);
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::Decompression) throw;
        ThrowDamaged(msg::ItemDataDoesNotInflate(item.Source));
    }
    if (sized && inflated != item.FileSize) {
        ThrowDamaged(msg::ItemInflatesToOtherSize(item.Source, inflated, item.FileSize));
    }
}

// The first failure one thread met, and at which item.
struct CheckFailure {
    size_t Item = SIZE_MAX;
    std::exception_ptr Raised;
};

}  // namespace

void TCompile::VerifyPackageData(Stream& file, const std::function<std::unique_ptr<Stream>()>& openAnother) const {
    std::vector<const TCompileFileData*> items;
    int64_t filesSize = 0;
    int64_t dataSize = 0;
    for (const auto& item : FileList) {
        if (item->Kind == fkFolder) continue;
        items.push_back(item.get());
        if (item->Kind == fkFile) filesSize += item->FileSize;
        dataSize += DataSize(*item);
    }
    // Run r holds items [runs[r], runs[r + 1]).
    std::vector<size_t> runs{0};
    int64_t run = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        run += DataSize(*items[i]);
        if (run >= kCheckRunSize || i + 1 == items.size()) {
            runs.push_back(i + 1);
            run = 0;
        }
    }
    std::atomic<size_t> nextRun{0};
    // Items after the first damaged one found need no check: the failure
    // raised is that of the first damaged item, as in a check in one pass.
    std::atomic<size_t> firstFailed{SIZE_MAX};
    auto check = [&](Stream& view, CheckFailure& failure) {
        // One set of buffers for every item: the content is only counted.
        ChunkBuffers buffers;
        for (size_t r = nextRun++; r + 1 < runs.size(); r = nextRun++) {
            for (size_t i = runs[r]; i < runs[r + 1]; ++i) {
                if (i > firstFailed) return;
                try {
                    VerifyItem(view, *items[i], buffers);
                } catch (...) {
                    failure = CheckFailure{i, std::current_exception()};
                    size_t seen = firstFailed;
                    while (i < seen && !firstFailed.compare_exchange_weak(seen, i)) {
                    }
                    return;
                }
            }
        }
    };
    std::unique_ptr<Stream> another;
    if (openAnother && dataSize >= kTwoThreadCheckSize && runs.size() > 2) {
        try {
            another = openAnother();
        } catch (const Error&) {
            // Without a second view the check runs on this thread alone.
        }
    }
    CheckFailure mine, theirs;
    std::thread helper;
    // Joins the helper however this thread leaves.
    struct Joiner {
        std::thread& Thread;
        ~Joiner() {
            if (Thread.joinable()) Thread.join();
        }
    } joiner{helper};
    if (another) {
        try {
            helper = std::thread([&] {
                try {
                    ReadAheadStream view(*another);
                    check(view, theirs);
                } catch (const Error&) {
                    // Only making the view can fail outside an item: this thread
                    // took no item then, and the other checks them all.
                }
            });
        } catch (const std::system_error&) {
            // No second thread: this one checks every item.
        }
    }
    check(file, mine);
    if (helper.joinable()) helper.join();
    if (mine.Raised && (!theirs.Raised || mine.Item < theirs.Item)) std::rethrow_exception(mine.Raised);
    if (theirs.Raised) std::rethrow_exception(theirs.Raised);
    if (filesSize != Size) {
        ThrowDamaged(msg::TailPromisesOtherSize(Size, filesSize));
    }
}

void TCompile::InitInstallData() {
    TInstallData& data = InstallData;
    std::vector<TCompileData*> items;

    GetInfoItems(igProject, items);
    for (TCompileData* item : items) {
        if (item->Key == "显示安装界面") data.ShowSetupUI = item->Value == kSwitchOn;
    }

    GetInfoItems(igAddonsTask, items);
    for (TCompileData* item : items) {
        if (EqualsNoCase(item->Key, "创建桌面快捷方式")) data.DesktopShortcut = item->Value == kSwitchOn;
        if (EqualsNoCase(item->Key, "创建快速启栏快捷方式")) data.QuickLaunchShortcut = item->Value == kSwitchOn;
    }

    data.CreateStartFolder = true;
    GetInfoItems(igStartFolder, items);
    for (TCompileData* item : items) {
        if (EqualsNoCase(item->Key, "默认文件夹名称")) data.StartFolder = item->Value;
    }

    if (Patched()) {
        data.InstallDir = ReadInstallDir(PackageId);
    } else {
        GetInfoItems(igInstallDir, items);
        for (TCompileData* item : items) {
            if (!EqualsNoCase(item->Key, "默认安装路径")) continue;
            // An empty default folder would leave nothing to install into: the
            // product's folder under Program Files is the sensible default.
            if (item->Value.empty()) {
                data.InstallDir = GetProgramFilesFolder() + (ItemName.empty() ? "" : "\\" + ItemName);
            } else {
                data.InstallDir = ExpandInstallPath(item->Value, InstallMacros::ProgramFilesOnly);
            }
        }
    }

    GetInfoItems(igEndIns, items);
    for (TCompileData* item : items) {
        if (item->Value.empty()) continue;
        if (EqualsNoCase(item->Key, "应用程序文件")) {
            data.RunApp = true;
            data.AppFile = item->Value;
        } else if (EqualsNoCase(item->Key, "Readme文件")) {
            data.ShowReadme = true;
            data.ReadmeFile = item->Value;
        } else if (EqualsNoCase(item->Key, "默认主页链接")) {
            data.SetHomePage = true;
            data.HomePage = item->Value;
        }
    }
}

void TCompile::GetInfoItems(uint8_t group, std::vector<TCompileData*>& list) const {
    list.clear();
    for (const auto& item : InfoList) {
        if (item->Group == group) list.push_back(item.get());
    }
}

TCompileData* TCompile::FindProjectInfo(const std::string& key) const {
    for (const auto& item : InfoList) {
        if (item->Group == igProject && EqualsNoCase(item->Key, key)) return item.get();
    }
    return nullptr;
}

void TCompile::ExtractTempFiles(Stream& source, const TExtractProgress& progress) {
    // The resources are later imported, started, copied and shown with this
    // process's rights, which under a deployment tool are the system's, and
    // the system's temporary folder lets every user add folders and links.
    // So they go into a folder under a name nobody can predict that this
    // process makes itself, and every level below it is made new too: a
    // file or folder someone placed beforehand is never used.
    FilesApi& files = OS().Files();
    const std::string root = RunFolder() + "\\";
    auto madeHere = [this](const std::string& folder) {
        for (const std::string& made : TempFolders) {
            if (EqualsNoCase(made, folder)) return true;
        }
        return false;
    };
    // Makes the levels between root and the file; a level that exists and
    // was not made here ("." and ".." exist always) stops the extraction.
    auto makeFolders = [&](const std::string& path) {
        std::string current = TempFolders.front();
        std::string below = FolderOf(path).substr(std::min(FolderOf(path).size(), root.size()));
        for (const std::string& level : SplitOn(below, '\\')) {
            if (level.empty()) continue;
            current += "\\" + level;
            if (madeHere(current)) continue;
            if (!files.CreateFolderNew(current, FolderAccess::Protected)) {
                ThrowOsError(msg::CannotCreateTempFolder(current));
            }
            TempFolders.push_back(current);
        }
    };
    int count = static_cast<int>(FileList.size());
    for (int i = 0; i < count; ++i) {
        if (progress) progress(i + 1, count);
        TCompileFileData& item = *FileList[static_cast<size_t>(i)];
        std::string path;
        switch (item.Kind) {
            case fkRegFile:
                path = root + "Reg\\" + LastComponent(item.Source);
                break;
            case fkCompFile: {
                std::string rest = item.Source.size() > item.TargetDir.size()
                                       ? item.Source.substr(item.TargetDir.size())
                                       : std::string();
                item.TargetDir = root + "Comp\\" + item.Name;
                path = item.TargetDir + "\\" + rest;
                break;
            }
            case fkInfoFile:
                path = root + "Info\\" + LastComponent(item.Source);
                for (const auto& setting : InfoList) {
                    if (EqualsNoCase(setting->Value, item.Source)) setting->Value = path;
                }
                break;
            default:
                continue;
        }
        item.Source = path;
        makeFolders(path);
        // Two resources of one name share one path and the later one wins:
        // only a file this run wrote is ever opened again.
        bool written = false;
        for (const std::string& done : TempFiles) written = written || EqualsNoCase(done, path);
        std::unique_ptr<Stream> target = OpenFile(path, written ? OpenMode::Create : OpenMode::CreateNew);
        TempFiles.push_back(path);
        ReadPackageData(source, *target, item.DataStart, item.DataEnd, item.FileSize);
    }
}

std::string TCompile::NewRunFolderName() const {
    std::random_device random;
    std::string suffix = HexDigits8(random());
    suffix += HexDigits8(random());
    return GetTempFolder() + "~setup-" + suffix;
}

bool TCompile::MakeRunFolder(const std::string& folder) {
    if (!TempFolders.empty() || !OS().Files().CreateFolderNew(folder, FolderAccess::Protected)) return false;
    TempFolders.push_back(folder);
    return true;
}

const std::string& TCompile::RunFolder() {
    for (int attempt = 0; attempt < 16 && TempFolders.empty(); ++attempt) MakeRunFolder(NewRunFolderName());
    if (TempFolders.empty()) ThrowOsError(msg::CannotCreateTempFolder(GetTempFolder() + "~setup-*"));
    return TempFolders.front();
}

void TCompile::DeleteTempFiles() {
    FilesApi& files = OS().Files();
    for (const std::string& path : TempFiles) {
        if (files.FileExists(path)) files.DeleteFile(path);
    }
    // Innermost first; a folder that a component's installer wrote into is
    // not empty and stays.
    for (auto it = TempFolders.rbegin(); it != TempFolders.rend(); ++it) files.RemoveFolder(*it);
}

void TCompile::ReadPackageData(Stream& source, Stream& target, int64_t dataStart, int64_t dataEnd,
                               int64_t promisedSize) {
    ReadPackageData(
        source, [&target](std::string& piece) { target.WriteBytes(piece); }, dataStart, dataEnd, promisedSize);
}

void TCompile::ReadPackageData(Stream& source, const ContentSink& sink, int64_t dataStart, int64_t dataEnd,
                               int64_t promisedSize, ChunkBuffers* buffers) {
    int64_t size = source.Size();
    if (dataStart < 0 || dataEnd < dataStart || dataEnd > size) {
        ThrowDamaged(msg::ItemDataOutside(dataStart, dataEnd, size));
    }
    source.Seek(dataStart, SeekOrigin::Begin);
    ReadChunks(source, sink, dataEnd, kPackage, promisedSize, buffers);
}

}  // namespace setup
