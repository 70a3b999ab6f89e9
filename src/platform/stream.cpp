#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/messages.h"

namespace setup {

void Stream::ReadExact(void* buffer, size_t count, const char* what) {
    if (count == 0) return;
    int64_t start = Position();
    if (Size() - start < static_cast<int64_t>(count)) {
        ThrowDamaged(msg::UnexpectedEnd(what, count, start, Size() - start));
    }
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        size_t n = Read(out + done, count - done);
        if (n == 0) {
            Seek(start, SeekOrigin::Begin);
            ThrowDamaged(msg::UnexpectedEndAt(what, start + static_cast<int64_t>(done)));
        }
        done += n;
    }
}

std::string Stream::ReadBytes(size_t count, const char* what) {
    std::string bytes;
    ReadBytes(bytes, count, what);
    return bytes;
}

void Stream::ReadBytes(std::string& into, size_t count, const char* what) {
    // The size is checked before the buffer is allocated, so a damaged length
    // cannot make the reader allocate gigabytes.
    if (Remaining() < static_cast<int64_t>(count)) {
        ThrowDamaged(msg::UnexpectedEnd(what, count, Position(), Remaining()));
    }
    ResizeBuffer(into, count);
    ReadExact(into.data(), count, what);
}

uint8_t Stream::ReadU8(const char* what) {
    uint8_t b;
    ReadExact(&b, 1, what);
    return b;
}

uint16_t Stream::ReadU16(const char* what) {
    unsigned char b[2];
    ReadExact(b, 2, what);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t Stream::ReadU32(const char* what) {
    unsigned char b[4];
    ReadExact(b, 4, what);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

uint64_t Stream::ReadU64(const char* what) {
    uint64_t low = ReadU32(what);
    uint64_t high = ReadU32(what);
    return low | (high << 32);
}

double Stream::ReadDouble(const char* what) {
    uint64_t bits = ReadU64(what);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void Stream::WriteU16(uint16_t value) {
    std::string b;
    AppendU16(b, value);
    WriteBytes(b);
}

void Stream::WriteU32(uint32_t value) {
    std::string b;
    AppendU32(b, value);
    WriteBytes(b);
}

void Stream::WriteU64(uint64_t value) {
    std::string b;
    AppendU64(b, value);
    WriteBytes(b);
}

void Stream::WriteDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteU64(bits);
}

void Stream::CopyFrom(Stream& source, int64_t count) {
    std::vector<char> buffer(1 << 16);
    int64_t left = count < 0 ? source.Remaining() : count;
    while (left > 0) {
        size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
        source.ReadExact(buffer.data(), want, msg::kWhatSourceStream);
        Write(buffer.data(), want);
        left -= static_cast<int64_t>(want);
    }
}

size_t MemoryStream::Read(void* buffer, size_t count) {
    if (position_ >= data_.size()) return 0;
    size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

void MemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return;
    if (position_ + count > data_.size()) data_.resize(position_ + count);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ += count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin     ? 0
                   : origin == SeekOrigin::Current ? static_cast<int64_t>(position_)
                                                   : static_cast<int64_t>(data_.size());
    int64_t target = base + offset;
    if (target < 0) ThrowOsError(msg::CannotSeekBeforeStart());
    position_ = static_cast<size_t>(target);
    return target;
}

void MemoryStream::SetSize(int64_t size) {
    if (size < 0) ThrowOsError(msg::NegativeStreamSize());
    data_.resize(static_cast<size_t>(size));
}

void ResizeBuffer(std::string& buffer, size_t size) {
    if (buffer.capacity() < size) {
        std::string().swap(buffer);
        buffer.reserve(size);
    }
    buffer.resize(size);
}

ReadAheadStream::ReadAheadStream(Stream& source, size_t block)
    : source_(source), block_(block), size_(source.Size()), sourcePosition_(source.Position()) {}

size_t ReadAheadStream::ReadSource(void* buffer, size_t count) {
    if (sourcePosition_ != position_) sourcePosition_ = source_.Seek(position_, SeekOrigin::Begin);
    size_t n = source_.Read(buffer, count);
    sourcePosition_ += static_cast<int64_t>(n);
    return n;
}

size_t ReadAheadStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count && position_ < size_) {
        int64_t offset = position_ - bufferStart_;
        if (offset >= 0 && offset < static_cast<int64_t>(buffer_.size())) {
            size_t n = std::min(count - done, buffer_.size() - static_cast<size_t>(offset));
            std::memcpy(out + done, buffer_.data() + offset, n);
            done += n;
            position_ += static_cast<int64_t>(n);
            continue;
        }
        if (count - done >= block_) {
            size_t n = ReadSource(out + done, count - done);
            if (n == 0) break;
            done += n;
            position_ += static_cast<int64_t>(n);
            continue;
        }
        buffer_.resize(block_);
        size_t n = ReadSource(buffer_.data(), block_);
        buffer_.resize(n);
        bufferStart_ = position_;
        if (n == 0) break;
    }
    return done;
}

void ReadAheadStream::Write(const void*, size_t) { ThrowOsError(msg::CannotWriteReadOnlyStream()); }

void ReadAheadStream::SetSize(int64_t) { ThrowOsError(msg::CannotResizeReadOnlyStream()); }

int64_t ReadAheadStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : size_;
    int64_t target = base + offset;
    if (target < 0) ThrowOsError(msg::CannotSeekBeforeStart());
    position_ = target;
    return target;
}

void AppendU16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void AppendU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void AppendU64(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace setup
