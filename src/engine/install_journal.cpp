#include "engine/install_journal.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/registry_roots.h"
#include "platform/text.h"

namespace setup {

namespace {

// The growing prefixes of a "\"-separated path: "C:", "C:\a", "C:\a\b" for a
// folder; "a", "a\b" for a registry key (empty pieces are dropped).
std::vector<std::string> Prefixes(const std::string& path) {
    std::vector<std::string> prefixes;
    std::string current;
    for (const std::string& piece : SplitOn(path, '\\')) {
        if (piece.empty()) continue;
        current += (current.empty() ? "" : "\\") + piece;
        prefixes.push_back(current);
    }
    return prefixes;
}

std::string KeyText(uint32_t root, const std::string& path) { return RootKeyName(root) + "\\" + path; }

}  // namespace

InstallJournal::InstallJournal() : ForwardingPlatform(OS()) { SetPlatform(this); }

InstallJournal::~InstallJournal() { SetPlatform(&Inner()); }

bool InstallJournal::CreatedByRun(const std::string& path) const {
    return createdFiles_.count(AsciiLowerCase(path)) != 0;
}

void InstallJournal::MoveAside(const std::string& path) {
    FilesApi& files = Inner().Files();
    std::string backup = path + ".~bak";
    // A file or a folder of that name: one query answers both.
    for (int n = 2; files.GetAttributes(backup); ++n) backup = path + ".~bak" + std::to_string(n);
    files.MoveFile(path, backup, MoveMode::NoReplace);
    Note(Entry{Kind::FileMovedAside, path, backup});
}

// ---- files -------------------------------------------------------------------

bool InstallJournal::JournalFiles::CreateFolderTree(const std::string& path) {
    FilesApi& files = Inner();
    std::vector<std::string> missing;
    std::vector<std::string> prefixes = Prefixes(path);
    // The first piece is the drive, which is never created.
    for (size_t i = 1; i < prefixes.size(); ++i) {
        if (!files.FolderExists(prefixes[i])) missing.push_back(prefixes[i]);
    }
    bool ok = files.CreateFolderTree(path);
    for (const std::string& folder : missing) {
        if (files.FolderExists(folder)) j_.Note(Entry{Kind::FolderCreated, folder});
    }
    return ok;
}

bool InstallJournal::JournalFiles::DeleteFile(const std::string& path) {
    FilesApi& files = Inner();
    if (j_.CreatedByRun(path)) {
        bool ok = files.DeleteFile(path);
        if (ok) j_.createdFiles_.erase(AsciiLowerCase(path));
        return ok;
    }
    if (!files.FileExists(path)) return false;
    // A file that was there before is only moved aside, so it can come back.
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    if (attributes && (*attributes & kAttrReadOnly)) return false;  // access denied, as the deletion would be
    try {
        j_.MoveAside(path);
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::Os) throw;
        return false;
    }
    return true;
}

bool InstallJournal::JournalFiles::SetAttributes(const std::string& path, uint32_t attributes) {
    FilesApi& files = Inner();
    if (!j_.CreatedByRun(path)) {
        if (std::optional<uint32_t> previous = files.GetAttributes(path)) {
            Entry entry{Kind::AttributesChanged, path};
            entry.More().Attributes = *previous & ~kAttrDirectory;
            j_.Note(std::move(entry));
        }
    }
    return files.SetAttributes(path, attributes);
}

bool InstallJournal::JournalFiles::SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) {
    FilesApi& files = Inner();
    if (!j_.CreatedByRun(path)) {
        if (std::optional<FileTime> previous = files.GetFileTime(path, kind)) {
            Entry entry{Kind::FileTimeChanged, path};
            entry.More().TimeKind = kind;
            entry.More().Time = *previous;
            j_.Note(std::move(entry));
        }
    }
    return files.SetFileTime(path, kind, utc);
}

void InstallJournal::JournalFiles::MoveFile(const std::string& from, const std::string& to, MoveMode mode) {
    FilesApi& files = Inner();
    bool fromCreated = j_.CreatedByRun(from);
    bool movedAside = false;
    std::optional<uint32_t> attributes;
    if (mode == MoveMode::ReplaceExisting && !j_.CreatedByRun(to)) attributes = files.GetAttributes(to);
    if (attributes && !(*attributes & kAttrDirectory)) {
        // The replaced file is kept under a backup name until the run ends.
        // A read-only target refuses the replacement, as the system would.
        if (*attributes & kAttrReadOnly) {
            ThrowOsError(msg::CannotMoveFile(from, to, msg::AccessDenied()));
        }
        j_.MoveAside(to);
        movedAside = true;
    }
    try {
        files.MoveFile(from, to, movedAside ? MoveMode::NoReplace : mode);
    } catch (const Error&) {
        if (movedAside) {
            files.MoveFile(j_.entries_.back().More().Backup, to, MoveMode::NoReplace);
            j_.entries_.pop_back();
        }
        throw;
    }
    if (!fromCreated) {
        // A file that was there before is moved back by the rollback.
        j_.Note(Entry{Kind::FileMoved, from, to});
        return;
    }
    j_.createdFiles_.erase(AsciiLowerCase(from));
    if (!movedAside && !j_.CreatedByRun(to)) j_.Note(Entry{Kind::FileCreated, to});
    j_.createdFiles_.insert(AsciiLowerCase(to));
}

