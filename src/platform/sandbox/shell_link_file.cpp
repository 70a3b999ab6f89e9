#include "platform/sandbox/shell_link_file.h"

#include "platform/stream.h"
#include "platform/text.h"

namespace setup::sandbox {

namespace {

enum LinkFlags : uint32_t {
    kHasLinkInfo = 0x02,
    kHasName = 0x04,
    kHasWorkingDir = 0x10,
    kHasArguments = 0x20,
    kHasIconLocation = 0x40,
    kIsUnicode = 0x80,
};

const unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// A StringData entry: a count of UTF-16 units, then the units.
void AppendStringData(std::string& out, const std::string& gbk) {
    std::u16string text = GbkToUtf16(gbk);
    AppendU16(out, static_cast<uint16_t>(text.size()));
    out += Utf16ToLeBytes(text);
}

std::string BuildLinkInfo(const std::string& path, const LinkTargetInfo& target) {
    const uint32_t headerSize = 0x24;  // with the UTF-16 path offsets
    std::string volume;
    AppendU32(volume, 0x11);  // VolumeIDSize: four fields and an empty label
    AppendU32(volume, static_cast<uint32_t>(target.DriveType));
    AppendU32(volume, target.DriveSerial);
    AppendU32(volume, 0x10);  // VolumeLabelOffset
    volume.push_back('\0');

    std::string ansiPath = path + std::string(1, '\0');
    std::string ansiSuffix(1, '\0');
    std::string unicodePath = Utf16ToLeBytes(GbkToUtf16(path)) + std::string(2, '\0');
    std::string unicodeSuffix(2, '\0');

    uint32_t volumeOffset = headerSize;
    uint32_t pathOffset = volumeOffset + static_cast<uint32_t>(volume.size());
    uint32_t suffixOffset = pathOffset + static_cast<uint32_t>(ansiPath.size());
    uint32_t unicodePathOffset = suffixOffset + static_cast<uint32_t>(ansiSuffix.size());
    uint32_t unicodeSuffixOffset = unicodePathOffset + static_cast<uint32_t>(unicodePath.size());
    uint32_t total = unicodeSuffixOffset + static_cast<uint32_t>(unicodeSuffix.size());

    std::string info;
    AppendU32(info, total);
    AppendU32(info, headerSize);
    AppendU32(info, 0x1);  // VolumeIDAndLocalBasePath
    AppendU32(info, volumeOffset);
    AppendU32(info, pathOffset);
    AppendU32(info, 0);  // no network link
    AppendU32(info, suffixOffset);
    AppendU32(info, unicodePathOffset);
    AppendU32(info, unicodeSuffixOffset);
    info += volume + ansiPath + ansiSuffix + unicodePath + unicodeSuffix;
    return info;
}

}  // namespace

std::string BuildShellLinkFile(const ShellLink& link, const LinkTargetInfo& target) {
    uint32_t flags = kIsUnicode;
    if (!link.Path.empty()) flags |= kHasLinkInfo;
    if (!link.Description.empty()) flags |= kHasName;
    if (!link.WorkingDirectory.empty()) flags |= kHasWorkingDir;
    if (!link.Arguments.empty()) flags |= kHasArguments;
    if (!link.IconPath.empty()) flags |= kHasIconLocation;

    std::string out;
    AppendU32(out, 0x4C);
    out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof kLinkClsid);
    AppendU32(out, flags);
    AppendU32(out, target.Attributes);
    AppendU64(out, target.Creation);
    AppendU64(out, target.Access);
    AppendU64(out, target.Write);
    AppendU32(out, target.Size);
    AppendU32(out, static_cast<uint32_t>(link.IconPath.empty() ? 0 : link.IconIndex));
    AppendU32(out, static_cast<uint32_t>(link.ShowCommand));
    AppendU16(out, 0);  // no hot key
    AppendU16(out, 0);
    AppendU32(out, 0);
    AppendU32(out, 0);

    if (flags & kHasLinkInfo) out += BuildLinkInfo(link.Path, target);
    if (flags & kHasName) AppendStringData(out, link.Description);
    if (flags & kHasWorkingDir) AppendStringData(out, link.WorkingDirectory);
    if (flags & kHasArguments) AppendStringData(out, link.Arguments);
    if (flags & kHasIconLocation) AppendStringData(out, link.IconPath);
    AppendU32(out, 0);  // terminal block of the extra data
    return out;
}

}  // namespace setup::sandbox
