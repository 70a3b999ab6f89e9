// The machine's own host files (machine.ini, registry.reg, effects.jsonl,
// file-metadata.txt, taskbar.txt) and folders (the root, one per drive). A
// program on the machine writes them with the host user's rights, so none of
// them may lead out of the root: a root, drive folder or machine file that is
// a link, or a file with a second name (a hard link), is refused when the
// machine opens, and the files are rewritten without following links.
#pragma once

#include <string>

namespace setup::sandbox {

// The names of the machine's own files in its root.
extern const char* const kMachineFiles[6];

// Raises an Os error naming the first of the root (a host path, its last
// level not followed), its drive folders and its machine files that is a
// link, is a file with more than one name, or is not a folder (a file) where
// one belongs.
void RefuseLinkedMachineFiles(const std::string& root);

// Replaces file with bytes in one step: written to a fresh temporary file
// beside it (whatever held that name goes first, a planted link included,
// and the new one is never followed), then renamed over it, which replaces a
// link at the name instead of writing where it leads. Raises an Os error
// naming file when it cannot.
void ReplaceMachineFile(const std::string& file, const std::string& bytes);

}  // namespace setup::sandbox
