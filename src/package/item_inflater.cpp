#include "package/item_inflater.h"

#include <algorithm>
#include <stdexcept>

#include "package/compile.h"

namespace setup {

namespace {

// What a queued piece counts against the budget: the memory its content holds
// and a little for the piece itself, so that a run of empty files cannot
// queue without end.
constexpr size_t kPieceOverhead = 64;

size_t Cost(const std::string& content) { return content.capacity() + kPieceOverhead; }

// A written piece's buffer at least this large is kept for the worker's next
// chunk instead of being freed: large blocks are what some systems map afresh
// and fault in page by page on every allocation.
constexpr size_t kSpareMinimum = 256u << 10;

// Thrown through the reader when the worker is to leave the item it inflates.
struct LeaveItem {};

}  // namespace

ItemInflater::ItemInflater(Stream& source, std::vector<ItemDataRange> items, size_t budget)
    : source_(source), items_(std::move(items)), budget_(budget) {
    worker_ = std::thread([this] { Work(); });
}

ItemInflater::~ItemInflater() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    room_.notify_all();
    worker_.join();
}

void ItemInflater::Work() {
    ChunkBuffers buffers;
    for (size_t index = 0; index < items_.size(); ++index) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            if (index < keepFrom_) continue;
        }
        const ItemDataRange& item = items_[index];
        try {
            TCompile::ReadPackageData(
                source_,
                [this, index](std::string& content) {
                    Piece piece{index, std::string(), false, nullptr};
                    if (content.capacity() / 2 > content.size() + kPieceOverhead) {
                        // Little content in a large buffer: the copy waits, the buffer stays.
                        piece.Content.assign(content);
                    } else {
                        piece.Content = std::move(content);
                        content = TakeSpare();
                    }
                    if (!Push(std::move(piece))) throw LeaveItem{};
                },
                item.DataStart, item.DataEnd, item.PromisedSize, &buffers);
            Push(Piece{index, std::string(), true, nullptr});
        } catch (const LeaveItem&) {
            // Dropped by the writer, or the inflater is stopping.
        } catch (...) {
            // The failure reaches the writer where the item's content stops,
            // as it would had the writer read the item itself.
            Push(Piece{index, std::string(), true, std::current_exception()});
        }
    }
}

bool ItemInflater::Push(Piece piece) {
    size_t cost = Cost(piece.Content);
    std::unique_lock<std::mutex> lock(mutex_);
    // A piece larger than the whole budget still passes once the queue is empty.
    if (!stopping_ && piece.Item >= keepFrom_ && !queue_.empty() && queued_ + cost > budget_) {
        // Once the budget is spent the worker waits until half of it is free
        // again, so that it is woken once for many small pieces rather than
        // for every piece the writer takes: each wake-up is a round trip
        // through the system.
        workerWaiting_ = true;
        room_.wait(lock, [&] {
            return stopping_ || piece.Item < keepFrom_ || queue_.empty() ||
                   (queued_ + cost <= budget_ && QueuedContent() <= budget_ / 2);
        });
        workerWaiting_ = false;
    }
    if (stopping_ || piece.Item < keepFrom_) return false;
    queued_ += cost;
    queue_.push_back(std::move(piece));
    bool wake = writerWaiting_;
    lock.unlock();
    if (wake) ready_.notify_one();
    return true;
}

size_t ItemInflater::QueuedContent() const {
    return spare_.capacity() >= kSpareMinimum ? queued_ - Cost(spare_) : queued_;
}

std::string ItemInflater::TakeSpare() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.capacity() < kSpareMinimum) return std::string();
    queued_ -= Cost(spare_);
    return std::move(spare_);
}

void ItemInflater::KeepSpare(std::string buffer) {
    // The spare counts against the budget like a queued piece; where there is
    // no room for it, or one is kept already, the buffer is freed.
    if (buffer.capacity() < kSpareMinimum || spare_.capacity() >= kSpareMinimum) return;
    if (queued_ + Cost(buffer) > budget_) return;
    buffer.clear();
    queued_ += Cost(buffer);
    spare_ = std::move(buffer);
}

void ItemInflater::DropBefore(size_t index) {
    keepFrom_ = std::max(keepFrom_, index);
    while (!queue_.empty() && queue_.front().Item < keepFrom_) {
        queued_ -= Cost(queue_.front().Content);
        queue_.pop_front();
    }
    room_.notify_all();
}

void ItemInflater::WriteItem(size_t index, Stream& target) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (index < keepFrom_ || index >= items_.size()) throw std::logic_error("ItemInflater: item out of order");
    DropBefore(index);
    for (;;) {
        if (queue_.empty()) {
            writerWaiting_ = true;
            ready_.wait(lock, [&] { return !queue_.empty(); });
            writerWaiting_ = false;
        }
        Piece piece = std::move(queue_.front());
        queue_.pop_front();
        queued_ -= Cost(piece.Content);
        if (workerWaiting_ && (queue_.empty() || QueuedContent() <= budget_ / 2)) room_.notify_all();
        if (piece.Failure) {
            // The failure is the item's last piece: nothing of it is left.
            keepFrom_ = std::max(keepFrom_, index + 1);
            std::rethrow_exception(piece.Failure);
        }
        lock.unlock();
        try {
            if (!piece.Content.empty()) target.Write(piece.Content.data(), piece.Content.size());
        } catch (...) {
            lock.lock();
            DropBefore(index + 1);
            throw;
        }
        lock.lock();
        KeepSpare(std::move(piece.Content));
        if (piece.Last) {
            keepFrom_ = std::max(keepFrom_, index + 1);
            return;
        }
    }
}

void ItemInflater::SkipItem(size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < keepFrom_ || index >= items_.size()) throw std::logic_error("ItemInflater: item out of order");
    DropBefore(index + 1);
}

}  // namespace setup
