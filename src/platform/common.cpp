#include "platform/common.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

namespace {
constexpr uint32_t kErrorCancelled = 1223;
const char kRunKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A program path for a command line: quoted when it holds a blank, so that the
// system cannot split it and start a different program.
std::string CommandProgram(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : Quoted(path);
}
}  // namespace

std::string& MusicFile() {
    static std::string file;
    return file;
}

std::string ErrorReportText(const std::exception& error) {
    const auto* e = dynamic_cast<const Error*>(&error);
    std::string kind = e ? ErrorKindName(e->Kind()) : "程序错误";
    std::string message = error.what();
    if (dynamic_cast<const std::bad_alloc*>(&error)) message = msg::OutOfMemory();
    // The codecs say only "error" (a rollback may have added its list below
    // it): the report says what that means.
    bool bare = message.compare(0, 5, "error") == 0 && (message.size() == 5 || message.compare(5, 2, "\r\n") == 0);
    if (e && bare && e->Kind() == ErrorKind::Decompression) message.replace(0, 5, msg::DataDoesNotInflate());
    if (e && bare && e->Kind() == ErrorKind::Compression) message.replace(0, 5, msg::DataDoesNotCompress());
    // A message that begins with its kind ("安装包已损坏：...") gets no second one.
    bool named = message.compare(0, kind.size(), kind) == 0;
    return "安装程序因错误而终止。\r\n\r\n" + (named ? message : kind + "：" + message);
}

std::string& WizardTitle() {
    static std::string title;
    return title;
}

namespace {
std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}
}  // namespace

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

void ProcessMessages() {
    if (Pump()) Pump()();
}

std::string GetOSVersionText() {
    std::optional<OsVersion> v = OS().System().GetVersion();
    if (!v) return "0";
    switch (v->PlatformId) {
        case 0:
            return "1";
        case 1:
            return "2";
        case 2:
            return std::to_string(v->Major) + "." + std::to_string(v->Minor);
        default:
            return "0";
    }
}

double VersionNumber(const std::string& versionText) {
    // Parsed by hand so that the user's locale (a decimal comma) plays no part.
    double whole = 0;
    size_t i = 0;
    bool digits = false;
    while (i < versionText.size() && versionText[i] >= '0' && versionText[i] <= '9') {
        whole = whole * 10 + (versionText[i] - '0');
        ++i;
        digits = true;
    }
    double fraction = 0, scale = 0.1;
    if (i < versionText.size() && versionText[i] == '.') {
        ++i;
        while (i < versionText.size() && versionText[i] >= '0' && versionText[i] <= '9') {
            fraction += (versionText[i] - '0') * scale;
            scale /= 10;
            ++i;
            digits = true;
        }
    }
    if (!digits || i != versionText.size()) return 0;
    return whole + fraction;
}

bool IsVistaOrLater(const std::string& versionText) { return VersionNumber(versionText) >= 6.0; }

bool IsVistaOrLater() { return IsVistaOrLater(GetOSVersionText()); }

bool RunElevated(const std::string& program, const std::string& parameters) {
    ShellExecuteRequest request;
    request.Verb = "runas";
    request.File = program;
    request.Parameters = parameters;
    request.Show = kSwShowNormal;
    request.Mask = kSeeMaskNoCloseProcess | kSeeMaskFlagDdeWait | kSeeMaskFlagNoUi | kSeeMaskNoZoneChecks;
    ShellExecuteResult result = OS().Shell().ShellExecuteEx(request);
    if (!result.Ok && result.LastError == kErrorCancelled) ThrowSilentAbort();
    return result.Ok;
}

int64_t RunElevatedAndWait(const std::string& program, const std::string& parameters) {
    ShellExecuteRequest request;
    request.Verb = "runas";
    request.File = program;
    request.Parameters = parameters;
    request.Show = kSwShowNormal;
    request.Mask = kSeeMaskFlagDdeWait | kSeeMaskFlagNoUi | kSeeMaskNoZoneChecks;
    ShellExecuteResult result = OS().Shell().ShellExecuteAndWait(request, [] { ProcessMessages(); });
    if (!result.Ok && result.LastError == kErrorCancelled) ThrowSilentAbort();
    return result.Ok ? static_cast<int64_t>(result.ExitCode) : -1;
}

