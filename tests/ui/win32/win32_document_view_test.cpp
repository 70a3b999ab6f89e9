// The Windows document view with the system's rich-edit control: what it
// holds after each kind of document, and the formatting an HTML document gets.
#include "ui/win32/win32_document_view.h"

#include <gtest/gtest.h>
#include <richedit.h>
#include <richole.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/os.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "ui/document_format.h"
#include "ui/picture.h"

namespace setup::ui {
namespace {

std::string Fixture(const std::string& name) {
    std::ifstream file(std::string(SETUP_DOCUMENTS_DIR) + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::wstring W(const std::string& gbk) {
    std::u16string text = GbkToUtf16(gbk);
    return std::wstring(text.begin(), text.end());
}

class DocumentViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A child of the message-only window: the view is made and filled
        // without a display, as the tests run.
        RECT bounds{15, 87, 491, 243};
        view_ = CreateDocumentView(HWND_MESSAGE, bounds, nullptr);
        ASSERT_NE(view_, nullptr);
    }
    void TearDown() override { DestroyWindow(view_); }

    std::wstring Text() const {
        GETTEXTLENGTHEX length{GTL_DEFAULT, 1200};
        LRESULT count = SendMessageW(view_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
        std::wstring text(static_cast<size_t>(count) + 1, L'\0');
        GETTEXTEX get{static_cast<DWORD>(text.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
        LRESULT got =
            SendMessageW(view_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(got));
        return text;
    }

    // The character format of the first character of `fragment`.
    CHARFORMAT2W FormatAt(const std::wstring& fragment) {
        size_t at = Text().find(fragment);
        EXPECT_NE(at, std::wstring::npos);
        CHARRANGE range{static_cast<LONG>(at), static_cast<LONG>(at + 1)};
        SendMessageW(view_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMAT2W format{};
        format.cbSize = sizeof format;
        SendMessageW(view_, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format;
    }

    // The pictures (embedded objects) the view holds.
    LONG Objects() const {
        IRichEditOle* ole = nullptr;
        SendMessageW(view_, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole));
        if (!ole) return -1;
        LONG count = ole->GetObjectCount();
        ole->Release();
        return count;
    }

    HWND view_ = nullptr;
};

TEST_F(DocumentViewTest, IsAReadOnlyRichEdit) {
    wchar_t name[32] = {};
    GetClassNameW(view_, name, 32);
    EXPECT_NE(std::wstring(name), L"EDIT");
    EXPECT_TRUE(GetWindowLongW(view_, GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongW(view_, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(DocumentViewTest, ShowsEachKindAndNothing) {
    Document text = DecodeDocument("a.txt", Fixture("utf16le.txt"));
    ShowDocument(view_, &text);
    EXPECT_EQ(Text().substr(0, 4), W("安装说明"));
    EXPECT_NE(Text().find(L"\xD83D\xDE00"), std::wstring::npos);  // shown, though GBK cannot hold it

    Document rtf = DecodeDocument("a.rtf", Fixture("agreement.rtf"));
    ShowDocument(view_, &rtf);
    EXPECT_EQ(Text().substr(0, 6), W("软件许可协议"));
    EXPECT_EQ(Text().find(L"Riched20"), std::wstring::npos);

    ShowDocument(view_, nullptr);
    EXPECT_EQ(Text(), L"");
}

// HTML shows formatted: a bold heading, an underlined blue link, no script and
// no picture text.
TEST_F(DocumentViewTest, HtmlFormatted) {
    Document html = DecodeDocument("a.html", Fixture("agreement.html"));
    ShowDocument(view_, &html);
    std::wstring text = Text();
    EXPECT_EQ(text.substr(0, 6), W("软件许可协议"));
    EXPECT_EQ(text.find(L"SCRIPT"), std::wstring::npos);
    EXPECT_EQ(text.find(L"REMOTE"), std::wstring::npos);
    EXPECT_TRUE(FormatAt(W("软件许可协议")).dwEffects & CFE_BOLD);
    CHARFORMAT2W link = FormatAt(W("链接文字"));
    EXPECT_TRUE(link.dwEffects & CFE_UNDERLINE);
    EXPECT_EQ(link.crTextColor, RGB(0, 0, 255));
    CHARFORMAT2W item = FormatAt(W("第一条"));
    EXPECT_FALSE(item.dwEffects & (CFE_BOLD | CFE_UNDERLINE));
}

// The bitmaps of the RTF an HTML document becomes show as pictures.
TEST_F(DocumentViewTest, HtmlPicturesShow) {
    Document rtf;
    rtf.Kind = DocumentKind::Rtf;
    rtf.Source =
        FormattedTextToRtf(LayoutHtml(Fixture("pictures.html")), [](const std::string&, PicturePixels& picture) {
            picture.Width = 2;
            picture.Height = 1;
            picture.Pixels = {0xFFFF0000, 0x800000FF};
            return true;
        });
    ShowDocument(view_, &rtf);
    std::wstring text = Text();
    EXPECT_EQ(text.substr(0, 5), L"Logo:");
    EXPECT_EQ(Objects(), 3) << std::count(text.begin(), text.end(), wchar_t{0xFFFC}) << " "
                            << std::string(text.begin(), text.end());
}

// Local pictures beside an HTML document are read through the OS seam from
// the document's folder and decoded; a build whose decoder gives no pixels
// shows the text without them.
TEST_F(DocumentViewTest, HtmlLocalPictures) {
    std::unique_ptr<Platform> platform = CreateNativePlatform(0, nullptr);
    SetPlatform(platform.get());
    std::string folder = Utf16ToGbk(Utf8ToUtf16(SETUP_DOCUMENTS_DIR));
    for (char& c : folder) c = c == '/' ? '\\' : c;
    if (folder[0] == '\\') folder = "Z:" + folder;  // the host's root under Wine
    std::shared_ptr<const Document> html = LoadDocument(folder + "\\pictures.html");
    ASSERT_NE(html, nullptr);
    ShowDocument(view_, html.get());
    std::wstring text = Text();
    EXPECT_EQ(text.substr(0, 5), L"Logo:");
    int decodable = 0;
    for (const char* name : {"logo.png", "photo.jpg", "logo.png"}) {
        std::shared_ptr<const Picture> picture = LoadPicture(folder + "\\" + name);
        decodable += picture && !picture->Pixels.empty() ? 1 : 0;
    }
    EXPECT_EQ(Objects(), decodable);
    SetPlatform(nullptr);
}

}  // namespace
}  // namespace setup::ui
