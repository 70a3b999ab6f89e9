#include "uninstaller/uninstall_form.h"

#include <algorithm>
#include <random>

#include "engine/journal_file.h"
#include "package/compile.h"
#include "package/install_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/registry_roots.h"
#include "platform/text.h"
#include "ui/backend.h"
#include "uninstaller/removal_guard.h"

namespace setup {

namespace {

std::string Format(const std::string& pattern, const std::string& name) {
    std::string text = pattern;
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

const char kLabel3[] = "卸载“%s”";
const char kLabel4[] = "从您的计算机中卸载“%s”";
const char kLabel1[] = "这个向导将引导您卸载计算机中“%s”，请点击“卸载(&U)”按钮，开始进行卸载程序操作。";

// How many failed items the message box lists by name.
constexpr size_t kListedFailures = 20;

// The first items of a list, one a line, and how many more there are.
std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size() && i < kListedFailures; ++i) text += "\r\n" + items[i];
    return text;
}
size_t More(const std::vector<std::string>& items) {
    return items.size() > kListedFailures ? items.size() - kListedFailures : 0;
}

bool RootAccepted(const std::string& text, uint32_t& handle) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < 0x80000000ull || value > 0x80000006ull) return false;
    handle = static_cast<uint32_t>(value);
    return true;
}

bool IsQuickLaunchLink(const TUnInsData& e) {
    return e.EntryKind == ukFile && FindText(e.Path, kQuickLaunchBelowAppData) != std::string::npos &&
           e.Path.size() >= 4 && IsCharBoundary(e.Path, e.Path.size() - 4) &&
           e.Path.compare(e.Path.size() - 4, 4, ".lnk") == 0;
}

}  // namespace

TfrmUnInstall::TfrmUnInstall()
    : ui::Form("TfrmUnInstall"),
      Panel1(ui::Make<ui::Panel>(*this, "Panel1")),
      Image1(ui::Make<ui::Image>(Panel1, "Image1")),
      Label3(ui::Make<ui::Label>(Panel1, "Label3")),
      Label4(ui::Make<ui::Label>(Panel1, "Label4")),
      Label1(ui::Make<ui::Label>(Panel1, "Label1")),
      lb_Name(ui::Make<ui::Label>(Panel1, "lb_Name")),
      ProcessBar(ui::Make<ui::ProgressBar>(Panel1, "ProcessBar")),
      Bevel1(ui::Make<ui::Bevel>(*this, "Bevel1")),
      Button1(ui::Make<ui::Button>(*this, "Button1")),
      Button2(ui::Make<ui::Button>(*this, "Button2")) {
    SetCaption("卸载程序");
    SetBounds(0, 0, 511, 331);
    Position = ui::FormPosition::ScreenCenter;
    Border = ui::BorderStyle::Dialog;
    Panel1.SetBounds(0, 0, 511, 291);
    Image1.SetBounds(0, 0, 511, 60);
    Label3.SetBounds(14, 13, 480, 12);
    Label3.SetCaption(kLabel3);
    Label4.SetBounds(14, 35, 480, 12);
    Label4.SetCaption(kLabel4);
    Label1.SetBounds(14, 81, 353, 25);
    Label1.WordWrap = true;
    Label1.SetCaption(kLabel1);
    lb_Name.SetBounds(12, 125, 200, 12);
    lb_Name.SetVisible(false);
    ProcessBar.SetBounds(14, 149, 445, 16);
    ProcessBar.SetVisible(false);
    Bevel1.SetBounds(0, 291, 511, 2);
    Button1.SetBounds(340, 302, 75, 22);
    Button1.SetCaption("卸载(&U)");
    Button1.OnClick = [this] { Button1Click(); };
    Button2.SetBounds(420, 302, 75, 22);
    Button2.SetCaption("取消(&C)");
    Button2.OnClick = [this] { Button2Click(); };
    OnShow = [this] { FormShow(); };
    DefaultButton = "Button1";
    recordPath_ = RecordPathFor(OS().System().GetOwnExecutablePath());
}

namespace {
// Set in the Uninstall entry once everything the record lists is removed,
// just before the record itself goes.
constexpr char kRemovalFinishedValue[] = "RemovalFinished";
}  // namespace