bool ShellOpenFile(const std::string& path, bool asUser) {
    ShellExecuteRequest request;
    request.Verb = "Open";
    request.File = path;
    request.Directory = FolderPart(path);
    // A file at a drive's root works in the root, "D:\\"; "D:" would be the
    // drive's current folder, whatever that is.
    if (request.Directory.size() == 2 && request.Directory[1] == ':') request.Directory += "\\";
    request.Show = kSwShowNormal;
    request.AsUser = asUser;
    return OS().Shell().ShellExecuteEx(request).Ok;
}

void ShowInfo(const std::string& message) {
    OS().Dialogs().MessageBox(message, WizardTitle(), kMbIconInformation | kMbOk);
}

bool AskYesNo(const std::string& question) {
    return OS().Dialogs().MessageBox(question, WizardTitle(), kMbIconQuestion | kMbYesNo) == kIdYes;
}

std::string FormatSize(int64_t bytes) {
    struct Unit {
        int64_t Size;
        const char* Name;
    };
    static const Unit kUnits[] = {{1073741824, "GB"}, {1048576, "MB"}, {1024, "KB"}};
    for (const Unit& unit : kUnits) {
        if (bytes > unit.Size) {
            // Rounded half away from zero on the decimal value, as "0.00" does.
            double quotient = static_cast<double>(bytes) / static_cast<double>(unit.Size);
            // Written from whole hundredths: the same text as "%.2f", without
            // the printf machinery for floating point in the Windows programs.
            auto hundredths = static_cast<int64_t>(std::floor(quotient * 100 + 0.5));
            int64_t cents = hundredths % 100;
            return std::to_string(hundredths / 100) + (cents < 10 ? ".0" : ".") + std::to_string(cents) + unit.Name;
        }
    }
    return std::to_string(bytes);
}

int64_t DiskFreeBytes(char driveLetter) {
    std::string root = std::string(1, driveLetter) + ":\\";
    return OS().System().GetFreeBytes(root);
}

std::string GetSpecialFolder(int csidl) { return OS().System().GetSpecialFolderPath(csidl); }

std::string GetQuickLaunchFolder() { return GetSpecialFolder(kCsidlAppData) + kQuickLaunchBelowAppData; }

std::string GetProgramFilesFolder() { return GetSpecialFolder(kCsidlProgramFiles); }

std::string GetTempFolder() { return OS().System().GetTempPath(); }

std::string GetWindowsFolder() { return OS().System().GetWindowsDirectory(); }

std::string Regsvr32Path() { return OS().System().GetSystemDirectory() + "\\regsvr32.exe"; }

// On 64-bit Windows the registry editor in the Windows folder is the 64-bit
// one, which would import the package's registry files into the 64-bit view
// while this 32-bit program writes its values into the 32-bit view: the
// 32-bit editor of the 32-bit system folder keeps both in one view.
std::string RegeditPath() {
    std::string x86 = GetSpecialFolder(kCsidlSystemX86);
    if (!x86.empty() && !EqualsNoCase(x86, OS().System().GetSystemDirectory())) return x86 + "\\regedit.exe";
    return GetWindowsFolder() + "\\regedit.exe";
}

bool RegisterServer(const std::string& file, ServerAction action) {
    bool registering = action == ServerAction::Register;
    if (IsVistaOrLater()) {
        // No "/s" here: regsvr32 shows its own result message.
        return RunElevated(Regsvr32Path(), registering ? Quoted(file) : "/u " + Quoted(file));
    }
    std::string switches = registering ? " /s " : " /s/u ";
    return OS().Shell().WinExec(CommandProgram(Regsvr32Path()) + switches + Quoted(file), kSwShowNormal) > 31;
}

bool InstallService(const std::string& program, ServiceAction action) {
    // The program is quoted, so that Windows cannot start a planted
    // C:\Program.exe for a path with blanks.
    return OS().Shell().WinExec(Quoted(program) + (action == ServiceAction::Install ? " -Install" : " -unInstall"),
                                kSwShowNormal) > 31;
}

