// The document decoders: kinds, text encodings, RTF and HTML text as the
// viewer lays it out, damaged and absurd input. Expected lines are GBK (the
// literals of this file are compiled to GBK).
#include "ui/document.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/errors.h"
#include "platform/text.h"
#include "ui/document_format.h"

namespace setup::ui {
namespace {

using Lines = std::vector<std::string>;

std::string Fixture(const std::string& name) {
    std::ifstream file(std::string(SETUP_DOCUMENTS_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

ErrorKind DecodeFailure(const std::string& path, const std::string& bytes) {
    try {
        DecodeDocument(path, bytes);
    } catch (const Error& error) {
        return error.Kind();
    }
    ADD_FAILURE() << "decoded without an error: " << path;
    return ErrorKind::SilentAbort;
}

struct KindCase {
    const char* Path;
    std::string Bytes;
    DocumentKind Kind;
};

class DocumentKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(DocumentKindTest, FromContentThenName) {
    EXPECT_EQ(DocumentKindOf(GetParam().Path, GetParam().Bytes), GetParam().Kind);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DocumentKindTest,
    ::testing::Values(KindCase{"a.txt", "{\\rtf1 x}", DocumentKind::Rtf},
                      KindCase{"a.txt", "\xEF\xBB\xBF  \r\n{\\rtf1 x}", DocumentKind::Rtf},
                      KindCase{"a.rtf", "plain words", DocumentKind::Text},
                      KindCase{"a.txt", "  <!DOCTYPE HTML><p>x", DocumentKind::Html},
                      KindCase{"a.txt", "<HTML><body>", DocumentKind::Html},
                      KindCase{"a.txt", std::string("\xFF\xFE<\0h\0t\0m\0l\0>\0", 14), DocumentKind::Html},
                      KindCase{"a.txt", std::string("\xFE\xFF\0{\0\\\0r\0t\0f", 12), DocumentKind::Rtf},
                      KindCase{"C:\\docs\\a.HTM", "just text", DocumentKind::Html},
                      KindCase{"C:\\docs\\a.html", "", DocumentKind::Html},
                      KindCase{"C:\\docs.html\\a.txt", "<p>x", DocumentKind::Text},
                      KindCase{"a.txt", "", DocumentKind::Text}, KindCase{"a.txt", "{\\rt", DocumentKind::Text}));

struct TextCase {
    const char* File;
    Lines Expected;
};

class TextDocumentTest : public ::testing::TestWithParam<TextCase> {};

// Every encoding gives GBK lines; a character GBK cannot hold shows as '?'.
TEST_P(TextDocumentTest, LinesInGbk) {
    Document document = DecodeDocument(std::string("C:\\docs\\") + GetParam().File, Fixture(GetParam().File));
    EXPECT_EQ(document.Kind, DocumentKind::Text);
    EXPECT_EQ(document.Lines, GetParam().Expected);
    EXPECT_EQ(document.Folder, "C:\\docs");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, TextDocumentTest,
    ::testing::Values(TextCase{"gbk.txt", {"软件许可协议", "", "一、本软件受版权法保护。", "二、请勿反向工程。"}},
                      TextCase{"utf8-bom.txt", {"安装说明 café", "第二行 ? 结束"}},
                      TextCase{"utf16le.txt", {"安装说明 café", "第二行 ? 结束"}},
                      TextCase{"utf16be.txt", {"安装说明 café", "第二行 ? 结束"}}));

TEST(TextDocument, SourceIsUtf8WithoutTheMark) {
    Document document = DecodeDocument("a.txt", Fixture("utf16le.txt"));
    EXPECT_EQ(document.Source,
              "\xE5\xAE\x89\xE8\xA3\x85\xE8\xAF\xB4\xE6\x98\x8E caf\xC3\xA9\r\n"
              "\xE7\xAC\xAC\xE4\xBA\x8C\xE8\xA1\x8C \xF0\x9F\x98\x80 \xE7\xBB\x93\xE6\x9D\x9F\r\n");
}

// A trail byte equal to '\n' or '\r' never splits a GBK character; CR, LF and
// CRLF all end lines.
TEST(TextDocument, LineBreaksOfEveryKind) {
    Document document = DecodeDocument("a.txt", "one\rtwo\nthree\r\n\xB0\x5C\r\n\r\n");
    EXPECT_EQ(document.Lines, (Lines{"one", "two", "three", "\xB0\x5C"}));
}

TEST(TextDocument, InvalidEncodingsAreRefused) {
    EXPECT_EQ(DecodeFailure("a.txt", "ok \x81"), ErrorKind::Conversion);  // a lead byte at the end
    EXPECT_EQ(DecodeFailure("a.txt", "\xFF\xFE\x41\x00\x42"), ErrorKind::Conversion);
    EXPECT_EQ(DecodeFailure("a.txt", "\xEF\xBB\xBF\xC3\x28"), ErrorKind::Conversion);
    EXPECT_EQ(DecodeFailure("a.txt", std::string("\xFF\xFE\x00\xD8\x41\x00", 6)), ErrorKind::Conversion);
}

TEST(Document, AbsurdSizeIsRefusedAsDamaged) {
    std::string huge(kMaxDocumentBytes + 1, 'a');
    EXPECT_EQ(DecodeFailure("a.txt", huge), ErrorKind::Damaged);
    EXPECT_EQ(DecodeFailure("a.html", "<p>" + huge), ErrorKind::Damaged);
}

// A word processor's file: tables of fonts, colours and styles, document
// information, a picture and a field instruction are not text; GBK escapes,
// \u escapes with their replacement characters skipped (\uc1, then \uc2),
// symbols and the field's result are.
TEST(RtfDocument, TextOfAWordProcessorFile) {
    Document document = DecodeDocument("a.rtf", Fixture("agreement.rtf"));
    EXPECT_EQ(document.Kind, DocumentKind::Rtf);
    EXPECT_EQ(document.Source, Fixture("agreement.rtf"));
    EXPECT_EQ(document.Lines, (Lines{"软件许可协议", "Unicode: 软件 and 协 end", "Tab\there", "next",
                                     "Symbols {braces} \\ back space — “q”", "link text"}));
}

struct RtfCase {
    const char* Rtf;
    Lines Expected;
};

class RtfTextTest : public ::testing::TestWithParam<RtfCase> {};

TEST_P(RtfTextTest, Lines) { EXPECT_EQ(RtfTextLines(GetParam().Rtf), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Rules, RtfTextTest,
    ::testing::Values(
        // A negative \u parameter is the code unit plus 65536; a pair of them
        // is a surrogate pair (GBK cannot hold it).
        RtfCase{"{\\rtf1 \\u-28817?\\u-10179?\\u-8704?x}", {"软?x"}},
        // \ucN applies inside its group only.
        RtfCase{"{\\rtf1 {\\uc2\\u21327ab}\\u21327ab}", {"协协b"}},
        // The replacement is skipped up to a group's end, not past it.
        RtfCase{"{\\rtf1 {\\uc3\\u21327a}bc}", {"协bc"}},
        // Western code page: \'hh in Windows-1252.
        RtfCase{"{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'93q\\'94}", {"café “q”"}},
        // Binary data is skipped by its length, whatever it holds.
        RtfCase{"{\\rtf1 a\\bin4 }{\\ b}", {"ab"}}, RtfCase{"{\\rtf1 a\\bin999999999 xyz}", {"a"}},
        // Unknown {\* destinations, and text outside the document, are not text.
        RtfCase{"junk{\\rtf1 {\\*\\unknown hidden}shown\\par}trailing", {"shown", ""}},
        // A hex escape cut short and a lone backslash at the end.
        RtfCase{"{\\rtf1 ok\\'c", {"ok"}}, RtfCase{"{\\rtf1 ok\\", {"ok"}}, RtfCase{"{\\rtf1 a\\'zzb}", {"azzb"}},
        // A lead byte without its trail byte.
        RtfCase{"{\\rtf1 \\'b0}", {"?"}},
        // An overlong control word and a huge parameter.
        RtfCase{"{\\rtf1 \\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa1 x \\fs99999999999999999999 y}", {"x y"}}));

struct ObjectCase {
    const char* Rtf;
    const char* Expected;
};

class RtfObjectTest : public ::testing::TestWithParam<ObjectCase> {};

// Objects are replaced by their results; braces inside escapes and binary
// data are not groups.
TEST_P(RtfObjectTest, ReplacedByResult) { EXPECT_EQ(WithoutRtfObjects(GetParam().Rtf), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Objects, RtfObjectTest,
    ::testing::Values(
        ObjectCase{"{\\rtf1 a{\\object\\objemb{\\*\\objclass Package}{\\*\\objdata 0102}{\\result {\\pict x}}}b}",
                   "{\\rtf1 a{\\result {\\pict x}}b}"},
        ObjectCase{"{\\rtf1 {\\*\\object\\objautlink{\\*\\objdata \\{\\bin3 }}}}}c}", "{\\rtf1 c}"},
        ObjectCase{"{\\rtf1 {\\object{\\result {\\object{\\result r}}}}}", "{\\rtf1 {\\result {\\result r}}}"},
        ObjectCase{"{\\rtf1 \\{\\object not a group\\}{\\objectx kept}}",
                   "{\\rtf1 \\{\\object not a group\\}{\\objectx kept}}"},
        ObjectCase{"{\\rtf1 keep{\\object{\\result cut", "{\\rtf1 keep{\\result cut"},
        ObjectCase{"{\\rtf1 {\\object", "{\\rtf1 "}));

TEST(RtfDocument, DeepNestingIsRefusedWithoutRecursion) {
    std::string deep =
        "{\\rtf1 " + std::string(kMaxDocumentNesting + 1, '{') + "x" + std::string(kMaxDocumentNesting + 1, '}') + "}";
    EXPECT_EQ(DecodeFailure("a.rtf", deep), ErrorKind::Damaged);
    std::string allowed =
        "{\\rtf1 " + std::string(kMaxDocumentNesting - 2, '{') + "x" + std::string(kMaxDocumentNesting - 2, '}') + "}";
    EXPECT_EQ(DecodeDocument("a.rtf", allowed).Lines, Lines{"x"});
}

// Every prefix of a real file decodes to some of its lines, never more.
TEST(RtfDocument, TruncatedFileShowsWhatItHas) {
    std::string rtf = Fixture("agreement.rtf");
    for (size_t size = 5; size < rtf.size(); ++size) {
        Document document = DecodeDocument("a.rtf", rtf.substr(0, size));
        EXPECT_LE(document.Lines.size(), 6u) << size;
    }
}

const Lines kAgreementLines = {"软件许可协议",    "请仔细阅读 以下条款。 空白 合并。",
                               "\xA1\xA4 第一条", "\xA1\xA4 第二条 链接文字",
                               "1. one",          "2. two",
                               "项目 | 说明",     "A | 甲 & 乙",
                               "Line one",        "Line two",
                               "结束 (C) 2026"};

struct Parser {
    const char* Name;
    HtmlWalker Walk;
};

class HtmlLayoutTest : public ::testing::TestWithParam<Parser> {
protected:
    Lines LinesOf(const std::string& html) { return FormattedTextLines(LayoutHtml(html, GetParam().Walk)); }
};

// Headings, paragraphs with collapsed white space, lists, a table and a line
// break start lines; head, styles, scripts and the remote picture give none.
TEST_P(HtmlLayoutTest, AgreementLines) {
    Lines lines = LinesOf(Fixture("agreement.html"));
    EXPECT_EQ(lines, kAgreementLines);
    for (const std::string& line : lines) {
        for (const char* hidden : {"SCRIPT", "REMOTE", "http", "不显示", "color"}) {
            EXPECT_EQ(line.find(hidden), std::string::npos) << line;
        }
    }
}

TEST_P(HtmlLayoutTest, Styles) {
    FormattedText text = LayoutHtml(Fixture("agreement.html"), GetParam().Walk);
    ASSERT_GE(text.Blocks.size(), 4u);
    EXPECT_EQ(text.Blocks[0].Kind, BlockKind::Heading);
    EXPECT_EQ(text.Blocks[0].Level, 1);
    const Block& paragraph = text.Blocks[1];
    ASSERT_EQ(paragraph.Runs.size(), 5u);
    EXPECT_TRUE(paragraph.Runs[1].Bold);
    EXPECT_TRUE(paragraph.Runs[3].Italic);
    EXPECT_FALSE(paragraph.Runs[2].Bold || paragraph.Runs[2].Italic);
    const Block& item = text.Blocks[3];
    EXPECT_EQ(item.Kind, BlockKind::ListItem);
    ASSERT_EQ(item.Runs.size(), 2u);
    EXPECT_TRUE(item.Runs[1].Link);
}

TEST_P(HtmlLayoutTest, NestedListsAndPreformattedText) {
    EXPECT_EQ(LinesOf("<ul><li>a<ol><li>b</li><li>c</li></ol></li><li>d</li></ul><pre>x  y\n\n  z</pre>"),
              (Lines{"\xA1\xA4 a", "  1. b", "  2. c", "\xA1\xA4 d", "x  y", "", "  z"}));
}

TEST_P(HtmlLayoutTest, LineBreakAfterPreIsDropped) {
    EXPECT_EQ(LinesOf("<p>a</p><pre>\nb\n</pre><pre>\r\n\nc</pre>"), (Lines{"a", "b", "", "c"}));
}

TEST_P(HtmlLayoutTest, CharacterReferencesAndComments) {
    EXPECT_EQ(LinesOf("<p>&lt;a&gt; &#21327;&#x8bae; &amp;amp; &unknown; a&b<!-- hidden --></p>"),
              (Lines{"<a> 协议 &amp; &unknown; a&b"}));
}

// Damage in many forms: every prefix of the agreement, stray markup.
TEST_P(HtmlLayoutTest, DamagedMarkupStillLaysOut) {
    std::string html = Fixture("agreement.html");
    for (size_t size = 0; size < html.size(); size += 7) (void)LayoutHtml(html.substr(0, size), GetParam().Walk);
    EXPECT_EQ(LinesOf("<p>a</b></i></ul></td>b<"), (Lines{"ab<"}));
    EXPECT_EQ(LinesOf("<p title=\"x>y\">shown</p><script>never"), (Lines{"shown"}));
}

// Nesting is bounded before any parser builds a tree; flat runs of elements
// that close themselves are not nesting.
TEST_P(HtmlLayoutTest, DeepNesting) {
    std::string deep;
    for (size_t i = 0; i <= kMaxDocumentNesting; ++i) deep += "<div>";
    EXPECT_THROW(LayoutHtml(deep + "x", GetParam().Walk), Error);
    std::string flat;
    for (size_t i = 0; i < 3 * kMaxDocumentNesting; ++i) flat += "<p>x";
    EXPECT_EQ(LinesOf(flat).size(), 3 * kMaxDocumentNesting);
}

// Only local PNG and JPEG pictures beside the document become picture runs;
// remote, absolute and escaping sources are dropped, and none is text.
TEST_P(HtmlLayoutTest, LocalPicturesOnly) {
    FormattedText text = LayoutHtml(Fixture("pictures.html"), GetParam().Walk);
    std::vector<std::string> pictures;
    for (const Block& block : text.Blocks) {
        for (const TextRun& run : block.Runs) {
            if (!run.Picture.empty()) pictures.push_back(run.Picture);
        }
    }
    EXPECT_EQ(pictures, (Lines{"logo.png", "photo.jpg", "logo.png"}));
    EXPECT_EQ(FormattedTextLines(text), (Lines{"Logo: and", "end"}));
}

INSTANTIATE_TEST_SUITE_P(Parsers, HtmlLayoutTest,
                         ::testing::Values(Parser{"build", WalkHtml}, Parser{"markup", WalkHtmlMarkup}),
                         [](const ::testing::TestParamInfo<Parser>& info) { return std::string(info.param.Name); });

TEST(HtmlDocument, DecodedWithLinesAndUtf8Source) {
    Document document = DecodeDocument("C:\\a\\agreement.html", Fixture("agreement.html"));
    EXPECT_EQ(document.Kind, DocumentKind::Html);
    EXPECT_EQ(document.Source, Fixture("agreement.html"));
    EXPECT_EQ(document.Lines, kAgreementLines);
}

TEST(HtmlDocument, Utf16WithByteOrderMark) {
    std::u16string html = u"<html><body><h2>\x534F\x8BAE</h2><p>x</p></body></html>";
    std::string bytes = "\xFF\xFE" + Utf16ToLeBytes(html);
    Document document = DecodeDocument("a.txt", bytes);
    EXPECT_EQ(document.Kind, DocumentKind::Html);
    EXPECT_EQ(document.Lines, (Lines{"协议", "x"}));
}

// Without a byte-order mark or a declared charset, bytes that are not UTF-8
// are GBK.
TEST(HtmlDocument, GbkWithoutDeclaration) {
    Document document = DecodeDocument("a.htm", Fixture("agreement-gbk.htm"));
    EXPECT_EQ(document.Kind, DocumentKind::Html);
    EXPECT_EQ(document.Lines, Lines{"纯 GBK 的 网页"});
    EXPECT_EQ(DecodeDocument("a.htm", "<meta charset=gb2312><p>\xD0\xAD</p>").Lines, Lines{"协"});
}

// The demo's agreement: formatted text, and neither its script nor its
// remote picture leaves a trace.
TEST(HtmlDocument, DemoAgreement) {
    std::ifstream file(std::string(SETUP_DEMO_DIR) + "/agreement.html", std::ios::binary);
    std::string html((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Document document = DecodeDocument("C:\\Temp\\Info\\agreement.html", html);
    ASSERT_GE(document.Lines.size(), 4u);
    EXPECT_EQ(document.Lines[0], "最终用户许可协议");
    EXPECT_EQ(document.Lines[1], "请仔细阅读以下条款。使用本软件即表示您同意本协议。");
    EXPECT_EQ(document.Lines[2], "一、许可范围");
    EXPECT_EQ(document.Lines[3], "\xA1\xA4 您可以在一台计算机上安装和使用本软件。");
    for (const std::string& line : document.Lines) {
        EXPECT_EQ(line.find("SCRIPT"), std::string::npos) << line;
        EXPECT_EQ(line.find("远程图片"), std::string::npos) << line;
        EXPECT_EQ(line.find("example.invalid"), std::string::npos) << line;
    }
    EXPECT_EQ(document.Lines.back(), "如有疑问，请访问 技术支持页面。");
}

// The RTF the Windows viewer is given says the same text, in 7-bit bytes,
// with the heading bold and larger and the link underlined in blue.
TEST(HtmlDocument, RtfForTheViewerHoldsTheSameText) {
    FormattedText text = LayoutHtml(Fixture("agreement.html"));
    std::string rtf = FormattedTextToRtf(text);
    for (char c : rtf) ASSERT_LT(static_cast<unsigned char>(c), 0x80u);
    EXPECT_NE(rtf.find("\\pard\\sb120\\sa60\\fs32 {\\b \\u-28817?\\u20214?"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("{\\ul\\cf1 \\u-27394?"), std::string::npos) << rtf;  // 链 is U+94FE
    Lines fromRtf = DecodeDocument("a.rtf", rtf).Lines;
    Lines expected = kAgreementLines;
    expected[6] = "项目\t说明";
    expected[7] = "A\t甲 & 乙";
    EXPECT_EQ(fromRtf, expected);
}

struct SourceCase {
    const char* Source;
    bool Local;
};

class LocalPictureTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(LocalPictureTest, Decides) {
    EXPECT_EQ(IsLocalPicture(GetParam().Source), GetParam().Local) << GetParam().Source;
}

INSTANTIATE_TEST_SUITE_P(Sources, LocalPictureTest,
                         ::testing::Values(SourceCase{"logo.png", true}, SourceCase{"img/Logo.JPG", true},
                                           SourceCase{"img\\a.jpeg", true}, SourceCase{" a.png ", true},
                                           SourceCase{"a..b.png", true}, SourceCase{"http://x/a.png", false},
                                           SourceCase{"//x/a.png", false}, SourceCase{"\\\\x\\a.png", false},
                                           SourceCase{"/a.png", false}, SourceCase{"C:\\a.png", false},
                                           SourceCase{"file:a.png", false}, SourceCase{"../a.png", false},
                                           SourceCase{"img/../../a.png", false}, SourceCase{"a.png?x=1", false},
                                           SourceCase{"a%2epng", false}, SourceCase{"a.gif", false},
                                           SourceCase{"a.BMP", true}, SourceCase{"", false}));

// The view's RTF asks the loader for the local pictures only, and embeds each
// as a 32-bit bottom-up bitmap, transparency laid on white; a picture the
// loader cannot give is left out.
TEST(HtmlDocument, PicturesEmbeddedInTheRtf) {
    FormattedText text = LayoutHtml(Fixture("pictures.html"));
    Lines asked;
    std::string rtf = FormattedTextToRtf(text, [&asked](const std::string& path, PicturePixels& picture) {
        asked.push_back(path);
        if (path != "logo.png") return false;
        picture.Width = 2;
        picture.Height = 2;
        picture.Pixels = {0xFFFF0000, 0x00000000, 0xFF0000FF, 0x80000000};  // top row first
        return true;
    });
    EXPECT_EQ(asked, (Lines{"logo.png", "photo.jpg", "logo.png"}));
    const std::string picture =
        "{\\pict\\dibitmap0\\picw2\\pich2\\picwgoal30\\pichgoal30\n"
        "28000000"
        "02000000"
        "02000000"
        "0100"
        "2000"
        "00000000"
        "10000000"
        "00000000"
        "00000000"
        "00000000"
        "00000000"
        "\nff0000007f7f7f00"    // bottom row: blue, black at half over white
        "\n0000ff00ffffff00}";  // top row: red, transparent
    size_t first = rtf.find(picture);
    EXPECT_NE(first, std::string::npos) << rtf;
    EXPECT_NE(rtf.find(picture, first + 1), std::string::npos);
    EXPECT_EQ(RtfTextLines(rtf).front(), "Logo: and");
    EXPECT_EQ(FormattedTextToRtf(text).find("pict"), std::string::npos);  // no loader, no pictures
}

// Pictures too large to embed are left out, and so are inconsistent ones.
TEST(HtmlDocument, PictureBounds) {
    FormattedText text = LayoutHtml("<img src=a.png>");
    auto rtfWith = [&text](uint32_t width, uint32_t height, size_t pixels) {
        return FormattedTextToRtf(text, [=](const std::string&, PicturePixels& picture) {
            picture.Width = width;
            picture.Height = height;
            picture.Pixels.assign(pixels, 0xFFFFFFFF);
            return true;
        });
    };
    EXPECT_NE(rtfWith(1000, 1, 1000).find("\\picwgoal6600\\pichgoal6"), std::string::npos);  // scaled to the view
    EXPECT_EQ(rtfWith(kMaxEmbeddedPictureSide + 1, 1, kMaxEmbeddedPictureSide + 1).find("pict"), std::string::npos);
    EXPECT_EQ(rtfWith(2, 2, 3).find("pict"), std::string::npos);
    EXPECT_EQ(rtfWith(0, 0, 0).find("pict"), std::string::npos);
}

}  // namespace
}  // namespace setup::ui
