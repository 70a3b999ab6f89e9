#include "platform/sandbox/sandbox_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/sandbox/change_counter.h"
#include "platform/sandbox/reg_text.h"
#include "platform/messages.h"
#include "platform/sandbox/host_file_stream.h"
#include "platform/text.h"

namespace setup::sandbox {

namespace {

bool IsFolder(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t HostSize(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

bool IsFile(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool SandboxFiles::WritesInsideDrives(int fd, bool created) {
    // Where the open file really lies, whatever the folders on the way were
    // swapped for after the path was resolved; and a file with a second name
    // (a hard link) might be someone's file outside the machine.
    std::string where = "/proc/self/fd/" + std::to_string(fd);
    char real[PATH_MAX];
    ssize_t n = readlink(where.c_str(), real, sizeof real - 1);
    std::string file = n > 0 ? std::string(real, static_cast<size_t>(n)) : std::string();
    struct stat st;
    bool inside =
        !file.empty() && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && paths_.InsideDrives(file);
    if (!inside) {
        // A file this open made where it must not be is taken back.
        if (created && !file.empty()) unlink(file.c_str());
        ::close(fd);
    }
    return inside;
}

SandboxFiles::SandboxFiles(HostPaths& paths, std::string metadataFile)
    : paths_(paths), metadataFile_(std::move(metadataFile)) {
    LoadMetadata();
}

HostPath SandboxFiles::ResolveExisting(const std::string& path) { return paths_.Resolve(path); }

void SandboxFiles::SetFaults(const FaultConfig& faults) {
    faults_ = &faults;
    writableBytes_ = faults.WritableBytes;
}

int64_t SandboxFiles::WritableBytes(char driveLetter) const {
    auto it = writableBytes_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(driveLetter))));
    return it == writableBytes_.end() ? -1 : it->second;
}

namespace {

// Whether some process of the machine holds the host file open read-locked.
// A read-locked open takes a shared flock on its own open file description,
// so the probe sees it whether the holder is this process or another one.
bool HeldReadLocked(const std::string& host) {
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace

bool SandboxFiles::Locked(const std::string& path) const {
    // Nothing is in use while the machine restarts.
    if (restarting_) return false;
    if (faults_ != nullptr && IsLockedPath(*faults_, path)) return true;
    HostPath hp = paths_.Resolve(path);
    return hp.Valid && IsFile(hp.Host) && HeldReadLocked(hp.Host);
}

int64_t* SandboxFiles::WriteBudget(const HostPath& hp) {
    if (hp.DrivePart.empty()) return nullptr;
    auto it = writableBytes_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(hp.DrivePart[0]))));
    return it == writableBytes_.end() ? nullptr : &it->second;
}

bool SandboxFiles::FileExists(const std::string& path) {
    HostPath hp = paths_.Resolve(path);
    return hp.Valid && IsFile(hp.Host);
}

bool SandboxFiles::FolderExists(const std::string& path) {
    HostPath hp = paths_.Resolve(path);
    return hp.Valid && IsFolder(hp.Host);
}

bool SandboxFiles::CreateFolderTree(const std::string& path) {
    // Walk down from the drive, creating what is missing, so that existing
    // folders keep the spelling they have.
    std::string prefix = path.substr(0, std::min<size_t>(path.size(), 3));
    std::vector<std::string> parts = SplitOn(path.size() > 3 ? path.substr(3) : "", '\\');
    std::string current = prefix;
    HostPath hp = paths_.Resolve(current);
    if (!hp.Valid || !IsFolder(hp.Host)) return false;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!EndsWithChar(current, '\\')) current += '\\';
        current += part;
        hp = paths_.Resolve(current);
        if (!hp.Valid) return false;
        if (IsFolder(hp.Host)) continue;
        if (!hp.Writable) return false;
        if (mkdir(hp.Host.c_str(), 0755) != 0) return false;
        paths_.NoteAdded(hp.Host);
        CountChange();
    }
    return true;
}

