// The journal that makes an installation undoable. While a run is active the
// journal stands in front of the platform: every folder, file, link and
// registry key it creates is noted, every file it would overwrite or delete
// is first moved aside to a backup name in its own folder, and every registry
// value is read before it is written. Rollback undoes all of it in reverse
// order, so the machine is as it was before the run; Commit keeps the work
// and deletes the backups. Program starts cannot be taken back and are
// passed through unrecorded.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace setup {

class InstallJournal : public Platform {
public:
    // Makes the journal the active platform in front of the current one; the
    // destructor puts the earlier platform back.
    InstallJournal();
    ~InstallJournal() override;
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

    SystemApi& System() override { return inner_.System(); }
    FilesApi& Files() override { return files_; }
    RegistryApi& Registry() override { return registry_; }
    ShellApi& Shell() override { return shell_; }
    DialogsApi& Dialogs() override { return inner_.Dialogs(); }

    // Undoes every recorded change, last first. A step that cannot be undone
    // (a file locked meanwhile) is skipped and the others still run; the
    // texts of the skipped steps are returned.
    std::vector<std::string> Rollback();
    // Keeps the changes and deletes the backups; the journal is empty after.
    void Commit();

private:
    enum class Kind {
        FolderCreated,
        FileCreated,
        FileMovedAside,
        FileMoved,
        AttributesChanged,
        FileTimeChanged,
        KeyCreated,
        ValueWritten,
        KeyDeleted
    };
    struct KeySnapshot {
        std::string Path;  // relative to the deleted key; empty for the key itself
        std::vector<RegValue> Values;
    };
    // What an entry needs beyond its kind and path. Most entries, one for each
    // file and folder the run creates, need none of it, so it is held apart.
    struct Details {
        std::string Backup;  // FileMovedAside, FileMoved: where the earlier file is kept
        uint32_t Root = 0;
        uint32_t Attributes = 0;
        FileTimeKind TimeKind = FileTimeKind::LastWrite;
        FileTime Time = 0;
        std::optional<RegValue> Previous;  // ValueWritten: the value before, if any
        std::string ValueName;
        std::vector<KeySnapshot> Keys;  // KeyDeleted: the whole tree, parents first
    };
    struct Entry {
        Entry(InstallJournal::Kind k, std::string p) : Kind(k), Path(std::move(p)) {}
        Entry(InstallJournal::Kind k, std::string p, std::string backup) : Entry(k, std::move(p)) {
            More().Backup = std::move(backup);
        }
        Details& More() {
            if (!Extra) Extra = std::make_unique<Details>();
            return *Extra;
        }
        const Details& More() const {
            static const Details kNone;
            return Extra ? *Extra : kNone;
        }
        InstallJournal::Kind Kind;
        std::string Path;  // file, folder or key path
        std::unique_ptr<Details> Extra;
    };

