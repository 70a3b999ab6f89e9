// Files of the simulated machine are host files: this private part of the
// sandbox's file system wraps a host file descriptor as a Stream and names
// what a failed host call means in the words Windows would use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os.h"

namespace setup::sandbox {

// What a failed host call (its errno) means on the simulated machine.
std::string HostReason(int error);

// A stream that owns the host file descriptor fd and closes it when it ends.
// name is the machine's path of the file, used in the errors it raises.
// budget, when not null, is what the drive still takes: a write beyond it
// stores what fits and fails as on a full disk.
std::unique_ptr<Stream> MakeHostFileStream(int fd, std::string name, int64_t* budget);

}  // namespace setup::sandbox