bool SandboxFiles::RemoveFolder(const std::string& path) {
    HostPath hp = paths_.Resolve(path);
    if (hp.Valid && hp.LastIsLink) {
        // A junction goes as the link; its target and what it holds stay. A
        // link to a file is no folder, as on Windows.
        if (!hp.EntryWritable || IsFile(hp.Host) || unlink(hp.Host.c_str()) != 0) return false;
        paths_.NoteRemoved(hp.Host);
        Forget(hp.Host);
        return true;
    }
    if (!hp.Valid || !hp.Writable || !IsFolder(hp.Host)) return false;
    if (AttributesOf(hp.Host, true) & kAttrReadOnly) return false;
    if (rmdir(hp.Host.c_str()) != 0) return false;
    paths_.NoteRemoved(hp.Host);
    CountChange();
    Forget(hp.Host);
    return true;
}

bool SandboxFiles::DeleteFile(const std::string& path) {
    HostPath hp = paths_.Resolve(path);
    if (hp.Valid && hp.LastIsLink) {
        // A symbolic link to a file is deleted as the link, its target stays;
        // a junction is a folder, which DeleteFile refuses.
        if (!hp.EntryWritable || !IsFile(hp.Host) || unlink(hp.Host.c_str()) != 0) return false;
        paths_.NoteRemoved(hp.Host);
        Forget(hp.Host);
        return true;
    }
    if (!hp.Valid || !hp.Writable || !IsFile(hp.Host)) return false;
    if (AttributesOf(hp.Host, false) & kAttrReadOnly) return false;  // access denied, as on Windows
    if (Locked(path) || Running(path)) return false;                 // in use by another program
    int64_t size = HostSize(hp.Host);
    if (unlink(hp.Host.c_str()) != 0) return false;
    if (int64_t* budget = WriteBudget(hp)) *budget += size;  // the space is free again
    paths_.NoteRemoved(hp.Host);
    CountChange();
    Forget(hp.Host);
    return true;
}

std::optional<uint32_t> SandboxFiles::GetAttributes(const std::string& path) {
    HostPath hp = paths_.Resolve(path);
    if (!hp.Valid) return std::nullopt;
    struct stat st;
    if (stat(hp.Host.c_str(), &st) != 0) {
        // A junction whose target is gone still answers, as the link.
        if (hp.LastIsLink) return kAttrDirectory | kAttrReparsePoint;
        return std::nullopt;
    }
    uint32_t attributes = AttributesOf(hp.Host, S_ISDIR(st.st_mode));
    // Files of the host drive cannot be written: they read as read-only.
    if (!hp.Writable && !S_ISDIR(st.st_mode)) attributes |= kAttrReadOnly;
    if (hp.LastIsLink) attributes |= kAttrReparsePoint;
    return attributes;
}

bool SandboxFiles::IsReparsePoint(const std::string& path) {
    HostPath hp = paths_.Resolve(path);
    return hp.Valid && hp.LastIsLink;
}

bool SandboxFiles::SetAttributes(const std::string& path, uint32_t attributes) {
    HostPath hp = paths_.Resolve(path);
    if (!hp.Valid || !hp.Writable) return false;
    struct stat st;
    if (stat(hp.Host.c_str(), &st) != 0) return false;
    uint32_t kept = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    Metadata& m = metadata_[Key(hp.Host)];
    m.Attributes = kept;
    if (!S_ISDIR(st.st_mode) && kept == kAttrArchive && !m.Creation) metadata_.erase(Key(hp.Host));
    if (S_ISDIR(st.st_mode) && kept == 0 && !m.Creation) metadata_.erase(Key(hp.Host));
    SaveMetadata();
    return true;
}

