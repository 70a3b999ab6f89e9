// The inflater that works ahead of the writer: content and order, items passed
// over, failures where the item's own reading would raise them, and the bound
// on what it reads ahead.
#include "package/item_inflater.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "package/codecs.h"
#include "platform/errors.h"

namespace setup {
namespace {

std::string Content(size_t size, char seed) {
    std::string s(size, '\0');
    uint32_t x = static_cast<uint32_t>(seed) * 7919u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245 + 12345;
        s[i] = static_cast<char>(i % 3 == 0 ? (x >> 16) : seed + i % 5);
    }
    return s;
}

// A package body: each item's content cut into chunks of chunkSize bytes.
struct Package {
    MemoryStream bytes;
    std::vector<ItemDataRange> ranges;
    std::vector<std::string> contents;

    void Add(const std::string& content, size_t chunkSize = 4096) {
        ItemDataRange range;
        range.DataStart = bytes.Position();
        for (size_t at = 0; at < content.size(); at += chunkSize) {
            std::string block = CompressBlock(content.substr(at, chunkSize), cplSpeed);
            bytes.WriteU32(static_cast<uint32_t>(block.size()));
            bytes.WriteBytes(block);
        }
        range.DataEnd = bytes.Position();
        range.PromisedSize = static_cast<int64_t>(content.size());
        ranges.push_back(range);
        contents.push_back(content);
    }
};

// A source that counts how far it has been read.
class CountingSource : public Stream {
public:
    explicit CountingSource(Stream& inner) : inner_(inner) {}
    size_t Read(void* buffer, size_t count) override {
        size_t n = inner_.Read(buffer, count);
        read_ += n;
        return n;
    }
    void Write(const void* buffer, size_t count) override { inner_.Write(buffer, count); }
    int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_.Seek(offset, origin); }
    int64_t Size() override { return inner_.Size(); }
    void SetSize(int64_t size) override { inner_.SetSize(size); }
    size_t BytesRead() const { return read_; }

private:
    Stream& inner_;
    std::atomic<size_t> read_{0};
};

// A target that refuses to grow beyond a size, as a full disk does.
class FullTarget : public MemoryStream {
public:
    explicit FullTarget(int64_t room) : room_(room) {}
    void Write(const void* buffer, size_t count) override {
        if (Size() + static_cast<int64_t>(count) > room_) ThrowOsError("there is not enough space on the disk");
        MemoryStream::Write(buffer, count);
    }

private:
    int64_t room_;
};

// Every item's content arrives whole and in order, empty and many-chunk items
// included, with a budget far below the content's size.
TEST(ItemInflaterTest, ContentOfEveryItemInOrder) {
    Package p;
    p.Add(Content(300000, 'a'));
    p.Add("");
    for (char c = 'b'; c < 'z'; ++c) p.Add(Content(static_cast<size_t>(c) * 13, c));
    p.Add(Content(70000, 'z'), 65536);
    ItemInflater inflater(p.bytes, p.ranges, 20000);
    for (size_t i = 0; i < p.ranges.size(); ++i) {
        MemoryStream out;
        inflater.WriteItem(i, out);
        EXPECT_EQ(out.Bytes(), p.contents[i]) << i;
    }
}

// Whole-chunk buffers go from the writer back to the worker: content of
// every size in between, large chunks of different lengths, a small item that
// may not keep a large buffer, a chunk too large for one, skipped items and a
// damaged large chunk all come out as they went in.
TEST(ItemInflaterTest, BuffersHandedBackCarryOnlyTheirOwnContent) {
    Package p;
    const size_t sizes[] = {kChunkBlockSize, 900000, 300, kChunkBlockSize + 5, 270000, 5000, 2000000, 262144, 17};
    char seed = 'a';
    for (size_t size : sizes) p.Add(Content(size, seed++), kChunkBlockSize);
    // A chunk larger than a whole-chunk buffer (a package made with bigger
    // chunks) is inflated in pieces, between large chunks on either side.
    p.Add(Content(kChunkBlockSize + (1u << 20), seed++), 8u << 20);
    p.Add(Content(kChunkBlockSize, seed++), kChunkBlockSize);
    std::string bytes = p.bytes.Bytes();
    // Item 6 (2,000,000 bytes) is damaged in the middle of its one chunk.
    bytes[static_cast<size_t>(p.ranges[6].DataStart + (p.ranges[6].DataEnd - p.ranges[6].DataStart) / 2)] ^= 0x55;
    MemoryStream source(bytes);
    for (int round = 0; round < 2; ++round) {
        ItemInflater inflater(source, p.ranges, round == 0 ? ItemInflater::kDefaultBudget : 1);
        for (size_t i = 0; i < p.ranges.size(); ++i) {
            if (i == 4 && round == 1) {
                inflater.SkipItem(i);
                continue;
            }
            MemoryStream out;
            if (i == 6) {
                EXPECT_THROW(inflater.WriteItem(i, out), Error);
                continue;
            }
            inflater.WriteItem(i, out);
            EXPECT_EQ(out.Bytes(), p.contents[i]) << round << " " << i;
        }
        source.Seek(0, SeekOrigin::Begin);
    }
}

// A target that notes which buffers large content comes from, and writes
// slowly, so that the worker is always ahead of it.
class SlowTarget : public MemoryStream {
public:
    explicit SlowTarget(std::set<const void*>& buffers) : buffers_(buffers) {}
    void Write(const void* buffer, size_t count) override {
        if (count >= 256 * 1024) buffers_.insert(buffer);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        MemoryStream::Write(buffer, count);
    }

private:
    std::set<const void*>& buffers_;
};