bool TfrmUnInstall::ClearEntryOfFinishedRemoval() {
    RegistryApi& registry = OS().Registry();
    std::string own = OS().System().GetOwnExecutablePath();
    std::string uninstallKeys = FolderPart(UninstallKeyPath(""));
    for (const std::string& id : registry.ListSubKeys(kHkeyLocalMachine, uninstallKeys)) {
        std::string key = UninstallKeyPath(id);
        std::optional<std::string> command = registry.ReadString(kHkeyLocalMachine, key, "UninstallString");
        if (!IsPackageIdentity(id) || !command || !EqualsNoCase(*command, "\"" + own + "\"")) continue;
        // Only a removal that finished marks its entry so; a record lost
        // otherwise leaves everything where it is.
        if (!registry.ReadValue(kHkeyLocalMachine, key, kRemovalFinishedValue)) return false;
        std::string name = registry.ReadString(kHkeyLocalMachine, key, "DisplayName").value_or("");
        registry.DeleteKey(kHkeyLocalMachine, key);
        exitCode_ = 0;
        OS().Dialogs().MessageBox(msg::UninstallSucceeded(name), "", kMbIconInformation | kMbOk);
        DeleteSelfAfterExit(own);
        return true;
    }
    return false;
}

bool TfrmUnInstall::LoadRecord() {
    if (!OS().Files().FileExists(recordPath_)) {
        // A removal that ended after deleting its record leaves only the
        // Uninstall entry that names this program: clearing it finishes the
        // removal.
        if (ClearEntryOfFinishedRemoval()) return false;
        exitCode_ = 1;
        OS().Dialogs().MessageBox(msg::RecordMissing(), "", kMbIconStop | kMbOk);
        return false;
    }
    TUnInstall::Trust trust = TUnInstall::Trust::Missing;
    try {
        trust = record_.LoadCheckedFromFile(recordPath_);
    } catch (const Error& e) {
        // A record that cannot be read removes nothing: the user learns why.
        record_.Clear();
        exitCode_ = 1;
        OS().Dialogs().MessageBox(msg::RecordDamaged(e.what()), "", kMbIconStop | kMbOk);
        return false;
    }
    if ((trust == TUnInstall::Trust::Genuine || trust == TUnInstall::Trust::Unvouched) &&
        journal::RecoverUnfinishedRun(record_.PackageId()).Found) {
        // An installation of the product that never came to its end has
        // been undone first; the record is what it left.
        record_.Clear();
        if (!OS().Files().FileExists(recordPath_)) {
            exitCode_ = 0;
            OS().Dialogs().MessageBox(msg::UninstallSucceeded(record_.ProjectName()), "", kMbIconInformation | kMbOk);
            return false;
        }
        return LoadRecord();
    }
    vouched_ = trust == TUnInstall::Trust::Genuine;
    if (trust == TUnInstall::Trust::Unvouched) {
        // No digest is kept for this record (an earlier version of the setup
        // program saved none): what it names outside the installation folder
        // and the product's links is listed, not removed.
        installDir_ = FolderPart(recordPath_);
        return true;
    }
    if (trust != TUnInstall::Trust::Genuine) {
        // The record lies in the installation folder, which others may be able
        // to write, while the uninstaller runs with administrator rights: only
        // the record whose digest the Uninstall entry holds is acted on.
        record_.Clear();
        exitCode_ = 1;
        OS().Dialogs().MessageBox(msg::RecordEdited(), "", kMbIconStop | kMbOk);
        return false;
    }
    return true;
}

void TfrmUnInstall::FormShow() {
    if (!LoadRecord()) {
        exitCode_ = 1;
        Close();
        return;
    }
    Label3.SetCaption(Format(kLabel3, record_.ProjectName()));
    Label4.SetCaption(Format(kLabel4, record_.ProjectName()));
    Label1.SetCaption(Format(kLabel1, record_.ProjectName()));
}

void TfrmUnInstall::RemoveUnattended() {
    if (!LoadRecord()) return;
    Button1Click();
}

void TfrmUnInstall::Button2Click() {
    if (!removing_) Close();
}

void TfrmUnInstall::ShowProgress(int position, int maximum) {
    if (!ProcessBar.Visible()) ProcessBar.SetVisible(true);
    ProcessBar.SetMax(maximum);
    ProcessBar.SetPosition(position);
    ui::Application::ProcessMessages();
}