bool SandboxFiles::SetFileTime(const std::string& path, FileTimeKind kind, FileTime utc) {
    HostPath hp = paths_.Resolve(path);
    // The file is opened for writing first: a missing or read-only file fails.
    if (!hp.Valid || !hp.Writable || !IsFile(hp.Host)) return false;
    if (AttributesOf(hp.Host, false) & kAttrReadOnly) return false;
    if (Locked(path) || Running(path)) return false;
    if (kind == FileTimeKind::Creation) {
        Metadata& m = metadata_[Key(hp.Host)];
        m.Creation = utc;
        SaveMetadata();
        return true;
    }
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    times[kind == FileTimeKind::LastAccess ? 0 : 1] = FileTimeToTimespec(utc);
    return utimensat(AT_FDCWD, hp.Host.c_str(), times, 0) == 0;
}

std::optional<FileTime> SandboxFiles::GetFileTime(const std::string& path, FileTimeKind kind) {
    HostPath hp = paths_.Resolve(path);
    struct stat st;
    if (!hp.Valid || stat(hp.Host.c_str(), &st) != 0) return std::nullopt;
    switch (kind) {
        case FileTimeKind::Creation: {
            auto it = metadata_.find(Key(hp.Host));
            if (it != metadata_.end() && it->second.Creation) return it->second.Creation;
            return TimespecToFileTime(st.st_ctim);
        }
        case FileTimeKind::LastAccess:
            return TimespecToFileTime(st.st_atim);
        case FileTimeKind::LastWrite:
            return TimespecToFileTime(st.st_mtim);
    }
    return std::nullopt;
}

bool SandboxFiles::CopyFileNoReplace(const std::string& from, const std::string& to) {
    HostPath source = paths_.Resolve(from);
    HostPath target = paths_.Resolve(to);
    if (!source.Valid || !target.Valid || !target.Writable || !IsFile(source.Host)) return false;
    struct stat st;
    if (lstat(target.Host.c_str(), &st) == 0) return false;
    if (!IsFolder(HostParent(target.Host))) return false;
    try {
        std::unique_ptr<Stream> in = Open(from, OpenMode::Read);
        std::unique_ptr<Stream> out = Open(to, OpenMode::Create);
        out->CopyFrom(*in, -1);
    } catch (const Error&) {
        return false;
    }
    // Like CopyFile, the copy keeps the attributes and the last-write time.
    stat(source.Host.c_str(), &st);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, target.Host.c_str(), times, 0);
    uint32_t attributes = AttributesOf(source.Host, false);
    if (attributes != kAttrArchive) SetAttributes(to, attributes);
    return true;
}

std::vector<FolderEntry> SandboxFiles::ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    HostPath hp = paths_.Resolve(folder);
    if (!hp.Valid) return entries;
    DIR* dir = opendir(hp.Host.c_str());
    if (dir == nullptr) return entries;
    while (dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        std::string host = hp.Host + (hp.Host == "/" ? "" : "/") + name;
        struct stat st;
        if (stat(host.c_str(), &st) != 0) continue;
        FolderEntry entry;
        try {
            entry.Name = Utf8ToGbk(name);
        } catch (const Error&) {
            continue;  // a host name that no Windows program could spell
        }
        entry.Attributes = AttributesOf(host, S_ISDIR(st.st_mode));
        // A symbolic link on the host is the machine's junction.
        struct stat link;
        if (lstat(host.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) entry.Attributes |= kAttrReparsePoint;
        entry.Size = S_ISDIR(st.st_mode) ? 0 : st.st_size;
        entry.LastWrite = TimespecToFileTime(st.st_mtim);
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return CompareNoCase(a.Name, b.Name) < 0; });
    return entries;
}

