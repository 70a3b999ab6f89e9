// Folders made new by this process on the simulated machine. The machine has
// no access lists, so a protected folder is a new folder; what it does keep is
// that a name already taken, a planted host link above all, is refused and
// never followed.
#include <sys/stat.h>

#include "platform/sandbox/sandbox_files.h"

namespace setup::sandbox {

bool SandboxFiles::CreateFolderNew(const std::string& path, FolderAccess access) {
    (void)access;
    HostPath hp = paths_.Resolve(path);
    // Not writable: outside the root, or through a link on the host.
    if (!hp.Valid || !hp.Writable) return false;
    struct stat st;
    if (lstat(hp.Host.c_str(), &st) == 0) return false;
    // mkdir refuses a name that appeared meanwhile, a dangling link included.
    if (mkdir(hp.Host.c_str(), 0755) != 0) return false;
    paths_.NoteAdded(hp.Host);
    return true;
}

}  // namespace setup::sandbox
