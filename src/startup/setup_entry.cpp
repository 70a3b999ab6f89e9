#include "startup/setup_entry.h"

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"
#include "startup/install_session.h"
#include "ui/backend.h"
#include "wizard/pages/page.h"

namespace setup {

std::string& ProgramFolder() {
    static std::string folder;
    return folder;
}

int SetupMain() {
    // Module initialisation.
    std::string own = OS().System().GetOwnExecutablePath();
    size_t cut = FindLastChar(own, '\\');
    ProgramFolder() = cut == std::string::npos ? std::string() : own.substr(0, cut + 1);
    RegisterWizardPages();
    SetMessagePump([] { ui::Application::ProcessMessages(); });

    int status = 0;
    try {
        if (IsVistaOrLater(GetOSVersionText()) && OS().System().GetArguments().empty()) {
            RunElevated(own, "-1");
        } else {
            TInstall session;
            session.Run();
            status = session.ExitStatus();
            if (status == 0 && session.FinishedWithFailures()) status = 3;
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
