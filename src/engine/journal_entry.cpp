#include "engine/journal_entry.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/registry_roots.h"
#include "platform/stream.h"

namespace setup::journal {

namespace {

constexpr const char* kWhat = msg::kWhatJournal;

void PutText(std::string& out, const std::string& text) {
    AppendU32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

std::string TakeText(MemoryStream& in) {
    uint32_t size = in.ReadU32(kWhat);
    if (size > in.Remaining()) ThrowDamaged(msg::JournalEntryDamaged());
    return in.ReadBytes(size, kWhat);
}

void PutValue(std::string& out, const RegValue& value) {
    PutText(out, value.Name);
    AppendU32(out, value.Type);
    PutText(out, value.Data);
}

RegValue TakeValue(MemoryStream& in) {
    RegValue value;
    value.Name = TakeText(in);
    value.Type = in.ReadU32(kWhat);
    value.Data = TakeText(in);
    return value;
}

bool HasDetails(Kind kind) {
    return kind != Kind::FolderCreated && kind != Kind::FileCreated && kind != Kind::Cancelled &&
           kind != Kind::Committed;
}

std::string KeyText(uint32_t root, const std::string& path) { return RootKeyName(root) + "\\" + path; }

}  // namespace

std::string Encode(const Entry& entry) {
    std::string out;
    out += static_cast<char>(entry.Kind);
    PutText(out, entry.Path);
    if (!HasDetails(entry.Kind)) return out;
    const Details& d = entry.More();
    PutText(out, d.Backup);
    AppendU32(out, d.Root);
    AppendU32(out, d.Attributes);
    out += static_cast<char>(d.TimeKind);
    AppendU64(out, d.Time);
    out += static_cast<char>(d.Previous ? 1 : 0);
    if (d.Previous) PutValue(out, *d.Previous);
    PutText(out, d.ValueName);
    AppendU32(out, static_cast<uint32_t>(d.Keys.size()));
    for (const KeySnapshot& key : d.Keys) {
        PutText(out, key.Path);
        AppendU32(out, static_cast<uint32_t>(key.Values.size()));
        for (const RegValue& value : key.Values) PutValue(out, value);
    }
    return out;
}

Entry Decode(const std::string& bytes) {
    MemoryStream in(bytes);
    auto kind = static_cast<Kind>(in.ReadU8(kWhat));
    bool known = (kind >= Kind::FolderCreated && kind <= Kind::BackupCopying) || kind == Kind::Cancelled ||
                 kind == Kind::Committed;
    if (!known) ThrowDamaged(msg::JournalEntryDamaged());
    Entry entry{kind, TakeText(in)};
    if (HasDetails(kind)) {
        Details& d = entry.More();
        d.Backup = TakeText(in);
        d.Root = in.ReadU32(kWhat);
        d.Attributes = in.ReadU32(kWhat);
        uint8_t timeKind = in.ReadU8(kWhat);
        if (timeKind > static_cast<uint8_t>(FileTimeKind::LastWrite)) ThrowDamaged(msg::JournalEntryDamaged());
        d.TimeKind = static_cast<FileTimeKind>(timeKind);
        d.Time = in.ReadU64(kWhat);
        if (in.ReadU8(kWhat) != 0) d.Previous = TakeValue(in);
        d.ValueName = TakeText(in);
        uint32_t keys = in.ReadU32(kWhat);
        for (uint32_t k = 0; k < keys; ++k) {
            KeySnapshot key;
            key.Path = TakeText(in);
            uint32_t values = in.ReadU32(kWhat);
            // Each value takes at least twelve bytes: a count beyond what is
            // left is damage, not a reason to reserve memory.
            if (values > in.Remaining() / 12) ThrowDamaged(msg::JournalEntryDamaged());
            for (uint32_t v = 0; v < values; ++v) key.Values.push_back(TakeValue(in));
            d.Keys.push_back(std::move(key));
            if (keys - k - 1 > in.Remaining() / 8) ThrowDamaged(msg::JournalEntryDamaged());
        }
    }
    if (in.Remaining() != 0) ThrowDamaged(msg::JournalEntryDamaged());
    return entry;
}

bool Undo(Platform& platform, const Entry& e, bool unfinished) {
    FilesApi& files = platform.Files();
    RegistryApi& registry = platform.Registry();
    const Details& d = e.More();
    try {
        switch (e.Kind) {
            case Kind::FolderCreated:
                // A folder that still holds something not made by the run stays.
                return files.RemoveFolder(e.Path) || !files.FolderExists(e.Path);
            case Kind::FileCreated:
                if (!files.FileExists(e.Path)) return true;
                files.SetAttributes(e.Path, kAttrNormal);
                return files.DeleteFile(e.Path);
            case Kind::FileMovedAside:
                // No backup: the earlier file was never moved (the run ended
                // first) and is still in its place, or someone took it.
                if (!files.GetAttributes(d.Backup)) return unfinished;
                if (files.FileExists(e.Path)) {
                    files.SetAttributes(e.Path, kAttrNormal);
                    files.MoveFile(d.Backup, e.Path, MoveMode::ReplaceExisting);
                } else {
                    files.MoveFile(d.Backup, e.Path, MoveMode::NoReplace);
                }
                return true;
            case Kind::BackupCopying:
                // The earlier file is whole at its name; the copy, whole or
                // not, goes.
                if (!files.FileExists(d.Backup)) return true;
                files.SetAttributes(d.Backup, kAttrNormal);
                return files.DeleteFile(d.Backup);
            case Kind::FileMoved:
                if (files.GetAttributes(e.Path) || !files.GetAttributes(d.Backup)) return true;
                files.MoveFile(d.Backup, e.Path, MoveMode::NoReplace);
                return true;
            case Kind::CreatedFileMoved:
                // While the made file is still at its first name the move did
                // not happen, and the target holds what it held before.
                if (files.GetAttributes(d.Backup) || !files.FileExists(e.Path)) return true;
                files.SetAttributes(e.Path, kAttrNormal);
                return files.DeleteFile(e.Path);
            case Kind::AttributesChanged:
                if (!files.GetAttributes(e.Path)) return true;
                return files.SetAttributes(e.Path, d.Attributes == 0 ? kAttrNormal : d.Attributes);
            case Kind::FileTimeChanged:
                if (!files.GetAttributes(e.Path)) return true;
                return files.SetFileTime(e.Path, d.TimeKind, d.Time);
            case Kind::KeyCreated:
                return registry.DeleteKey(d.Root, e.Path) || !registry.KeyExists(d.Root, e.Path);
            case Kind::ValueWritten:
                if (d.Previous) return registry.WriteValue(d.Root, e.Path, *d.Previous);
                return registry.DeleteValue(d.Root, e.Path, d.ValueName) ||
                       !registry.ReadValue(d.Root, e.Path, d.ValueName);
            case Kind::KeyDeleted: {
                bool ok = true;
                for (const KeySnapshot& key : d.Keys) {
                    std::string full = key.Path.empty() ? e.Path : e.Path + "\\" + key.Path;
                    ok = registry.CreateKey(d.Root, full) && ok;
                    for (const RegValue& value : key.Values) ok = registry.WriteValue(d.Root, full, value) && ok;
                }
                return ok;
            }
            case Kind::Cancelled:
            case Kind::Committed:
                return true;
        }
    } catch (const Error& error) {
        if (error.Kind() != ErrorKind::Os) throw;
    }
    return false;
}

std::string Undone(const Entry& e) {
    switch (e.Kind) {
        case Kind::FolderCreated:
            return msg::UndoneFolderCreated(e.Path);
        case Kind::FileCreated:
        case Kind::CreatedFileMoved:
            return msg::UndoneFileCreated(e.Path);
        case Kind::FileMovedAside:
            return msg::UndoneFileReplaced(e.Path, e.More().Backup);
        case Kind::BackupCopying:
            return msg::UndoneFileCreated(e.More().Backup);
        case Kind::FileMoved:
            return msg::UndoneFileMoved(e.Path, e.More().Backup);
        case Kind::AttributesChanged:
            return msg::UndoneAttributesChanged(e.Path);
        case Kind::FileTimeChanged:
            return msg::UndoneFileTimeChanged(e.Path);
        case Kind::KeyCreated:
            return msg::UndoneKeyCreated(KeyText(e.More().Root, e.Path));
        case Kind::ValueWritten: {
            const std::string& name = e.More().ValueName;
            return msg::UndoneValueWritten(KeyText(e.More().Root, e.Path) + "\\" +
                                           (name.empty() ? std::string("(默认)") : name));
        }
        case Kind::KeyDeleted:
            return msg::UndoneKeyDeleted(KeyText(e.More().Root, e.Path));
        case Kind::Cancelled:
        case Kind::Committed:
            break;
    }
    return "";
}

}  // namespace setup::journal
