// The package writer: the same bytes on any number of threads, items placed
// in order, memory bounded, failures that leave nothing running.
#include "package/package_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "package/compile.h"
#include "platform/errors.h"

namespace setup {
namespace {

// Text-like runs broken by noise, so chunks compress to different lengths.
std::string Sample(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>((i / 50) % 3 == 0 ? (x >> 16) & 0xFF : 'a' + (i + seed) % 11);
    }
    return s;
}

struct Written {
    std::string bytes;
    std::vector<ItemRange> ranges;
    std::vector<int64_t> progress;
};

enum class Calls { WriteItem, QueueItem };

// Writes a stub, the items and a project holding them, as the package maker does.
Written Write(const std::vector<std::string>& items, size_t chunk, unsigned threads, Calls calls) {
    Written w;
    MemoryStream out;
    TCompile project;
    {
        PackageWriter writer(out, cplDefault, chunk, threads);
        writer.OnProgress = [&w](int64_t done) { w.progress.push_back(done); };
        writer.WriteStub("MZstub");
        w.ranges.resize(items.size());
        int64_t size = 0;
        for (size_t i = 0; i < items.size(); ++i) {
            auto item = std::make_unique<TCompileFileData>();
            item->Name = "f" + std::to_string(i);
            item->FileSize = static_cast<int64_t>(items[i].size());
            project.FileList.push_back(std::move(item));
            if (calls == Calls::WriteItem) {
                w.ranges[i] = writer.WriteItem(items[i]);
            } else {
                MemoryStream source(items[i]);
                int64_t read = writer.QueueItem(source, [&w, i](const ItemRange& r) { w.ranges[i] = r; });
                EXPECT_EQ(read, static_cast<int64_t>(items[i].size()));
            }
            size += static_cast<int64_t>(items[i].size());
        }
        writer.Flush();
        for (size_t i = 0; i < items.size(); ++i) {
            project.FileList[i]->DataStart = w.ranges[i].DataStart;
            project.FileList[i]->DataEnd = w.ranges[i].DataEnd;
        }
        writer.Finish(project, size);
    }
    w.bytes = out.TakeBytes();
    return w;
}

struct WriterCase {
    const char* name;
    size_t chunk;
    std::vector<size_t> sizes;
};

void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.name; }

class ThreadedWriterTest : public testing::TestWithParam<WriterCase> {};

// Any number of threads, queued or written one by one, gives the bytes, the
// ranges and the progress of the single-threaded writer, and every range
// reads back as its item.
TEST_P(ThreadedWriterTest, SameBytesAsOneThread) {
    const WriterCase& c = GetParam();
    std::vector<std::string> items;
    for (size_t i = 0; i < c.sizes.size(); ++i) items.push_back(Sample(c.sizes[i], static_cast<uint32_t>(i)));
    Written one = Write(items, c.chunk, 1, Calls::WriteItem);
    for (unsigned threads : {2u, 4u}) {
        for (Calls calls : {Calls::QueueItem, Calls::WriteItem}) {
            SCOPED_TRACE(testing::Message()
                         << threads << " threads, " << (calls == Calls::QueueItem ? "queued" : "one by one"));
            Written many = Write(items, c.chunk, threads, calls);
            EXPECT_TRUE(many.bytes == one.bytes) << "sizes " << many.bytes.size() << " and " << one.bytes.size();
            for (size_t i = 0; i < items.size(); ++i) {
                EXPECT_EQ(many.ranges[i].DataStart, one.ranges[i].DataStart) << i;
                EXPECT_EQ(many.ranges[i].DataEnd, one.ranges[i].DataEnd) << i;
                EXPECT_EQ(many.ranges[i].Size, one.ranges[i].Size) << i;
            }
            EXPECT_EQ(many.progress, one.progress);
        }
    }
    MemoryStream package(one.bytes);
    int64_t previousEnd = 6 + 8;
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(one.ranges[i].DataStart, previousEnd) << i;
        previousEnd = one.ranges[i].DataEnd;
        MemoryStream content;
        TCompile::ReadPackageData(package, content, one.ranges[i].DataStart, one.ranges[i].DataEnd);
        EXPECT_TRUE(content.Bytes() == items[i]) << i;
        size_t chunks = (items[i].size() + c.chunk - 1) / c.chunk;
        // Each chunk is a length and at least a zlib header and trailer.
        EXPECT_GE(one.ranges[i].DataEnd - one.ranges[i].DataStart, static_cast<int64_t>(chunks * 10)) << i;
    }
}

