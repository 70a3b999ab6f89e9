// Inflation of a run of items ahead of the thread that writes them. A worker
// thread reads and inflates the items' chunks in the order given while the
// caller writes the content of earlier items, so that both work at once; the
// content waiting between them is bounded, so the memory taken stays the same
// whatever the size of the items.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "package/codecs.h"
#include "platform/stream.h"
#include "platform/sync.h"

namespace setup {

// Where one item's data lies in the package, and how much it may inflate to
// (negative: unbounded), as TCompile::ReadPackageData takes them.
struct ItemDataRange {
    int64_t DataStart = 0;
    int64_t DataEnd = 0;
    int64_t PromisedSize = -1;
};

class ItemInflater {
public:
    // Content bytes that may wait between the worker and the writer. A single
    // chunk's content is handed over whole even when it is larger.
    // By default one large chunk waits while the next is inflated and the one
    // before is written, or a few hundred files under 256 KiB (a larger one
    // waits in a buffer for a whole chunk): deeper queues took more memory
    // without making the install faster.
    static constexpr size_t kDefaultBudget = 2u << 20;

    // Starts the worker on items, in order. The source belongs to the worker
    // until the inflater is destroyed: nobody else may read or seek it.
    ItemInflater(Stream& source, std::vector<ItemDataRange> items, size_t budget = kDefaultBudget);
    // Stops the worker (at its next piece) and waits for it.
    ~ItemInflater();
    ItemInflater(const ItemInflater&) = delete;
    ItemInflater& operator=(const ItemInflater&) = delete;

    // Writes the content of items[index] to target, exactly as ReadPackageData
    // would: the same failures, raised after the content before the failing
    // chunk was written. index must grow from call to call; items passed over
    // are dropped. A failure of the target drops the rest of the item and
    // propagates.
    void WriteItem(size_t index, Stream& target);
    // Drops items[index] (and any passed-over item before it) unwritten; the
    // worker stops inflating it.
    void SkipItem(size_t index);

private:
    struct Piece {
        size_t Item = 0;
        std::string Content;
        bool Last = false;
        std::exception_ptr Failure;
    };

    void Work();
    void InflateItems();
    // Queues a piece of item; false when the item was dropped or the inflater
    // is stopping, so that the worker leaves it. next receives the buffer the
    // writer is done with, if any: the worker inflates a later chunk into it.
    bool Push(Piece piece, std::string* next);
    // Called by the worker before it allocates a buffer for a whole chunk.
    // While such a buffer waits in the queue, the writer is at another, and
    // the one it finishes comes back before it takes the queued one: the
    // worker waits for that buffer, so that two whole-chunk buffers are alive
    // at a time and not three. large receives the buffer, if one came back.
    void AwaitWritten(std::string& large);
    // Takes a piece off the front of the queue. Called with the lock held.
    Piece Pop();
    // Drops every queued piece of an item before index and makes the worker
    // leave such items. Called with the lock held.
    void DropBefore(size_t index);

    Stream& source_;
    std::vector<ItemDataRange> items_;
    size_t budget_;

    Mutex mutex_;
    ConditionVariable ready_;  // a piece was queued
    ConditionVariable room_;   // a piece was taken, or the items to keep changed
    std::deque<Piece> queue_;
    size_t queued_ = 0;       // memory held by queue_'s content, plus a little for each piece
    size_t queuedWhole_ = 0;  // pieces in queue_ that hold a whole-chunk buffer
    // A whole-chunk buffer the writer is done with, which the worker takes for
    // a later chunk.
    std::string written_;
    std::exception_ptr workerFailure_;  // what stopped the worker outside any item
    size_t keepFrom_ = 0;               // items before this one are no longer wanted
    bool stopping_ = false;
    bool workerWaiting_ = false;    // the worker waits for room or for a buffer
    bool awaitingWritten_ = false;  // the worker waits for a buffer (AwaitWritten)
    bool writerWaiting_ = false;    // the writer waits for a piece

    std::thread worker_;
};

}  // namespace setup
