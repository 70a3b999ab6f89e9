// Document decoding: the kind of a file from its bytes, the text encodings of
// plain text and HTML, and the loading through the OS seam.
#include "ui/document.h"

#include <algorithm>

#include "platform/errors.h"
#include "platform/os.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "ui/document_format.h"

namespace setup::ui {

namespace {

enum class Encoding { Gbk, Utf8, Utf16Le, Utf16Be };

const std::string_view kUtf8Bom = "\xEF\xBB\xBF";

Encoding ByteOrderMark(std::string_view bytes, size_t& bomLength) {
    bomLength = 0;
    if (bytes.substr(0, 3) == kUtf8Bom) {
        bomLength = 3;
        return Encoding::Utf8;
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        bomLength = 2;
        return Encoding::Utf16Le;
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
        static_cast<unsigned char>(bytes[1]) == 0xFF) {
        bomLength = 2;
        return Encoding::Utf16Be;
    }
    return Encoding::Gbk;
}

std::u16string DecodeUtf16(std::string_view bytes, Encoding encoding) {
    if (bytes.size() % 2 != 0) ThrowConversionError("The UTF-16 document has an odd number of bytes");
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        auto first = static_cast<unsigned char>(bytes[2 * i]);
        auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = encoding == Encoding::Utf16Le ? static_cast<char16_t>(first | (second << 8))
                                                : static_cast<char16_t>((first << 8) | second);
    }
    return text;
}

// The first characters of a document as ASCII, whatever its encoding, for the
// look at how it starts: the byte-order mark and leading blanks skipped,
// characters beyond ASCII as 0x80.
std::string LeadingAscii(std::string_view bytes) {
    size_t bom = 0;
    Encoding encoding = ByteOrderMark(bytes, bom);
    std::string ascii;
    const size_t wanted = 64;
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be) {
        for (size_t i = bom; i + 1 < bytes.size() && ascii.size() < 4096; i += 2) {
            auto first = static_cast<unsigned char>(bytes[i]);
            auto second = static_cast<unsigned char>(bytes[i + 1]);
            unsigned unit = encoding == Encoding::Utf16Le ? first | (second << 8) : (first << 8) | second;
            ascii.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x80');
        }
    } else {
        ascii.assign(bytes.substr(bom, 4096));
    }
    std::string_view rest = TrimBlanks(ascii);
    return AsciiLowerCase(rest.substr(0, wanted));
}

// Lines of GBK text: split at line feeds, a carriage return before one
// dropped, a lone carriage return also ending a line.
std::vector<std::string> GbkLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            lines.emplace_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
            start = i + 1;
        } else if (static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < text.size()) {
            ++i;  // a trail byte is never a line break
        }
    }
    return lines;
}

void DropTrailingEmptyLines(std::vector<std::string>& lines) {
    while (!lines.empty() && TrimBlanks(lines.back()).empty()) lines.pop_back();
}

// The declared encoding of an HTML file without a byte-order mark: a <meta>
// charset in its first kilobytes. Without one, text that is valid UTF-8 is
// taken as UTF-8 (what authoring tools write today) and anything else as GBK.
Encoding HtmlEncoding(std::string_view bytes) {
    std::string head = AsciiLowerCase(bytes.substr(0, 2048));
    size_t at = 0;
    while ((at = head.find("charset", at)) != std::string::npos) {
        at += 7;
        size_t value = head.find_first_not_of(" \t\r\n=\"'", at);
        if (value == std::string::npos) break;
        std::string_view name = std::string_view(head).substr(value, 16);
        if (name.substr(0, 5) == "utf-8" || name.substr(0, 4) == "utf8") return Encoding::Utf8;
        if (name.substr(0, 3) == "gbk" || name.substr(0, 6) == "gb2312" || name.substr(0, 7) == "gb18030" ||
            name.substr(0, 6) == "cp936")
            return Encoding::Gbk;
    }
    try {
        (void)Utf8ToUtf16(bytes);
        return Encoding::Utf8;
    } catch (const Error&) {
        return Encoding::Gbk;
    }
}

// Converts the document's bytes to UTF-8 (the byte-order mark dropped).
std::string ToUtf8(std::string_view bytes, Encoding encoding, size_t bom) {
    std::string_view body = bytes.substr(bom);
    switch (encoding) {
        case Encoding::Utf8:
            (void)Utf8ToUtf16(body);  // validates
            return std::string(body);
        case Encoding::Utf16Le:
        case Encoding::Utf16Be:
            return Utf16ToUtf8(DecodeUtf16(body, encoding));
        case Encoding::Gbk:
            break;
    }
    return GbkToUtf8(body);
}

}  // namespace

