// The failures of the whole program. Every failure is an exception of the one
// type Error carrying a kind and a message; the kind lets callers tell the
// silent abort (discarded by event handling) and damaged input apart from the
// rest without parsing messages.
#pragma once

#include <stdexcept>
#include <string>

namespace setup {

enum class ErrorKind {
    Decompression,  // a zlib stream that cannot be inflated ("error")
    Compression,    // a zlib stream that cannot be produced ("error")
    Conversion,     // text that is not valid in its encoding, or not a boolean
    Damaged,        // a package, record or file whose bytes are inconsistent
    Os,             // the operating system refused an operation
    Format,         // a text file (INI, .reg, project file) that does not parse
    SilentAbort,    // the user cancelled; unwinds like an error, shown by no one
};

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    ErrorKind Kind() const { return kind_; }

private:
    ErrorKind kind_;
};

// The name of a kind as error reports show it to the user (GBK: "安装包已损坏").
const char* ErrorKindName(ErrorKind kind);

[[noreturn]] void ThrowDecompressionError();
[[noreturn]] void ThrowCompressionError();
[[noreturn]] void ThrowConversionError(const std::string& message);
[[noreturn]] void ThrowDamaged(const std::string& message);
[[noreturn]] void ThrowOsError(const std::string& message);
[[noreturn]] void ThrowFormatError(const std::string& message);
[[noreturn]] void ThrowSilentAbort();

}  // namespace setup
