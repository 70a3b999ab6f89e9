#include "package/compression_pool.h"

#include <system_error>

#include "platform/errors.h"

namespace setup {

CompressionPool::CompressionPool(unsigned threads, TCompressLevelEnum level) : level_(level) {
    if (threads == 0) threads = 1;
    try {
        for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error& e) {
        {
            std::lock_guard<Mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.NotifyAll();
        for (std::thread& t : threads_) t.join();
        ThrowOsError(std::string("Cannot start a compression thread: ") + e.what());
    }
}

CompressionPool::~CompressionPool() {
    {
        std::lock_guard<Mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.NotifyAll();
    for (std::thread& t : threads_) t.join();
}

void CompressionPool::Submit(std::vector<std::string> blocks) {
    auto batch = std::make_shared<Batch>();
    batch->Blocks = std::move(blocks);
    {
        std::lock_guard<Mutex> lock(mutex_);
        waiting_.push_back(batch);
        pending_.push_back(std::move(batch));
    }
    work_.NotifyOne();
}

bool CompressionPool::OldestReady() {
    std::lock_guard<Mutex> lock(mutex_);
    return !pending_.empty() && pending_.front()->Done;
}

std::vector<CompressedBlock> CompressionPool::TakeOldest() {
    std::shared_ptr<Batch> batch;
    {
        std::unique_lock<Mutex> lock(mutex_);
        done_.Wait(lock, [this] { return pending_.front()->Done; });
        batch = std::move(pending_.front());
        pending_.pop_front();
    }
    if (batch->Error) std::rethrow_exception(batch->Error);
    return std::move(batch->Compressed);
}

void CompressionPool::Work() {
    for (;;) {
        std::shared_ptr<Batch> batch;
        {
            std::unique_lock<Mutex> lock(mutex_);
            work_.Wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_) return;
            batch = std::move(waiting_.front());
            waiting_.pop_front();
        }
        // Only this thread touches the batch until it is marked done.
        try {
            batch->Compressed.reserve(batch->Blocks.size());
            for (std::string& block : batch->Blocks) {
                batch->Compressed.push_back(CompressedBlock{CompressBlock(block, level_), block.size()});
                // The input is no longer needed: memory in flight stays near
                // what the writer has yet to write.
                std::string().swap(block);
            }
        } catch (...) {
            batch->Error = std::current_exception();
            batch->Compressed.clear();
        }
        {
            std::lock_guard<Mutex> lock(mutex_);
            batch->Done = true;
        }
        done_.NotifyAll();
    }
}

}  // namespace setup
