#include "wizard/pages/protocol_form.h"

#include "ui/picture.h"

namespace setup {

namespace {

// One row per control, as the page lays them out.
// clang-format off
const DocumentPageLayout kAgreement = {
    "TfrmProtocol", igProtocol, 506, 288,
    "Img_Pro_Head", 60, "Label7", "软件许可协议书", 16, 11,
    "Lb_Pro_Head", "请在继续安装之前，详细阅读下面协议", 43, 29,
    "Label6", "请仔细阅读该协议  按[PgDn]向上卷动页面", 15, 66, 474,
    "Panel10", 15, 87, 476, 156,
    "Label5",
    "如果您已仔细阅读，并同意该协议，单击[我同意(&N)]按钮继续安装，如果您选定取消, 安装程序将会关闭。必须要同意该协议才能安装",
    15, 256, 474, 24,
    "协议文件",
};
// clang-format on

// clang-format off
const DocumentPageLayout kReadme = {
    "TfrmSoftExplaion", igExplain, 504, 288,
    "Image2", 57, "Label8", "软件自述说明", 16, 13,
    "Label15", "该信息是对软件使用的说明，请详细阅读。", 40, 32,
    "Label16", "请仔细阅读该说明  按[PgDn]向上卷动页面", 16, 66, 465,
    "Panel9", 16, 90, 463, 154,
    "Label17", "如果你已仔细阅读，单击[下一步(&N)>]按钮继续安装，如果你选定取消, 安装程序将会关闭。", 16, 257, 420, 24,
    "说明文件",
};
// clang-format on

}  // namespace

TDocumentPage::TDocumentPage(ui::Control& host, const DocumentPageLayout& layout)
    : TPage(host, layout.ClassName, layout.Group),
      Band(MakeTitleBand(*this, layout.ImageName, layout.ImageHeight, layout.TitleName, layout.TitleText,
                         layout.TitleLeft, layout.TitleTop, layout.SubtitleName, layout.SubtitleText,
                         layout.SubtitleLeft, layout.SubtitleTop)),
      Hint(MakeLabel(*this, layout.HintName, layout.HintText, layout.HintLeft, layout.HintTop, layout.HintWidth)),
      Holder(ui::Make<ui::Panel>(*this, layout.PanelName)),
      WebBrowser1(ui::Make<ui::HtmlView>(Holder, "WebBrowser1")),
      Note(MakeLabel(*this, layout.NoteName, layout.NoteText, layout.NoteLeft, layout.NoteTop, layout.NoteWidth,
                     layout.NoteHeight, true)),
      documentKey_(layout.DocumentKey) {
    SetBounds(0, 0, layout.Width, layout.Height);
    Band.Image.Stretch = true;
    // Fitted into the frame's page area, the viewer grows with the page and
    // the note keeps its distance to the bottom edge.
    Hint.AnchorRight = true;
    Holder.SetBounds(layout.PanelLeft, layout.PanelTop, layout.PanelWidth, layout.PanelHeight);
    Holder.TabOrder = 0;
    Holder.AnchorRight = true;
    Holder.AnchorBottom = true;
    WebBrowser1.SetBounds(0, 0, layout.PanelWidth, layout.PanelHeight);
    WebBrowser1.SetAlign(ui::Align::Client);
    Note.AnchorRight = true;
    Note.AnchorTop = false;
    Note.AnchorBottom = true;
}

void TDocumentPage::SetUp() {
    for (TCompileData* item : Settings()) {
        if (KeyIs(*item, "标题图片")) {
            // The band takes the picture's own height, stretched to the page's width.
            Band.Image.LoadFromFile(item->Value);
            if (const ui::Picture* picture = Band.Image.GetPicture(); picture && picture->Height > 0) {
                const ui::Rect& b = Band.Image.Bounds();
                Band.Image.SetBounds(b.Left, b.Top, b.Width, picture->Height);
            }
        } else if (KeyIs(*item, documentKey_)) {
            // An empty setting or a file that cannot be shown leaves the viewer
            // empty; the page works on.
            WebBrowser1.LoadFromFile(item->Value);
        }
    }
}

TfrmProtocol::TfrmProtocol(ui::Control& host) : TDocumentPage(host, kAgreement) {}

TfrmSoftExplaion::TfrmSoftExplaion(ui::Control& host) : TDocumentPage(host, kReadme) {}

}  // namespace setup