std::unique_ptr<Stream> SandboxFiles::Open(const std::string& path, OpenMode mode) {
    HostPath hp = paths_.Resolve(path);
    if (!hp.Valid) ThrowOsError(msg::CannotOpenFile(path, hp.Error));
    // A locked read is a read that holds a shared flock for as long as the
    // stream lives: Locked() then refuses writes, moves and deletes of the
    // file, to this process and to every other one on the machine.
    bool readLocked = mode == OpenMode::ReadLocked;
    if (readLocked) mode = OpenMode::Read;
    // The simulated machine has no access lists: a protected file is a new
    // one, which, as on Windows, nobody else may write or delete while it is
    // open.
    if (mode == OpenMode::CreateNewProtected) {
        mode = OpenMode::CreateNew;
        readLocked = true;
    }
    bool writing = mode != OpenMode::Read;
    if (writing && !hp.Writable) ThrowOsError(msg::CannotOpenFileForWriting(path, msg::AccessDenied()));
    if (IsFolder(hp.Host)) ThrowOsError(msg::CannotOpenFile(path, msg::IsAFolder()));
    bool exists = IsFile(hp.Host);
    if (writing && exists && (AttributesOf(hp.Host, false) & kAttrReadOnly)) {
        ThrowOsError(msg::CannotOpenFileForWriting(path, msg::AccessDenied()));
    }
    if (writing && (Locked(path) || Running(path))) {
        ThrowOsError(msg::CannotOpenFileForWriting(path, msg::FileInUse()));
    }
    bool creating = mode == OpenMode::Create || mode == OpenMode::CreateNew;
    if (mode == OpenMode::CreateNew && exists) ThrowOsError(msg::CannotCreateFile(path, msg::FileExists()));
    if (creating && !exists && !IsFolder(HostParent(hp.Host))) {
        ThrowOsError(msg::CannotCreateFile(path, msg::PathNotFound()));
    }
    int64_t truncated = mode == OpenMode::Create && exists ? HostSize(hp.Host) : 0;
    int flags = mode == OpenMode::Read        ? O_RDONLY
                : mode == OpenMode::Create    ? (O_RDWR | O_CREAT)
                : mode == OpenMode::CreateNew ? (O_RDWR | O_CREAT | O_EXCL)
                                              : O_RDWR;
    // A name that was no link when resolved is not followed should a link
    // appear there meanwhile.
    int fd = ::open(hp.Host.c_str(), flags | O_CLOEXEC | (hp.LastIsLink ? 0 : O_NOFOLLOW), 0644);
    if (fd < 0) {
        ThrowOsError(msg::CannotOpenFile(path, HostReason(errno)));
    }
    if (writing && !WritesInsideDrives(fd, !exists)) {
        ThrowOsError(msg::CannotOpenFileForWriting(path, msg::AccessDenied()));
    }
    // Truncated only once it is known to be the machine's own file.
    if (mode == OpenMode::Create && ftruncate(fd, 0) != 0) {
        int reason = errno;
        ::close(fd);
        ThrowOsError(msg::CannotOpenFile(path, HostReason(reason)));
    }
    if (readLocked && flock(fd, LOCK_SH) != 0) {
        int reason = errno;
        ::close(fd);
        ThrowOsError(msg::CannotOpenFile(path, HostReason(reason)));
    }
    if (creating) {
        if (int64_t* budget = WriteBudget(hp)) *budget += truncated;
        if (!exists) {
            paths_.NoteAdded(hp.Host);
        }
        // A new or truncated file has the archive attribute only.
        auto it = metadata_.find(Key(hp.Host));
        if (it != metadata_.end()) {
            metadata_.erase(it);
            SaveMetadata();
        }
    }
    if (creating) CountChange();
    return MakeHostFileStream(fd, path, writing ? WriteBudget(hp) : nullptr);
}

