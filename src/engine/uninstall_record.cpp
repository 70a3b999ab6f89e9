#include "engine/uninstall_record.h"

#include <algorithm>

#include "package/codecs.h"
#include "package/install_paths.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/sha256.h"
#include "platform/text.h"

namespace setup {

namespace {
const char* const kWhat = msg::kWhatUninstallRecord;
}

void TUnInstall::Clear() {
    entries_.clear();
    index_.clear();
    earlierFiles_.clear();
}

bool TUnInstall::Remember(uint8_t kind, const std::string& a, const std::string& b, const std::string& c) {
    // The texts are joined with a byte that no GBK text holds (a NUL), so no two
    // different entries can make the same key.
    std::string key(1, static_cast<char>(kind));
    key += AsciiLowerCase(a);
    key.push_back('\0');
    key += AsciiLowerCase(b);
    key.push_back('\0');
    key += AsciiLowerCase(c);
    return index_.insert(std::move(key)).second;
}

void TUnInstall::Append(std::string root, std::string path, std::string valueName, uint8_t deleteFlag, uint8_t kind) {
    auto entry = std::make_unique<TUnInsData>();
    entry->RootKey = std::move(root);
    entry->Path = std::move(path);
    entry->ValueName = std::move(valueName);
    entry->DeleteFlag = deleteFlag;
    entry->EntryKind = kind;
    entries_.push_back(std::move(entry));
}

void TUnInstall::AddFolder(const std::string& path) {
    if (Remember(ukFolder, path)) Append("", path, "", 1, ukFolder);
}

void TUnInstall::AddFile(const std::string& path, bool deleteOnUninstall) {
    if (Remember(ukFile, path)) Append("", path, "", deleteOnUninstall ? 1 : 0, ukFile);
}

void TUnInstall::AddRegistry(const std::string& root, const std::string& subkey, const std::string& valueName) {
    if (Remember(ukRegistry, root, subkey, valueName)) Append(root, subkey, valueName, 1, ukRegistry);
}

void TUnInstall::AddRegistryValue(const std::string& root, const std::string& subkey, const std::string& valueName) {
    if (!valueName.empty()) {
        AddRegistry(root, subkey, valueName);
    } else if (Remember(ukRegistryDefaultValue, root, subkey, "")) {
        Append(root, subkey, "", 1, ukRegistryDefaultValue);
    }
}

void TUnInstall::AddEntry(const TUnInsData& e) {
    bool registry = e.EntryKind == ukRegistry || e.EntryKind == ukRegistryDefaultValue;
    if (Remember(e.EntryKind, registry ? e.RootKey : e.Path, registry ? e.Path : "", e.ValueName)) {
        Append(e.RootKey, e.Path, e.ValueName, e.DeleteFlag, e.EntryKind);
    }
}

void TUnInstall::MergeEarlier(const TUnInstall& earlier) {
    for (const auto& e : earlier.Entries()) {
        AddEntry(*e);
        if (e->EntryKind == ukFile) earlierFiles_.insert(AsciiLowerCase(e->Path));
    }
}

bool TUnInstall::RecordedEarlier(const std::string& file) const {
    return earlierFiles_.count(AsciiLowerCase(file)) != 0;
}

void TUnInstall::CreateFoldersLogged(const std::string& path) {
    std::vector<std::string> pieces = SplitPath(path);
    if (pieces.empty()) return;
    std::string folder = pieces[0];
    for (size_t i = 1; i < pieces.size(); ++i) {
        folder += "\\" + pieces[i];
        if (OS().Files().FolderExists(folder)) continue;
        // A level that cannot be created is still recorded; the failure shows
        // when files are written into it.
        OS().Files().CreateFolderTree(folder);
        AddFolder(folder);
    }
}

void TUnInstall::CreateKeysLogged(uint32_t root, const std::string& subkey) {
    RegistryApi& registry = OS().Registry();
    std::vector<std::string> pieces = SplitPath(subkey);
    std::string prefix;
    for (const std::string& piece : pieces) {
        prefix += (prefix.empty() ? "" : "\\") + piece;
        if (registry.KeyExists(root, prefix)) continue;
        if (registry.CreateKey(root, prefix)) AddRegistry(std::to_string(root), prefix, "");
    }
}

std::string TUnInstall::Serialize() const {
    MemoryStream s;
    WriteString(s, projectName_);
    WriteString(s, packageId_);
    s.WriteI32(static_cast<int32_t>(entries_.size()));
    for (const auto& e : entries_) {
        WriteString(s, e->RootKey);
        WriteString(s, e->Path);
        WriteString(s, e->ValueName);
        s.WriteU8(e->DeleteFlag);
        s.WriteU8(e->EntryKind);
    }
    return s.TakeBytes();
}

void TUnInstall::Deserialize(Stream& s) {
    Clear();
    projectName_ = ReadString(s);
    packageId_ = ReadString(s);
    int32_t count = s.ReadI32(kWhat);
    for (int32_t i = 0; i < count; ++i) {
        auto e = std::make_unique<TUnInsData>();
        e->RootKey = ReadString(s);
        e->Path = ReadString(s);
        e->ValueName = ReadString(s);
        e->DeleteFlag = s.ReadU8(kWhat);
        e->EntryKind = s.ReadU8(kWhat);
        bool registry = e->EntryKind == ukRegistry || e->EntryKind == ukRegistryDefaultValue;
        Remember(e->EntryKind, registry ? e->RootKey : e->Path, registry ? e->Path : "", e->ValueName);
        entries_.push_back(std::move(e));
    }
}

namespace {

// A record of a hundred thousand files is a few MiB, compressed or not: a
// file or a content beyond this is no record an installation wrote, and
// reading or inflating it would only claim memory.
constexpr int64_t kMaxRecordSize = 64LL << 20;

std::string ReadWholeFile(const std::string& path) {
    std::unique_ptr<Stream> file = OpenFile(path, OpenMode::Read);
    int64_t size = file->Size();
    if (size > kMaxRecordSize) ThrowDamaged(msg::RecordTooLarge(path, size, kMaxRecordSize));
    return file->ReadBytes(static_cast<size_t>(size < 0 ? 0 : size));
}

// The identity of the Uninstall entry whose record digest is the digest
// given, or nothing. The digest is found by what the bytes are, not by what
// they claim to belong to, so a record is vouched for before it is inflated.
std::optional<std::string> EntryVouchingFor(const std::string& digest) {
    RegistryApi& registry = OS().Registry();
    std::string uninstall = UninstallKeyPath("");
    uninstall.pop_back();
    for (const std::string& id : registry.ListSubKeys(kHkeyLocalMachine, uninstall)) {
        std::optional<std::string> kept =
            registry.ReadString(kHkeyLocalMachine, UninstallKeyPath(id), kRecordDigestValue);
        if (kept && EqualsNoCase(*kept, digest)) return id;
    }
    return std::nullopt;
}

}  // namespace

void TUnInstall::LoadFromFileBytes(const std::string& bytes) {
    Clear();
    MemoryStream source(bytes);
    MemoryStream content;
    // Inflation stops at the bound: a small file cannot claim unbounded memory.
    ReadChunks(source, content, source.Size(), msg::kWhatCompressedFile, kMaxRecordSize);
    content.Seek(0, SeekOrigin::Begin);
    Deserialize(content);
}

void TUnInstall::LoadFromFile(const std::string& path) {
    if (!OS().Files().FileExists(path)) return;
    LoadFromFileBytes(ReadWholeFile(path));
}

bool TUnInstall::LoadVerifiedFromFile(const std::string& path) { return LoadCheckedFromFile(path) == Trust::Genuine; }

TUnInstall::Trust TUnInstall::LoadCheckedFromFile(const std::string& path) {
    if (!OS().Files().FileExists(path)) return Trust::Missing;
    std::string bytes = ReadWholeFile(path);
    std::string digest = Sha256Hex(bytes);
    if (std::optional<std::string> vouching = EntryVouchingFor(digest)) {
        LoadFromFileBytes(bytes);
        // The bytes are those an installation saved; a record that names
        // another product than the entry vouching for it is not what it says.
        return EqualsNoCase(*vouching, packageId_) ? Trust::Genuine : Trust::Edited;
    }
    // No entry knows these bytes. A record that an earlier version saved (no
    // digest kept) is read as before, inflated within the bound; one whose
    // product keeps another digest was changed since it was saved.
    LoadFromFileBytes(bytes);
    return ReadRecordDigest(packageId_) ? Trust::Edited : Trust::Unvouched;
}

std::string TUnInstall::FileBytes() const {
    MemoryStream content(Serialize());
    MemoryStream file;
    CompressStream(content, file);
    return file.TakeBytes();
}

std::string TUnInstall::SaveToFile(const std::string& path) const {
    std::string bytes = FileBytes();
    OpenFile(path, OpenMode::Create)->WriteBytes(bytes);
    return Sha256Hex(bytes);
}

void TUnInstall::WriteRecordDigest(const std::string& packageId, const std::string& digest) {
    // Without an Uninstall entry (a key the system refused) there is nowhere to
    // keep the digest, and the uninstaller would refuse the record for ever:
    // that is a failure of the installation, not something to skip.
    if (!OS().Registry().KeyExists(kHkeyLocalMachine, UninstallKeyPath(packageId)) ||
        !OS().Registry().WriteString(kHkeyLocalMachine, UninstallKeyPath(packageId), kRecordDigestValue, digest)) {
        ThrowOsError(msg::CannotWriteUninstallValue(kRecordDigestValue));
    }
}

std::optional<std::string> TUnInstall::ReadRecordDigest(const std::string& packageId) {
    std::string key = UninstallKeyPath(packageId);
    if (!OS().Registry().KeyExists(kHkeyLocalMachine, key)) return std::nullopt;
    return OS().Registry().ReadString(kHkeyLocalMachine, key, kRecordDigestValue);
}

void TUnInstall::WriteUninstallEntry(const std::string& uninstallerPath, const std::string& projectName,
                                     const std::string& installDir, const std::string& packageId,
                                     const std::string& author, const std::string& url, const std::string& version,
                                     int64_t installedBytes) {
    RegistryApi& registry = OS().Registry();
    std::string key = UninstallKeyPath(packageId);
    // A key that cannot be opened or created is skipped silently.
    if (!registry.CreateKey(kHkeyLocalMachine, key)) return;
    // The command is quoted, so that Windows cannot start a planted
    // C:\Program.exe for an uninstaller path with blanks.
    const std::pair<const char*, std::string> values[] = {
        {"DisplayIcon", uninstallerPath},
        {"DisplayName", projectName + version},
        {"DisplayVersion", version},
        {"URLInfoAbout", url},
        {"Publisher", author},
        {"UninstallString", "\"" + uninstallerPath + "\""},
        {"Install Dir", installDir},
        {"InstallLocation", installDir},
        {"QuietUninstallString", "\"" + uninstallerPath + "\" /S"},
    };
    for (const auto& [name, data] : values) {
        if (!registry.WriteString(kHkeyLocalMachine, key, name, data)) {
            ThrowOsError(msg::CannotWriteUninstallValue(name));
        }
    }
    // The program list shows EstimatedSize in KiB; a size beyond what a DWORD
    // holds is capped rather than wrapped round to a small number.
    int64_t kib = installedBytes <= 0 ? 0 : (installedBytes + 1023) / 1024;
    const std::pair<const char*, uint32_t> numbers[] = {
        {"EstimatedSize", static_cast<uint32_t>(std::min<int64_t>(kib, 0xFFFFFFFFLL))},
        {"NoModify", 1},
        {"NoRepair", 1},
    };
    for (const auto& [name, data] : numbers) {
        if (!registry.WriteDword(kHkeyLocalMachine, key, name, data)) {
            ThrowOsError(msg::CannotWriteUninstallValue(name));
        }
    }
}

std::string RecordPathFor(const std::string& uninstallerPath) {
    std::string path = uninstallerPath.size() >= 3 ? uninstallerPath.substr(0, uninstallerPath.size() - 3) : "";
    return path + "log";
}

namespace {
bool Unreadable(const Error& e) { return e.Kind() == ErrorKind::Damaged || e.Kind() == ErrorKind::Decompression; }
}  // namespace

void MergeEarlierRecords(TUnInstall& record, const std::string& recordPath, const std::string& packageId) {
    if (recordPath.empty()) return;
    TUnInstall earlier;
    try {
        if (earlier.LoadVerifiedFromFile(recordPath) && EqualsNoCase(earlier.PackageId(), packageId)) {
            record.MergeEarlier(earlier);
        }
    } catch (const Error& e) {
        // A damaged earlier record must not stop the reinstall that repairs it.
        if (!Unreadable(e)) throw;
    }
}

}  // namespace setup
