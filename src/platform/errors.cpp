#include "platform/errors.h"

namespace setup {

const char* ErrorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Decompression:
            return "decompression failure";
        case ErrorKind::Compression:
            return "compression failure";
        case ErrorKind::Conversion:
            return "conversion failure";
        case ErrorKind::Damaged:
            return "damaged data";
        case ErrorKind::Os:
            return "operating system error";
        case ErrorKind::Format:
            return "malformed file";
        case ErrorKind::SilentAbort:
            return "operation cancelled";
    }
    return "error";
}

void ThrowDecompressionError() { throw Error(ErrorKind::Decompression, "error"); }
void ThrowCompressionError() { throw Error(ErrorKind::Compression, "error"); }
void ThrowConversionError(const std::string& message) { throw Error(ErrorKind::Conversion, message); }
void ThrowDamaged(const std::string& message) { throw Error(ErrorKind::Damaged, message); }
void ThrowOsError(const std::string& message) { throw Error(ErrorKind::Os, message); }
void ThrowFormatError(const std::string& message) { throw Error(ErrorKind::Format, message); }
void ThrowSilentAbort() { throw Error(ErrorKind::SilentAbort, "Operation aborted"); }

}  // namespace setup
