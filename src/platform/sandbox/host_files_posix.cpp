#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "platform/common.h"
#include "platform/host_files.h"

namespace setup {

std::optional<double> HostFileDateTime(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    struct tm local;
    time_t seconds = st.st_mtim.tv_sec;
    if (!localtime_r(&seconds, &local)) return std::nullopt;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec);
}

std::string HostProgramFolder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string text(path, static_cast<size_t>(n));
    return text.substr(0, text.find_last_of('/'));
}

std::string FindHostProgram(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return "";
    // Unlike execvp, which takes an empty entry for the current folder and
    // searches a default path when PATH is unset.
    const char* path = std::getenv("PATH");
    if (path == nullptr) return "";
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = std::min(folders.find(':', start), folders.size());
        std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder[0] != '/') continue;
        std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return "";
}

int RunHostProgram(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return -1;
    std::string program = arguments[0].find('/') == std::string::npos ? FindHostProgram(arguments[0]) : arguments[0];
    if (program.empty()) return -1;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    argv.reserve(copies.size() + 1);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    if (!WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
}

}  // namespace setup
