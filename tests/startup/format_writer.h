// A package writer for the tests, made from the stored format alone: the
// container (the program image, eight bytes of lead-in, the items' chunks,
// the project stream's chunks and the 16-byte tail), the project stream and
// the text forms of registry data. It shares no code with the package maker,
// so a package it writes is one that any other tool could have written from
// the same description; zlib's compress2 makes the chunks. Texts are GBK.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace setup::testing_format {

// ---- primitives: little-endian, no alignment -------------------------------------

inline void PutU8(std::string& out, uint8_t value) { out.push_back(static_cast<char>(value)); }

inline void PutU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void PutI32(std::string& out, int32_t value) { PutU32(out, static_cast<uint32_t>(value)); }

inline void PutI64(std::string& out, int64_t value) {
    auto bits = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

// An IEEE 754 double: a date-time in days from 1899-12-30.
inline void PutDouble(std::string& out, double value) {
    int64_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    PutI64(out, bits);
}

// A string: its byte length as a 32-bit integer, then the bytes, no terminator.
inline void PutString(std::string& out, std::string_view text) {
    PutI32(out, static_cast<int32_t>(text.size()));
    out.append(text);
}

// A text list in comma-text form: the items joined with ","; an item holding a
// character of code 1 to 32, a double quote or a comma goes between double
// quotes with each quote inside doubled. A GBK trail byte is never one of
// those characters, so the bytes can be looked at one by one.
inline std::string CommaText(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out.push_back(',');
        bool quote = false;
        for (char c : items[i]) {
            auto code = static_cast<unsigned char>(c);
            quote = quote || (code >= 1 && code <= 32) || c == '"' || c == ',';
        }
        if (!quote) {
            out += items[i];
            continue;
        }
        out.push_back('"');
        for (char c : items[i]) {
            if (c == '"') out.push_back('"');
            out.push_back(c);
        }
        out.push_back('"');
    }
    return out;
}

// ---- registry data as the project stream holds it ----------------------------------

// REG_DWORD: hexadecimal digits without prefix, most significant first.
inline std::string DwordText(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

// REG_BINARY: two hexadecimal digits per byte, first byte first.
inline std::string BinaryText(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
        text += pair;
    }
    return text;
}

// ---- chunks ------------------------------------------------------------------------

// One chunk: the 32-bit length of one zlib stream (RFC 1950) of the content,
// then the stream. Level 0 stores the content in uncompressed deflate blocks.
inline std::string Chunk(std::string_view content, int level = Z_DEFAULT_COMPRESSION) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    std::string stream(size, '\0');
    int rc = compress2(reinterpret_cast<Bytef*>(stream.data()), &size, reinterpret_cast<const Bytef*>(content.data()),
                       static_cast<uLong>(content.size()), level);
    if (rc != Z_OK) throw std::runtime_error("compress2 failed: " + std::to_string(rc));
    stream.resize(size);
    std::string chunk;
    PutU32(chunk, static_cast<uint32_t>(size));
    return chunk + stream;
}

// The content cut into pieces of at most pieceSize bytes, one chunk each.
// Empty content makes no chunk at all.
inline std::string Chunks(std::string_view content, int level, size_t pieceSize) {
    std::string out;
    for (size_t at = 0; at < content.size(); at += pieceSize) out += Chunk(content.substr(at, pieceSize), level);
    return out;
}

// The content of a run of chunks (an uninstall record file, a package's item
// data): each chunk inflated as one complete zlib stream, in order. Throws
// std::runtime_error for bytes that are not such a run.
inline std::string InflateChunks(std::string_view bytes) {
    std::string content;
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 4) throw std::runtime_error("a chunk length runs past the end");
        uint32_t length = 0;
        for (int i = 0; i < 4; ++i)
            length |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        at += 4;
        if (length > bytes.size() - at) throw std::runtime_error("a chunk runs past the end");
        z_stream z{};
        if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit failed");
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at));
        z.avail_in = length;
        int rc = Z_OK;
        char buffer[16384];
        while (rc == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            rc = inflate(&z, Z_NO_FLUSH);
            content.append(buffer, sizeof buffer - z.avail_out);
        }
        bool whole = rc == Z_STREAM_END && z.avail_in == 0;
        inflateEnd(&z);
        if (!whole) throw std::runtime_error("a chunk is not one complete zlib stream");
        at += length;
    }
    return content;
}

// ---- the project ---------------------------------------------------------------------

// Setting groups and file kinds as the stream stores them.
inline constexpr uint8_t kGroupProject = 0, kGroupPageSwitch = 1, kGroupStartFolder = 6, kGroupInstallDir = 8,
                         kGroupAddonsTask = 9, kGroupEndIns = 12;
inline constexpr uint8_t kKindFile = 0, kKindFolder = 1, kKindRegFile = 2, kKindCompFile = 3, kKindInfoFile = 4,
                         kKindUnInsFile = 5;
inline constexpr uint8_t kRegSzText = 0, kRegDwordText = 1, kRegBinaryText = 2;
inline constexpr uint8_t kShellLink = 0, kInternetShortcut = 1, kFolderLink = 2;

struct Setting {
    std::string Key, Value;
    uint8_t Group = kGroupProject;
};

