#include "engine/install_journal.h"

#include "package/install_paths.h"
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

}  // namespace

InstallJournal::InstallJournal() : ForwardingPlatform(OS()) { SetPlatform(this); }

InstallJournal::~InstallJournal() { SetPlatform(&Inner()); }

bool InstallJournal::KeepOnDisk(const std::string& path, const std::string& packageId,
                                const std::function<bool()>& makeFolder) {
    RegistryApi& registry = Inner().Registry();
    // The pointer comes first: a journal file nothing points at would stay
    // for ever. A pointer to no file, or to a file cut short in its header,
    // tells the next run that nothing was changed.
    std::string key = UninstallKeyPath(packageId);
    if (!registry.CreateKey(kHkeyLocalMachine, key) ||
        !registry.WriteString(kHkeyLocalMachine, key, journal::kJournalValue, path)) {
        journal::RemoveJournalPointer(registry, packageId);
        return false;
    }
    if (makeFolder && !makeFolder()) {
        journal::RemoveJournalPointer(registry, packageId);
        return false;
    }
    try {
        file_ = std::make_unique<journal::JournalFile>(path, packageId);
        file_->Flush();
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::Os) throw;
        file_.reset();
        if (Inner().Files().FileExists(path)) Inner().Files().DeleteFile(path);
        journal::RemoveJournalPointer(registry, packageId);
        return false;
    }
    packageId_ = packageId;
    return true;
}

bool InstallJournal::CreatedByRun(const std::string& path) const {
    return createdFiles_.count(AsciiLowerCase(path)) != 0;
}

void InstallJournal::MarkCreated(const std::string& path) { createdFiles_.insert(AsciiLowerCase(path)); }

void InstallJournal::Note(Entry entry) {
    if (file_) file_->Append(entry);
    entries_.push_back(std::move(entry));
}

void InstallJournal::Forget() {
    if (file_) file_->Append(Entry{Kind::Cancelled, ""});
    entries_.pop_back();
}

void InstallJournal::Flush() {
    if (file_) file_->Flush();
}

void InstallJournal::MoveAside(const std::string& path) {
    FilesApi& files = Inner().Files();
    std::string backup = path + ".~bak";
    // A file or a folder of that name: one query answers both.
    for (int n = 2; files.GetAttributes(backup); ++n) backup = path + ".~bak" + std::to_string(n);
    Note(Entry{Kind::FileMovedAside, path, backup});
    try {
        files.MoveFile(path, backup, MoveMode::NoReplace);
    } catch (const Error&) {
        Forget();
        throw;
    }
}

void InstallJournal::MoveBack(const std::string& path) {
    Inner().Files().MoveFile(entries_.back().More().Backup, path, MoveMode::NoReplace);
    Forget();
}

// ---- files -------------------------------------------------------------------

bool InstallJournal::JournalFiles::CreateFolderTree(const std::string& path) {
    FilesApi& files = Inner();
    // The first piece is the drive, which is never created. Each missing
    // level is noted before it is made; undoing a level that was never made
    // finds no folder and does nothing.
    std::vector<std::string> prefixes = Prefixes(path);
    for (size_t i = 1; i < prefixes.size(); ++i) {
        if (!files.FolderExists(prefixes[i])) j_.Note(Entry{Kind::FolderCreated, prefixes[i]});
    }
    return files.CreateFolderTree(path);
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
    // A file that was there before is moved back by the rollback; one the run
    // made is deleted at its new name, once it is no longer at the old one.
    j_.Note(fromCreated ? Entry{Kind::CreatedFileMoved, to, from} : Entry{Kind::FileMoved, from, to});
    try {
        files.MoveFile(from, to, movedAside ? MoveMode::NoReplace : mode);
    } catch (const Error&) {
        j_.Forget();
        if (movedAside) j_.MoveBack(to);
        throw;
    }
    if (!fromCreated) return;
    j_.createdFiles_.erase(AsciiLowerCase(from));
    j_.MarkCreated(to);
}

bool InstallJournal::JournalFiles::CopyFileNoReplace(const std::string& from, const std::string& to) {
    FilesApi& files = Inner();
    // The copy refuses an existing target, which is then no file of the run.
    if (files.GetAttributes(to)) return files.CopyFileNoReplace(from, to);
    j_.Note(Entry{Kind::FileCreated, to});
    bool ok = files.CopyFileNoReplace(from, to);
    if (ok) {
        j_.MarkCreated(to);
    } else if (!files.GetAttributes(to)) {
        j_.Forget();
    }
    return ok;
}

