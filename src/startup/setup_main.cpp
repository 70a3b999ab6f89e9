// The setup program.
#include "startup/setup_entry.h"
#include "ui/program_host.h"

int main(int argc, char** argv) { return setup::ui::RunProgram(argc, argv, setup::SetupMain); }
