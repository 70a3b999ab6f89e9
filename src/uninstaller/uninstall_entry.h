// The uninstaller's entry: like the setup program, it relaunches itself
// elevated with "-1" on Windows Vista and later when started without an
// argument; otherwise it shows its window until the user is done. "/S"
// removes everything with no window and no box, "/LOG=FILE" logs the run.
// Returns the exit status: 0 removed, 1 error (nothing removed), 2 closed
// without uninstalling, 3 something could not be removed, 1223 elevation
// refused.
#pragma once

namespace setup {

int UninstallMain();

}  // namespace setup
