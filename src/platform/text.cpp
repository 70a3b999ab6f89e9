#include "platform/text.h"

#include <algorithm>

#include "platform/errors.h"

namespace setup {

namespace {

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

template <typename Fold>
std::string FoldCase(std::string_view text, Fold fold) {
    std::string result(text);
    for (size_t i = 0; i < result.size();) {
        size_t n = CharLengthAt(text, i);
        if (n == 1) result[i] = fold(result[i]);
        i += n;
    }
    return result;
}

}  // namespace

size_t CharLengthAt(std::string_view text, size_t at) {
    if (at + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[at])) &&
        IsTrailByte(static_cast<unsigned char>(text[at + 1]))) {
        return 2;
    }
    return 1;
}

// True when the count bytes from the boundary `start` end on a boundary too
// (a fragment that ends with a lead byte must not match half a character).
static bool EndsOnBoundary(std::string_view text, size_t start, size_t count) {
    size_t i = start;
    while (i < start + count) i += CharLengthAt(text, i);
    return i == start + count;
}

bool IsCharBoundary(std::string_view text, size_t at) {
    if (at >= text.size()) return at == text.size();
    size_t i = 0;
    while (i < at) i += CharLengthAt(text, i);
    return i == at;
}

size_t FindChar(std::string_view text, char c, size_t from) {
    for (size_t i = from; i < text.size(); i += CharLengthAt(text, i)) {
        if (text[i] == c && CharLengthAt(text, i) == 1) return i;
    }
    return std::string_view::npos;
}

size_t FindLastCharOf(std::string_view text, std::string_view set) {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < text.size(); i += CharLengthAt(text, i)) {
        if (CharLengthAt(text, i) == 1 && set.find(text[i]) != std::string_view::npos) found = i;
    }
    return found;
}

size_t FindLastChar(std::string_view text, char c) { return FindLastCharOf(text, std::string_view(&c, 1)); }

size_t FindText(std::string_view text, std::string_view fragment, size_t from) {
    if (fragment.empty()) return from <= text.size() ? from : std::string_view::npos;
    for (size_t i = from; i + fragment.size() <= text.size(); i += CharLengthAt(text, i)) {
        if (text.compare(i, fragment.size(), fragment) == 0 && EndsOnBoundary(text, i, fragment.size())) return i;
    }
    return std::string_view::npos;
}

std::string FolderPart(std::string_view path) {
    size_t cut = FindLastChar(path, '\\');
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

std::string FileNamePart(std::string_view path) {
    size_t cut = FindLastChar(path, '\\');
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool EndsWithChar(std::string_view text, char c) {
    return !text.empty() && text.back() == c && IsCharBoundary(text, text.size() - 1);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLowerCase(std::string_view text) { return FoldCase(text, AsciiLower); }

std::string AsciiUpperCase(std::string_view text) { return FoldCase(text, AsciiUpper); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Equal bytes so far mean the same character structure in both texts, so
    // stepping through a steps through b too.
    for (size_t i = 0; i < a.size();) {
        size_t n = CharLengthAt(a, i);
        if (n == 1) {
            if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
        } else if (a.compare(i, n, b.substr(i, n)) != 0) {
            return false;
        }
        i += n;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix) &&
           IsCharBoundary(text, prefix.size());
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && IsCharBoundary(text, text.size() - suffix.size()) &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

size_t FindNoCase(std::string_view text, std::string_view fragment) {
    if (fragment.empty()) return 0;
    for (size_t i = 0; i + fragment.size() <= text.size(); i += CharLengthAt(text, i)) {
        if (EqualsNoCase(text.substr(i, fragment.size()), fragment) && EndsOnBoundary(text, i, fragment.size())) {
            return i;
        }
    }
    return std::string_view::npos;
}

bool ContainsNoCase(std::string_view text, std::string_view fragment) {
    return FindNoCase(text, fragment) != std::string_view::npos;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    std::string x = AsciiLowerCase(a);
    std::string y = AsciiLowerCase(b);
    int c = x.compare(y);  // char_traits<char> compares bytes as unsigned
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::vector<std::string> SplitOn(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = FindChar(text, separator, start);
        if (at == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::string_view TrimBlanks(std::string_view text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string HexDigits8(uint32_t value) {
    std::string digits(8, '0');
    for (int at = 7; at >= 0; --at, value >>= 4) digits[at] = "0123456789abcdef"[value & 15];
    return digits;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        auto b0 = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        size_t len;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F;
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F;
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07;
            len = 4;
        } else {
            ThrowConversionError("Invalid UTF-8 text");
        }
        if (i + len > utf8.size()) ThrowConversionError("Invalid UTF-8 text: truncated character");
        for (size_t k = 1; k < len; ++k) {
            auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) ThrowConversionError("Invalid UTF-8 text");
            cp = (cp << 6) | (b & 0x3F);
        }
        static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            ThrowConversionError("Invalid UTF-8 text");
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        uint32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) {
                ThrowConversionError("Invalid UTF-16 text: unpaired surrogate");
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            ThrowConversionError("Invalid UTF-16 text: unpaired surrogate");
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string GbkToUtf8(std::string_view gbk) { return Utf16ToUtf8(GbkToUtf16(gbk)); }

std::string Utf8ToGbk(std::string_view utf8) { return Utf16ToGbk(Utf8ToUtf16(utf8)); }

std::string Utf16ToLeBytes(std::u16string_view utf16) {
    std::string out(utf16.size() * 2, '\0');
    for (size_t i = 0; i < utf16.size(); ++i) {
        out[2 * i] = static_cast<char>(utf16[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(utf16[i] >> 8);
    }
    return out;
}

std::u16string LeBytesToUtf16(std::string_view bytes) {
    if (bytes.size() % 2 != 0) ThrowConversionError("Invalid UTF-16 text: odd number of bytes");
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return out;
}

}  // namespace setup
