// The agreement page TfrmProtocol and the readme page TfrmSoftExplaion: a
// document of the project in a scrollable viewer under a title band. They
// differ only in their texts and setting keys; going on past the agreement
// page (whose Next reads "我同意(&T)") is the user's acceptance.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

// What makes one of the two pages: its names, texts and places.
struct DocumentPageLayout {
    const char* className;
    uint8_t group;
    int width, height;  // the page's design size
    const char* imageName;
    int imageHeight;
    const char* titleName;
    const char* titleText;
    int titleLeft, titleTop;
    const char* subtitleName;
    const char* subtitleText;
    int subtitleLeft, subtitleTop;
    const char* hintName;
    const char* hintText;
    int hintLeft, hintTop, hintWidth;
    const char* panelName;
    int panelLeft, panelTop, panelWidth, panelHeight;
    const char* noteName;
    const char* noteText;
    int noteLeft, noteTop, noteWidth, noteHeight;
    const char* documentKey;
};

class TDocumentPage : public TPage {
public:
    TDocumentPage(ui::Control& host, const DocumentPageLayout& layout);

    TitleBand Band;
    ui::Label& Hint;
    ui::Panel& Holder;
    ui::HtmlView& WebBrowser1;
    ui::Label& Note;

protected:
    void SetUp() override;

private:
    const char* documentKey_;
};

class TfrmProtocol : public TDocumentPage {
public:
    explicit TfrmProtocol(ui::Control& host);
};

class TfrmSoftExplaion : public TDocumentPage {
public:
    explicit TfrmSoftExplaion(ui::Control& host);
};

}  // namespace setup
