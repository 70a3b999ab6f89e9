// The install journal on the disk, so that a run that ends without
// finishing (the process killed, the machine off) can be undone by the next
// run of the same product. The file lies in the run's own protected
// temporary folder; the package's Uninstall key, which only administrators
// may change, holds its path (value SetupJournal), so that a file someone
// else placed is never taken for one.
//
// The file: "SJNL", version 1 (u32), the package identity (u32 length, GBK
// bytes), then one record per entry: u32 length, u32 CRC-32 of the bytes,
// the entry's bytes (journal_entry.h). Each record is written with one call
// before its change is made. A record cut short at the end is the one being
// written when the run ended: its change never started, so it is dropped. A
// record whose checksum fails before the end is damage: such a journal is
// refused whole.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/journal_entry.h"
#include "platform/stream.h"

namespace setup::journal {

inline constexpr char kJournalValue[] = "SetupJournal";
inline constexpr char kJournalFileName[] = "journal.~jnl";

class JournalFile {
public:
    // Creates the file new (protected when elevated) and writes its header;
    // raises an Os error when it cannot.
    JournalFile(std::string path, const std::string& packageId);
    // Opens an existing journal to note the progress of its rollback; what
    // follows its last whole record (a record cut short) is cut off first.
    JournalFile(std::string path, int64_t wholeBytes);
    void Append(const Entry& entry);
    // Makes everything appended so far durable.
    void Flush();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::unique_ptr<Stream> stream_;
};

struct JournalContents {
    std::string PackageId;
    std::deque<Entry> Entries;  // without the markers; Cancelled ones are taken out
    bool Committed = false;
    int64_t WholeBytes = 0;  // the bytes up to the end of the last whole record
};

// Reads a journal file; raises Damaged for damage before its end. A file
// cut short in its header holds no entries and names no package.
JournalContents ReadJournal(Stream& in);

// The CRC-32 (IEEE) of bytes.
uint32_t Crc32(const void* bytes, size_t size);

// What the start of a run found of an earlier run of the same product.
struct Recovery {
    bool Found = false;      // an unfinished run was there and has been dealt with
    bool Committed = false;  // it had committed: only its backups were left to delete
    bool Damaged = false;    // its journal was damaged: nothing was done on its word
    bool RestartNeeded = false;
    std::vector<std::string> Left;  // changes that could not be undone (GBK lines)
};

// Looks for the journal an unfinished run of the package left and finishes
// it: an uncommitted run is rolled back, last change first; a committed one
// has its remaining backups deleted. The journal, its temporary folder and
// the pointer to it are removed afterwards. A journal of another package is
// left alone; a damaged one is kept and nothing is undone on its word.
Recovery RecoverUnfinishedRun(const std::string& packageId);

// Deletes the backups of a committed run; a backup that cannot be deleted
// now (in use) is deleted when Windows restarts. True when any is left for
// the restart.
bool DeleteBackups(Platform& platform, const std::deque<Entry>& entries);

// Removes the pointer to a journal from the package's Uninstall key, and the
// key itself when nothing else is in it.
void RemoveJournalPointer(RegistryApi& registry, const std::string& packageId);

}  // namespace setup::journal