void RemoveEmptyTree(const std::string& folder, const RemovalGuard& guard) {
    if (guard.FolderProtected(folder)) return;
    FilesApi& files = OS().Files();
    // A junction is never entered: what it leads to is someone else's (the
    // system folder, another user's profile). It goes as the link, which
    // leaves its target and everything in it as they are.
    if (files.IsReparsePoint(folder)) {
        files.RemoveFolder(folder);
        return;
    }
    for (const FolderEntry& entry : files.ListFolder(folder)) {
        if (!(entry.Attributes & kAttrDirectory)) return;  // a file: this folder stays
        RemoveEmptyTree(folder + "\\" + entry.Name, guard);
    }
    files.RemoveFolder(folder);  // fails silently when something is left
}

bool TfrmUnInstall::RemoveEverything() {
    const auto& entries = record_.Entries();
    int total = static_cast<int>(entries.size());
    int counter = 0;
    RegistryApi& registry = OS().Registry();
    FilesApi& files = OS().Files();
    RemovalGuard guard;
    failures_.clear();
    remaining_.Clear();
    remaining_.SetProjectName(record_.ProjectName());
    remaining_.SetPackageId(record_.PackageId());
    auto failed = [&](const TUnInsData& e, const std::string& text) {
        failures_.push_back(text);
        remaining_.AddEntry(e);
    };
    // A record no digest vouches for removes only what lies in the
    // installation folder and the product's links; the rest is listed.
    skipped_.clear();
    std::string installDir = NormalFolderPath(installDir_);
    std::vector<std::string> linkFolders;
    for (int csidl : {kCsidlPrograms, kCsidlCommonPrograms, kCsidlDesktopDirectory, kCsidlCommonDesktopDirectory}) {
        linkFolders.push_back(NormalFolderPath(GetSpecialFolder(csidl)));
    }
    linkFolders.push_back(NormalFolderPath(GetSpecialFolder(kCsidlAppData) + kQuickLaunchBelowAppData));
    auto below = [](const std::string& path, const std::string& folder) {
        return !folder.empty() && path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
               path[folder.size()] == '\\';
    };
    auto allowed = [&](const TUnInsData& e) {
        if (vouched_ || e.DeleteFlag == 0) return true;
        std::string path = NormalFolderPath(e.Path);
        bool inside = false;
        if (e.EntryKind == ukFile || e.EntryKind == ukFolder) {
            inside = !guard.FolderProtected(installDir_) && below(path, installDir);
        }
        if (!inside && e.EntryKind == ukFile && (EndsWithNoCase(path, ".lnk") || EndsWithNoCase(path, ".url"))) {
            for (const std::string& folder : linkFolders) inside = inside || below(path, folder);
        }
        return inside;
    };
    auto skipped = [&](const TUnInsData& e) {
        if (allowed(e)) return false;
        bool registryEntry = e.EntryKind == ukRegistry || e.EntryKind == ukRegistryDefaultValue;
        uint32_t handle = 0;
        skipped_.push_back(registryEntry && RootAccepted(e.RootKey, handle)
                               ? msg::UninstallSkippedRegistry(RootKeyName(handle) + "\\" + e.Path +
                                                               (e.ValueName.empty() ? "" : "\\" + e.ValueName))
                               : e.Path);
        return true;
    };

    // Values first, in record order; then the keys the installation created,
    // deepest first, each once nothing is left in it: a key that holds
    // something else (the program's own settings, another product's subkey)
    // stays, and so does every system key.
    std::vector<const TUnInsData*> createdKeys;
    for (const auto& e : entries) {
        bool registryEntry = e->EntryKind == ukRegistry || e->EntryKind == ukRegistryDefaultValue;
        if (!registryEntry) continue;
        if (skipped(*e)) {
            ShowProgress(++counter, total);
            continue;
        }
        if (e->EntryKind == ukRegistry && e->ValueName.empty()) {
            createdKeys.push_back(e.get());
            continue;
        }
        uint32_t handle = 0;
        // A root number that is no root handle skips its entry.
        if (e->DeleteFlag != 0 && RootAccepted(e->RootKey, handle) && registry.KeyExists(handle, e->Path) &&
            !registry.DeleteValue(handle, e->Path, e->ValueName) && registry.ReadValue(handle, e->Path, e->ValueName)) {
            std::string keyText = RootKeyName(handle) + "\\" + e->Path;
            failed(*e, msg::UninstallFailedValue(keyText + (e->ValueName.empty() ? "\\(默认)" : "\\" + e->ValueName)));
        }
        ShowProgress(++counter, total);
    }
    auto depth = [](const TUnInsData* e) {
        size_t levels = 0;
        for (const std::string& piece : SplitOn(e->Path, '\\')) levels += piece.empty() ? 0 : 1;
        return levels;
    };
    std::stable_sort(createdKeys.begin(), createdKeys.end(),
                     [&depth](const TUnInsData* a, const TUnInsData* b) { return depth(a) > depth(b); });
    std::vector<const TUnInsData*> keptKeys;
    for (const TUnInsData* e : createdKeys) {
        uint32_t handle = 0;
        if (e->DeleteFlag != 0 && RootAccepted(e->RootKey, handle) && registry.KeyExists(handle, e->Path) &&
            !RemovalGuard::KeyProtected(handle, e->Path)) {
            if (!registry.ListValues(handle, e->Path).empty() || !registry.ListSubKeys(handle, e->Path).empty()) {
                keptKeys.push_back(e);
            } else if (!registry.DeleteKey(handle, e->Path) && registry.KeyExists(handle, e->Path)) {
                failed(*e, msg::UninstallFailedKey(RootKeyName(handle) + "\\" + e->Path));
            }
        }
        ShowProgress(++counter, total);
    }
    if (IsVistaOrLater()) {
        for (const auto& e : entries) {
            if (IsQuickLaunchLink(*e) && allowed(*e)) {
                InvokeTaskbarVerb(e->Path, "从任务栏脱离");
            }
        }
    }
    // A recorded path is removed only when no level on its way below the
    // installation folder (or below the special folder it lies in) is a
    // junction: one planted there by someone who may write the folder would
    // have this process delete a file of the same name wherever it leads.
    std::string installFolder = FolderPart(recordPath_);
    auto linkOnTheWay = [&](const std::string& path) {
        std::string root = guard.RootAbove(path, installFolder);
        return root.empty() ? std::string() : FirstReparsePoint(root, path);
    };
    for (const auto& e : entries) {
        if (e->EntryKind != ukFile) continue;
        if (e->DeleteFlag != 0 && !skipped(*e)) {
            std::string link = linkOnTheWay(e->Path);
            if (!link.empty()) {
                failed(*e, msg::UninstallBehindLink(msg::UninstallFailedFile(e->Path), link));
            } else if (files.FileExists(e->Path) && !files.DeleteFile(e->Path) && files.FileExists(e->Path)) {
                failed(*e, msg::UninstallFailedFile(e->Path));
            }
        }
        ShowProgress(++counter, total);
    }
    for (const auto& e : entries) {
        if (e->EntryKind != ukFolder) continue;
        if (e->DeleteFlag != 0 && !skipped(*e)) {
            // The recorded folder itself may be a junction (removed as the
            // link); one above it keeps the folder from being looked at.
            std::string link = linkOnTheWay(e->Path);
            if (link.empty() || EqualsNoCase(link, e->Path)) {
                RemoveEmptyTree(e->Path, guard);
            } else {
                failed(*e, msg::UninstallBehindLink(msg::UninstallFailedFolder(e->Path), link));
            }
        }
        ShowProgress(++counter, total);
    }
    if (!failures_.empty()) {
        // The folders and created keys that hold what remains are removed by
        // the next run.
        for (const auto& e : entries) {
            if (e->EntryKind == ukFolder && e->DeleteFlag != 0 && files.FolderExists(e->Path) &&
                !guard.FolderProtected(e->Path)) {
                remaining_.AddEntry(*e);
            }
        }
        for (const TUnInsData* e : keptKeys) remaining_.AddEntry(*e);
        return false;
    }
    // The record goes before the Uninstall entry: a removal that ends in
    // between leaves the entry, which the next run of this program clears.
    std::string key = UninstallKeyPath(record_.PackageId());
    registry.WriteDword(kHkeyLocalMachine, key, kRemovalFinishedValue, 1);
    if (files.FileExists(recordPath_)) files.DeleteFile(recordPath_);
    if (registry.KeyExists(kHkeyLocalMachine, key)) registry.DeleteKey(kHkeyLocalMachine, key);
    return true;
}

