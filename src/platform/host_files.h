// The files of the host machine, for the package maker: it reads the author's
// files and writes packages on the machine it runs on, not on a simulated
// one. Paths are UTF-8 on every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/stream.h"

namespace setup {

struct HostEntry {
    std::string Name;  // UTF-8
    bool IsFolder = false;
    int64_t Size = 0;
};

// A host file being written. The system may hold written bytes back until
// the file is closed and fail only then (a full disk, a quota), so whoever
// writes a file that must be whole closes it with Close and learns of it.
class HostFileStream : public Stream {
public:
    // Flushes and closes the file; raises an Os error naming it when not every
    // byte reached it. Later reads and writes fail; a second Close does nothing.
    virtual void Close() = 0;
};

// Opens a host file; raises an Os error naming the path on failure.
std::unique_ptr<Stream> OpenHostFile(const std::string& path, OpenMode mode);
// Creates (or truncates) a host file for writing; raises an Os error naming
// the path on failure.
std::unique_ptr<HostFileStream> CreateHostFile(const std::string& path);
std::string ReadHostFile(const std::string& path);
// Writes the whole file and closes it, raising an Os error when it could not.
void WriteHostFile(const std::string& path, const std::string& bytes);
// Appends to a host file, creating it when missing.
void AppendHostFile(const std::string& path, const std::string& bytes);
bool HostFileExists(const std::string& path);
bool HostFolderExists(const std::string& path);
// Whether both paths name one existing file (through links and different
// spellings of the same path); false when either does not exist.
bool SameHostFile(const std::string& a, const std::string& b);
// The size of a host file in bytes; raises an Os error when it cannot be read.
int64_t HostFileSize(const std::string& path);
// Replaces to with from (both on the same volume).
void RenameHostFile(const std::string& from, const std::string& to);
void RemoveHostFile(const std::string& path);
void CreateHostFolders(const std::string& path);
// The entries of a folder, sorted by name (byte order), so that walks are
// reproducible.
std::vector<HostEntry> ListHostFolder(const std::string& path);
// The folder of the running program (UTF-8), without a trailing separator.
std::string HostProgramFolder();
// Marks a host file executable (where the host knows such a mark).
void MakeHostFileExecutable(const std::string& path);
// The last-write time of a host file as a local date-time (days since
// 1899-12-30), or nothing.
std::optional<double> HostFileDateTime(const std::string& path);
// The absolute path (UTF-8) of the program `name`, a file name without a
// folder, in the first folder of the search path (PATH) that holds it; ""
// when none does. Only absolute folders are searched: never the current
// folder (an empty or "." entry, or the folders Windows searches before
// PATH) and never the running program's folder, so a program of that name
// planted where a command is run, or beside a package, is never started.
// On Windows a name without an extension is looked for as NAME.exe.
std::string FindHostProgram(const std::string& name);
// Runs a host program with this process's standard streams and waits for it.
// The arguments are UTF-8; the first is the program: a path, or a name
// without a folder, found by FindHostProgram. Returns its exit status, or -1
// when it was not found or could not be started.
int RunHostProgram(const std::vector<std::string>& arguments);

}  // namespace setup
