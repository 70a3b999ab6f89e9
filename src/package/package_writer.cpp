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

PackageWriter::PackageWriter(Stream& out, TCompressLevelEnum level, size_t chunkSize)
    : out_(out), level_(level), chunkSize_(std::max<size_t>(chunkSize, 1)) {}

void PackageWriter::WriteStub(Stream& stub) {
    stub.Seek(0, SeekOrigin::Begin);
    out_.CopyFrom(stub, -1);
    WriteStub(std::string_view());
}

void PackageWriter::WriteStub(std::string_view stub) {
    out_.WriteBytes(stub);
    out_.WriteBytes(std::string(8, '\0'));
    leadInWritten_ = true;
}

void PackageWriter::WriteChunks(Stream& source) {
    std::string block(chunkSize_, '\0');
    for (;;) {
        size_t n = 0;
        while (n < block.size()) {
            size_t got = source.Read(block.data() + n, block.size() - n);
            if (got == 0) break;
            n += got;
        }
        if (n == 0) return;
        std::string compressed = CompressBlock(std::string_view(block.data(), n), level_);
        out_.WriteU32(static_cast<uint32_t>(compressed.size()));
        out_.WriteBytes(compressed);
        written_ += static_cast<int64_t>(n);
        if (OnProgress) OnProgress(written_);
        if (n < block.size()) return;
    }
}

ItemRange PackageWriter::WriteItem(Stream& source) {
    if (!leadInWritten_) WriteStub(std::string_view());
    ItemRange range;
    range.dataStart = out_.Position();
    int64_t before = written_;
    WriteChunks(source);
    range.dataEnd = out_.Position();
    range.size = written_ - before;
    return range;
}

ItemRange PackageWriter::WriteItem(std::string_view bytes) {
    MemoryStream source{std::string(bytes)};
    return WriteItem(source);
}

void PackageWriter::Finish(const TCompile& project, int64_t size) {
    if (!leadInWritten_) WriteStub(std::string_view());
    int64_t projectOffset = out_.Position();
    MemoryStream stream(SerializeProjectStream(project));
    WriteChunks(stream);
    WriteTail(size, projectOffset);
}

void PackageWriter::WriteTail(int64_t size, int64_t projectOffset) {
    out_.WriteI64(size);
    out_.WriteI64(projectOffset);
}

}  // namespace setup
