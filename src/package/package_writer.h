// The writer of setup packages, the exact inverse of the reader: the stub
// program, an 8-byte lead-in, each item's data as chunks, the project stream
// as chunks, and the 16-byte tail. The package maker and every test that needs
// a package use it; the setup program never writes a package.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "package/codecs.h"
#include "package/compile.h"
#include "platform/stream.h"

namespace setup {

struct ItemRange {
    int64_t dataStart = 0;
    int64_t dataEnd = 0;
    int64_t size = 0;  // uncompressed bytes
};

// The project stream of a model, byte for byte as the parser reads it.
std::string SerializeProjectStream(const TCompile& project);

class PackageWriter {
public:
    // Writes to out from its current position; chunkSize is the uncompressed
    // bytes per chunk (at least 1).
    PackageWriter(Stream& out, TCompressLevelEnum level = cplDefault, size_t chunkSize = kChunkBlockSize);

    // The program the package is appended to, then the lead-in.
    void WriteStub(Stream& stub);
    void WriteStub(std::string_view stub);
    // The data of one item, read from source's position to its end.
    ItemRange WriteItem(Stream& source);
    ItemRange WriteItem(std::string_view bytes);
    // The project stream and the tail; size is the tail's total of fkFile bytes.
    void Finish(const TCompile& project, int64_t size);
    // The tail alone, for packages whose project offset is chosen by the caller.
    void WriteTail(int64_t size, int64_t projectOffset);

    // Called after each chunk with the uncompressed bytes written so far.
    std::function<void(int64_t)> OnProgress;

private:
    void WriteChunks(Stream& source);

    Stream& out_;
    TCompressLevelEnum level_;
    size_t chunkSize_;
    bool leadInWritten_ = false;
    int64_t written_ = 0;
};

}  // namespace setup
