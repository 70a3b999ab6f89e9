#include "platform/deployment_platform.h"

#include "platform/errors.h"
#include "platform/registry_roots.h"
#include "platform/run_log.h"
#include "platform/text.h"

namespace setup {

namespace {

// Files written under a temporary name beside their target (".~new", ".~new2")
// and the backups of replaced files (".~bak") are steps of one change: the
// log names the file that results, not the steps. The run's journal
// (".~jnl") is no change of the machine at all.
bool IsStepName(const std::string& path) {
    size_t dot = FindLastChar(path, '.');
    if (dot == std::string::npos) return false;
    std::string suffix = AsciiLowerCase(path.substr(dot));
    return suffix.rfind(".~new", 0) == 0 || suffix.rfind(".~bak", 0) == 0 || suffix == ".~jnl";
}

std::string KeyText(uint32_t root, const std::string& path) {
    return RootKeyName(root) + "\\" + (path.empty() || path[0] != '\\' ? path : path.substr(1));
}

std::string ValueText(uint32_t root, const std::string& path, const std::string& name) {
    return KeyText(root, path) + "\\" + (name.empty() ? "(默认)" : name);
}

std::string Outcome(bool ok) { return ok ? "" : "（失败）"; }

std::string IconName(uint32_t flags) {
    switch (flags & 0xF0) {
        case kMbIconStop:
            return "错误";
        case kMbIconQuestion:
            return "问题";
        case kMbIconWarning:
            return "警告";
        case kMbIconInformation:
            return "信息";
        default:
            return "消息";
    }
}

std::string AnswerName(int answer) {
    switch (answer) {
        case kIdOk:
            return "确定";
        case kIdCancel:
            return "取消";
        case kIdYes:
            return "是";
        case kIdNo:
            return "否";
        default:
            return std::to_string(answer);
    }
}

}  // namespace

DeploymentPlatform::DeploymentPlatform(BoxMode boxes)
    : ForwardingPlatform(OS()),
      files_(Inner().Files()),
      registry_(Inner().Registry()),
      shell_(Inner().Shell()),
      dialogs_(Inner().Dialogs(), boxes) {
    SetPlatform(this);
}

DeploymentPlatform::~DeploymentPlatform() { SetPlatform(&Inner()); }

int DeploymentPlatform::UnattendedAnswer(uint32_t flags) {
    switch (flags & 0x0F) {
        case kMbYesNo:
            return kIdNo;
        default:
            return kIdOk;
    }
}

// ---- files -------------------------------------------------------------------

bool DeploymentPlatform::LoggedFiles::CreateFolderTree(const std::string& path) {
    bool existed = Inner().FolderExists(path);
    bool ok = Inner().CreateFolderTree(path);
    if (!existed) LogLine("文件夹：" + path + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedFiles::CreateFolderNew(const std::string& path, FolderAccess access) {
    bool ok = Inner().CreateFolderNew(path, access);
    LogLine("文件夹：" + path + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedFiles::RemoveFolder(const std::string& path) {
    bool ok = Inner().RemoveFolder(path);
    if (ok) LogLine("删除文件夹：" + path);
    return ok;
}

bool DeploymentPlatform::LoggedFiles::DeleteFile(const std::string& path) {
    bool ok = Inner().DeleteFile(path);
    if (!IsStepName(path)) LogLine("删除文件：" + path + Outcome(ok));
    return ok;
}

void DeploymentPlatform::LoggedFiles::MoveFile(const std::string& from, const std::string& to, MoveMode mode) {
    try {
        Inner().MoveFile(from, to, mode);
    } catch (const Error& e) {
        // A written file that cannot take its place is the caller's to
        // report: it may still take it when Windows restarts.
        if (!IsStepName(to) && !IsStepName(from))
            LogLine("移动文件：" + from + " -> " + to + "（失败：" + e.what() + "）");
        throw;
    }
    if (IsStepName(to)) return;  // a replaced file put aside until the run ends
    LogLine((IsStepName(from) ? "文件：" : "移动文件：" + from + " -> ") + to);
}

bool DeploymentPlatform::LoggedFiles::MoveAtRestart(const std::string& from, const std::string& to) {
    bool ok = Inner().MoveAtRestart(from, to);
    std::string what = to.empty() ? "重新启动后删除：" + from : "重新启动后替换：" + to + " <- " + from;
    LogLine(what + (ok ? "" : "（失败）"));
    return ok;
}

bool DeploymentPlatform::LoggedFiles::CopyFileNoReplace(const std::string& from, const std::string& to) {
    bool ok = Inner().CopyFileNoReplace(from, to);
    LogLine("复制文件：" + from + " -> " + to + Outcome(ok));
    return ok;
}

std::unique_ptr<Stream> DeploymentPlatform::LoggedFiles::Open(const std::string& path, OpenMode mode) {
    bool writes = mode == OpenMode::Create || mode == OpenMode::CreateNew || mode == OpenMode::CreateNewProtected ||
                  mode == OpenMode::ReadWrite;
    if (!writes || IsStepName(path)) return Inner().Open(path, mode);
    try {
        std::unique_ptr<Stream> stream = Inner().Open(path, mode);
        LogLine("文件：" + path);
        return stream;
    } catch (const Error& e) {
        // A new file refused where something holds the name is how the
        // caller learns of an earlier file; it then writes beside it.
        bool creatingNew = mode == OpenMode::CreateNew || mode == OpenMode::CreateNewProtected;
        if (!(creatingNew && Inner().GetAttributes(path))) LogLine("文件：" + path + "（失败：" + e.what() + "）");
        throw;
    }
}

// ---- registry ----------------------------------------------------------------

bool DeploymentPlatform::LoggedRegistry::CreateKey(uint32_t root, const std::string& path) {
    bool existed = Inner().KeyExists(root, path);
    bool ok = Inner().CreateKey(root, path);
    if (!existed) LogLine("注册表项：" + KeyText(root, path) + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedRegistry::WriteString(uint32_t root, const std::string& path, const std::string& name,
                                                     const std::string& value) {
    bool ok = Inner().WriteString(root, path, name, value);
    LogLine("注册表值：" + ValueText(root, path, name) + " = \"" + value + "\"" + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedRegistry::WriteDword(uint32_t root, const std::string& path, const std::string& name,
                                                    uint32_t value) {
    bool ok = Inner().WriteDword(root, path, name, value);
    LogLine("注册表值：" + ValueText(root, path, name) + " = " + std::to_string(value) + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedRegistry::WriteBinary(uint32_t root, const std::string& path, const std::string& name,
                                                     const std::string& bytes) {
    bool ok = Inner().WriteBinary(root, path, name, bytes);
    LogLine("注册表值：" + ValueText(root, path, name) + "（" + std::to_string(bytes.size()) + " 字节）" + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedRegistry::WriteValue(uint32_t root, const std::string& path, const RegValue& value) {
    bool ok = Inner().WriteValue(root, path, value);
    std::optional<std::string> text = RegValueText(value);
    LogLine("注册表值：" + ValueText(root, path, value.Name) + (text ? " = \"" + *text + "\"" : "") + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedRegistry::DeleteValue(uint32_t root, const std::string& path, const std::string& name) {
    bool ok = Inner().DeleteValue(root, path, name);
    if (ok) LogLine("删除注册表值：" + ValueText(root, path, name));
    return ok;
}

bool DeploymentPlatform::LoggedRegistry::DeleteKey(uint32_t root, const std::string& path) {
    bool ok = Inner().DeleteKey(root, path);
    LogLine("删除注册表项：" + KeyText(root, path) + Outcome(ok));
    return ok;
}

// ---- shell -------------------------------------------------------------------

namespace {
std::string StartText(const ShellExecuteRequest& request, const ShellExecuteResult& result) {
    std::string text = "启动程序：" + request.File;
    if (!request.Parameters.empty()) text += " " + request.Parameters;
    if (!request.Verb.empty()) text += "（" + request.Verb + "）";
    if (request.AsUser) text += "（以启动安装程序的用户身份）";
    if (!result.Ok) text += "（失败，错误 " + std::to_string(result.LastError) + "）";
    return text;
}
}  // namespace

ShellExecuteResult DeploymentPlatform::LoggedShell::ShellExecuteEx(const ShellExecuteRequest& request) {
    ShellExecuteResult result = Inner().ShellExecuteEx(request);
    LogLine(StartText(request, result));
    return result;
}

ShellExecuteResult DeploymentPlatform::LoggedShell::ShellExecuteAndWait(const ShellExecuteRequest& request,
                                                                        const std::function<void()>& pump) {
    ShellExecuteResult result = Inner().ShellExecuteAndWait(request, pump);
    std::string text = StartText(request, result);
    if (result.Ok) text += "，退出代码 " + std::to_string(result.ExitCode);
    LogLine(text);
    return result;
}

uint32_t DeploymentPlatform::LoggedShell::WinExec(const std::string& commandLine, int show) {
    uint32_t result = Inner().WinExec(commandLine, show);
    LogLine("启动程序：" + commandLine + Outcome(result > 31));
    return result;
}

bool DeploymentPlatform::LoggedShell::CreateProcessHidden(const std::string& commandLine) {
    bool ok = Inner().CreateProcessHidden(commandLine);
    LogLine("启动程序：" + commandLine + Outcome(ok));
    return ok;
}

bool DeploymentPlatform::LoggedShell::SaveShellLink(const ShellLink& link, const std::string& linkFile) {
    bool ok = Inner().SaveShellLink(link, linkFile);
    LogLine("快捷方式：" + linkFile + " -> " + link.Path + Outcome(ok));
    return ok;
}

int DeploymentPlatform::LoggedShell::InvokeItemVerbs(const std::string& file, const std::string& verbFragment) {
    int count = Inner().InvokeItemVerbs(file, verbFragment);
    LogLine("任务栏：" + verbFragment + " " + file + (count > 0 ? "" : "（无此操作）"));
    return count;
}

bool DeploymentPlatform::LoggedShell::RequestRestart() {
    bool ok = Inner().RequestRestart();
    LogLine("重新启动 Windows" + Outcome(ok));
    return ok;
}

// ---- dialogs -----------------------------------------------------------------

int DeploymentPlatform::LoggedDialogs::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
    std::string head = IconName(flags) + "框" + (caption.empty() ? "" : "［" + caption + "］") + "：";
    if (mode_ == BoxMode::LogOnly) {
        int answer = UnattendedAnswer(flags);
        LogLine(head + text);
        if ((flags & 0x0F) != kMbOk) LogLine("（静默运行，回答“" + AnswerName(answer) + "”）");
        return answer;
    }
    int answer = Inner().MessageBox(text, caption, flags);
    LogLine(head + text);
    if ((flags & 0x0F) != kMbOk) LogLine("（回答“" + AnswerName(answer) + "”）");
    return answer;
}

}  // namespace setup
