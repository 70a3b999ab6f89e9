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

#include "platform/forwarding_platform.h"

namespace setup {

class InstallJournal : public ForwardingPlatform {
public:
    // Makes the journal the active platform in front of the current one; the
    // destructor puts the earlier platform back.
    InstallJournal();
    ~InstallJournal() override;
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

    FilesApi& Files() override { return files_; }
    RegistryApi& Registry() override { return registry_; }
    ShellApi& Shell() override { return shell_; }

    // Undoes every recorded change, last first. A step that cannot be undone
    // (a file locked meanwhile) is skipped and the others still run; for each
    // skipped step a line for the user (GBK) says which change stays.
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

    class JournalFiles : public ForwardingFiles {
    public:
        explicit JournalFiles(InstallJournal& journal) : ForwardingFiles(journal.Inner().Files()), j_(journal) {}
        bool CreateFolderTree(const std::string& path) override;
        bool DeleteFile(const std::string& path) override;
        bool SetAttributes(const std::string& path, uint32_t attributes) override;
        bool SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) override;
        void MoveFile(const std::string& from, const std::string& to, MoveMode mode) override;
        bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
        std::unique_ptr<Stream> Open(const std::string& path, OpenMode mode) override;

    private:
        InstallJournal& j_;
    };

    class JournalRegistry : public ForwardingRegistry {
    public:
        explicit JournalRegistry(InstallJournal& journal)
            : ForwardingRegistry(journal.Inner().Registry()), j_(journal) {}
        bool CreateKey(uint32_t root, const std::string& path) override;
        bool WriteString(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& value) override;
        bool WriteDword(uint32_t root, const std::string& path, const std::string& name, uint32_t value) override;
        bool WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                         const std::string& bytes) override;
        bool WriteValue(uint32_t root, const std::string& path, const RegValue& value) override;
        bool DeleteValue(uint32_t root, const std::string& path, const std::string& name) override;
        bool DeleteKey(uint32_t root, const std::string& path) override;

    private:
        void NoteValue(uint32_t root, const std::string& path, const std::string& name);
        InstallJournal& j_;
    };

    // Program starts pass through: only links are files the run makes.
    class JournalShell : public ForwardingShell {
    public:
        explicit JournalShell(InstallJournal& journal) : ForwardingShell(journal.Inner().Shell()), j_(journal) {}
        bool SaveShellLink(const ShellLink& link, const std::string& linkFile) override;

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

    JournalFiles files_{*this};
    JournalRegistry registry_{*this};
    JournalShell shell_{*this};
    // A deque grows without copying what it holds, so a run of many files
    // never holds its journal twice.
    std::deque<Entry> entries_;
    std::set<std::string> createdFiles_;  // folded paths of files this run made
};

}  // namespace setup
