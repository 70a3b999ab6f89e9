#include "startup/setup_entry.h"

#include <map>

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "startup/install_session.h"
#include "ui/backend.h"

namespace setup {

namespace {
std::map<std::string, PageFactory>& Registry() {
    static std::map<std::string, PageFactory> registry;
    return registry;
}

const char* const kPageClasses[] = {"TfrmFist",         "TfrmProtocol",  "TfrmSoftExplaion", "TfrmStartFolder",
                                    "TfrmSelComponent", "TfrmSelectInstallDir", "TfrmAddonsTask", "TfrmReadyIns",
                                    "TfrmBeginIns",     "TfrmEndIns"};

const char* KindText(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Decompression:
            return "解压数据失败";
        case ErrorKind::Compression:
            return "压缩数据失败";
        case ErrorKind::Conversion:
            return "数据转换失败";
        case ErrorKind::Damaged:
            return "安装包已损坏";
        case ErrorKind::Os:
            return "操作系统错误";
        case ErrorKind::Format:
            return "文件格式错误";
        case ErrorKind::SilentAbort:
            return "操作已取消";
    }
    return "错误";
}
}  // namespace

std::string& ProgramFolder() {
    static std::string folder;
    return folder;
}

std::string& MusicFile() {
    static std::string file;
    return file;
}

void RegisterPageClass(const std::string& name, PageFactory factory) { Registry()[name] = std::move(factory); }

bool IsPageClassRegistered(const std::string& name) { return Registry().count(name) != 0; }

std::vector<std::string> RegisteredPageClasses() {
    std::vector<std::string> names;
    for (const auto& [name, factory] : Registry()) names.push_back(name);
    return names;
}

void UnregisterPageClasses() { Registry().clear(); }

std::string ErrorReportText(const std::exception& error) {
    const auto* e = dynamic_cast<const Error*>(&error);
    std::string kind = e ? KindText(e->Kind()) : "程序错误";
    return "安装程序因错误而终止。\r\n\r\n" + kind + "：" + error.what();
}

int SetupMain() {
    // Module initialisation.
    std::string own = OS().System().GetOwnExecutablePath();
    ProgramFolder() = own.substr(0, own.rfind('\\') + 1);
    for (const char* name : kPageClasses) RegisterPageClass(name, nullptr);
    SetMessagePump([] { ui::Application::ProcessMessages(); });

    int status = 0;
    try {
        if (IsVistaOrLater(GetOSVersionText()) && OS().System().GetArguments().empty()) {
            RunElevated(own, "-1");
        } else {
            TInstall session;
            session.Run();
            if (session.FinishedWithFailures()) status = 3;
        }
    } catch (const std::exception& error) {
        // The session is gone by now (its temporary files deleted).
        OS().Dialogs().MessageBox(ErrorReportText(error), WizardTitle().empty() ? "安装程序" : WizardTitle(),
                                  kMbIconStop | kMbOk | kMbTaskModal);
        status = 1;
    }
    UnregisterPageClasses();
    WizardTitle().clear();
    MusicFile().clear();
    ProgramFolder().clear();
    return status;
}

}  // namespace setup