void SandboxFiles::MoveFile(const std::string& from, const std::string& to, MoveMode mode) {
    auto fail = [&](const std::string& reason) { ThrowOsError(msg::CannotMoveFile(from, to, reason)); };
    HostPath source = paths_.Resolve(from);
    HostPath target = paths_.Resolve(to);
    if (!source.Valid) fail(source.Error);
    if (!target.Valid) fail(target.Error);
    if (!source.Writable || !target.Writable) fail(msg::AccessDenied());
    if (!IsFile(source.Host)) fail(msg::FileNotFound());
    if (source.DrivePart != target.DrivePart) fail(msg::NotSameDrive());
    if (Locked(from) || Locked(to)) fail(msg::FileInUse());
    // A running program can be renamed, but nothing takes its name.
    if (Running(to) && !EqualsNoCase(from, to)) fail(msg::AccessDenied());
    bool running = Running(from);
    if (!IsFolder(HostParent(target.Host))) fail(msg::PathNotFound());
    bool replacing = false;
    struct stat st;
    if (lstat(target.Host.c_str(), &st) == 0 && target.Host != source.Host) {
        if (S_ISDIR(st.st_mode) || mode != MoveMode::ReplaceExisting) fail(msg::FileExists());
        // A read-only file is not replaced, as on Windows.
        if (AttributesOf(target.Host, false) & kAttrReadOnly) fail(msg::AccessDenied());
        replacing = true;
    }
    int64_t released = replacing ? HostSize(target.Host) : 0;
    // rename() replaces the target atomically: it never goes missing.
    if (std::rename(source.Host.c_str(), target.Host.c_str()) != 0) fail(HostReason(errno));
    paths_.NoteRemoved(source.Host);
    if (!replacing) paths_.NoteAdded(target.Host);
    if (int64_t* budget = WriteBudget(target)) *budget += released;
    // The attributes and creation time travel with the file.
    auto it = metadata_.find(Key(source.Host));
    bool changed = metadata_.erase(Key(target.Host)) > 0;
    if (it != metadata_.end()) {
        Metadata m = it->second;
        metadata_.erase(Key(source.Host));
        metadata_[Key(target.Host)] = m;
        changed = true;
    }
    if (changed) SaveMetadata();
    CountChange();
    if (running) {
        // The program goes on running from its new name.
        runningMovedAway_.insert(AsciiLowerCase(from));
        runningMovedTo_.erase(AsciiLowerCase(from));
        runningMovedTo_.insert(AsciiLowerCase(to));
    }
}

bool SandboxFiles::Running(const std::string& path) const {
    std::string folded = AsciiLowerCase(path);
    if (!restarting_ && runningMovedTo_.count(folded)) return true;
    if (restarting_ || faults_ == nullptr || runningMovedAway_.count(folded)) return false;
    if (!MatchesPathPattern(faults_->InUseFiles, path)) return false;
    HostPath hp = paths_.Resolve(path);
    return hp.Valid && IsFile(hp.Host);
}

bool SandboxFiles::InUse(const std::string& path) { return Locked(path) || Running(path); }

bool SandboxFiles::MoveAtRestart(const std::string& from, const std::string& to) {
    if (registry_ == nullptr) return false;
    RegistryApi& registry = *registry_;
    const std::string key = kSessionManagerKey;
    if (!registry.CreateKey(kHkeyLocalMachine, key)) return false;
    // REG_MULTI_SZ: pairs of "\??\" paths, the target marked "!" where it
    // is replaced and empty for a deletion; the list ends with an empty text.
    std::string data;
    if (std::optional<RegValue> old = registry.ReadValue(kHkeyLocalMachine, key, kPendingRenamesValue)) {
        data = old->Data;
        if (data.size() >= 2 && data.compare(data.size() - 2, 2, std::string(2, '\0')) == 0)
            data.resize(data.size() - 2);
    }
    data += StringValueData("\\??\\" + from);
    data += StringValueData(to.empty() ? std::string() : "!\\??\\" + to);
    data += std::string(2, '\0');
    return registry.WriteValue(kHkeyLocalMachine, key, RegValue{kPendingRenamesValue, kRegMultiSz, data});
}

void SandboxFiles::WriteWholeFile(const std::string& path, const std::string& bytes) {
    Open(path, OpenMode::Create)->WriteBytes(bytes);
}

}  // namespace setup::sandbox
