#include "platform/sandbox/machine_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/errors.h"

namespace setup::sandbox {

const char* const kMachineFiles[6] = {"machine.ini",   "registry.reg",      "registry.reg.changes",
                                      "effects.jsonl", "file-metadata.txt", "taskbar.txt"};

void RefuseLinkedMachineFiles(const std::string& root) {
    struct stat st;
    auto refuse = [](const std::string& path, const char* what) {
        ThrowOsError("The sandbox's " + path + " is " + what + ": refused, so that nothing is written outside it");
    };
    std::string bare = root;
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    if (lstat(bare.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) refuse(bare, "a link");
    for (char letter = 'A'; letter <= 'Y'; ++letter) {
        std::string drive = bare + "/" + std::string(1, letter);
        if (lstat(drive.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) refuse(drive, "a link");
        if (!S_ISDIR(st.st_mode)) refuse(drive, "no folder");
    }
    for (const char* name : kMachineFiles) {
        std::string file = bare + "/" + name;
        if (lstat(file.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) refuse(file, "a link");
        if (!S_ISREG(st.st_mode)) refuse(file, "no file");
        if (st.st_nlink > 1) refuse(file, "a file with another name (a hard link)");
    }
}

void ReplaceMachineFile(const std::string& file, const std::string& bytes) {
    std::string temp = file + ".tmp";
    if (unlink(temp.c_str()) != 0 && errno != ENOENT) ThrowOsError("Cannot replace the sandbox file " + file);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) ThrowOsError("Cannot write the sandbox file " + temp);
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            unlink(temp.c_str());
            ThrowOsError("Cannot write the sandbox file " + temp);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || std::rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        ThrowOsError("Cannot replace the sandbox file " + file);
    }
}

}  // namespace setup::sandbox