std::vector<size_t> ManySmall(size_t count, size_t largest) {
    std::vector<size_t> sizes;
    uint32_t x = 7;
    for (size_t i = 0; i < count; ++i) sizes.push_back((x = x * 1664525u + 1013904223u) % (largest + 1));
    return sizes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThreadedWriterTest,
    testing::Values(
        // Exactly one chunk, one byte more, several, one byte less.
        WriterCase{"LargerThanAChunk", 4096, {4096 * 5, 4096 * 5 + 1, 4096, 4095, 10, 4097}},
        WriterCase{"EmptyItemsAnywhere", 4096, {0, 0, 5000, 0, 9000, 0, 0}},
        WriterCase{"OnlyEmptyItems", 4096, {0, 0, 0}}, WriterCase{"NoItems", 4096, {}},
        // Thousands of small items fill several batches of the threads.
        WriterCase{"ManySmallItems", kChunkBlockSize, ManySmall(2500, 2000)},
        WriterCase{"TinyChunks", 7, ManySmall(300, 40)},
        // Items of several full-size chunks, one of them exactly three.
        WriterCase{"FullSizeChunks", kChunkBlockSize, {3 * kChunkBlockSize, 100, kChunkBlockSize + 17, 0}}),
    [](const testing::TestParamInfo<WriterCase>& info) { return info.param.name; });

// A source of generated bytes that remembers how far it has been read, and
// fails at a chosen offset.
class GeneratedSource : public Stream {
public:
    GeneratedSource(int64_t size, int64_t failAt = -1) : size_(size), failAt_(failAt) {}
    size_t Read(void* buffer, size_t count) override {
        size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - position_));
        if (failAt_ >= 0 && position_ + static_cast<int64_t>(n) > failAt_) {
            ThrowOsError("Cannot read the file generated.bin");
        }
        auto* bytes = static_cast<char*>(buffer);
        for (size_t i = 0; i < n; ++i) {
            int64_t at = position_ + static_cast<int64_t>(i);
            bytes[i] = static_cast<char>((at / 97) % 5 == 0 ? (at * 2654435761u) >> 13 : 'a' + at % 13);
        }
        position_ += static_cast<int64_t>(n);
        if (OnRead) OnRead(position_);
        return n;
    }
    void Write(const void*, size_t) override { ThrowOsError("read only"); }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        position_ = origin == SeekOrigin::Begin     ? offset
                    : origin == SeekOrigin::Current ? position_ + offset
                                                    : size_ + offset;
        return position_;
    }
    int64_t Size() override { return size_; }
    void SetSize(int64_t) override {}

    std::function<void(int64_t)> OnRead;

private:
    int64_t size_;
    int64_t failAt_;
    int64_t position_ = 0;
};

// However large the item, the writer reads only a few chunks per thread ahead
// of what it has written.
TEST(PackageWriterTest, ReadsOnlyAFewChunksAhead) {
    const int64_t size = 96 << 20;
    const unsigned threads = 4;
    GeneratedSource source(size);
    CountingStream out;
    PackageWriter writer(out, cplSpeed, 256 << 10, threads);
    int64_t written = 0, furthestAhead = 0;
    writer.OnProgress = [&](int64_t done) { written = done; };
    source.OnRead = [&](int64_t read) { furthestAhead = std::max(furthestAhead, read - written); };
    ItemRange range = writer.WriteItem(source);
    EXPECT_EQ(range.Size, size);
    EXPECT_EQ(written, size);
    // Three batches of 1 MiB per thread in flight, one being filled, one read buffer.
    EXPECT_LE(furthestAhead, int64_t{threads * 3 + 2} << 20);
}

// A source that fails halfway raises its error from the call that reads it;
// items queued before are still placed or dropped, never placed twice, and
// the writer stops its threads when it goes.
TEST(PackageWriterTest, ReadErrorMidItemPropagates) {
    for (unsigned threads : {1u, 4u}) {
        MemoryStream out;
        int placed = 0;
        bool raised = false;
        {
            PackageWriter writer(out, cplDefault, 4096, threads);
            writer.WriteStub("MZ");
            for (int i = 0; i < 20; ++i) {
                MemoryStream small(Sample(30000, static_cast<uint32_t>(i)));
                writer.QueueItem(small, [&placed](const ItemRange&) { ++placed; });
            }
            GeneratedSource failing(1 << 20, 300000);
            try {
                writer.QueueItem(failing, [](const ItemRange&) { ADD_FAILURE() << "a failed item was placed"; });
            } catch (const Error& e) {
                raised = true;
                EXPECT_EQ(e.Kind(), ErrorKind::Os);
                EXPECT_STREQ(e.what(), "Cannot read the file generated.bin");
            }
        }
        EXPECT_TRUE(raised) << threads;
        EXPECT_LE(placed, 20) << threads;
    }
}

}  // namespace
}  // namespace setup
