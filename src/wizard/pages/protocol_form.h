// The agreement page TfrmProtocol and the readme page TfrmSoftExplaion: a
// document of the project in a scrollable viewer under a title band. They
// differ only in their texts and setting keys; going on past the agreement
// page (whose Next reads "我同意(&T)") is the user's acceptance.
#pragma once

#include "wizard/pages/page.h"

namespace setup {

// What makes one of the two pages: its names, texts and places.
struct DocumentPageLayout {
    const char* ClassName;
    uint8_t Group;
    int Width, Height;  // the page's design size
    const char* ImageName;
    int ImageHeight;
    const char* TitleName;
    const char* TitleText;
    int TitleLeft, TitleTop;
    const char* SubtitleName;
    const char* SubtitleText;
    int SubtitleLeft, SubtitleTop;
    const char* HintName;
    const char* HintText;
    int HintLeft, HintTop, HintWidth;
    const char* PanelName;
    int PanelLeft, PanelTop, PanelWidth, PanelHeight;
    const char* NoteName;
    const char* NoteText;
    int NoteLeft, NoteTop, NoteWidth, NoteHeight;
    const char* DocumentKey;
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
