#include "package/package_writer.h"

#include <algorithm>

#include "platform/errors.h"

namespace setup {

namespace {
void WriteFlag(Stream& s, bool value) { s.WriteU8(value ? 1 : 0); }
}  // namespace

std::string SerializeProjectStream(const TCompile& project) {
    MemoryStream s;
    s.WriteI32(static_cast<int32_t>(project.InfoList.size()));
    for (const auto& item : project.InfoList) {
        TElement::WriteString(s, item->Key);
        TElement::WriteString(s, item->Value);
        s.WriteU8(item->Group);
    }
    TElement::WriteString(s, WriteCommaText(project.FileFolderList));
    s.WriteI32(static_cast<int32_t>(project.FileList.size()));
    for (const auto& f : project.FileList) {
        TElement::WriteString(s, f->Name);
        TElement::WriteString(s, f->Source);
        TElement::WriteString(s, f->TargetDir);
        WriteFlag(s, f->RunAtStartup);
        WriteFlag(s, f->KeepOnUninstall);
        WriteFlag(s, f->NoOverwrite);
        WriteFlag(s, f->IsComponent);
        WriteFlag(s, f->IsService);
        WriteFlag(s, f->RunAfterInstall);
        WriteFlag(s, f->IsPatch);
        TElement::WriteString(s, f->TargetOs);
        s.WriteI64(f->DataStart);
        s.WriteI64(f->DataEnd);
        s.WriteI64(f->FileSize);
        s.WriteU8(f->Kind);
        s.WriteDouble(f->FileTime);
        s.WriteU8(f->Reserved);
    }
    TElement::WriteString(s, WriteCommaText(project.RegFolderList));
    s.WriteI32(static_cast<int32_t>(project.RegList.size()));
    for (const auto& r : project.RegList) {
        TElement::WriteString(s, r->Key);
        TElement::WriteString(s, r->ValueName);
        TElement::WriteString(s, r->Data);
        TElement::WriteString(s, r->TargetOs);
        s.WriteU8(r->ValueType);
    }
    TElement::WriteString(s, WriteCommaText(project.ShotCutFolderList));
    s.WriteI32(static_cast<int32_t>(project.ShotCutList.size()));
    for (const auto& c : project.ShotCutList) {
        TElement::WriteString(s, c->Folder);
        TElement::WriteString(s, c->Name);
        TElement::WriteString(s, c->Target);
        TElement::WriteString(s, c->IconFile);
        TElement::WriteString(s, c->Arguments);
        TElement::WriteString(s, c->Description);
        s.WriteU8(c->Kind);
    }
    s.WriteI32(static_cast<int32_t>(project.CompList.size()));
    for (const auto& c : project.CompList) {
        TElement::WriteString(s, c->Name);
        s.WriteI64(c->Size);
    }
    TElement::WriteString(s, project.PackageId);
    return s.TakeBytes();
}

namespace {
// Batches handed to the threads and not yet written, per thread: enough that
// no thread waits while the calling thread reads or writes, few enough that
// memory stays bounded.
constexpr size_t kBatchesPerThread = 3;
// Small items are handed to the threads in batches of about this many
// uncompressed bytes, so that a thread's work outweighs the handing over.
constexpr size_t kMinBatchBytes = 1 << 20;
}  // namespace

PackageWriter::PackageWriter(Stream& out, TCompressLevelEnum level, size_t chunkSize, unsigned threads)
    : out_(out), level_(level), chunkSize_(std::max<size_t>(chunkSize, 1)), position_(out.Position()) {
    if (threads > 1) {
        pool_ = std::make_unique<CompressionPool>(threads, level_);
        maxPendingBatches_ = static_cast<size_t>(threads) * kBatchesPerThread;
        batchTarget_ = std::max(chunkSize_, kMinBatchBytes);
    }
}

PackageWriter::~PackageWriter() = default;

void PackageWriter::WriteStub(Stream& stub) {
    stub.Seek(0, SeekOrigin::Begin);
    out_.CopyFrom(stub, -1);
    position_ = out_.Position();
    WriteStub(std::string_view());
}

void PackageWriter::WriteStub(std::string_view stub) {
    out_.WriteBytes(stub);
    out_.WriteBytes(std::string(8, '\0'));
    position_ += static_cast<int64_t>(stub.size()) + 8;
    leadInWritten_ = true;
}

void PackageWriter::WriteChunks(Stream& source) {
    for (;;) {
        size_t n = ReadBlock(source);
        if (n == 0) return;
        WriteChunkBytes(CompressBlock(std::string_view(readBuffer_.data(), n), level_));
        written_ += static_cast<int64_t>(n);
        if (OnProgress) OnProgress(written_);
        if (n < chunkSize_) return;
    }
}

void PackageWriter::WriteChunkBytes(const std::string& compressed) {
    out_.WriteU32(static_cast<uint32_t>(compressed.size()));
    out_.WriteBytes(compressed);
    position_ += 4 + static_cast<int64_t>(compressed.size());
}

// Fills the read buffer with up to one chunk of the source; returns the bytes
// read, fewer than a chunk only at the source's end. The buffer is kept from
// item to item: a chunk-sized buffer made for every small file would cost
// more than compressing it.
size_t PackageWriter::ReadBlock(Stream& source) {
    readBuffer_.resize(chunkSize_);
    size_t n = 0;
    while (n < readBuffer_.size()) {
        size_t got = source.Read(readBuffer_.data() + n, readBuffer_.size() - n);
        if (got == 0) break;
        n += got;
    }
    return n;
}

ItemRange PackageWriter::WriteItem(Stream& source) {
    ItemRange range;
    QueueItem(source, [&range](const ItemRange& placed) { range = placed; });
    Flush();
    return range;
}

ItemRange PackageWriter::WriteItem(std::string_view bytes) {
    MemoryStream source{std::string(bytes)};
    return WriteItem(source);
}

int64_t PackageWriter::QueueItem(Stream& source, std::function<void(const ItemRange&)> placed) {
    if (!leadInWritten_) WriteStub(std::string_view());
    if (!pool_) {
        ItemRange range;
        range.DataStart = position_;
        int64_t before = written_;
        WriteChunks(source);
        range.DataEnd = position_;
        range.Size = written_ - before;
        if (placed) placed(range);
        return range.Size;
    }
    items_.push_back(QueuedItem{std::move(placed), ItemRange{}, 0, 0, false});
    int64_t size = 0;
    for (;;) {
        size_t n = ReadBlock(source);
        if (n == 0) break;
        if (!batch_.empty() && batchBytes_ + n > batchTarget_) SubmitBatch();
        batch_.emplace_back(readBuffer_.data(), n);
        batchBytes_ += n;
        ++items_.back().Chunks;
        size += static_cast<int64_t>(n);
        if (n < chunkSize_) break;
    }
    items_.back().Sealed = true;
    // Whatever the threads have finished goes out now, so the output keeps
    // pace with the reading.
    while (pool_->OldestReady()) WriteOldestBatch();
    PlaceFinishedItems();
    return size;
}

void PackageWriter::SubmitBatch() {
    if (batch_.empty()) return;
    while (pool_->Pending() >= maxPendingBatches_) WriteOldestBatch();
    pool_->Submit(std::move(batch_));
    batch_.clear();
    batchBytes_ = 0;
}

void PackageWriter::WriteOldestBatch() {
    for (const CompressedBlock& block : pool_->TakeOldest()) WriteChunk(block);
}

void PackageWriter::WriteChunk(const CompressedBlock& block) {
    // Chunks come in the order they were read, so a chunk belongs to the
    // oldest item not yet placed.
    PlaceFinishedItems();
    QueuedItem& item = items_.front();
    if (item.Written == 0) item.Range.DataStart = position_;
    WriteChunkBytes(block.Bytes);
    ++item.Written;
    item.Range.Size += static_cast<int64_t>(block.RawSize);
    written_ += static_cast<int64_t>(block.RawSize);
    if (OnProgress) OnProgress(written_);
    PlaceFinishedItems();
}

void PackageWriter::PlaceFinishedItems() {
    while (!items_.empty() && items_.front().Sealed && items_.front().Written == items_.front().Chunks) {
        QueuedItem item = std::move(items_.front());
        items_.pop_front();
        // An item without data lies where the one before it ends.
        if (item.Chunks == 0) item.Range.DataStart = position_;
        item.Range.DataEnd = position_;
        if (item.Placed) item.Placed(item.Range);
    }
}

void PackageWriter::Flush() {
    if (!pool_) return;
    SubmitBatch();
    while (pool_->Pending() > 0) WriteOldestBatch();
    PlaceFinishedItems();
}

void PackageWriter::Finish(const TCompile& project, int64_t size) {
    if (!leadInWritten_) WriteStub(std::string_view());
    // The project stream holds the items' offsets, known once they are written.
    Flush();
    int64_t projectOffset = position_;
    MemoryStream stream(SerializeProjectStream(project));
    QueueItem(stream, nullptr);
    Flush();
    WriteTail(size, projectOffset);
}

void PackageWriter::WriteTail(int64_t size, int64_t projectOffset) {
    out_.WriteI64(size);
    out_.WriteI64(projectOffset);
    position_ += 16;
}

}  // namespace setup