std::string GbkDisplayConverter::Convert(std::u16string_view utf16) {
    try {
        return Utf16ToGbk(utf16);
    } catch (const Error&) {
    }
    std::string gbk;
    for (size_t i = 0; i < utf16.size();) {
        char16_t unit = utf16[i];
        if (unit < 0x80) {
            gbk.push_back(static_cast<char>(unit));
            ++i;
            continue;
        }
        size_t length = 1;
        char32_t code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            length = 2;
            code = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
        }
        auto cached = cache_.find(code);
        if (cached == cache_.end()) {
            std::string converted;
            try {
                converted = Utf16ToGbk(utf16.substr(i, length));
            } catch (const Error&) {
                // A few common signs have a look-alike GBK holds.
                switch (code) {
                    case 0x2022:
                        converted = "\xA1\xA4";  // the bullet as a middle dot
                        break;
                    case 0x00A9:
                        converted = "(C)";
                        break;
                    case 0x00AE:
                        converted = "(R)";
                        break;
                    case 0x2122:
                        converted = "TM";
                        break;
                    case 0x00A0:
                        converted = " ";
                        break;
                    default:
                        converted = "?";
                        break;
                }
            }
            cached = cache_.emplace(code, std::move(converted)).first;
        }
        gbk += cached->second;
        i += length;
    }
    return gbk;
}

std::string Utf16ToGbkForDisplay(std::u16string_view utf16) { return GbkDisplayConverter().Convert(utf16); }

DocumentKind DocumentKindOf(const std::string& path, const std::string& bytes) {
    std::string start = LeadingAscii(bytes);
    if (start.compare(0, 5, "{\\rtf") == 0) return DocumentKind::Rtf;
    if (start.compare(0, 14, "<!doctype html") == 0 || start.compare(0, 5, "<html") == 0) return DocumentKind::Html;
    if (EndsWithNoCase(path, ".htm") || EndsWithNoCase(path, ".html")) return DocumentKind::Html;
    return DocumentKind::Text;
}

Document DecodeDocument(const std::string& path, const std::string& bytes) {
    if (bytes.size() > kMaxDocumentBytes) {
        ThrowDamaged("The document " + path + " is larger than " + std::to_string(kMaxDocumentBytes >> 20) + " MiB");
    }
    Document document;
    document.Kind = DocumentKindOf(path, bytes);
    document.Folder = FolderPart(path);
    size_t bom = 0;
    Encoding encoding = ByteOrderMark(bytes, bom);
    switch (document.Kind) {
        case DocumentKind::Rtf:
            document.Source = bytes;
            document.Lines = RtfTextLines(bytes);
            break;
        case DocumentKind::Html:
            if (encoding == Encoding::Gbk) encoding = HtmlEncoding(bytes);
            document.Source = ToUtf8(bytes, encoding, bom);
            document.Lines = FormattedTextLines(LayoutHtml(document.Source));
            break;
        case DocumentKind::Text:
            document.Source = ToUtf8(bytes, encoding, bom);
            document.Lines = encoding == Encoding::Gbk ? GbkLines(std::string_view(bytes))
                                                       : GbkLines(Utf16ToGbkForDisplay(Utf8ToUtf16(document.Source)));
            break;
    }
    DropTrailingEmptyLines(document.Lines);
    return document;
}

std::shared_ptr<const Document> LoadDocument(const std::string& path) {
    if (path.empty() || !OS().Files().FileExists(path)) return nullptr;
    // Every failure here (a file that cannot be read, bytes that do not decode,
    // an absurd size) leaves the viewer empty; the page itself has no error
    // text, and the rest of it works.
    try {
        std::unique_ptr<Stream> file = OS().Files().Open(path, OpenMode::Read);
        int64_t size = file->Size();
        if (size < 0 || static_cast<uint64_t>(size) > kMaxDocumentBytes) return nullptr;
        std::string bytes = file->ReadBytes(static_cast<size_t>(size));
        return std::make_shared<const Document>(DecodeDocument(path, bytes));
    } catch (const Error&) {
        return nullptr;
    }
}

}  // namespace setup::ui
