#include "uninstaller/uninstall_entry.h"

#include "platform/common.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "uninstaller/uninstall_form.h"

namespace setup {

int UninstallMain() {
    try {
        if (IsVistaOrLater(GetOSVersionText()) && OS().System().GetArguments().empty()) {
            RunElevated(OS().System().GetOwnExecutablePath(), "-1");
            return 0;
        }
        TfrmUnInstall window;
        window.ShowModal();
        return window.ExitCode();
    } catch (const std::exception& error) {
        OS().Dialogs().MessageBox(std::string("卸载程序因错误而终止。\r\n\r\n") + error.what(), "卸载程序",
                                  kMbIconStop | kMbOk | kMbTaskModal);
        return 1;
    }
}

}  // namespace setup
