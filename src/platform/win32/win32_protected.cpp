// Folders made new by this process, optionally with an access list of their
// own, for files that a process with administrator rights writes and later
// trusts (the setup resources it extracts and then imports or starts).
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_platform.h"

namespace setup::win32 {

bool Win32Files::CreateFolderNew(const std::string& path, FolderAccess access) {
    // The protected list is owned by the administrators, takes nothing from
    // the parent (the system's temporary folder lets every user add to it)
    // and passes its two entries on to every file and folder made inside.
    SECURITY_ATTRIBUTES protectedFolder{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (access == FolderAccess::Protected && ProcessIsElevated()) {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                  SDDL_REVISION_1, &descriptor, nullptr)) {
            return false;  // never an unprotected folder where a protected one was asked for
        }
        protectedFolder.lpSecurityDescriptor = descriptor;
    }
    // CreateDirectoryW fails with ERROR_ALREADY_EXISTS for any name that is
    // taken, a junction or symbolic link included, without following it.
    BOOL made = CreateDirectoryW(Wide(path).c_str(), descriptor ? &protectedFolder : nullptr);
    if (descriptor) LocalFree(descriptor);
    return made != FALSE;
}

}  // namespace setup::win32
