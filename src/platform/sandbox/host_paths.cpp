#include "platform/sandbox/host_paths.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <vector>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace setup::sandbox {

std::string HostParent(const std::string& hostPath) {
    size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return hostPath.substr(0, slash);
}

std::string HostName(const std::string& hostPath) {
    size_t slash = hostPath.rfind('/');
    return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

HostPaths::HostPaths(std::string root, const MachineConfig& config) : root_(std::move(root)), config_(config) {}

HostPath HostPaths::Resolve(const std::string& windowsPath) {
    HostPath result;
    std::string path;
    try {
        path = GbkToUtf8(windowsPath);
    } catch (const Error&) {
        result.Error = msg::PathNotGbk();
        return result;
    }
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])) ||
        (path.size() > 2 && path[2] != '\\' && path[2] != '/')) {
        result.Error = msg::PathNotAbsolute();
        return result;
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    result.DrivePart = std::string(1, letter) + ":";
    std::string base;
    bool hostDrive = letter == 'Z';
    if (hostDrive) {
        base = "";
    } else {
        auto drive = config_.Drives.find(letter);
        if (drive == config_.Drives.end() || drive->second.Missing) {
            result.Error = msg::DriveMissing(result.DrivePart);
            return result;
        }
        base = root_ + "/" + std::string(1, letter);
    }

    // Windows drops "." components, resolves ".." and strips trailing dots and
    // blanks from every name.
    std::vector<std::string> parts;
    size_t start = 2;
    while (start < path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
        if (name.empty()) continue;
        if (name.find_first_of("<>:\"|?*") != std::string::npos ||
            std::any_of(name.begin(), name.end(), [](char c) { return c > 0 && c < 32; })) {
            result.Error = msg::NameNotAllowed(Utf8ToGbk(name));
            return result;
        }
        parts.push_back(std::move(name));
    }

    std::string current = base;
    bool existing = true;
    bool leavesDrives = false;
    bool lastIsLink = false;
    bool parentLeaves = false;
    // A link met on the way is followed by the host; it keeps the path
    // writable only when where it leads lies inside a drive.
    auto notePart = [&](const std::string& host, const struct stat& st) {
        parentLeaves = leavesDrives;
        lastIsLink = S_ISLNK(st.st_mode);
        if (lastIsLink && !InsideDrives(host)) leavesDrives = true;
    };
    for (const std::string& part : parts) {
        std::string candidate = current + "/" + part;
        if (existing) {
            struct stat st;
            if (lstat(candidate.c_str(), &st) == 0) {
                notePart(candidate, st);
                current = std::move(candidate);
                continue;
            }
            std::string actual = FindInFolder(current.empty() ? "/" : current, part);
            if (!actual.empty()) {
                current += "/" + actual;
                struct stat linkStat;
                if (lstat(current.c_str(), &linkStat) == 0) notePart(current, linkStat);
                continue;
            }
            existing = false;
        }
        parentLeaves = leavesDrives;
        lastIsLink = false;
        current = std::move(candidate);
    }
    if (current.empty()) current = hostDrive ? "/" : base;
    result.Valid = true;
    result.Host = current;
    result.Writable = !hostDrive && !leavesDrives;
    result.EntryWritable = !hostDrive && !parentLeaves;
    result.LastIsLink = lastIsLink;
    return result;
}

bool HostPaths::InsideDrives(const std::string& hostPath) const {
    char resolved[PATH_MAX];
    if (realpath(hostPath.c_str(), resolved) == nullptr) return false;  // a link to nowhere
    std::string real = resolved;
    std::string prefix = root_ + "/";
    if (real.compare(0, prefix.size(), prefix) != 0 || real.size() == prefix.size()) return false;
    char letter = real[prefix.size()];
    if (real.size() > prefix.size() + 1 && real[prefix.size() + 1] != '/') return false;
    auto drive = config_.Drives.find(letter);
    return letter != 'Z' && drive != config_.Drives.end() && !drive->second.Missing;
}

std::string HostPaths::ToWindows(const std::string& hostPath) const {
    std::string prefix = root_ + "/";
    std::string windows;
    if (hostPath.compare(0, prefix.size(), prefix) == 0 && hostPath.size() > prefix.size()) {
        std::string rest = hostPath.substr(prefix.size());
        char letter = rest[0];
        if (letter >= 'A' && letter <= 'Y' && (rest.size() == 1 || rest[1] == '/') && config_.Drives.count(letter)) {
            windows = std::string(1, letter) + ":" + (rest.size() == 1 ? "\\" : rest.substr(1));
        }
    }
    if (windows.empty()) windows = "Z:" + hostPath;
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    return Utf8ToGbk(windows);
}

HostPaths::FolderIndex* HostPaths::IndexOf(const std::string& folder, bool rescanIfStale) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        indexes_.erase(folder);
        return nullptr;
    }
    auto it = indexes_.find(folder);
    if (it != indexes_.end() &&
        (it->second.Mtime.tv_sec == st.st_mtim.tv_sec && it->second.Mtime.tv_nsec == st.st_mtim.tv_nsec)) {
        return &it->second;
    }
    if (!rescanIfStale) return it == indexes_.end() ? nullptr : &it->second;
    FolderIndex index;
    index.Mtime = st.st_mtim;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            index.ByFoldedName.emplace(AsciiLowerCase(name), name);
        }
        closedir(dir);
    }
    return &(indexes_[folder] = std::move(index));
}

std::string HostPaths::FindInFolder(const std::string& folder, const std::string& name) {
    FolderIndex* index = IndexOf(folder, true);
    if (index == nullptr) return "";
    auto it = index->ByFoldedName.find(AsciiLowerCase(name));
    return it == index->ByFoldedName.end() ? "" : it->second;
}

void HostPaths::NoteAdded(const std::string& hostPath) {
    std::string folder = HostParent(hostPath);
    auto it = indexes_.find(folder);
    if (it == indexes_.end()) return;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
        indexes_.erase(it);
        return;
    }
    it->second.ByFoldedName.emplace(AsciiLowerCase(HostName(hostPath)), HostName(hostPath));
    it->second.Mtime = st.st_mtim;
}

void HostPaths::NoteRemoved(const std::string& hostPath) {
    std::string folder = HostParent(hostPath);
    auto it = indexes_.find(folder);
    if (it == indexes_.end()) return;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
        indexes_.erase(it);
        return;
    }
    it->second.ByFoldedName.erase(AsciiLowerCase(HostName(hostPath)));
    it->second.Mtime = st.st_mtim;
}

}  // namespace setup::sandbox
