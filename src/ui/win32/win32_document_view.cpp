// The rich-edit viewer of documents: streams text (UTF-16) or RTF into the
// system's control. Its window is made in win32_document_window.cpp, so that
// a program that never shows a document links none of this.
#include "ui/win32/win32_document_view.h"

#include <richedit.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/errors.h"
#include "platform/os.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "ui/backend.h"
#include "ui/document_format.h"
#include "ui/picture.h"

namespace setup::ui {

namespace {

struct StreamSource {
    const std::string* Bytes;
    size_t Position;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    size_t left = source->Bytes->size() - source->Position;
    size_t count = wanted > 0 && static_cast<size_t>(wanted) < left ? static_cast<size_t>(wanted) : left;
    if (count > 0) std::memcpy(buffer, source->Bytes->data() + source->Position, count);
    source->Position += count;
    *given = static_cast<LONG>(count);
    return 0;
}

void StreamIn(HWND view, const std::string& bytes, WPARAM format) {
    StreamSource source{&bytes, 0};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = ReadStream;
    SendMessageW(view, EM_STREAMIN, format, reinterpret_cast<LPARAM>(&stream));
}

bool IsRichEdit(HWND view) {
    wchar_t name[32] = {};
    GetClassNameW(view, name, 32);
    return lstrcmpiW(name, L"EDIT") != 0;
}

// A local picture of an HTML document, by its path relative to the
// document's folder, decoded to pixels; false when it cannot be read or
// decoded (it is then left out).
bool ReadPicture(const std::string& folder, const std::string& relativeUtf8, PicturePixels& pixels) {
    try {
        std::string path = (folder.empty() ? std::string() : folder + "\\") + Utf8ToGbk(relativeUtf8);
        std::optional<PictureFormat> format = PictureFormatOf(path);
        if (!format) return false;
        std::unique_ptr<Stream> file = OS().Files().Open(path, OpenMode::Read);
        int64_t size = file->Size();
        if (size <= 0 || size > 8 * 1024 * 1024) return false;
        Picture picture = DecodePicture(*format, file->ReadBytes(static_cast<size_t>(size)));
        if (picture.Width <= 0 || picture.Height <= 0 ||
            picture.Pixels.size() != static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height)) {
            return false;
        }
        pixels.Width = static_cast<uint32_t>(picture.Width);
        pixels.Height = static_cast<uint32_t>(picture.Height);
        pixels.Pixels = std::move(picture.Pixels);
        return true;
    } catch (const Error&) {
        return false;
    }
}

// The document as the bytes and format the rich-edit control reads.
std::string RichEditContent(const Document& document, WPARAM& format) {
    switch (document.Kind) {
        case DocumentKind::Rtf:
            format = SF_RTF;
            return WithoutRtfObjects(document.Source);
        case DocumentKind::Html:
            format = SF_RTF;
            return FormattedTextToRtf(LayoutHtml(document.Source),
                                      [&document](const std::string& relative, PicturePixels& pixels) {
                                          return ReadPicture(document.Folder, relative, pixels);
                                      });
        case DocumentKind::Text:
            break;
    }
    format = SF_TEXT | SF_UNICODE;
    std::u16string text = Utf8ToUtf16(document.Source);
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    return bytes;
}

}  // namespace

void ShowDocument(HWND view, const Document* document) {
    if (!view) return;
    SendMessageW(view, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(view, L"");
    if (document) {
        try {
            if (IsRichEdit(view)) {
                WPARAM format = SF_TEXT;
                std::string content = RichEditContent(*document, format);
                StreamIn(view, content, format);
            } else {
                std::string text;
                for (const std::string& line : document->Lines) text += line + "\r\n";
                SetWindowTextW(view, win32::WideShown(text).c_str());
            }
        } catch (const Error&) {
            // A document the decoders took once but cannot turn into the
            // control's format shows nothing, like one that cannot be read.
            SetWindowTextW(view, L"");
        }
    }
    SendMessageW(view, EM_SETSEL, 0, 0);
    SendMessageW(view, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, TRUE);
}

void EnableDocumentViews() { DocumentLayout = ShowDocument; }

}  // namespace setup::ui