bool InstallJournal::JournalFiles::CopyFileNoReplace(const std::string& from, const std::string& to) {
    bool ok = Inner().CopyFileNoReplace(from, to);
    if (ok) {
        j_.Note(Entry{Kind::FileCreated, to});
        j_.createdFiles_.insert(AsciiLowerCase(to));
    }
    return ok;
}

std::unique_ptr<Stream> InstallJournal::JournalFiles::Open(const std::string& path, OpenMode mode) {
    FilesApi& files = Inner();
    if (mode == OpenMode::Read || mode == OpenMode::ReadLocked || j_.CreatedByRun(path)) return files.Open(path, mode);
    if (mode == OpenMode::CreateNew || mode == OpenMode::CreateNewProtected) {
        // The opening is refused when the name exists: a file it opens is new.
        std::unique_ptr<Stream> stream = files.Open(path, mode);
        j_.Note(Entry{Kind::FileCreated, path});
        j_.createdFiles_.insert(AsciiLowerCase(path));
        return stream;
    }
    if (!files.FileExists(path)) {
        std::unique_ptr<Stream> stream = files.Open(path, mode);
        j_.Note(Entry{Kind::FileCreated, path});
        j_.createdFiles_.insert(AsciiLowerCase(path));
        return stream;
    }
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    // A read-only file refuses the opening itself; nothing to keep.
    if (attributes && (*attributes & kAttrReadOnly)) return files.Open(path, mode);
    if (mode == OpenMode::Create) {
        // The earlier file moves aside and a new one takes its name.
        j_.MoveAside(path);
        try {
            std::unique_ptr<Stream> stream = files.Open(path, mode);
            j_.createdFiles_.insert(AsciiLowerCase(path));
            return stream;
        } catch (const Error&) {
            files.MoveFile(j_.entries_.back().More().Backup, path, MoveMode::NoReplace);
            j_.entries_.pop_back();
            throw;
        }
    }
    // Changed in place: a copy keeps the earlier content.
    std::string backup = path + ".~bak";
    for (int n = 2; files.FileExists(backup) || files.FolderExists(backup); ++n) {
        backup = path + ".~bak" + std::to_string(n);
    }
    if (!files.CopyFileNoReplace(path, backup)) ThrowOsError(msg::CannotKeepCopyOfFile(path));
    std::unique_ptr<Stream> stream = files.Open(path, mode);
    j_.Note(Entry{Kind::FileMovedAside, path, backup});
    j_.createdFiles_.insert(AsciiLowerCase(path));
    return stream;
}

// ---- registry ----------------------------------------------------------------

bool InstallJournal::JournalRegistry::CreateKey(uint32_t root, const std::string& path) {
    RegistryApi& registry = Inner();
    std::vector<std::string> missing;
    for (const std::string& prefix : Prefixes(path)) {
        if (!registry.KeyExists(root, prefix)) missing.push_back(prefix);
    }
    bool ok = registry.CreateKey(root, path);
    for (const std::string& key : missing) {
        if (registry.KeyExists(root, key)) {
            Entry entry{Kind::KeyCreated, key};
            entry.More().Root = root;
            j_.Note(std::move(entry));
        }
    }
    return ok;
}

void InstallJournal::JournalRegistry::NoteValue(uint32_t root, const std::string& path, const std::string& name) {
    RegistryApi& registry = Inner();
    if (!registry.KeyExists(root, path)) return;  // the write fails; nothing changes
    Entry entry{Kind::ValueWritten, path};
    entry.More().Root = root;
    entry.More().ValueName = name;
    entry.More().Previous = registry.ReadValue(root, path, name);
    j_.Note(std::move(entry));
}

bool InstallJournal::JournalRegistry::WriteString(uint32_t root, const std::string& path, const std::string& name,
                                                  const std::string& value) {
    NoteValue(root, path, name);
    return Inner().WriteString(root, path, name, value);
}

bool InstallJournal::JournalRegistry::WriteDword(uint32_t root, const std::string& path, const std::string& name,
                                                 uint32_t value) {
    NoteValue(root, path, name);
    return Inner().WriteDword(root, path, name, value);
}

bool InstallJournal::JournalRegistry::WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                                                  const std::string& bytes) {
    NoteValue(root, path, name);
    return Inner().WriteBinary(root, path, name, bytes);
}

bool InstallJournal::JournalRegistry::WriteValue(uint32_t root, const std::string& path, const RegValue& value) {
    NoteValue(root, path, value.Name);
    return Inner().WriteValue(root, path, value);
}

bool InstallJournal::JournalRegistry::DeleteValue(uint32_t root, const std::string& path, const std::string& name) {
    NoteValue(root, path, name);
    return Inner().DeleteValue(root, path, name);
}

