#include "uninstaller/uninstall_form.h"

#include <random>

#include "package/install_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"
#include "ui/backend.h"

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

bool TfrmUnInstall::LoadRecord() {
    if (!OS().Files().FileExists(recordPath_)) {
        OS().Dialogs().MessageBox("安装日志文件不存在,卸载程序无法正常工作，程序将退出系统。", "", kMbIconStop | kMbOk);
        return false;
    }
    try {
        record_.LoadFromFile(recordPath_);
    } catch (const Error& e) {
        // A record that cannot be read removes nothing: the user learns why.
        record_.Clear();
        OS().Dialogs().MessageBox(std::string("安装日志文件已损坏，卸载程序无法正常工作，程序将退出系统。\r\n\r\n") + e.what(),
                                  "", kMbIconStop | kMbOk);
        return false;
    }
    return true;
}

void TfrmUnInstall::FormShow() {
    if (!LoadRecord()) {
        Close();
        return;
    }
    Label3.SetCaption(Format(kLabel3, record_.ProjectName()));
    Label4.SetCaption(Format(kLabel4, record_.ProjectName()));
    Label1.SetCaption(Format(kLabel1, record_.ProjectName()));
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

void RemoveEmptyTree(const std::string& folder) {
    for (const FolderEntry& entry : OS().Files().ListFolder(folder)) {
        if (!(entry.attributes & kAttrDirectory)) return;  // a file: this folder stays
        RemoveEmptyTree(folder + "\\" + entry.name);
    }
    OS().Files().RemoveFolder(folder);  // fails silently when something is left
}

void TfrmUnInstall::RemoveEverything() {
    const auto& entries = record_.Entries();
    int total = static_cast<int>(entries.size());
    int counter = 0;
    RegistryApi& registry = OS().Registry();
    for (const auto& e : entries) {
        if (e->EntryKind != ukRegistry) continue;
        if (e->DeleteFlag != 0) {
            char* end = nullptr;
            unsigned long long root = std::strtoull(e->RootKey.c_str(), &end, 10);
            bool accepted = !e->RootKey.empty() && *end == '\0' && root >= 0x80000000ull && root <= 0x80000006ull;
            if (accepted) {
                uint32_t handle = static_cast<uint32_t>(root);
                if (e->ValueName.empty()) {
                    if (registry.KeyExists(handle, e->Path)) registry.DeleteKey(handle, e->Path);
                } else if (registry.KeyExists(handle, e->Path)) {
                    registry.DeleteValue(handle, e->Path, e->ValueName);
                }
            }
        }
        ShowProgress(++counter, total);
    }
    if (IsVistaOrLater()) {
        for (const auto& e : entries) {
            bool quickLaunch = e->EntryKind == ukFile && e->Path.find("\\Microsoft\\Internet Explorer\\Quick Launch") !=
                                                             std::string::npos;
            if (quickLaunch && e->Path.size() >= 4 && e->Path.compare(e->Path.size() - 4, 4, ".lnk") == 0) {
                InvokeTaskbarVerb(e->Path, "从任务栏脱离");
            }
        }
    }
    for (const auto& e : entries) {
        if (e->EntryKind != ukFile) continue;
        if (e->DeleteFlag != 0 && OS().Files().FileExists(e->Path)) OS().Files().DeleteFile(e->Path);
        ShowProgress(++counter, total);
    }
    for (const auto& e : entries) {
        if (e->EntryKind != ukFolder) continue;
        if (e->DeleteFlag != 0) RemoveEmptyTree(e->Path);
        ShowProgress(++counter, total);
    }
    std::string key = UninstallKeyPath(record_.PackageId());
    if (registry.KeyExists(kHkeyLocalMachine, key)) registry.DeleteKey(kHkeyLocalMachine, key);
}

void TfrmUnInstall::Button1Click() {
    // The passes run once: the buttons stay disabled while they run.
    if (removing_) return;
    removing_ = true;
    Button1.SetEnabled(false);
    Button2.SetEnabled(false);
    RemoveEverything();
    OS().Dialogs().MessageBox("“" + record_.ProjectName() + "”卸载成功！", "", kMbIconInformation | kMbOk);
    Close();
    if (OS().Files().FileExists(recordPath_)) OS().Files().DeleteFile(recordPath_);
    DeleteSelfAfterExit(OS().System().GetOwnExecutablePath());
}

std::string SelfDeleteBatchText(const std::string& ownPath) {
    return ":try\r\ndel \"" + ownPath + "\"\r\nif exist \"" + ownPath + "\" goto try\r\ndel %0\r\n";
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
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
        std::string path = folder + "_deleteme-" + suffix + ".bat";
        if (OS().Files().FileExists(path)) continue;
        try {
            OpenFile(path, OpenMode::Create)->WriteBytes(text);
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
