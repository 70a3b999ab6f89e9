// What the package maker does with a plan or a finished package: build it
// onto a stub, print it, check it, and write its files out.
#pragma once

#include <iosfwd>
#include <string>

#include "project_file.h"

namespace setup::makesetup {

// Each compression thread holds a few chunks: beyond this many threads the
// memory grows and nothing gets faster.
inline constexpr unsigned kMaxCompressionThreads = 64;

struct BuildOptions {
    std::string Stub;  // host path of the program to append to; empty: none
    // The smallest packages by default: the threads pay for the slower
    // deflater, and every reader inflates any level alike.
    TCompressLevelEnum Level = cplPress;
    size_t Chunk = kChunkBlockSize;
    // Threads compressing chunks; 0: one per processor. 1 compresses on the
    // calling thread. The package is the same whatever the number.
    unsigned Jobs = 0;
};

// Writes the package (through a temporary file, closed and checked, renamed
// into place at the end, so a failed build leaves no half-written output and
// an earlier output stays as it was). Refuses a model that breaks the item
// rules (Format error listing them) and an output, or its temporary file,
// that is one of the build's inputs (Os error). Progress goes to log.
void BuildPackage(BuildPlan& plan, const BuildOptions& options, const std::string& output, std::ostream& log);

// Prints the settings, lists, items and sizes of a package (UTF-8).
void InspectPackage(const std::string& package, std::ostream& out);
// Inflates every item and the project stream and checks sizes and bounds,
// raising an error naming the first problem; then applies the item rules and
// the switch values, prints every violation to out ("violation: ...") and
// raises a Format error counting them.
void VerifyPackage(const std::string& package, std::ostream& out);
// Writes every item with data below dir, at its recorded path relative to the
// folder all recorded paths share. Refuses paths that would leave dir.
void ExtractPackage(const std::string& package, const std::string& dir, std::ostream& out);

}  // namespace setup::makesetup