std::unique_ptr<Stream> InstallJournal::JournalFiles::Open(const std::string& path, OpenMode mode) {
    FilesApi& files = Inner();
    if (mode == OpenMode::Read || mode == OpenMode::ReadLocked || j_.CreatedByRun(path)) return files.Open(path, mode);
    bool createsOnly = mode == OpenMode::CreateNew || mode == OpenMode::CreateNewProtected;
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    if (!attributes || (*attributes & kAttrDirectory)) {
        // Nothing of the name, or a folder the opening refuses: a file it
        // opens is new. It is noted first, so that a run ending while it is
        // written takes it away too.
        if (attributes) return files.Open(path, mode);
        j_.Note(Entry{Kind::FileCreated, path});
        try {
            std::unique_ptr<Stream> stream = files.Open(path, mode);
            j_.MarkCreated(path);
            return stream;
        } catch (const Error&) {
            // Refused: made by nobody, or by someone else meanwhile.
            j_.Forget();
            throw;
        }
    }
    // A new file is refused where the name is taken; a read-only file
    // refuses the opening itself. Nothing to keep either way.
    if (createsOnly || (*attributes & kAttrReadOnly)) return files.Open(path, mode);
    if (mode == OpenMode::Create) {
        // The earlier file moves aside and a new one takes its name.
        j_.MoveAside(path);
        try {
            std::unique_ptr<Stream> stream = files.Open(path, mode);
            j_.MarkCreated(path);
            return stream;
        } catch (const Error&) {
            j_.MoveBack(path);
            throw;
        }
    }
    // Changed in place: a copy keeps the earlier content. The copy is noted
    // as being made until it is whole; only a whole copy ever replaces the
    // file on the way back.
    std::string backup = path + ".~bak";
    for (int n = 2; files.GetAttributes(backup); ++n) backup = path + ".~bak" + std::to_string(n);
    j_.Note(Entry{Kind::BackupCopying, path, backup});
    if (!files.CopyFileNoReplace(path, backup)) {
        ThrowOsError(msg::CannotKeepCopyOfFile(path));
    }
    j_.Note(Entry{Kind::FileMovedAside, path, backup});
    std::unique_ptr<Stream> stream = files.Open(path, mode);
    j_.MarkCreated(path);
    return stream;
}

// ---- registry ----------------------------------------------------------------

bool InstallJournal::JournalRegistry::CreateKey(uint32_t root, const std::string& path) {
    RegistryApi& registry = Inner();
    for (const std::string& prefix : Prefixes(path)) {
        if (registry.KeyExists(root, prefix)) continue;
        Entry entry{Kind::KeyCreated, prefix};
        entry.More().Root = root;
        j_.Note(std::move(entry));
    }
    return registry.CreateKey(root, path);
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
    journal::Details& details = entry.More();
    details.Root = root;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        std::string relative = pending.front();
        pending.erase(pending.begin());
        std::string full = relative.empty() ? path : path + "\\" + relative;
        details.Keys.push_back(journal::KeySnapshot{relative, registry.ListValues(root, full)});
        for (const std::string& sub : registry.ListSubKeys(root, full)) {
            pending.push_back(relative.empty() ? sub : relative + "\\" + sub);
        }
    }
    j_.Note(std::move(entry));
    bool ok = registry.DeleteKey(root, path);
    if (!ok) j_.Forget();
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
    } else if (!j_.CreatedByRun(linkFile)) {
        j_.Note(Entry{Kind::FileCreated, linkFile});
    }
    bool ok = Inner().SaveShellLink(link, linkFile);
    if (!ok) {
        if (existed) {
            j_.MoveBack(linkFile);
        } else if (!j_.CreatedByRun(linkFile) && !files.GetAttributes(linkFile)) {
            j_.Forget();
        }
        return false;
    }
    j_.MarkCreated(linkFile);
    return true;
}

ShellExecuteResult InstallJournal::JournalShell::ShellExecuteEx(const ShellExecuteRequest& request) {
    j_.Flush();
    return Inner().ShellExecuteEx(request);
}

ShellExecuteResult InstallJournal::JournalShell::ShellExecuteAndWait(const ShellExecuteRequest& request,
                                                                     const std::function<void()>& pump) {
    j_.Flush();
    return Inner().ShellExecuteAndWait(request, pump);
}

uint32_t InstallJournal::JournalShell::WinExec(const std::string& commandLine, int show) {
    j_.Flush();
    return Inner().WinExec(commandLine, show);
}

bool InstallJournal::JournalShell::CreateProcessHidden(const std::string& commandLine) {
    j_.Flush();
    return Inner().CreateProcessHidden(commandLine);
}

// ---- rollback and commit -----------------------------------------------------

std::vector<std::string> InstallJournal::Rollback() {
    std::vector<std::string> left;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (!journal::Undo(Inner(), *it)) left.push_back(journal::Undone(*it));
    }
    entries_.clear();
    createdFiles_.clear();
    EndOnDisk();
    return left;
}

void InstallJournal::Commit() {
    // From the mark on, the next run finishes this one instead of undoing
    // it: the backups are all that is left to delete.
    if (file_) {
        file_->Append(Entry{Kind::Committed, ""});
        file_->Flush();
    }
    if (journal::DeleteBackups(Inner(), entries_)) restartNeeded_ = true;
    entries_.clear();
    createdFiles_.clear();
    EndOnDisk();
}

void InstallJournal::EndOnDisk() {
    if (!file_) return;
    std::string path = file_->Path();
    file_.reset();
    Inner().Files().DeleteFile(path);
    // While the run's folder holds files still to be used (pictures and
    // documents of the finish page), the pointer stays: a run that ends
    // before they are deleted leaves them to the next run (EndRun).
    if (keepPointer_) return;
    Inner().Files().RemoveFolder(FolderPart(path));
    journal::RemoveJournalPointer(Inner().Registry(), packageId_);
}

}  // namespace setup
