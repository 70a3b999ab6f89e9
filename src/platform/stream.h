// Byte streams in the style of the record formats: a position, a size, reads
// and writes of raw bytes and of little-endian fixed-size fields. A fixed-size
// read that runs past the end raises a Damaged error and leaves the stream
// where it was, so no reader of outside bytes ever reads out of bounds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/messages.h"

namespace setup {

enum class SeekOrigin { Begin, Current, End };

class Stream {
public:
    virtual ~Stream() = default;

    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes all count bytes or raises an Os error.
    virtual void Write(const void* buffer, size_t count) = 0;
    // Moves the position; a position before the start raises an Os error.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t Size() = 0;
    // Truncates or extends the stream; the position is kept.
    virtual void SetSize(int64_t size) = 0;
    // Sets the last-write time (100-nanosecond intervals since 1601, UTC) of
    // the file open under the stream, through the open handle. False when the
    // stream is no file or the system refuses; the stream is unchanged then.
    virtual bool SetLastWriteTime(uint64_t utc) {
        (void)utc;
        return false;
    }

    // Makes what was written durable (on the disk, not only in the system's
    // cache); false when the system refuses. Streams that are no file have
    // nothing to do.
    virtual bool Flush() { return true; }

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    int64_t Remaining() { return Size() - Position(); }

    // Reads exactly count bytes or raises Damaged (what names the object read,
    // for the message) without consuming anything.
    void ReadExact(void* buffer, size_t count, const char* what = msg::kWhatStream);
    std::string ReadBytes(size_t count, const char* what = msg::kWhatStream);
    // The same into a buffer the caller keeps, so that its memory is reused.
    void ReadBytes(std::string& into, size_t count, const char* what = msg::kWhatStream);
    uint8_t ReadU8(const char* what = msg::kWhatStream);
    uint16_t ReadU16(const char* what = msg::kWhatStream);
    uint32_t ReadU32(const char* what = msg::kWhatStream);
    int32_t ReadI32(const char* what = msg::kWhatStream) { return static_cast<int32_t>(ReadU32(what)); }
    uint64_t ReadU64(const char* what = msg::kWhatStream);
    int64_t ReadI64(const char* what = msg::kWhatStream) { return static_cast<int64_t>(ReadU64(what)); }
    double ReadDouble(const char* what = msg::kWhatStream);

    void WriteBytes(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    void WriteU8(uint8_t value) { Write(&value, 1); }
    void WriteU16(uint16_t value);
    void WriteU32(uint32_t value);
    void WriteI32(int32_t value) { WriteU32(static_cast<uint32_t>(value)); }
    void WriteU64(uint64_t value);
    void WriteI64(int64_t value) { WriteU64(static_cast<uint64_t>(value)); }
    void WriteDouble(double value);

    // Copies count bytes (or everything left, when count < 0) from source.
    void CopyFrom(Stream& source, int64_t count);
};

// A stream over a growable byte buffer.
class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : data_(std::move(bytes)) {}

    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;

    const std::string& Bytes() const { return data_; }
    std::string TakeBytes() { return std::move(data_); }

private:
    std::string data_;
    size_t position_ = 0;
};

// A stream that keeps nothing: writes are counted and dropped. For checks
// that only need to know how much a reader produces.
class CountingStream : public Stream {
public:
    size_t Read(void*, size_t) override { return 0; }
    void Write(const void*, size_t count) override { size_ += static_cast<int64_t>(count); }
    int64_t Seek(int64_t, SeekOrigin) override { return size_; }
    int64_t Size() override { return size_; }
    void SetSize(int64_t size) override { size_ = size; }

private:
    int64_t size_ = 0;
};

// A read-only view of a stream that reads it ahead in blocks and keeps the
// position and the size itself: many small reads and position queries cost
// one read of the stream per block instead of a system call each. Reads of a
// block or more go straight to the stream. Nobody else may move or change the
// stream while the view is in use.
class ReadAheadStream : public Stream {
public:
    static constexpr size_t kDefaultBlock = 128u << 10;

    explicit ReadAheadStream(Stream& source, size_t block = kDefaultBlock);

    size_t Read(void* buffer, size_t count) override;
    // The view is read-only: both raise an Os error.
    void Write(const void* buffer, size_t count) override;
    void SetSize(int64_t size) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return size_; }

private:
    // Reads from the source at the view's position, moving the source there first.
    size_t ReadSource(void* buffer, size_t count);

    Stream& source_;
    size_t block_;
    int64_t size_;
    int64_t position_ = 0;
    int64_t sourcePosition_;
    std::string buffer_;  // the source's bytes from bufferStart_
    int64_t bufferStart_ = 0;
};

// Gives a reused buffer exactly size bytes (their values unspecified). Where
// its memory is too small it is replaced by a block of exactly that size, not
// grown by the usual doubling, which would leave buffers kept for reuse up to
// twice as large as anything they hold.
void ResizeBuffer(std::string& buffer, size_t size);

// Little-endian helpers for byte buffers built or parsed without a stream.
void AppendU16(std::string& out, uint16_t value);
void AppendU32(std::string& out, uint32_t value);
void AppendU64(std::string& out, uint64_t value);

}  // namespace setup
