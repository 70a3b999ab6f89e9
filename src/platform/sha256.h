// SHA-256 (FIPS 180-4), small and self-contained: the digest that ties the
// uninstall record on disk to the product's Uninstall entry, so that an edited
// record is recognised before anything is removed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

// The 32-byte digest of bytes.
std::array<uint8_t, 32> Sha256(std::string_view bytes);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace setup
