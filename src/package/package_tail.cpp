#include "package/package_tail.h"

#include <algorithm>
#include <string>

#include "platform/errors.h"
#include "platform/messages.h"

namespace setup {

namespace {

const char* const kWhat = msg::kWhatSignedProgram;

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;
// The signer pads the file to a multiple of eight bytes before the table.
constexpr int64_t kMaxPadding = 7;

uint16_t U16At(Stream& file, int64_t at) {
    file.Seek(at, SeekOrigin::Begin);
    return file.ReadU16(kWhat);
}

uint32_t U32At(Stream& file, int64_t at) {
    file.Seek(at, SeekOrigin::Begin);
    return file.ReadU32(kWhat);
}

[[noreturn]] void Lies(const std::string& problem) { ThrowDamaged(msg::SecurityDirectoryLies(problem)); }

// True when a package tail ends at `end`: its project offset lies inside the
// file before the tail, and the project stream's chunk lengths lead from it
// exactly to the tail.
bool TailEndsAt(Stream& file, int64_t end) {
    int64_t tail = end - 16;
    if (tail <= 0) return false;
    file.Seek(tail + 8, SeekOrigin::Begin);
    int64_t projectOffset = file.ReadI64(kWhat);
    if (projectOffset <= 0 || projectOffset >= tail) return false;
    int64_t at = projectOffset;
    while (at < tail) {
        if (tail - at < 4) return false;
        int64_t length = U32At(file, at);
        if (length > tail - at - 4) return false;
        at += 4 + length;
    }
    return at == tail;
}

}  // namespace

std::optional<CertificateTable> FindCertificateTable(Stream& file) {
    int64_t size = file.Size();
    if (size < 0x40) return std::nullopt;
    file.Seek(0, SeekOrigin::Begin);
    if (file.ReadBytes(2, kWhat) != "MZ") return std::nullopt;
    int64_t pe = U32At(file, 0x3C);
    if (pe > size - 24) return std::nullopt;
    file.Seek(pe, SeekOrigin::Begin);
    if (file.ReadBytes(4, kWhat) != std::string("PE\0\0", 4)) return std::nullopt;
    int64_t optionalSize = U16At(file, pe + 20);
    int64_t optional = pe + 24;
    int64_t headersEnd = optional + optionalSize;
    if (headersEnd > size || optionalSize < 2) return std::nullopt;
    uint16_t magic = U16At(file, optional);
    int64_t countAt = magic == kPe32Magic ? optional + 92 : magic == kPe32PlusMagic ? optional + 108 : -1;
    if (countAt < 0 || countAt + 4 > headersEnd) return std::nullopt;
    uint32_t directories = U32At(file, countAt);
    int64_t entry = countAt + 4 + int64_t{8} * kSecurityDirectory;
    if (directories <= kSecurityDirectory || entry + 8 > headersEnd) return std::nullopt;
    int64_t offset = U32At(file, entry);
    int64_t length = U32At(file, entry + 4);
    if (offset == 0 && length == 0) return std::nullopt;

    // Unlike other directories, this one holds a file offset, not an address.
    if (offset == 0 || length < 8) Lies(msg::CertificateTableEmpty());
    if (offset < headersEnd) Lies(msg::CertificateTableInHeaders());
    if (offset > size || length > size - offset) {
        Lies(msg::CertificateTablePastEnd(offset, length, size));
    }
    CertificateTable table{offset, length, 0};
    int64_t at = offset, end = offset + length;
    while (at < end) {
        if (end - at < 8) Lies(msg::CertificateEntryCutShort());
        int64_t entryLength = U32At(file, at);
        uint16_t revision = U16At(file, at + 4);
        uint16_t type = U16At(file, at + 6);
        if (entryLength < 8 || entryLength > end - at) {
            Lies(msg::CertificateEntryClaims(at, entryLength));
        }
        if ((revision != 0x0100 && revision != 0x0200) || type < 1 || type > 4) {
            Lies(msg::CertificateEntryNoCertificate(at));
        }
        ++table.Entries;
        // Entries start on eight-byte boundaries; the last one may end unpadded.
        at += (entryLength + 7) / 8 * 8;
    }
    return table;
}

int64_t FindPackageEnd(Stream& file) {
    int64_t size = file.Size();
    std::optional<CertificateTable> table = FindCertificateTable(file);
    if (!table) return size;
    // The signature covers the file up to its certificate table and nothing
    // after it: bytes there (a package appended to a signed program, or a
    // second package appended to a signed one) would install what no one
    // signed while the program still shows a valid signature.
    int64_t tableEnd = table->Offset + table->Size;
    if (tableEnd != size) ThrowDamaged(msg::DataPastCertificates(tableEnd, size - tableEnd));
    int64_t padding = std::min<int64_t>(kMaxPadding, table->Offset);
    file.Seek(table->Offset - padding, SeekOrigin::Begin);
    std::string before = file.ReadBytes(static_cast<size_t>(padding), kWhat);
    for (int64_t zeros = 0; zeros <= padding; ++zeros) {
        if (zeros > 0 && before[static_cast<size_t>(padding - zeros)] != '\0') break;
        if (TailEndsAt(file, table->Offset - zeros)) return table->Offset - zeros;
    }
    ThrowDamaged(msg::NoTailBeforeCertificates(table->Offset));
}

}  // namespace setup