void ImportRegFile(const std::string& regFile) {
    OS().Shell().WinExec(CommandProgram(RegeditPath()) + " /s " + Quoted(regFile), kSwShowNormal);
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    int64_t y = year - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t daysSince1970 = era * 146097 + doe - 719468;
    return static_cast<double>(daysSince1970 + 25569) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

uint32_t DateTimeToDosDateTime(double dateTime) {
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3e6) return 0;
    // Whole milliseconds, rounded, as the date-time type resolves them.
    int64_t ms = static_cast<int64_t>(std::llround(std::fabs(dateTime) * 86400000.0));
    int64_t days = ms / 86400000;
    int64_t msOfDay = ms % 86400000;
    if (dateTime < 0) return 0;  // before 1899: far outside the DOS range

    // Civil date from days since 1899-12-30 (day 0), via days since 1970-01-01.
    int64_t z = days - 25569 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t year = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2) ++year;
    if (year < 1980 || year > 2107) return 0;

    int64_t seconds = msOfDay / 1000;
    int64_t hour = seconds / 3600, minute = (seconds / 60) % 60, second = seconds % 60;
    uint32_t dosDate = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    uint32_t dosTime = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (dosDate << 16) | dosTime;
}

bool DosDateTimeToLocalFileTime(uint32_t dosDateTime, uint64_t& localFileTime) {
    uint32_t dosDate = dosDateTime >> 16, dosTime = dosDateTime & 0xFFFF;
    int64_t year = 1980 + (dosDate >> 9), month = (dosDate >> 5) & 0x0F, day = dosDate & 0x1F;
    int64_t hour = dosTime >> 11, minute = (dosTime >> 5) & 0x3F, second = static_cast<int64_t>(dosTime & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    // Days since 1601-01-01 of the civil date.
    int64_t y = month <= 2 ? year - 1 : year;
    int64_t era = y / 400;
    int64_t yoe = y - era * 400;
    int64_t mp = (month + 9) % 12;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t daysSince1970 = era * 146097 + doe - 719468;
    int64_t daysSince1601 = daysSince1970 + 134774;
    int64_t secs = daysSince1601 * 86400 + hour * 3600 + minute * 60 + second;
    localFileTime = static_cast<uint64_t>(secs) * 10000000ull;
    return true;
}

void SetFileTimeOf(const std::string& file, FileTimeKind which, double dateTime) {
    uint64_t local;
    // A date outside the DOS range cannot be set; the file keeps its time.
    if (!DosDateTimeToLocalFileTime(DateTimeToDosDateTime(dateTime), local)) return;
    std::optional<FileTime> utc = OS().System().LocalFileTimeToUtc(local);
    if (!utc) return;
    // A file that cannot be opened is skipped silently.
    OS().Files().SetFileTime(file, which, *utc);
}

void SetLastWriteTimeOf(Stream& stream, const std::string& file, double dateTime) {
    uint64_t local;
    if (!DosDateTimeToLocalFileTime(DateTimeToDosDateTime(dateTime), local)) return;
    std::optional<FileTime> utc = OS().System().LocalFileTimeToUtc(local);
    if (!utc) return;
    if (stream.SetLastWriteTime(*utc)) return;
    // A file that cannot be opened is skipped silently.
    OS().Files().SetFileTime(file, FileTimeKind::LastWrite, *utc);
}

bool SetAutoRun(const std::string& name, const std::string& command, AutoRunAction action) {
    RegistryApi& registry = OS().Registry();
    if (!registry.CreateKey(kHkeyLocalMachine, kRunKey)) return false;
    if (action == AutoRunAction::Add) return registry.WriteString(kHkeyLocalMachine, kRunKey, name, command);
    return registry.DeleteValue(kHkeyLocalMachine, kRunKey, name);
}

void InvokeTaskbarVerb(const std::string& file, const std::string& verbText) {
    OS().Shell().InvokeItemVerbs(file, verbText);
}

void PinToTaskbar(const std::string& file) { InvokeTaskbarVerb(file, "锁定到任务栏"); }

}  // namespace setup
