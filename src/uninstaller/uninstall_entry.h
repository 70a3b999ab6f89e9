// The uninstaller's entry: like the setup program, it relaunches itself
// elevated with "-1" on Windows Vista and later when started without an
// argument; otherwise it shows its window until the user is done.
#pragma once

namespace setup {

int UninstallMain();

}  // namespace setup