// While the writer writes one whole chunk and the next waits in the queue,
// the worker waits for the written one to come back instead of taking a
// third buffer: large content of any length goes through two buffers. A
// skipped item whose chunk waits in the queue while the worker waits for a
// buffer frees the worker, and hands its buffer on.
TEST(ItemInflaterTest, TwoWholeChunkBuffersServeEveryLargeChunk) {
    Package p;
    p.Add(Content(3 * kChunkBlockSize, 'A'), kChunkBlockSize);
    for (char c = 'a'; c < 'i'; ++c)
        p.Add(Content(kChunkBlockSize - static_cast<size_t>(c) * 1000, c), kChunkBlockSize);
    p.Add(Content(3 * kChunkBlockSize + 100, 'i'), kChunkBlockSize);
    for (bool skip : {false, true}) {
        std::set<const void*> buffers;
        ItemInflater inflater(p.bytes, p.ranges);
        for (size_t i = 0; i < p.ranges.size(); ++i) {
            if (skip && (i == 0 || i == 4)) {
                // The worker has queued the item's first chunk and waits.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                inflater.SkipItem(i);
                continue;
            }
            SlowTarget out(buffers);
            inflater.WriteItem(i, out);
            EXPECT_EQ(out.Bytes(), p.contents[i]) << skip << " " << i;
        }
        EXPECT_LE(buffers.size(), 2u) << skip;
        p.bytes.Seek(0, SeekOrigin::Begin);
    }
    // Dropped while the worker waits for a buffer: it leaves at once.
    {
        ItemInflater inflater(p.bytes, p.ranges);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// Items skipped, passed over after a failure of the caller's own, or left
// after a full target: the next item written is still the right one.
TEST(ItemInflaterTest, SkippedAndAbandonedItemsDoNotLeakIntoTheNext) {
    Package p;
    for (char c = 'a'; c <= 'f'; ++c) p.Add(Content(50000, c));
    ItemInflater inflater(p.bytes, p.ranges, 8192);
    inflater.SkipItem(0);
    FullTarget full(10000);
    try {
        inflater.WriteItem(1, full);
        ADD_FAILURE() << "the full target took everything";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Os);
    }
    // Item 2 is never asked for, as when its file cannot be created.
    MemoryStream out;
    inflater.WriteItem(3, out);
    EXPECT_EQ(out.Bytes(), p.contents[3]);
    inflater.SkipItem(4);
    MemoryStream last;
    inflater.WriteItem(5, last);
    EXPECT_EQ(last.Bytes(), p.contents[5]);
    MemoryStream again;
    EXPECT_THROW(inflater.WriteItem(5, again), std::logic_error);
}

// A damaged chunk fails its own item after the content before it, with the
// error a direct read raises; the items after it are whole.
TEST(ItemInflaterTest, DamageFailsOnlyItsItemWhereItLies) {
    Package p;
    p.Add(Content(10000, 'a'));
    p.Add(Content(10000, 'b'));
    p.Add(Content(10000, 'c'));
    std::string bytes = p.bytes.Bytes();
    // The last byte of item 1's third chunk (its Adler-32).
    MemoryStream probe(bytes);
    probe.Seek(p.ranges[1].DataStart, SeekOrigin::Begin);
    for (int chunk = 0; chunk < 2; ++chunk) probe.Seek(probe.ReadU32(), SeekOrigin::Current);
    int64_t third = probe.Position();
    uint32_t length = probe.ReadU32();
    bytes[static_cast<size_t>(third + 4 + length - 1)] ^= 1;
    MemoryStream source(bytes);

    ItemInflater inflater(source, p.ranges, 4096);
    MemoryStream a, b, c;
    inflater.WriteItem(0, a);
    EXPECT_EQ(a.Bytes(), p.contents[0]);
    try {
        inflater.WriteItem(1, b);
        ADD_FAILURE() << "damage not reported";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Decompression);
        EXPECT_STREQ(e.what(), "error");
    }
    EXPECT_EQ(b.Bytes(), p.contents[1].substr(0, 8192));
    inflater.WriteItem(2, c);
    EXPECT_EQ(c.Bytes(), p.contents[2]);

    // Offsets outside the source and content beyond the promise: damage.
    std::vector<ItemDataRange> wrong = {{0, source.Size() + 1, -1}, p.ranges[0]};
    wrong[1].PromisedSize -= 1;
    MemoryStream second(bytes);
    ItemInflater refused(second, wrong);
    MemoryStream none;
    for (size_t i = 0; i < wrong.size(); ++i) {
        try {
            refused.WriteItem(i, none);
            ADD_FAILURE() << i;
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Damaged) << i;
        }
    }
}

// The worker reads ahead only as far as the budget allows while nobody
// writes, and the inflater stops at once when it is dropped unread.
TEST(ItemInflaterTest, ReadsAheadNoFurtherThanTheBudget) {
    Package p;
    for (int i = 0; i < 40; ++i) p.Add(Content(64 * 1024, static_cast<char>('a' + i % 26)), 16 * 1024);
    CountingSource source(p.bytes);
    {
        ItemInflater inflater(source, p.ranges, 100 * 1024);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        // What waits, plus the chunk the worker holds and the one it reads.
        // The content is about half as large compressed.
        EXPECT_LT(source.BytesRead(), static_cast<size_t>(p.bytes.Size()) / 4);
        MemoryStream out;
        inflater.WriteItem(0, out);
        EXPECT_EQ(out.Bytes(), p.contents[0]);
    }
    EXPECT_LT(source.BytesRead(), static_cast<size_t>(p.bytes.Size()) / 2);
}

}  // namespace
}  // namespace setup