    class JournalFiles : public FilesApi {
    public:
        explicit JournalFiles(InstallJournal& journal) : j_(journal) {}
        bool FileExists(const std::string& path) override { return j_.inner_.Files().FileExists(path); }
        bool FolderExists(const std::string& path) override { return j_.inner_.Files().FolderExists(path); }
        bool CreateFolderTree(const std::string& path) override;
        bool RemoveFolder(const std::string& path) override;
        bool DeleteFile(const std::string& path) override;
        std::optional<uint32_t> GetAttributes(const std::string& path) override {
            return j_.inner_.Files().GetAttributes(path);
        }
        bool SetAttributes(const std::string& path, uint32_t attributes) override;
        bool SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) override;
        std::optional<FileTime> GetFileTime(const std::string& path, FileTimeKind kind) override {
            return j_.inner_.Files().GetFileTime(path, kind);
        }
        void MoveFile(const std::string& from, const std::string& to, MoveMode mode) override;
        bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
        std::vector<FolderEntry> ListFolder(const std::string& folder) override {
            return j_.inner_.Files().ListFolder(folder);
        }
        std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) override;

    private:
        InstallJournal& j_;
    };

    class JournalRegistry : public RegistryApi {
    public:
        explicit JournalRegistry(InstallJournal& journal) : j_(journal) {}
        bool KeyExists(uint32_t root, const std::string& path) override {
            return j_.inner_.Registry().KeyExists(root, path);
        }
        bool CreateKey(uint32_t root, const std::string& path) override;
        std::optional<std::string> ReadString(uint32_t root, const std::string& path,
                                              const std::string& name) override {
            return j_.inner_.Registry().ReadString(root, path, name);
        }
        std::optional<RegValue> ReadValue(uint32_t root, const std::string& path, const std::string& name) override {
            return j_.inner_.Registry().ReadValue(root, path, name);
        }
        bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& value) override;
        bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) override;
        bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& bytes) override;
        bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) override;
        bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) override;
        bool DeleteKey(uint32_t root, const std::string& path) override;
        std::vector<std::string> ListSubKeys(uint32_t root, const std::string& path) override {
            return j_.inner_.Registry().ListSubKeys(root, path);
        }
        std::vector<RegValue> ListValues(uint32_t root, const std::string& path) override {
            return j_.inner_.Registry().ListValues(root, path);
        }

    private:
        void NoteValue(uint32_t root, const std::string& path, const std::string& name);
        InstallJournal& j_;
    };

    class JournalShell : public ShellApi {
    public:
        explicit JournalShell(InstallJournal& journal) : j_(journal) {}
        ShellExecuteResult ShellExecuteEx(const ShellExecuteRequest& request) override {
            return j_.inner_.Shell().ShellExecuteEx(request);
        }
        ShellExecuteResult ShellExecuteAndWait(const ShellExecuteRequest& request,
                                               const std::function<void()>& pump) override {
            return j_.inner_.Shell().ShellExecuteAndWait(request, pump);
        }
        uint32_t WinExec(const std::string& commandLine, int show) override {
            return j_.inner_.Shell().WinExec(commandLine, show);
        }
        bool CreateProcessHidden(const std::string& commandLine) override {
            return j_.inner_.Shell().CreateProcessHidden(commandLine);
        }
        bool SaveShellLink(const ShellLink& link, const std::string& linkFile) override;
        int InvokeItemVerbs(const std::string& file, const std::string& verbFragment) override {
            return j_.inner_.Shell().InvokeItemVerbs(file, verbFragment);
        }
        bool MediaOpen(const std::string& file) override { return j_.inner_.Shell().MediaOpen(file); }
        void MediaPlay() override { j_.inner_.Shell().MediaPlay(); }
        int64_t MediaLength() override { return j_.inner_.Shell().MediaLength(); }
        int64_t MediaPosition() override { return j_.inner_.Shell().MediaPosition(); }
        void MediaClose() override { j_.inner_.Shell().MediaClose(); }
        bool RequestRestart() override { return j_.inner_.Shell().RequestRestart(); }
        std::optional<ShellFolderItem> ShellFolderOf(const std::string& id) override {
            return j_.inner_.Shell().ShellFolderOf(id);
        }
        std::vector<ShellFolderItem> ListShellFolders(const std::string& id) override {
            return j_.inner_.Shell().ListShellFolders(id);
        }

    private:
        InstallJournal& j_;
    };

    // Moves an existing file that the run did not create out of the way, to a
    // free backup name in its folder, and notes it. Raises an Os error when
    // the file cannot be moved (locked, read-only when readOnlyRefuses).
    void MoveAside(const std::string& path);
    bool CreatedByRun(const std::string& path) const;
    void Note(Entry entry) { entries_.push_back(std::move(entry)); }
    bool Undo(const Entry& entry);

    Platform& inner_;
    JournalFiles files_{*this};
    JournalRegistry registry_{*this};
    JournalShell shell_{*this};
    // A deque grows without copying what it holds, so a run of many files
    // never holds its journal twice.
    std::deque<Entry> entries_;
    std::set<std::string> createdFiles_;  // folded paths of files this run made
};

}  // namespace setup
