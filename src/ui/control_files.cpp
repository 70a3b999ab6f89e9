// The controls' loading of files of the machine: apart from the rest of the
// toolkit, so that a program whose windows load no picture and no document
// (the uninstaller) links none of the decoders.
#include "ui/backend.h"
#include "ui/controls.h"
#include "ui/document.h"
#include "ui/picture.h"

namespace setup::ui {

void Image::LoadFromFile(const std::string& path) {
    file_ = path;
    picture_ = path.empty() ? nullptr : LoadPicture(path);
    Changed();
}

void Image::LoadFromFileByContent(const std::string& path) {
    file_ = path;
    picture_ = path.empty() ? nullptr : LoadPictureByContent(path);
    Changed();
}

void HtmlView::LoadFromFile(const std::string& path) {
    EnableDocumentViews();
    file_ = path;
    document_ = path.empty() ? nullptr : LoadDocument(path);
    Changed();
}

}  // namespace setup::ui
