// Worker threads that compress batches of blocks for the package writer. Each
// block becomes one zlib stream of its own, exactly as CompressBlock makes it
// on the calling thread, so the bytes never depend on the number of threads;
// batches come back in the order they were handed in.
#pragma once

#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "package/codecs.h"
#include "platform/sync.h"

namespace setup {

struct CompressedBlock {
    std::string Bytes;   // one complete zlib stream
    size_t RawSize = 0;  // the bytes it inflates to
};

class CompressionPool {
public:
    // Starts the threads (at least one). Raises an Os error when the system
    // refuses to start one; the threads already started are stopped then.
    CompressionPool(unsigned threads, TCompressLevelEnum level);
    // Stops the threads once their current batch is done; batches not taken
    // back are dropped.
    ~CompressionPool();
    CompressionPool(const CompressionPool&) = delete;
    CompressionPool& operator=(const CompressionPool&) = delete;

    // Hands a batch of blocks to the threads and returns at once.
    void Submit(std::vector<std::string> blocks);
    // Batches handed in and not yet taken back.
    size_t Pending() const { return pending_.size(); }
    // Whether the oldest batch is compressed (false when there is none).
    bool OldestReady();
    // Waits for the oldest batch and returns its blocks compressed, in order;
    // raises what compressing it raised. Only with Pending() > 0.
    std::vector<CompressedBlock> TakeOldest();

private:
    struct Batch {
        std::vector<std::string> Blocks;
        std::vector<CompressedBlock> Compressed;
        std::exception_ptr Error;
        bool Done = false;
    };

    void Work();

    TCompressLevelEnum level_;
    Mutex mutex_;
    ConditionVariable work_;                      // a batch waits or the pool stops
    ConditionVariable done_;                      // a batch is finished
    std::deque<std::shared_ptr<Batch>> waiting_;  // not yet taken by a thread
    std::deque<std::shared_ptr<Batch>> pending_;  // every batch not taken back, oldest first
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace setup
