// The journal that makes an installation undoable. While a run is active the
// journal stands in front of the platform: every folder, file, link and
// registry key it creates is noted, every file it would overwrite or delete
// is first moved aside to a backup name in its own folder, and every registry
// value is read before it is written. Rollback undoes all of it in reverse
// order, so the machine is as it was before the run; Commit keeps the work
// and deletes the backups. Program starts cannot be taken back: they pass
// through unrecorded, once the journal is durable. Kept on the disk
// (KeepOnDisk), every entry is written before its change is made, so the
// next run of the package can undo a run that never came to its end.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/journal_entry.h"
#include "engine/journal_file.h"
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

    // Keeps the journal on the disk as well, at path (a new file), so that
    // the next run of the package can finish what this one leaves undone;
    // the package's Uninstall key points at it until the run ends. False,
    // and the journal kept in memory only, where the machine refuses the
    // file or the pointer (no administrator rights); nothing changed then.
    // makeFolder, when given, makes the journal's folder once the pointer is
    // written.
    bool KeepOnDisk(const std::string& path, const std::string& packageId,
                    const std::function<bool()>& makeFolder = nullptr);
    // Whether a backup could not be deleted at Commit and goes when Windows
    // restarts.
    bool RestartNeeded() const { return restartNeeded_; }
    // Whether the pointer to the journal stays when the run ends, for the
    // owner of the run's folder to remove once the folder is gone.
    void KeepPointerAtEnd(bool keep) { keepPointer_ = keep; }

private:
    using Kind = journal::Kind;
    using Entry = journal::Entry;

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
        // A program started cannot be taken back: the journal is made durable
        // first.
        ShellExecuteResult ShellExecuteEx(const ShellExecuteRequest& request) override;
        ShellExecuteResult ShellExecuteAndWait(const ShellExecuteRequest& request,
                                               const std::function<void()>& pump) override;
        uint32_t WinExec(const std::string& commandLine, int show) override;
        bool CreateProcessHidden(const std::string& commandLine) override;

    private:
        InstallJournal& j_;
    };

    // Moves an existing file that the run did not create out of the way, to a
    // free backup name in its folder, and notes it. Raises an Os error when
    // the file cannot be moved (locked, read-only when readOnlyRefuses).
    void MoveAside(const std::string& path);
    // Puts a file moved aside by the last entry back and forgets the entry.
    void MoveBack(const std::string& path);
    bool CreatedByRun(const std::string& path) const;
    void MarkCreated(const std::string& path);
    // Notes a change before it is made: on the disk the entry comes first,
    // so that a run that ends in the middle of the change is undone too.
    void Note(Entry entry);
    // The change of the last entry did not take place.
    void Forget();
    void Flush();
    // Deletes the journal's file and the pointer to it: the run is over.
    void EndOnDisk();

    JournalFiles files_{*this};
    JournalRegistry registry_{*this};
    JournalShell shell_{*this};
    // A deque grows without copying what it holds, so a run of many files
    // never holds its journal twice.
    std::deque<Entry> entries_;
    std::set<std::string> createdFiles_;  // folded paths of files this run made
    std::unique_ptr<journal::JournalFile> file_;
    std::string packageId_;
    bool restartNeeded_ = false;
    bool keepPointer_ = false;
};

}  // namespace setup
