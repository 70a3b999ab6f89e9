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

// Content that may reach this size is inflated into a buffer for a whole
// chunk, which comes back to the worker once written: the system would map a
// new block of that size afresh and fault it in page by page. Smaller buffers
// come from the heap's own free blocks.
constexpr size_t kLargeContent = 256u << 10;

bool HoldsWholeChunk(const std::string& buffer) { return buffer.capacity() > kWholeChunkSize; }

// Moves a whole-chunk buffer from `from` into `into` when `into` holds none,
// leaving `from` empty. True when it moved.
bool HandOver(std::string& from, std::string& into) {
    if (!HoldsWholeChunk(from) || HoldsWholeChunk(into)) return false;
    into.swap(from);
    std::string().swap(from);
    return true;
}

// Thrown through the reader when the worker is to leave the item it inflates.
struct LeaveItem {};

}  // namespace

ItemInflater::ItemInflater(Stream& source, std::vector<ItemDataRange> items, size_t budget)
    : source_(source), items_(std::move(items)), budget_(budget) {
    worker_ = std::thread([this] { Work(); });
}

ItemInflater::~ItemInflater() {
    {
        std::lock_guard<Mutex> lock(mutex_);
        stopping_ = true;
    }
    room_.NotifyAll();
    worker_.join();
}

void ItemInflater::Work() {
    try {
        InflateItems();
    } catch (...) {
        // Queueing failed itself (no memory left): the writer raises this
        // once the pieces queued before it are written, instead of waiting
        // for pieces that will not come.
        std::lock_guard<Mutex> lock(mutex_);
        workerFailure_ = std::current_exception();
        ready_.NotifyOne();
    }
}

void ItemInflater::InflateItems() {
    ChunkBuffers buffers;
    buffers.LargeContent = kLargeContent;
    buffers.AwaitLarge = [this](std::string& large) { AwaitWritten(large); };
    for (size_t index = 0; index < items_.size(); ++index) {
        {
            std::lock_guard<Mutex> lock(mutex_);
            if (stopping_) return;
            if (index < keepFrom_) continue;
        }
        const ItemDataRange& item = items_[index];
        try {
            TCompile::ReadPackageData(
                source_,
                [this, index, &buffers](std::string& content) {
                    if (!Push(Piece{index, std::move(content), false, nullptr}, &buffers.Large)) throw LeaveItem{};
                },
                item.DataStart, item.DataEnd, item.PromisedSize, &buffers);
            Push(Piece{index, std::string(), true, nullptr}, &buffers.Large);
        } catch (const LeaveItem&) {
            // Dropped by the writer, or the inflater is stopping.
        } catch (...) {
            // The failure reaches the writer where the item's content stops,
            // as it would had the writer read the item itself.
            Push(Piece{index, std::string(), true, std::current_exception()}, &buffers.Large);
        }
    }
}

bool ItemInflater::Push(Piece piece, std::string* next) {
    size_t cost = Cost(piece.Content);
    std::unique_lock<Mutex> lock(mutex_);
    // A piece larger than the whole budget still passes once the queue is empty.
    if (!stopping_ && piece.Item >= keepFrom_ && !queue_.empty() && queued_ + cost > budget_) {
        // Once the budget is spent the worker waits until half of it is free
        // again, so that it is woken once for many small pieces rather than
        // for every piece the writer takes: each wake-up is a round trip
        // through the system.
        workerWaiting_ = true;
        room_.Wait(lock, [&] {
            return stopping_ || piece.Item < keepFrom_ || queue_.empty() ||
                   (queued_ + cost <= budget_ && queued_ <= budget_ / 2);
        });
        workerWaiting_ = false;
    }
    // The buffer the writer is done with is where a later chunk is inflated.
    if (next != nullptr) HandOver(written_, *next);
    if (stopping_ || piece.Item < keepFrom_) {
        // The content of a dropped item is not queued; its buffer serves a
        // later chunk.
        if (next != nullptr) HandOver(piece.Content, *next);
        return false;
    }
    bool whole = HoldsWholeChunk(piece.Content);
    queue_.push_back(std::move(piece));
    // Counted once queued: a push that fails (no memory) leaves no trace.
    queued_ += cost;
    if (whole) ++queuedWhole_;
    bool wake = writerWaiting_;
    lock.unlock();
    if (wake) ready_.NotifyOne();
    return true;
}

void ItemInflater::AwaitWritten(std::string& large) {
    std::unique_lock<Mutex> lock(mutex_);
    if (!HoldsWholeChunk(written_) && queuedWhole_ != 0) {
        workerWaiting_ = awaitingWritten_ = true;
        room_.Wait(lock, [&] { return stopping_ || HoldsWholeChunk(written_) || queuedWhole_ == 0; });
        workerWaiting_ = awaitingWritten_ = false;
    }
    // A stopping inflater inflates nothing more.
    if (stopping_) throw LeaveItem{};
    HandOver(written_, large);
}

ItemInflater::Piece ItemInflater::Pop() {
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    queued_ -= Cost(piece.Content);
    if (HoldsWholeChunk(piece.Content)) --queuedWhole_;
    return piece;
}

void ItemInflater::DropBefore(size_t index) {
    if (index <= keepFrom_) return;
    keepFrom_ = index;
    while (!queue_.empty() && queue_.front().Item < keepFrom_) {
        // A dropped piece's whole-chunk buffer serves a later chunk.
        Piece dropped = Pop();
        HandOver(dropped.Content, written_);
    }
    // The worker may wait on a piece of an item now dropped, or for room now
    // free. A worker at work sees the change at its next piece: waking it for
    // every item would cost a round trip through the system each.
    if (workerWaiting_) room_.NotifyAll();
}

void ItemInflater::WriteItem(size_t index, Stream& target) {
    std::unique_lock<Mutex> lock(mutex_);
    if (index < keepFrom_ || index >= items_.size()) throw std::logic_error("ItemInflater: item out of order");
    DropBefore(index);
    for (;;) {
        if (queue_.empty()) {
            writerWaiting_ = true;
            ready_.Wait(lock, [&] { return !queue_.empty() || workerFailure_; });
            writerWaiting_ = false;
            if (queue_.empty()) std::rethrow_exception(workerFailure_);
        }
        Piece piece = Pop();
        // The worker waits for room, or for the whole-chunk buffer written
        // before this piece (kept in written_ by now).
        if (workerWaiting_ && (queue_.empty() || queued_ <= budget_ / 2 || HoldsWholeChunk(piece.Content))) {
            room_.NotifyAll();
        }
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
        // A whole-chunk buffer goes back to the worker, in place of the one it
        // would allocate for a later chunk. One is kept at most: it stands for
        // the writer's piece until the writer takes the next one, and more
        // would be held beside the buffers of the queue and the worker.
        if (HandOver(piece.Content, written_) && awaitingWritten_) room_.NotifyAll();
        if (piece.Last) {
            keepFrom_ = std::max(keepFrom_, index + 1);
            return;
        }
    }
}

void ItemInflater::SkipItem(size_t index) {
    std::lock_guard<Mutex> lock(mutex_);
    if (index < keepFrom_ || index >= items_.size()) throw std::logic_error("ItemInflater: item out of order");
    DropBefore(index + 1);
}

}  // namespace setup
