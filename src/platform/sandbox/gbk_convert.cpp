// GBK conversions through iconv, with the code page 936 table of glibc (which,
// like Windows, maps 0x80 to the euro sign).
#include <errno.h>
#include <iconv.h>

#include <string>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace setup {
namespace {

std::string Convert(const char* to, const char* from, std::string_view input, const std::string& conversion) {
    iconv_t cd = iconv_open(to, from);
    // iconv reports failure with the handle (iconv_t)-1.
    if (cd == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
        ThrowConversionError(msg::NoTextConverter(conversion));
    }
    std::string out(input.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    size_t done = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + done;
        size_t outLeft = out.size() - done;
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        done = out.size() - outLeft;
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            iconv_close(cd);
            ThrowConversionError(msg::TextDoesNotConvert(conversion));
        }
    }
    iconv_close(cd);
    out.resize(done);
    return out;
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
    return LeBytesToUtf16(Convert("UTF-16LE", "CP936", gbk, msg::GbkToUtf16Conversion()));
}

std::string Utf16ToGbk(std::u16string_view utf16) {
    return Convert("CP936", "UTF-16LE", Utf16ToLeBytes(utf16), msg::Utf16ToGbkConversion());
}

}  // namespace setup
