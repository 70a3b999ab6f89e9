// The uninstaller program.
#include "ui/program_host.h"
#include "uninstaller/uninstall_entry.h"

int main(int argc, char** argv) { return setup::ui::RunProgram(argc, argv, setup::UninstallMain); }
