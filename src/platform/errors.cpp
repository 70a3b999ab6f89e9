#include "platform/errors.h"

#include "platform/messages.h"

namespace setup {

const char* ErrorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Decompression:
            return "解压数据失败";
        case ErrorKind::Compression:
            return "压缩数据失败";
        case ErrorKind::Conversion:
            return "数据转换失败";
        case ErrorKind::Damaged:
            return "安装包已损坏";
        case ErrorKind::Os:
            return "操作系统错误";
        case ErrorKind::Format:
            return "格式错误";
        case ErrorKind::SilentAbort:
            return "操作已取消";
    }
    return "错误";
}

void ThrowDecompressionError() { throw Error(ErrorKind::Decompression, "error"); }
void ThrowCompressionError() { throw Error(ErrorKind::Compression, "error"); }
void ThrowConversionError(const std::string& message) { throw Error(ErrorKind::Conversion, message); }
void ThrowDamaged(const std::string& message) { throw Error(ErrorKind::Damaged, message); }
void ThrowOsError(const std::string& message) { throw Error(ErrorKind::Os, message); }
void ThrowFormatError(const std::string& message) { throw Error(ErrorKind::Format, message); }
void ThrowSilentAbort() { throw Error(ErrorKind::SilentAbort, msg::OperationCancelled()); }

}  // namespace setup
