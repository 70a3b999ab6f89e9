#include "platform/sandbox/host_file_stream.h"

#include "platform/sandbox/change_counter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/sandbox/sandbox_files.h"

namespace setup::sandbox {

namespace {

constexpr int64_t kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970

// A file stream over a host file descriptor.
class HostFileStream : public Stream {
public:
    HostFileStream(int fd, std::string name, int64_t* budget) : fd_(fd), name_(std::move(name)), budget_(budget) {}
    ~HostFileStream() override {
        // A program written for the host (an ELF file) keeps it runnable.
        char magic[4];
        if (written_ && pread(fd_, magic, 4, 0) == 4 &&
            std::memcmp(magic,
                        "\x7f"
                        "ELF",
                        4) == 0)
            fchmod(fd_, 0755);
        // A time set through the handle stays, whatever was written after it.
        if (timeSet_ && writtenSinceTime_) futimens(fd_, time_);
        close(fd_);
    }

    size_t Read(void* buffer, size_t count) override {
        for (;;) {
            ssize_t n = ::read(fd_, buffer, count);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EINTR) ThrowOsError(msg::CannotReadFile(name_, HostReason(errno)));
        }
    }
    void Write(const void* buffer, size_t count) override {
        written_ = true;
        writtenSinceTime_ = true;
        auto* p = static_cast<const char*>(buffer);
        bool full = false;
        if (budget_ != nullptr) {
            // Only growth of the file takes space.
            int64_t at = Position();
            int64_t growth = std::max<int64_t>(0, at + static_cast<int64_t>(count) - Size());
            if (growth > *budget_) {
                full = true;
                count -= static_cast<size_t>(growth - *budget_);
            }
            *budget_ -= std::min(growth, *budget_);
        }
        while (count > 0) {
            ssize_t n = ::write(fd_, p, count);
            if (n < 0) {
                if (errno == EINTR) continue;
                ThrowOsError(msg::CannotWriteFile(name_, HostReason(errno)));
            }
            p += n;
            count -= static_cast<size_t>(n);
        }
        if (full) ThrowOsError(msg::CannotWriteFile(name_, msg::DiskFull()));
        CountChange();
    }
    bool Flush() override { return ::fsync(fd_) == 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
        off_t at = lseek(fd_, offset, whence);
        if (at < 0) ThrowOsError(msg::CannotSeekInFile(name_, HostReason(errno)));
        return at;
    }
    int64_t Size() override {
        struct stat st;
        if (fstat(fd_, &st) != 0) ThrowOsError(msg::CannotReadFileSize(name_, HostReason(errno)));
        return st.st_size;
    }
    bool SetLastWriteTime(uint64_t utc) override {
        time_[0].tv_sec = 0;
        time_[0].tv_nsec = UTIME_OMIT;
        time_[1] = FileTimeToTimespec(utc);
        timeSet_ = futimens(fd_, time_) == 0;
        writtenSinceTime_ = false;
        return timeSet_;
    }
    void SetSize(int64_t size) override {
        if (ftruncate(fd_, size) != 0) ThrowOsError(msg::CannotSetFileSize(name_, HostReason(errno)));
    }

private:
    int fd_;
    std::string name_;
    int64_t* budget_;
    bool written_ = false;
    // The last-write time set through the handle, as Windows keeps it.
    bool timeSet_ = false;
    bool writtenSinceTime_ = false;
    struct timespec time_[2] = {};
};

}  // namespace

std::string HostReason(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return msg::DiskFull();
        case EACCES:
        case EPERM:
        case EROFS:
            return msg::AccessDenied();
        case ENOENT:
            return msg::FileNotFound();
        case ENOTDIR:
            return msg::PathNotFound();
        case EEXIST:
            return msg::FileExists();
        case EISDIR:
            return msg::IsAFolder();
        case EXDEV:
            return msg::NotSameDrive();
        case ENAMETOOLONG:
            return msg::NameTooLong();
        case ETXTBSY:
        case EBUSY:
            return msg::FileInUse();
        default:
            return msg::SystemErrorCode(static_cast<uint32_t>(error));
    }
}

std::unique_ptr<Stream> MakeHostFileStream(int fd, std::string name, int64_t* budget) {
    return std::make_unique<HostFileStream>(fd, std::move(name), budget);
}

FileTime TimespecToFileTime(const struct timespec& ts) {
    return static_cast<FileTime>((ts.tv_sec + kEpochDifference) * 10000000LL + ts.tv_nsec / 100);
}

struct timespec FileTimeToTimespec(FileTime ft) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(ft / 10000000ULL) - kEpochDifference);
    ts.tv_nsec = static_cast<long>((ft % 10000000ULL) * 100);
    return ts;
}

}  // namespace setup::sandbox