void TfrmUnInstall::KeepWhatRemains() {
    // The record now lists exactly what is left, and the Uninstall entry (with
    // the new record's digest) stays, so that the next run finishes the work.
    std::string digest = remaining_.SaveToFile(recordPath_);
    TUnInstall::WriteRecordDigest(remaining_.PackageId(), digest);
}

void TfrmUnInstall::Button1Click() {
    // The passes run once: the buttons stay disabled while they run.
    if (removing_) return;
    removing_ = true;
    Button1.SetEnabled(false);
    Button2.SetEnabled(false);
    bool complete = false;
    try {
        complete = RemoveEverything();
        // A record no digest vouches for is never given one: it stays as it
        // was, and the next run acts on it the same careful way.
        if (!complete && vouched_) KeepWhatRemains();
    } catch (const Error& e) {
        exitCode_ = 1;
        OS().Dialogs().MessageBox(msg::UninstallEndedByError(e.what()), "", kMbIconStop | kMbOk);
        Close();
        return;
    }
    if (!complete) {
        exitCode_ = 3;
        OS().Dialogs().MessageBox(msg::UninstallIncomplete(record_.ProjectName(), Listed(failures_), More(failures_)),
                                  "", kMbIconWarning | kMbOk);
        Close();
        return;
    }
    if (!skipped_.empty()) {
        // Removed as far as an unvouched record allows: the rest is the
        // user's to check.
        exitCode_ = 3;
        OS().Dialogs().MessageBox(msg::UninstallUnvouched(record_.ProjectName(), Listed(skipped_), More(skipped_)), "",
                                  kMbIconWarning | kMbOk);
    } else {
        exitCode_ = 0;
        OS().Dialogs().MessageBox(msg::UninstallSucceeded(record_.ProjectName()), "", kMbIconInformation | kMbOk);
    }
    Close();
    if (OS().Files().FileExists(recordPath_)) OS().Files().DeleteFile(recordPath_);
    DeleteSelfAfterExit(OS().System().GetOwnExecutablePath());
}

