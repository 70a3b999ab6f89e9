// The writer of setup packages, the exact inverse of the reader: the stub
// program, an 8-byte lead-in, each item's data as chunks, the project stream
// as chunks, and the 16-byte tail. The package maker and every test that needs
// a package use it; the setup program never writes a package.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "package/codecs.h"
#include "package/compile.h"
#include "package/compression_pool.h"
#include "platform/stream.h"

namespace setup {

struct ItemRange {
    int64_t DataStart = 0;
    int64_t DataEnd = 0;
    int64_t Size = 0;  // uncompressed bytes
};

// The project stream of a model, byte for byte as the parser reads it.
std::string SerializeProjectStream(const TCompile& project);

class PackageWriter {
public:
    // Writes to out from its current position (nothing else may write to out
    // until the writer is done with it); chunkSize is the uncompressed
    // bytes per chunk (at least 1). With more than one thread, chunks are
    // compressed on that many worker threads while the calling thread reads
    // and writes; the package is byte for byte the one a single thread writes.
    // Raises an Os error when a thread cannot be started.
    PackageWriter(Stream& out, TCompressLevelEnum level = cplDefault, size_t chunkSize = kChunkBlockSize,
                  unsigned threads = 1);
    // Stops the worker threads; whatever is still queued is dropped.
    ~PackageWriter();

    // The program the package is appended to, then the lead-in.
    void WriteStub(Stream& stub);
    void WriteStub(std::string_view stub);
    // The data of one item, read from source's position to its end.
    ItemRange WriteItem(Stream& source);
    ItemRange WriteItem(std::string_view bytes);
    // Reads source from its position to its end and queues its data; returns
    // the bytes read. placed receives the item's range on the calling thread,
    // during this or a later QueueItem, Flush or Finish, once its last chunk
    // is written; items are placed in the order they were queued. At most a
    // few chunks per thread are held in memory, whatever the item sizes.
    int64_t QueueItem(Stream& source, std::function<void(const ItemRange&)> placed);
    // Writes everything queued and places every queued item.
    void Flush();
    // Flushes, then writes the project stream and the tail; size is the
    // tail's total of fkFile bytes.
    void Finish(const TCompile& project, int64_t size);
    // The tail alone, for packages whose project offset is chosen by the caller.
    void WriteTail(int64_t size, int64_t projectOffset);

    // Called on the calling thread after each chunk is written, with the
    // uncompressed bytes written so far.
    std::function<void(int64_t)> OnProgress;

    // Any failure (a source that cannot be read, a chunk that cannot be
    // compressed, an output that cannot be written) leaves the writer
    // unusable: the caller discards it and what it wrote.

private:
    struct QueuedItem {
        std::function<void(const ItemRange&)> Placed;
        ItemRange Range;
        size_t Chunks = 0;    // queued so far
        size_t Written = 0;   // written so far
        bool Sealed = false;  // the whole source is read
    };

    void WriteChunks(Stream& source);
    size_t ReadBlock(Stream& source);
    void SubmitBatch();
    void WriteOldestBatch();
    void WriteChunk(const CompressedBlock& block);
    void WriteChunkBytes(const std::string& compressed);
    void PlaceFinishedItems();

    Stream& out_;
    TCompressLevelEnum level_;
    size_t chunkSize_;
    bool leadInWritten_ = false;
    int64_t written_ = 0;
    int64_t position_;  // out's position, kept here: asking a file stream flushes it

    // Only with worker threads.
    std::unique_ptr<CompressionPool> pool_;
    size_t maxPendingBatches_ = 0;
    size_t batchTarget_ = 0;  // uncompressed bytes per batch handed to a thread
    std::string readBuffer_;
    std::vector<std::string> batch_;
    size_t batchBytes_ = 0;
    std::deque<QueuedItem> items_;  // queued and not yet placed, oldest first
};

}  // namespace setup
