// Where the package ends inside a setup program's file. Code signing appends
// a certificate table after the package and points the executable's security
// directory at it, so in a signed file the package tail lies just before the
// table (after at most seven zero bytes with which the signer aligns the
// table), not at the end of the file. The signature covers nothing after the
// table, so a signed file must end with it. Every offset is checked against
// the file before it is used.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/stream.h"

namespace setup {

// The attribute certificate table named by a PE file's security directory.
struct CertificateTable {
    int64_t Offset = 0;  // file offset of the first entry
    int64_t Size = 0;
    int Entries = 0;
};

// The certificate table of a signed PE file; nothing for a file that is no PE
// or names no table. Raises Damaged for a security directory that lies: a
// table outside the file or inside its headers, or entries that do not fill
// the table exactly with plausible headers.
std::optional<CertificateTable> FindCertificateTable(Stream& file);

// The offset just past the package tail: the file size for a file without a
// certificate table, or the start of the table less the signer's zero padding.
// Raises Damaged when anything follows the table (a package appended after
// the signature lies outside it), when no package tail whose project stream
// runs exactly up to the table lies before it, and for a lying security
// directory (see FindCertificateTable).
int64_t FindPackageEnd(Stream& file);

}  // namespace setup