// Deletes the program, retrying while it is still running, then itself. A
// "%" in the path is doubled: the command interpreter would expand it as a
// variable, even between quotes, and delete some other file.
std::string SelfDeleteBatchText(const std::string& ownPath) {
    std::string path;
    for (size_t i = 0; i < ownPath.size(); i += CharLengthAt(ownPath, i)) {
        path += ownPath.substr(i, CharLengthAt(ownPath, i));
        if (ownPath[i] == '%' && CharLengthAt(ownPath, i) == 1) path += '%';
    }
    return ":try\r\ndel \"" + path + "\"\r\nif exist \"" + path + "\" goto try\r\ndel %0\r\n";
}

void DeleteSelfAfterExit(const std::string& ownPath) {
    // The batch runs with the uninstaller's rights. It is written under a name
    // no one can predict, created fresh (never over an existing file), then
    // opened again for reading only, shared for reading only, and held so
    // until this process ends: from then on no other process can change,
    // rename or delete it, and what it holds is checked before it is started.
    // A handle with write access would keep the system from starting it at
    // all, since starting a program opens it without write sharing. The batch
    // can delete itself only after this process ends, which is when it gets
    // there.
    static std::unique_ptr<Stream> held;
    const std::string text = SelfDeleteBatchText(ownPath);
    std::random_device random;
    std::string folder = GetTempFolder();
    for (int attempt = 0; attempt < 16 && !held; ++attempt) {
        std::string suffix = HexDigits8(random());
        suffix += HexDigits8(random());
        std::string path = folder + "_deleteme-" + suffix + ".bat";
        try {
            // A file or folder that holds the name already is left alone. The
            // command interpreter reads the batch line by line while it runs,
            // after this process has ended: with administrator rights it is
            // made so that only administrators and the system can change it.
            OpenFile(path, OpenMode::CreateNewProtected)->WriteBytes(text);
            held = OpenFile(path, OpenMode::ReadLocked);
            if (held->Size() != static_cast<int64_t>(text.size()) || held->ReadBytes(text.size()) != text) {
                held.reset();
                continue;
            }
        } catch (const Error&) {
            held.reset();
            continue;
        }
        OS().Shell().CreateProcessHidden("\"" + path + "\"");
    }
}

}  // namespace setup
