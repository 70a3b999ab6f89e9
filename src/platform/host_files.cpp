#include "platform/host_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/errors.h"

namespace fs = std::filesystem;

namespace setup {

namespace {

fs::path HostPath(const std::string& utf8) { return fs::u8path(utf8); }

class HostStream : public HostFileStream {
public:
    HostStream(const std::string& path, OpenMode mode) : name_(path) {
        std::ios::openmode m = std::ios::binary | std::ios::in;
        if (mode == OpenMode::Create || mode == OpenMode::CreateNew) m |= std::ios::out | std::ios::trunc;
        if (mode == OpenMode::ReadWrite) m |= std::ios::out;
        file_.open(HostPath(path), m);
        if (!file_) ThrowOsError("Cannot open the file " + path);
    }
    size_t Read(void* buffer, size_t count) override {
        file_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
        size_t n = static_cast<size_t>(file_.gcount());
        if (file_.eof()) file_.clear();
        if (!file_) ThrowOsError("Cannot read the file " + name_);
        return n;
    }
    void Write(const void* buffer, size_t count) override {
        file_.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(count));
        if (!file_) ThrowOsError("Cannot write the file " + name_);
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        std::ios::seekdir dir = origin == SeekOrigin::Begin     ? std::ios::beg
                                : origin == SeekOrigin::Current ? std::ios::cur
                                                                : std::ios::end;
        file_.seekg(offset, dir);
        file_.seekp(file_.tellg());
        if (!file_ || file_.tellg() < 0) ThrowOsError("Cannot seek in the file " + name_);
        return static_cast<int64_t>(file_.tellg());
    }
    int64_t Size() override {
        auto here = file_.tellg();
        file_.seekg(0, std::ios::end);
        int64_t size = static_cast<int64_t>(file_.tellg());
        file_.seekg(here);
        return size;
    }
    void SetSize(int64_t size) override {
        file_.flush();
        std::error_code ec;
        fs::resize_file(HostPath(name_), static_cast<uintmax_t>(size), ec);
        if (ec) ThrowOsError("Cannot set the size of the file " + name_);
    }
    void Close() override {
        if (!file_.is_open()) return;
        file_.flush();
        bool flushed = !file_.fail();
        file_.close();
        if (!flushed || file_.fail()) ThrowOsError("Cannot write the file " + name_ + " to its end");
    }

private:
    std::string name_;
    std::fstream file_;
};

}  // namespace

std::unique_ptr<Stream> OpenHostFile(const std::string& path, OpenMode mode) {
    if (mode == OpenMode::CreateNew && (HostFileExists(path) || HostFolderExists(path))) {
        ThrowOsError("Cannot create the file " + path + ": it exists already");
    }
    if (mode != OpenMode::Create && mode != OpenMode::CreateNew && !HostFileExists(path)) {
        ThrowOsError("Cannot open the file " + path + ": it does not exist");
    }
    return std::make_unique<HostStream>(path, mode);
}

std::unique_ptr<HostFileStream> CreateHostFile(const std::string& path) {
    return std::make_unique<HostStream>(path, OpenMode::Create);
}

std::string ReadHostFile(const std::string& path) {
    std::unique_ptr<Stream> s = OpenHostFile(path, OpenMode::Read);
    return s->ReadBytes(static_cast<size_t>(s->Size()), "file");
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
    std::unique_ptr<HostFileStream> file = CreateHostFile(path);
    file->WriteBytes(bytes);
    file->Close();
}

void AppendHostFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(HostPath(path), std::ios::binary | std::ios::app);
    out << bytes;
    out.close();
    if (out.fail()) ThrowOsError("Cannot write the file " + path);
}

bool HostFileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(HostPath(path), ec);
}

bool HostFolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(HostPath(path), ec);
}

bool SameHostFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    bool same = fs::equivalent(HostPath(a), HostPath(b), ec);
    return !ec && same;
}

int64_t HostFileSize(const std::string& path) {
    std::error_code ec;
    uintmax_t size = fs::file_size(HostPath(path), ec);
    if (ec) ThrowOsError("Cannot read the size of the file " + path + ": " + ec.message());
    return static_cast<int64_t>(size);
}

void RenameHostFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(HostPath(from), HostPath(to), ec);
    if (ec) ThrowOsError("Cannot rename " + from + " to " + to + ": " + ec.message());
}

void RemoveHostFile(const std::string& path) {
    std::error_code ec;
    fs::remove(HostPath(path), ec);
}

void CreateHostFolders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(HostPath(path), ec);
    if (ec && !HostFolderExists(path)) ThrowOsError("Cannot create the folder " + path + ": " + ec.message());
}

std::vector<HostEntry> ListHostFolder(const std::string& path) {
    std::vector<HostEntry> entries;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(HostPath(path), ec)) {
        HostEntry entry;
        entry.Name = e.path().filename().u8string();
        entry.IsFolder = e.is_directory(ec);
        entry.Size = entry.IsFolder ? 0 : static_cast<int64_t>(e.file_size(ec));
        entries.push_back(entry);
    }
    if (ec) ThrowOsError("Cannot read the folder " + path + ": " + ec.message());
    std::sort(entries.begin(), entries.end(), [](const HostEntry& a, const HostEntry& b) { return a.Name < b.Name; });
    return entries;
}

void MakeHostFileExecutable(const std::string& path) {
    std::error_code ec;
    fs::permissions(HostPath(path), fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
}

}  // namespace setup
