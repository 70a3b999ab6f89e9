#include "wizard/pages/addons_task_form.h"
#include "wizard/pages/begin_ins_form.h"
#include "wizard/pages/end_ins_form.h"
#include "wizard/pages/fist_form.h"
#include "wizard/pages/page.h"
#include "wizard/pages/protocol_form.h"
#include "wizard/pages/ready_ins_form.h"
#include "wizard/pages/sel_component_form.h"
#include "wizard/pages/select_install_dir_form.h"
#include "wizard/pages/start_folder_form.h"

namespace setup {

namespace {
template <typename T>
PageFactory Factory() {
    return [](ui::Control& host) -> std::unique_ptr<TPage> { return std::make_unique<T>(host); };
}
}  // namespace

void RegisterWizardPages() {
    RegisterPageClass("TfrmFist", Factory<TfrmFist>());
    RegisterPageClass("TfrmProtocol", Factory<TfrmProtocol>());
    RegisterPageClass("TfrmSoftExplaion", Factory<TfrmSoftExplaion>());
    RegisterPageClass("TfrmStartFolder", Factory<TfrmStartFolder>());
    RegisterPageClass("TfrmSelComponent", Factory<TfrmSelComponent>());
    RegisterPageClass("TfrmSelectInstallDir", Factory<TfrmSelectInstallDir>());
    RegisterPageClass("TfrmAddonsTask", Factory<TfrmAddonsTask>());
    RegisterPageClass("TfrmReadyIns", Factory<TfrmReadyIns>());
    RegisterPageClass("TfrmBeginIns", Factory<TfrmBeginIns>());
    RegisterPageClass("TfrmEndIns", Factory<TfrmEndIns>());
}

}  // namespace setup
