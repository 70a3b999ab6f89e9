// Placeholder until the document decoders land: text files only, GBK.
#include "ui/document.h"

#include "platform/errors.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup::ui {

DocumentKind DocumentKindOf(const std::string&, const std::string&) { return DocumentKind::Text; }

Document DecodeDocument(const std::string& path, const std::string& bytes) {
    Document document;
    document.kind = DocumentKindOf(path, bytes);
    document.source = GbkToUtf8(bytes);
    for (std::string& line : SplitOn(bytes, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        document.lines.push_back(line);
    }
    return document;
}

std::shared_ptr<const Document> LoadDocument(const std::string& path) {
    if (path.empty() || !OS().Files().FileExists(path)) return nullptr;
    try {
        std::unique_ptr<Stream> file = OS().Files().Open(path, OpenMode::Read);
        std::string bytes = file->ReadBytes(static_cast<size_t>(file->Size()));
        return std::make_shared<const Document>(DecodeDocument(path, bytes));
    } catch (const Error&) {
        return nullptr;
    }
}

}  // namespace setup::ui
