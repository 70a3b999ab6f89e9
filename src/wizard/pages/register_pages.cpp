#include "wizard/pages/addons_task_form.h"
#include "wizard/pages/begin_ins_form.h"
#include "wizard/pages/end_ins_form.h"
#include "wizard/pages/fist_form.h"
#include "wizard/pages/page.h"
#include "wizard/pages/ready_ins_form.h"

namespace setup {

namespace {
template <typename T>
PageFactory Factory() {
    return [](ui::Control& host) -> std::unique_ptr<TPage> { return std::make_unique<T>(host); };
}
}  // namespace

void RegisterWizardPages() {
    RegisterPageClass("TfrmFist", Factory<TfrmFist>());
    // The choice pages (agreement, readme, Start-menu folder, components,
    // installation folder) are registered without a factory until they are
    // built; the frame skips them.
    for (const char* name :
         {"TfrmProtocol", "TfrmSoftExplaion", "TfrmStartFolder", "TfrmSelComponent", "TfrmSelectInstallDir"}) {
        RegisterPageClass(name, nullptr);
    }
    RegisterPageClass("TfrmAddonsTask", Factory<TfrmAddonsTask>());
    RegisterPageClass("TfrmReadyIns", Factory<TfrmReadyIns>());
    RegisterPageClass("TfrmBeginIns", Factory<TfrmBeginIns>());
    RegisterPageClass("TfrmEndIns", Factory<TfrmEndIns>());
}

}  // namespace setup
