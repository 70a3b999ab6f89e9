#include "platform/sandbox/reg_text.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/registry_roots.h"
#include "platform/text.h"

namespace setup::sandbox {

namespace {

class LineError {
public:
    LineError(const std::string& file, int line) : file_(file), line_(line) {}
    [[noreturn]] void operator()(const std::string& message) const {
        ThrowFormatError(file_ + ", line " + std::to_string(line_) + ": " + message);
    }

private:
    const std::string& file_;
    int line_;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text with \\ and \" escapes starting at text[pos] == '"'.
std::string ReadQuoted(std::string_view text, size_t& pos, const LineError& fail) {
    std::string out;
    ++pos;
    while (pos < text.size()) {
        char c = text[pos++];
        if (c == '"') return out;
        if (c == '\\') {
            if (pos >= text.size()) break;
            char e = text[pos++];
            if (e == '\\' || e == '"') {
                out.push_back(e);
            } else if (e == 'n') {
                out.push_back('\n');
            } else if (e == 'r') {
                out.push_back('\r');
            } else if (e == '0') {
                out.push_back('\0');
            } else {
                out.push_back('\\');
                out.push_back(e);
            }
        } else {
            out.push_back(c);
        }
    }
    fail("a quoted text is not closed");
}

std::string ParseHexBytes(std::string_view text, const LineError& fail) {
    std::string bytes;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    };
    skipBlanks();
    if (i == text.size()) return bytes;
    for (;;) {
        skipBlanks();
        if (i + 1 >= text.size() + 0 && i >= text.size()) fail("hex data ends with a comma");
        int hi = i < text.size() ? HexDigit(text[i]) : -1;
        int lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (hi < 0) fail("hex data must be two-digit bytes separated by commas");
        if (lo < 0) {
            bytes.push_back(static_cast<char>(hi));
            ++i;
        } else {
            bytes.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        }
        skipBlanks();
        if (i == text.size()) return bytes;
        if (text[i] != ',') fail("hex data must be two-digit bytes separated by commas");
        ++i;
        skipBlanks();
        if (i == text.size()) return bytes;  // a trailing comma, as regedit writes before a line break
    }
}

std::string ToGbk(const std::string& utf8, const LineError& fail) {
    try {
        return Utf8ToGbk(utf8);
    } catch (const Error&) {
        fail("the text holds a character that code page 936 cannot hold");
    }
}

}  // namespace

std::string StringValueData(const std::string& gbk) { return Utf16ToLeBytes(GbkToUtf16(gbk)) + std::string(2, '\0'); }

std::optional<std::string> StringFromValueData(const std::string& data) {
    if (data.size() % 2 != 0) return std::nullopt;
    std::u16string text = LeBytesToUtf16(data);
    // The data must end in its terminating zero and hold no other zero.
    if (text.empty() || text.back() != u'\0') return std::nullopt;
    text.pop_back();
    if (text.find(u'\0') != std::u16string::npos) return std::nullopt;
    try {
        return Utf16ToGbk(text);
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::string DecodeRegFile(const std::string& bytes, const std::string& fileName, bool& regedit4) {
    std::string text;
    auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) {
        try {
            text = Utf16ToUtf8(LeBytesToUtf16(bytes.substr(2, (bytes.size() - 2) & ~size_t(1))));
        } catch (const Error&) {
            ThrowFormatError(fileName + ": not valid UTF-16 text");
        }
    } else if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
        text = bytes.substr(3);
    } else {
        text = bytes;
    }
    regedit4 = text.compare(0, 8, "REGEDIT4") == 0;
    if (regedit4 || !(bytes.size() >= 2 && b(0) == 0xFF)) {
        // ANSI files are GBK; a Version 5.00 file without a byte-order mark is
        // taken as UTF-8 when it is valid UTF-8, as GBK otherwise.
        bool utf8 = !regedit4;
        if (utf8) {
            try {
                Utf8ToUtf16(text);
            } catch (const Error&) {
                utf8 = false;
            }
        }
        if (!utf8) {
            try {
                text = GbkToUtf8(text);
            } catch (const Error&) {
                ThrowFormatError(fileName + ": not valid GBK text");
            }
        }
    }
    return text;
}

std::vector<RegOperation> ParseRegText(std::string_view text, bool regedit4, const std::string& fileName) {
    std::vector<RegOperation> ops;
    bool headerSeen = false;
    bool inKey = false;
    bool keyDeleted = false;
    uint32_t root = 0;
    std::string keyPath;
    int lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line(TrimBlanks(text.substr(pos, end - pos)));
        pos = end + 1;
        int firstLine = ++lineNumber;
        LineError fail(fileName, firstLine);
        // Hex data may go on over several lines, each ending in a backslash.
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos && pos < text.size()) {
            line.pop_back();
            end = text.find('\n', pos);
            if (end == std::string_view::npos) end = text.size();
            line += std::string(TrimBlanks(text.substr(pos, end - pos)));
            pos = end + 1;
            ++lineNumber;
        }
        if (!headerSeen) {
            if (line.empty()) continue;
            if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") {
                fail("the file does not start with REGEDIT4 or Windows Registry Editor Version 5.00");
            }
            headerSeen = true;
            continue;
        }
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') fail("a key line must end with ]");
            std::string name = line.substr(1, line.size() - 2);
            keyDeleted = !name.empty() && name[0] == '-';
            if (keyDeleted) name.erase(0, 1);
            size_t slash = name.find('\\');
            std::optional<uint32_t> r = RootKeyFromName(name.substr(0, slash), RootNameForms::LongOrShort);
            if (!r) fail("unknown root key " + name.substr(0, slash));
            root = *r;
            keyPath = slash == std::string::npos ? "" : ToGbk(name.substr(slash + 1), fail);
            if (keyPath.empty() && keyDeleted) fail("a root key cannot be deleted");
            inKey = true;
            RegOperation op;
            op.Kind = keyDeleted ? RegOperation::DeleteKey : RegOperation::CreateKey;
            op.Root = root;
            op.Path = keyPath;
            op.Line = firstLine;
            ops.push_back(op);
            continue;
        }
        if (!inKey) fail("a value comes before any [key] line");
        RegOperation op;
        op.Root = root;
        op.Path = keyPath;
        op.Line = firstLine;
        size_t at = 0;
        std::string name;
        if (line[0] == '@') {
            at = 1;
        } else if (line[0] == '"') {
            name = ReadQuoted(line, at, fail);
        } else {
            fail("a value line must start with \"name\" or @");
        }
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        if (at >= line.size() || line[at] != '=') fail("a value name must be followed by =");
        ++at;
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        op.Value.Name = ToGbk(name, fail);
        std::string data = line.substr(at);
        if (data == "-") {
            op.Kind = RegOperation::DeleteValue;
        } else if (!data.empty() && data[0] == '"') {
            size_t q = 0;
            std::string s = ReadQuoted(data, q, fail);
            if (q != data.size()) fail("unexpected text after a quoted value");
            op.Kind = RegOperation::SetValue;
            op.Value.Type = kRegSz;
            op.Value.Data = Utf16ToLeBytes(Utf8ToUtf16(s)) + std::string(2, '\0');
        } else if (StartsWithNoCase(data, "dword:")) {
            std::string digits = data.substr(6);
            if (digits.empty() || digits.size() > 8) fail("a dword value has one to eight hex digits");
            uint32_t v = 0;
            for (char c : digits) {
                int d = HexDigit(c);
                if (d < 0) fail("a dword value has one to eight hex digits");
                v = v * 16 + static_cast<uint32_t>(d);
            }
            op.Kind = RegOperation::SetValue;
            op.Value.Type = kRegDword;
            AppendU32(op.Value.Data, v);
        } else if (StartsWithNoCase(data, "hex")) {
            size_t colon = data.find(':');
            if (colon == std::string::npos) fail("hex data needs a colon");
            std::string kind = data.substr(3, colon - 3);
            uint32_t type = kRegBinary;
            if (!kind.empty()) {
                if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' || kind.size() > 10) {
                    fail("hex(n) needs a type in hex digits");
                }
                type = 0;
                for (size_t k = 1; k + 1 < kind.size(); ++k) {
                    int d = HexDigit(kind[k]);
                    if (d < 0) fail("hex(n) needs a type in hex digits");
                    type = type * 16 + static_cast<uint32_t>(d);
                }
            }
            op.Kind = RegOperation::SetValue;
            op.Value.Type = type;
            op.Value.Data = ParseHexBytes(std::string_view(data).substr(colon + 1), fail);
            if (regedit4 && (type == kRegExpandSz || type == kRegMultiSz)) {
                // REGEDIT4 keeps these as ANSI bytes; the registry holds UTF-16.
                try {
                    op.Value.Data = Utf16ToLeBytes(GbkToUtf16(op.Value.Data));
                } catch (const Error&) {
                    fail("the hex data is not valid GBK text");
                }
            }
        } else {
            fail("unknown value data: " + data.substr(0, 20));
        }
        if (keyDeleted) continue;  // values under a [-key] line have nothing to go to
        ops.push_back(std::move(op));
    }
    if (!headerSeen) ThrowFormatError(fileName + ", line 1: the file is empty");
    return ops;
}

std::string FormatRegValue(const RegValue& value) {
    std::string line;
    if (value.Name.empty()) {
        line = "@=";
    } else {
        line = "\"";
        for (char c : GbkToUtf8(value.Name)) {
            if (c == '\\' || c == '"') line.push_back('\\');
            line.push_back(c);
        }
        line += "\"=";
    }
    if (value.Type == kRegSz) {
        std::optional<std::string> text = StringFromValueData(value.Data);
        if (text && text->find_first_of("\r\n") == std::string::npos) {
            line += "\"";
            for (char c : GbkToUtf8(*text)) {
                if (c == '\\' || c == '"') line.push_back('\\');
                line.push_back(c);
            }
            return line + "\"";
        }
    }
    if (value.Type == kRegDword && value.Data.size() == 4) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value.Data[static_cast<size_t>(i)]);
        char buffer[20];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", v);
        return line + buffer;
    }
    char buffer[16];
    if (value.Type == kRegBinary) {
        line += "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", value.Type);
        line += buffer;
    }
    for (size_t i = 0; i < value.Data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", static_cast<unsigned char>(value.Data[i]));
        line += buffer;
    }
    return line;
}

}  // namespace setup::sandbox
