// The changes an install journal notes, how each is written to the journal's
// file, and how each is undone. An entry is noted before its change is made
// (write-ahead), so every undo first finds out whether the change happened:
// undoing a change that never took place leaves everything as it is.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"

namespace setup::journal {

enum class Kind : uint8_t {
    FolderCreated = 1,
    FileCreated = 2,     // Path did not exist; the run makes it
    FileMovedAside = 3,  // the earlier file at Path is kept at Backup (moved, or copied once BackupCopying is done)
    FileMoved = 4,       // an earlier file moved from Path to Backup
    AttributesChanged = 5,
    FileTimeChanged = 6,
    KeyCreated = 7,
    ValueWritten = 8,
    KeyDeleted = 9,
    CreatedFileMoved = 10,  // a file the run made moved from Backup to Path
    BackupCopying = 11,     // a copy of Path is being made at Backup; Path is unchanged until it is complete
    // Markers of the file only: the change of the entry before did not take
    // place; the run committed (its backups are being deleted).
    Cancelled = 100,
    Committed = 101,
};

struct KeySnapshot {
    std::string Path;  // relative to the deleted key; empty for the key itself
    std::vector<RegValue> Values;
};

// What an entry needs beyond its kind and path. Most entries, one for each
// file and folder the run creates, need none of it, so it is held apart.
struct Details {
    std::string Backup;  // FileMovedAside, FileMoved, CreatedFileMoved, BackupCopying: the other name
    uint32_t Root = 0;
    uint32_t Attributes = 0;
    FileTimeKind TimeKind = FileTimeKind::LastWrite;
    FileTime Time = 0;
    std::optional<RegValue> Previous;  // ValueWritten: the value before, if any
    std::string ValueName;
    std::vector<KeySnapshot> Keys;  // KeyDeleted: the whole tree, parents first
};

struct Entry {
    Entry(journal::Kind k, std::string p) : Kind(k), Path(std::move(p)) {}
    Entry(journal::Kind k, std::string p, std::string backup) : Entry(k, std::move(p)) {
        More().Backup = std::move(backup);
    }
    Entry(Entry&&) = default;
    Entry& operator=(Entry&&) = default;

    Details& More() {
        if (!Extra) Extra = std::make_unique<Details>();
        return *Extra;
    }
    const Details& More() const {
        static const Details kNone;
        return Extra ? *Extra : kNone;
    }
    journal::Kind Kind;
    std::string Path;  // file, folder or key path
    std::unique_ptr<Details> Extra;
};

// The bytes of an entry in the journal's file, and back. Decode raises a
// Damaged error for bytes that are no entry.
std::string Encode(const Entry& entry);
Entry Decode(const std::string& bytes);

// Undoes one change through the platform given (the one behind the journal);
// true when the change is undone or never happened. Only the last entry of a
// run that ended unexpectedly may have been noted without its change being
// made (unfinished): for every other one a missing backup is a loss to
// report, not a change that never took place.
bool Undo(Platform& platform, const Entry& entry, bool unfinished = false);
// The line for the user (GBK) that names a change the rollback could not undo.
std::string Undone(const Entry& entry);

}  // namespace setup::journal
