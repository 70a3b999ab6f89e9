#include "engine/journal_file.h"

#include <array>

#include "package/install_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/run_log.h"
#include "platform/text.h"

namespace setup::journal {

namespace {

constexpr char kMagic[] = "SJNL";
constexpr uint32_t kVersion = 1;
// A journal notes some hundred bytes a change; more than this is no journal.
constexpr int64_t kMostJournalBytes = int64_t{1} << 30;

std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

}  // namespace

uint32_t Crc32(const void* bytes, size_t size) {
    static const std::array<uint32_t, 256> table = MakeCrcTable();
    uint32_t c = 0xFFFFFFFFu;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

JournalFile::JournalFile(std::string path, const std::string& packageId) : path_(std::move(path)) {
    stream_ = OS().Files().Open(path_, OpenMode::CreateNewProtected);
    std::string header(kMagic, 4);
    AppendU32(header, kVersion);
    AppendU32(header, static_cast<uint32_t>(packageId.size()));
    header += packageId;
    stream_->WriteBytes(header);
}

JournalFile::JournalFile(std::string path, int64_t wholeBytes) : path_(std::move(path)) {
    stream_ = OS().Files().Open(path_, OpenMode::ReadWrite);
    stream_->SetSize(wholeBytes);
    stream_->Seek(0, SeekOrigin::End);
}

void JournalFile::Append(const Entry& entry) {
    std::string payload = Encode(entry);
    std::string record;
    record.reserve(payload.size() + 8);
    AppendU32(record, static_cast<uint32_t>(payload.size()));
    AppendU32(record, Crc32(payload.data(), payload.size()));
    record += payload;
    // One write: a run that ends in the middle leaves a record cut short,
    // never two records mixed.
    stream_->WriteBytes(record);
}

void JournalFile::Flush() { stream_->Flush(); }

JournalContents ReadJournal(Stream& in) {
    const char* what = msg::kWhatJournal;
    int64_t size = in.Size();
    if (size > kMostJournalBytes) ThrowDamaged(msg::JournalEntryDamaged());
    JournalContents contents;
    // The run ended while it wrote the header: it had changed nothing.
    if (size < 12) return contents;
    in.Seek(0, SeekOrigin::Begin);
    if (in.ReadBytes(4, what) != std::string(kMagic, 4) || in.ReadU32(what) != kVersion) {
        ThrowDamaged(msg::JournalEntryDamaged());
    }
    uint32_t idSize = in.ReadU32(what);
    if (idSize > 64) ThrowDamaged(msg::JournalEntryDamaged());
    if (idSize > in.Remaining()) return contents;
    contents.PackageId = in.ReadBytes(idSize, what);
    contents.WholeBytes = in.Position();
    std::string payload;
    while (in.Remaining() > 0) {
        if (in.Remaining() < 8) break;  // the header of the last record, cut short
        uint32_t length = in.ReadU32(what);
        uint32_t crc = in.ReadU32(what);
        if (length > in.Remaining()) break;  // the last record, cut short
        in.ReadBytes(payload, length, what);
        if (Crc32(payload.data(), payload.size()) != crc) {
            // Damage; unless this is the last record, cut short within its bytes.
            if (in.Remaining() == 0) break;
            ThrowDamaged(msg::JournalEntryDamaged());
        }
        Entry entry = Decode(payload);
        if (entry.Kind == Kind::Committed) {
            contents.Committed = true;
        } else if (entry.Kind == Kind::Cancelled) {
            if (contents.Entries.empty()) ThrowDamaged(msg::JournalEntryDamaged());
            contents.Entries.pop_back();
        } else {
            if (contents.Committed) ThrowDamaged(msg::JournalEntryDamaged());
            contents.Entries.push_back(std::move(entry));
        }
        contents.WholeBytes = in.Position();
    }
    return contents;
}

bool DeleteBackups(Platform& platform, const std::deque<Entry>& entries) {
    FilesApi& files = platform.Files();
    bool restart = false;
    for (const Entry& e : entries) {
        if (e.Kind != Kind::FileMovedAside) continue;
        const std::string& backup = e.More().Backup;
        if (!files.FileExists(backup) || files.DeleteFile(backup)) continue;
        // A read-only backup is made plain first.
        files.SetAttributes(backup, kAttrNormal);
        if (files.DeleteFile(backup)) continue;
        // Still in use (a running program renamed aside): it goes when
        // Windows restarts. The installation itself is complete.
        if (files.MoveAtRestart(backup, "")) restart = true;
    }
    return restart;
}

void RemoveJournalPointer(RegistryApi& registry, const std::string& packageId) {
    std::string key = UninstallKeyPath(packageId);
    registry.DeleteValue(kHkeyLocalMachine, key, kJournalValue);
    // The key, and the levels above it that the pointer may have needed (a
    // machine without any Uninstall entry), go when nothing is in them.
    while (!key.empty() && registry.KeyExists(kHkeyLocalMachine, key) &&
           registry.ListValues(kHkeyLocalMachine, key).empty() &&
           registry.ListSubKeys(kHkeyLocalMachine, key).empty() && registry.DeleteKey(kHkeyLocalMachine, key)) {
        key = FolderPart(key);
    }
}

namespace {

// Deletes the run's temporary folder and what it holds: only a folder named
// as a run names its own, and never through a link.
void RemoveRunFolder(FilesApi& files, const std::string& folder) {
    if (!StartsWithNoCase(FileNamePart(folder), "~setup-")) return;
    for (const FolderEntry& entry : files.ListFolder(folder)) {
        std::string path = folder + "\\" + entry.Name;
        if ((entry.Attributes & kAttrDirectory) && !(entry.Attributes & kAttrReparsePoint)) {
            RemoveRunFolder(files, path);
            files.RemoveFolder(path);
        } else if (entry.Attributes & kAttrDirectory) {
            files.RemoveFolder(path);
        } else {
            files.SetAttributes(path, kAttrNormal);
            files.DeleteFile(path);
        }
    }
    files.RemoveFolder(folder);
}

}  // namespace

Recovery RecoverUnfinishedRun(const std::string& packageId) {
    Recovery result;
    Platform& platform = OS();
    FilesApi& files = platform.Files();
    RegistryApi& registry = platform.Registry();
    std::optional<std::string> path =
        registry.ReadString(kHkeyLocalMachine, UninstallKeyPath(packageId), kJournalValue);
    if (!path) {
        // A run that ended as it made the key for the pointer leaves the
        // key empty; an empty Uninstall key of the package is nobody's.
        RemoveJournalPointer(registry, packageId);
        return result;
    }
    if (path->empty() || !EqualsNoCase(FileNamePart(*path), kJournalFileName) || !files.FileExists(*path)) {
        // The run ended after its journal was deleted, or before it was
        // written: only the pointer is left.
        if (!path->empty() && files.FolderExists(FolderPart(*path))) RemoveRunFolder(files, FolderPart(*path));
        RemoveJournalPointer(registry, packageId);
        return result;
    }
    JournalContents contents;
    try {
        std::unique_ptr<Stream> in = files.Open(*path, OpenMode::Read);
        contents = ReadJournal(*in);
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::Damaged && e.Kind() != ErrorKind::Os) throw;
        // Nothing is undone on the word of a damaged journal; it stays for
        // whoever looks into it.
        result.Damaged = true;
        result.Left.push_back(msg::JournalDamaged(*path));
        LogLine(msg::JournalDamaged(*path) + e.what());
        return result;
    }
    // A journal of another product is none of this run's business; one cut
    // short in its header names none and holds nothing.
    if (!contents.PackageId.empty() && !EqualsNoCase(contents.PackageId, packageId)) return result;
    result.Found = true;
    result.Committed = contents.Committed;
    if (contents.Committed) {
        result.RestartNeeded = DeleteBackups(platform, contents.Entries);
    } else {
        // Each change undone is noted in the journal as it is, so that a
        // rollback that ends in the middle is taken up where it stopped.
        std::unique_ptr<JournalFile> progress;
        try {
            if (contents.WholeBytes > 0) progress = std::make_unique<JournalFile>(*path, contents.WholeBytes);
        } catch (const Error& e) {
            if (e.Kind() != ErrorKind::Os) throw;
        }
        for (auto it = contents.Entries.rbegin(); it != contents.Entries.rend(); ++it) {
            if (!Undo(platform, *it, it == contents.Entries.rbegin())) result.Left.push_back(Undone(*it));
            if (progress) progress->Append(Entry{Kind::Cancelled, ""});
        }
    }
    // The pointer goes last: a run ending before it leaves the next one a
    // pointer to no file, which it clears along with the folder.
    files.DeleteFile(*path);
    RemoveRunFolder(files, FolderPart(*path));
    RemoveJournalPointer(registry, packageId);
    LogLine(contents.Committed ? msg::UnfinishedRunCompleted() : msg::UnfinishedRunUndone());
    for (const std::string& line : result.Left) LogLine(line);
    return result;
}

}  // namespace setup::journal
