// The text of "makesetup new": a commented project file with a fresh identity.
#include <cstdio>
#include <random>

#include "platform/text.h"
#include "project_file.h"

namespace setup::makesetup {

std::string NewProjectFileText() {
    std::random_device random;
    char id[40];
    unsigned parts[8];
    for (unsigned& p : parts) p = random() & 0xFFFF;
    std::snprintf(id, sizeof id, "%04X%04X-%04X-%04X-%04X-%04X%04X%04X", parts[0], parts[1], parts[2],
                  (parts[3] & 0x0FFF) | 0x4000, (parts[4] & 0x3FFF) | 0x8000, parts[5], parts[6], parts[7]);
    // Literals are GBK; the project file is UTF-8.
    return GbkToUtf8(
        std::string("# A setup project for makesetup. Paths are relative to this file, with \"/\".\n"
                    "\n"
                    "[package]\n"
                    "id = \"") +
        id +
        "\"                  # the package identity; keep it for every version\n"
        "source_root = 'C:\\Project'    # how the author's paths are recorded\n"
        "# file_time = 2024-01-01T00:00:00   # one time for every file (else each file's own)\n"
        "# uninstaller = \"uninstall.exe\"     # the uninstaller program to carry\n"
        "\n"
        "[project]\n"
        "Name = \"My Product\"\n"
        "Version = \"1.0\"\n"
        "Author = \"\"\n"
        "Address = \"\"\n"
        "Displayed = true              # the wizard (false: a quiet installation)\n"
        "Loaded = false                # a loading window while resources are extracted\n"
        "EnableUnIns = true            # install an uninstaller\n"
        "\n"
        "[pages]                        # which wizard pages are shown\n"
        "welcome = true\nagreement = false\nreadme = false\nstartfolder = true\ncomponents = false\n"
        "installdir = true\ntasks = true\nready = true\nprogress = true\nfinish = true\n"
        "\n"
        "[startfolder]\ndefault_folder = \"My Product\"\n"
        "\n"
        "[installdir]\ndefault_path = '[System ProgramFiles]\\My Product'\n"
        "\n"
        "# [[files]]\n"
        "# source = \"files\"              # a file, or a folder taken with everything below it\n"
        "# target = '目标计算机\\Program Files\\'\n"
        "\n"
        "# [[registry]]\n"
        "# key = '目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\My Product'\n"
        "# name = \"Path\"\n"
        "# data = '[安装目录]'\n"
        "# type = \"string\"                # string, dword (data = 10 or \"0x0A\") or binary (data = \"01AB00FF\")\n"
        "\n"
        "# [[shortcut]]\n"
        "# folder = '开始菜单\\'\n"
        "# name = \"My Product\"\n"
        "# target = \"files/app.exe\"\n"
        "# kind = \"link\"                  # link, url or folder\n");
}

}  // namespace setup::makesetup