struct FileItem {
    std::string Name, Source, TargetDir;
    // The attribute bytes, in stream order: 0 false, 1 true (folder and
    // uninstaller entries may hold anything).
    uint8_t RunAtStartup = 0, KeepOnUninstall = 0, NoOverwrite = 0, IsComponent = 0, IsService = 0, RunAfterInstall = 0,
            IsPatch = 0;
    std::string TargetOs;
    uint8_t Kind = kKindFile;
    double FileTime = 45356.5;  // 2024-03-05 12:00
    uint8_t Reserved = 0;
    std::string Data;                  // the content; folder entries store none
    size_t ChunkSize = 3145728;        // content bytes per chunk
    std::optional<int64_t> SizeField;  // written as FileSize instead of the content's size
    // Where the data lies, filled in by WritePackage for every kind but
    // folders; a folder entry's fields are written as they are set here.
    int64_t DataStart = 0, DataEnd = 0, FileSize = 0;
};

struct RegValueItem {
    std::string Key, ValueName, Data, TargetOs;
    uint8_t ValueType = kRegSzText;
};

struct ShortcutItem {
    std::string Folder, Name, Target, IconFile, Arguments, Description;
    uint8_t Kind = kShellLink;
};

struct ComponentItem {
    std::string Name;
    int64_t Size = 0;
};

struct Project {
    std::vector<Setting> Settings;
    std::vector<std::string> FileFolders;
    std::vector<FileItem> Files;
    std::vector<std::string> RegFolders;
    std::vector<RegValueItem> RegValues;
    std::vector<std::string> ShortcutFolders;
    std::vector<ShortcutItem> Shortcuts;
    std::vector<ComponentItem> Components;
    std::string PackageId;
};

// The project stream: the nine sections in order, nothing before, between or
// after them.
inline std::string ProjectStream(const Project& project) {
    std::string out;
    PutI32(out, static_cast<int32_t>(project.Settings.size()));
    for (const Setting& s : project.Settings) {
        PutString(out, s.Key);
        PutString(out, s.Value);
        PutU8(out, s.Group);
    }
    PutString(out, CommaText(project.FileFolders));
    PutI32(out, static_cast<int32_t>(project.Files.size()));
    for (const FileItem& f : project.Files) {
        PutString(out, f.Name);
        PutString(out, f.Source);
        PutString(out, f.TargetDir);
        for (uint8_t flag : {f.RunAtStartup, f.KeepOnUninstall, f.NoOverwrite, f.IsComponent, f.IsService,
                             f.RunAfterInstall, f.IsPatch}) {
            PutU8(out, flag);
        }
        PutString(out, f.TargetOs);
        PutI64(out, f.DataStart);
        PutI64(out, f.DataEnd);
        PutI64(out, f.FileSize);
        PutU8(out, f.Kind);
        PutDouble(out, f.FileTime);
        PutU8(out, f.Reserved);
    }
    PutString(out, CommaText(project.RegFolders));
    PutI32(out, static_cast<int32_t>(project.RegValues.size()));
    for (const RegValueItem& r : project.RegValues) {
        PutString(out, r.Key);
        PutString(out, r.ValueName);
        PutString(out, r.Data);
        PutString(out, r.TargetOs);
        PutU8(out, r.ValueType);
    }
    PutString(out, CommaText(project.ShortcutFolders));
    PutI32(out, static_cast<int32_t>(project.Shortcuts.size()));
    for (const ShortcutItem& s : project.Shortcuts) {
        PutString(out, s.Folder);
        PutString(out, s.Name);
        PutString(out, s.Target);
        PutString(out, s.IconFile);
        PutString(out, s.Arguments);
        PutString(out, s.Description);
        PutU8(out, s.Kind);
    }
    PutI32(out, static_cast<int32_t>(project.Components.size()));
    for (const ComponentItem& c : project.Components) {
        PutString(out, c.Name);
        PutI64(out, c.Size);
    }
    PutString(out, project.PackageId);
    return out;
}

// ---- the container -----------------------------------------------------------------

struct WriteOptions {
    int Level = Z_DEFAULT_COMPRESSION;  // zlib level of every chunk
    // The items' data in the order of the file list, or the other way round:
    // readers go by each item's offsets only.
    bool ReverseDataOrder = false;
    size_t ProjectChunkSize = 3145728;  // project stream bytes per chunk
};

struct Package {
    std::string Bytes;
    int64_t ProjectOffset = 0;  // the tail's second field
    int64_t Size = 0;           // the tail's first field
};

// Appends the package to the program image: eight zero bytes, each stored
// item's chunks, the project stream's chunks and the tail (the sum of the
// sizes of the installable files, then the project offset). Fills in
// DataStart, DataEnd and FileSize of every item but folder entries.
inline Package WritePackage(Project& project, std::string_view image, const WriteOptions& options = {}) {
    Package package;
    std::string& out = package.Bytes;
    out.assign(image);
    out.append(8, '\0');
    std::vector<size_t> order;
    for (size_t i = 0; i < project.Files.size(); ++i) order.push_back(i);
    if (options.ReverseDataOrder) order = std::vector<size_t>(order.rbegin(), order.rend());
    for (size_t i : order) {
        FileItem& item = project.Files[i];
        if (item.Kind == kKindFolder) continue;
        item.DataStart = static_cast<int64_t>(out.size());
        out += Chunks(item.Data, options.Level, item.ChunkSize);
        item.DataEnd = static_cast<int64_t>(out.size());
        item.FileSize = item.SizeField.value_or(static_cast<int64_t>(item.Data.size()));
        if (item.Kind == kKindFile) package.Size += static_cast<int64_t>(item.Data.size());
    }
    package.ProjectOffset = static_cast<int64_t>(out.size());
    out += Chunks(ProjectStream(project), options.Level, options.ProjectChunkSize);
    PutI64(out, package.Size);
    PutI64(out, package.ProjectOffset);
    return package;
}

}  // namespace setup::testing_format
