#include "platform/lnk_reader.h"

#include "platform/errors.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace setup::testing_lnk {

namespace {

std::string ZeroTerminated(const std::string& bytes, size_t at) {
    size_t end = bytes.find('\0', at);
    if (at >= bytes.size() || end == std::string::npos) throw Error(ErrorKind::Damaged, "bad string");
    return bytes.substr(at, end - at);
}

std::string ZeroTerminatedWide(const std::string& bytes, size_t at) {
    std::u16string text;
    for (size_t i = at; i + 1 < bytes.size(); i += 2) {
        char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (c == 0) return Utf16ToGbk(text);
        text.push_back(c);
    }
    throw Error(ErrorKind::Damaged, "bad string");
}

}  // namespace

std::optional<LnkContents> ReadLnk(const std::string& bytes) {
    try {
        MemoryStream s(bytes);
        LnkContents c;
        if (s.ReadU32() != 0x4C) return std::nullopt;
        std::string clsid = s.ReadBytes(16);
        if (clsid != std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16)) {
            return std::nullopt;
        }
        c.flags = s.ReadU32();
        c.attributes = s.ReadU32();
        s.ReadBytes(24 + 4);  // three times, file size
        c.iconIndex = s.ReadI32();
        c.showCommand = s.ReadU32();
        s.ReadBytes(2 + 2 + 4 + 4);
        if (c.flags & 0x01) {
            c.hasIdList = true;
            s.ReadBytes(s.ReadU16());
        }
        if (c.flags & 0x02) {
            int64_t start = s.Position();
            uint32_t size = s.ReadU32();
            s.Seek(start, SeekOrigin::Begin);
            std::string info = s.ReadBytes(size);
            MemoryStream h(info);
            h.ReadU32();
            uint32_t headerSize = h.ReadU32();
            uint32_t infoFlags = h.ReadU32();
            h.ReadU32();  // volume id offset
            uint32_t baseOffset = h.ReadU32();
            h.ReadU32();
            uint32_t suffixOffset = h.ReadU32();
            if (infoFlags & 1) {
                if (headerSize >= 0x24) {
                    uint32_t wideBase = h.ReadU32();
                    uint32_t wideSuffix = h.ReadU32();
                    c.localPath = ZeroTerminatedWide(info, wideBase) + ZeroTerminatedWide(info, wideSuffix);
                } else {
                    c.localPath = ZeroTerminated(info, baseOffset) + ZeroTerminated(info, suffixOffset);
                }
            }
        }
        bool unicode = c.flags & 0x80;
        // Wine counts a terminating zero into each string; Windows does not.
        auto readString = [&] {
            uint16_t count = s.ReadU16();
            std::string text = unicode ? Utf16ToGbk(LeBytesToUtf16(s.ReadBytes(count * 2u))) : s.ReadBytes(count);
            if (!text.empty() && text.back() == '\0') text.pop_back();
            return text;
        };
        if (c.flags & 0x04) c.description = readString();
        if (c.flags & 0x08) readString();  // relative path
        if (c.flags & 0x10) c.workingDirectory = readString();
        if (c.flags & 0x20) c.arguments = readString();
        if (c.flags & 0x40) c.iconLocation = readString();
        return c;
    } catch (const Error&) {
        return std::nullopt;
    }
}

}  // namespace setup::testing_lnk