bool InstallJournal::JournalRegistry::DeleteKey(uint32_t root, const std::string& path) {
    RegistryApi& registry = Inner();
    if (!registry.KeyExists(root, path)) return registry.DeleteKey(root, path);
    // The whole tree is kept, parents before their subkeys.
    Entry entry{Kind::KeyDeleted, path};
    Details& details = entry.More();
    details.Root = root;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        std::string relative = pending.front();
        pending.erase(pending.begin());
        std::string full = relative.empty() ? path : path + "\\" + relative;
        details.Keys.push_back(KeySnapshot{relative, registry.ListValues(root, full)});
        for (const std::string& sub : registry.ListSubKeys(root, full)) {
            pending.push_back(relative.empty() ? sub : relative + "\\" + sub);
        }
    }
    bool ok = registry.DeleteKey(root, path);
    if (ok) j_.Note(std::move(entry));
    return ok;
}

// ---- shell -------------------------------------------------------------------

bool InstallJournal::JournalShell::SaveShellLink(const ShellLink& link, const std::string& linkFile) {
    FilesApi& files = j_.Inner().Files();
    bool existed = files.FileExists(linkFile) && !j_.CreatedByRun(linkFile);
    if (existed) {
        try {
            j_.MoveAside(linkFile);
        } catch (const Error& e) {
            if (e.Kind() != ErrorKind::Os) throw;
            return false;
        }
    }
    bool ok = Inner().SaveShellLink(link, linkFile);
    if (!ok && existed) {
        files.MoveFile(j_.entries_.back().More().Backup, linkFile, MoveMode::NoReplace);
        j_.entries_.pop_back();
        return false;
    }
    if (ok && !existed && !j_.CreatedByRun(linkFile)) j_.Note(Entry{Kind::FileCreated, linkFile});
    if (ok) j_.createdFiles_.insert(AsciiLowerCase(linkFile));
    return ok;
}

// ---- rollback and commit -----------------------------------------------------

bool InstallJournal::Undo(const Entry& e) {
    FilesApi& files = Inner().Files();
    RegistryApi& registry = Inner().Registry();
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
                if (files.FileExists(e.Path)) {
                    files.SetAttributes(e.Path, kAttrNormal);
                    files.MoveFile(d.Backup, e.Path, MoveMode::ReplaceExisting);
                } else {
                    files.MoveFile(d.Backup, e.Path, MoveMode::NoReplace);
                }
                return true;
            case Kind::FileMoved:
                files.MoveFile(d.Backup, e.Path, MoveMode::NoReplace);
                return true;
            case Kind::AttributesChanged:
                return files.SetAttributes(e.Path, d.Attributes == 0 ? kAttrNormal : d.Attributes);
            case Kind::FileTimeChanged:
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
        }
    } catch (const Error& error) {
        if (error.Kind() != ErrorKind::Os) throw;
    }
    return false;
}

std::vector<std::string> InstallJournal::Rollback() {
    std::vector<std::string> left;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (Undo(*it)) continue;
        const Entry& e = *it;
        switch (e.Kind) {
            case Kind::FolderCreated:
                left.push_back(msg::UndoneFolderCreated(e.Path));
                break;
            case Kind::FileCreated:
                left.push_back(msg::UndoneFileCreated(e.Path));
                break;
            case Kind::FileMovedAside:
                left.push_back(msg::UndoneFileReplaced(e.Path, e.More().Backup));
                break;
            case Kind::FileMoved:
                left.push_back(msg::UndoneFileMoved(e.Path, e.More().Backup));
                break;
            case Kind::AttributesChanged:
                left.push_back(msg::UndoneAttributesChanged(e.Path));
                break;
            case Kind::FileTimeChanged:
                left.push_back(msg::UndoneFileTimeChanged(e.Path));
                break;
            case Kind::KeyCreated:
                left.push_back(msg::UndoneKeyCreated(KeyText(e.More().Root, e.Path)));
                break;
            case Kind::ValueWritten: {
                const std::string& name = e.More().ValueName;
                left.push_back(msg::UndoneValueWritten(KeyText(e.More().Root, e.Path) + "\\" +
                                                       (name.empty() ? std::string("(默认)") : name)));
                break;
            }
            case Kind::KeyDeleted:
                left.push_back(msg::UndoneKeyDeleted(KeyText(e.More().Root, e.Path)));
                break;
        }
    }
    entries_.clear();
    createdFiles_.clear();
    return left;
}

void InstallJournal::Commit() {
    FilesApi& files = Inner().Files();
    for (const Entry& e : entries_) {
        if (e.Kind != Kind::FileMovedAside || files.DeleteFile(e.More().Backup)) continue;
        // A read-only backup is made plain first. A backup that cannot be
        // deleted (still in use) is left behind; the installation itself is
        // complete.
        if (!files.FileExists(e.More().Backup)) continue;
        files.SetAttributes(e.More().Backup, kAttrNormal);
        files.DeleteFile(e.More().Backup);
    }
    entries_.clear();
    createdFiles_.clear();
}

}  // namespace setup
