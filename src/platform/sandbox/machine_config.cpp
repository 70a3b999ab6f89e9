#include "platform/sandbox/machine_config.h"

#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/profile.h"
#include "platform/registry_roots.h"
#include "platform/sandbox/reg_text.h"
#include "platform/text.h"

namespace setup::sandbox {
namespace {

[[noreturn]] void Fail(const std::string& file, int line, const std::string& message) {
    ThrowFormatError(file + ", line " + std::to_string(line) + ": " + message);
}

bool ParseInt64(std::string_view text, int64_t& out) {
    if (text.empty()) return false;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (value > (INT64_MAX - (c - '0')) / 10) return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

bool IsVersionText(const std::string& text) {
    if (text.empty()) return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return dots <= 1 && text.front() != '.' && text.back() != '.';
}

int ParseAnswer(std::string_view text) {
    std::string a = AsciiLowerCase(text);
    if (a == "ok") return kIdOk;
    if (a == "cancel") return kIdCancel;
    if (a == "yes") return kIdYes;
    if (a == "no") return kIdNo;
    return 0;
}

void ParseFault(const IniEntry& e, const std::string& fileName, FaultConfig& faults) {
    std::string value(TrimBlanks(e.Value));
    if (EqualsNoCase(e.Key, "DiskFull")) {
        // "C 4096": drive C: is full once the run has written 4096 more bytes.
        std::istringstream words(value);
        std::string drive, bytes, extra;
        words >> drive >> bytes >> extra;
        if (drive.size() == 2 && drive[1] == ':') drive.pop_back();
        int64_t count = 0;
        if (drive.size() != 1 || !std::isalpha(static_cast<unsigned char>(drive[0])) || !ParseInt64(bytes, count) ||
            !extra.empty()) {
            Fail(fileName, e.Line, "DiskFull is a drive letter and the bytes that can still be written, as C 4096");
        }
        faults.WritableBytes[AsciiUpperCase(drive)[0]] = count;
    } else if (EqualsNoCase(e.Key, "Locked")) {
        if (value.size() < 3 || value[1] != ':' || value[2] != '\\') {
            Fail(fileName, e.Line, "Locked is a full Windows path such as C:\\Program Files\\demo\\demo.exe");
        }
        faults.LockedFiles.push_back(value);
    } else if (EqualsNoCase(e.Key, "InUse")) {
        if (value.size() < 3 || value[1] != ':' || value[2] != '\\') {
            Fail(fileName, e.Line, "InUse is a full Windows path such as C:\\Program Files\\demo\\demo.exe");
        }
        faults.InUseFiles.push_back(value);
    } else if (EqualsNoCase(e.Key, "ReadOnlyKey")) {
        size_t cut = value.find('\\');
        std::optional<uint32_t> root = RootKeyFromName(value.substr(0, cut), RootNameForms::LongOrShort);
        if (!root) Fail(fileName, e.Line, "ReadOnlyKey is a key path such as HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo");
        faults.ReadOnlyKeys.emplace_back(*root, cut == std::string::npos ? "" : value.substr(cut + 1));
    } else if (EqualsNoCase(e.Key, "FailStart")) {
        if (value.empty()) Fail(fileName, e.Line, "FailStart is part of a program path, such as regsvr32.exe");
        faults.FailedStarts.push_back(value);
    } else {
        Fail(fileName, e.Line, "unknown key " + e.Key + " in [Faults]");
    }
}

// The key path without separators at either end, for comparisons.
std::string TrimSeparators(const std::string& path) {
    size_t first = path.find_first_not_of('\\');
    if (first == std::string::npos) return "";
    size_t last = path.find_last_not_of('\\');
    return path.substr(first, last - first + 1);
}

}  // namespace

bool IsLockedPath(const FaultConfig& faults, const std::string& path) {
    return MatchesPathPattern(faults.LockedFiles, path);
}

bool MatchesPathPattern(const std::vector<std::string>& patterns, const std::string& path) {
    for (const std::string& locked : patterns) {
        if (EndsWithNoCase(locked, "\\*")) {
            std::string folder = locked.substr(0, locked.size() - 1);  // keeps the separator
            if (StartsWithNoCase(path, folder) && path.size() > folder.size()) return true;
        } else if (EqualsNoCase(path, locked)) {
            return true;
        }
    }
    return false;
}

bool IsReadOnlyKey(const FaultConfig& faults, uint32_t root, const std::string& subkey) {
    std::string key = TrimSeparators(subkey);
    for (const auto& [lockedRoot, lockedPath] : faults.ReadOnlyKeys) {
        if (lockedRoot != root) continue;
        std::string locked = TrimSeparators(lockedPath);
        if (locked.empty() || EqualsNoCase(key, locked)) return true;
        if (StartsWithNoCase(key, locked + "\\")) return true;
    }
    return false;
}

bool IsFailedStart(const FaultConfig& faults, const std::string& program) {
    for (const std::string& fragment : faults.FailedStarts) {
        if (ContainsNoCase(program, fragment)) return true;
    }
    return false;
}

MachineConfig DefaultMachineConfig() {
    MachineConfig config;
    config.Drives['C'] = DriveConfig{DriveType::Fixed, false, 100LL * 1024 * 1024 * 1024};
    return config;
}

MachineConfig ParseMachineConfig(const std::string& utf8Text, const std::string& fileName) {
    MachineConfig config = DefaultMachineConfig();
    std::string text;
    try {
        text = Utf8ToGbk(utf8Text);
    } catch (const Error&) {
        ThrowFormatError(fileName + ": not valid UTF-8 text (or a character GBK cannot hold)");
    }
    IniDocument doc = ParseIni(text);
    if (!doc.JunkLines.empty()) Fail(fileName, doc.JunkLines.front(), "expected [Section] or key=value");
    for (const IniEntry& e : doc.Entries) {
        if (!e.HasEquals) Fail(fileName, e.Line, "expected key=value");
        if (EqualsNoCase(e.Section, "Machine")) {
            if (EqualsNoCase(e.Key, "OsVersion")) {
                if (!IsVersionText(e.Value)) Fail(fileName, e.Line, "OsVersion must be a version such as 5.1 or 6.1");
                config.OsVersion = e.Value;
            } else if (EqualsNoCase(e.Key, "Elevation")) {
                std::string v = AsciiLowerCase(e.Value);
                if (v == "accept") {
                    config.Elevation = Elevation::Accept;
                } else if (v == "refuse") {
                    config.Elevation = Elevation::Refuse;
                } else if (v == "fail") {
                    config.Elevation = Elevation::Fail;
                } else {
                    Fail(fileName, e.Line, "Elevation must be accept, refuse or fail");
                }
            } else if (EqualsNoCase(e.Key, "Windows")) {
                if (e.Value != "32" && e.Value != "64") Fail(fileName, e.Line, "Windows must be 32 or 64");
                config.Windows64 = e.Value == "64";
            } else if (EqualsNoCase(e.Key, "User")) {
                if (e.Value.empty() || e.Value.find_first_of("\\/:*?\"<>|") != std::string::npos) {
                    Fail(fileName, e.Line, "User must be a valid folder name");
                }
                config.User = e.Value;
            } else if (EqualsNoCase(e.Key, "UtcOffset")) {
                // Minutes east of UTC, for example 480 or -300.
                std::string_view v = e.Value;
                bool negative = !v.empty() && v[0] == '-';
                if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
                int64_t minutes;
                if (!ParseInt64(v, minutes) || minutes > int64_t{14} * 60) {
                    Fail(fileName, e.Line, "UtcOffset must be minutes east of UTC, from -840 to 840");
                }
                config.UtcOffsetMinutes = static_cast<int>(negative ? -minutes : minutes);
            } else {
                Fail(fileName, e.Line, "unknown key " + e.Key + " in [Machine]");
            }
        } else if (EqualsNoCase(e.Section, "Drives")) {
            if (e.Key.size() != 1 || !std::isalpha(static_cast<unsigned char>(e.Key[0])) || EqualsNoCase(e.Key, "Z")) {
                Fail(fileName, e.Line, "a drive is a letter from A to Y");
            }
            char letter = AsciiUpperCase(e.Key)[0];
            // "fixed 53687091200" or "fixed, 53687091200"; the free bytes may be left out.
            std::string driveText = e.Value;
            for (char& c : driveText) {
                if (c == ',') c = ' ';
            }
            std::istringstream words(driveText);
            std::string type, free, extra;
            words >> type >> free >> extra;
            DriveConfig drive;
            type = AsciiLowerCase(type);
            if (type == "fixed") {
                drive.Type = DriveType::Fixed;
            } else if (type == "removable") {
                drive.Type = DriveType::Removable;
            } else if (type == "cdrom") {
                drive.Type = DriveType::CdRom;
            } else if (type == "network") {
                drive.Type = DriveType::Remote;
            } else if (type == "missing") {
                drive.Type = DriveType::NoRootDir;
                drive.Missing = true;
            } else {
                Fail(fileName, e.Line, "drive type must be fixed, removable, cdrom, network or missing");
            }
            if (!free.empty() && !ParseInt64(free, drive.FreeBytes)) {
                Fail(fileName, e.Line, "free bytes must be a whole number");
            }
            if (!extra.empty()) Fail(fileName, e.Line, "a drive is: type and free bytes");
            config.Drives[letter] = drive;
        } else if (EqualsNoCase(e.Section, "Answers")) {
            int answer = ParseAnswer(e.Value);
            if (answer == 0) Fail(fileName, e.Line, "an answer is ok, cancel, yes or no");
            config.Answers.push_back(AnswerRule{e.Key, answer});
        } else if (EqualsNoCase(e.Section, "Faults")) {
            ParseFault(e, fileName, config.Faults);
        } else {
            Fail(fileName, e.Line, "unknown section [" + e.Section + "]");
        }
    }
    return config;
}

MachineConfig LoadMachineConfig(const std::string& root) {
    std::string path = root + "/machine.ini";
    std::ifstream in(path, std::ios::binary);
    if (!in) return DefaultMachineConfig();
    std::stringstream text;
    text << in.rdbuf();
    return ParseMachineConfig(text.str(), path);
}

std::optional<OsVersion> VersionFromText(const std::string& text) {
    if (text == "0") return std::nullopt;
    if (text == "1") return OsVersion{0, 3, 10};
    if (text == "2") return OsVersion{1, 4, 10};
    OsVersion v{2, 0, 0};
    size_t dot = text.find('.');
    v.Major = static_cast<uint32_t>(std::stoul(text.substr(0, dot)));
    v.Minor = dot == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(text.substr(dot + 1)));
    return v;
}

}  // namespace setup::sandbox
