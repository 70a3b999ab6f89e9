// A minimal 32-bit PE program image (headers only, no sections) that code
// signing tools accept, and a certificate table appended the way a signer
// appends it, for the tests of signed setup programs.
#pragma once

#include <cstdint>
#include <string>

namespace setup::testing_package {

inline void PutU16(std::string& bytes, size_t at, uint16_t v) {
    bytes[at] = static_cast<char>(v);
    bytes[at + 1] = static_cast<char>(v >> 8);
}

inline void PutU32(std::string& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// Offsets in MinimalPe(): the PE header at 0x40, the optional header at 0x58.
inline constexpr size_t kPeSecurityDirectory = 0x58 + 96 + 4 * 8;

inline std::string MinimalPe() {
    std::string pe(0x200, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    PutU32(pe, 0x3C, 0x40);
    pe.replace(0x40, 4, std::string("PE\0\0", 4));
    PutU16(pe, 0x44, 0x14C);   // i386
    PutU16(pe, 0x54, 0xE0);    // size of the optional header
    PutU16(pe, 0x56, 0x0102);  // executable, 32-bit
    size_t o = 0x58;
    PutU16(pe, o, 0x10B);
    PutU32(pe, o + 28, 0x400000);  // image base
    PutU32(pe, o + 32, 0x1000);    // section alignment
    PutU32(pe, o + 36, 0x200);     // file alignment
    PutU16(pe, o + 40, 4);
    PutU16(pe, o + 48, 4);
    PutU32(pe, o + 56, 0x1000);  // size of image
    PutU32(pe, o + 60, 0x200);   // size of headers
    PutU16(pe, o + 68, 2);       // GUI subsystem
    PutU32(pe, o + 72, 0x100000);
    PutU32(pe, o + 76, 0x1000);
    PutU32(pe, o + 80, 0x100000);
    PutU32(pe, o + 84, 0x1000);
    PutU32(pe, o + 92, 16);  // data directories
    return pe;
}

// Appends a certificate table of one PKCS#7 entry of `content` bytes after
// zero padding to eight bytes, and points the security directory at it.
inline std::string SignLikeASigner(std::string file, size_t content = 1400) {
    file.append((8 - file.size() % 8) % 8, '\0');
    size_t offset = file.size();
    size_t length = (8 + content + 7) / 8 * 8;
    std::string entry(length, '\x5A');
    PutU32(entry, 0, static_cast<uint32_t>(length));
    PutU16(entry, 4, 0x0200);
    PutU16(entry, 6, 0x0002);
    file += entry;
    PutU32(file, kPeSecurityDirectory, static_cast<uint32_t>(offset));
    PutU32(file, kPeSecurityDirectory + 4, static_cast<uint32_t>(length));
    return file;
}

}  // namespace setup::testing_package
