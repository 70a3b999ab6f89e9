// HTML laid out into blocks of styled runs, and those blocks written out as
// text lines and as RTF. The layout is a sink of the parser's events, so it
// works the same whichever parser a build has.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
#include "ui/document_format.h"

namespace setup::ui {

namespace {

bool IsOneOf(std::string_view tag, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), tag) != names.end();
}

bool IsBlockElement(std::string_view tag) {
    return IsOneOf(
        tag, {"p",          "div",    "h1",         "h2",      "h3",      "h4",       "h5",     "h6",       "ul",
              "ol",         "li",     "dl",         "dt",      "dd",      "table",    "tr",     "caption",  "pre",
              "blockquote", "hr",     "address",    "section", "article", "header",   "footer", "nav",      "aside",
              "main",       "figure", "figcaption", "center",  "form",    "fieldset", "legend", "body",     "html",
              "thead",      "tbody",  "tfoot",      "details", "summary", "listing",  "xmp",    "plaintext"});
}

int HeadingLevel(std::string_view tag) {
    if (tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6') return tag[1] - '0';
    return 0;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

class Layout : public HtmlSink {
public:
    void StartElement(std::string_view tag) override {
        if (int level = HeadingLevel(tag)) {
            StartBlock(BlockKind::Heading, level);
        } else if (tag == "ul" || tag == "ol") {
            EndBlock();
            lists_.push_back(List{tag == "ol", 0});
        } else if (tag == "li") {
            StartBlock(BlockKind::ListItem, static_cast<int>(std::max<size_t>(lists_.size(), 1)));
            if (!lists_.empty() && lists_.back().Ordered) {
                current_.Marker = std::to_string(++lists_.back().Count) + ". ";
            } else {
                current_.Marker = "\xE2\x80\xA2 ";  // a bullet, UTF-8
            }
        } else if (tag == "tr") {
            StartBlock(BlockKind::TableRow, 0);
            cells_ = 0;
        } else if (tag == "td" || tag == "th") {
            if (current_.Kind != BlockKind::TableRow) StartBlock(BlockKind::TableRow, 0);
            if (cells_++ > 0) {
                TextRun separator;
                separator.Text = "\t";
                current_.Runs.push_back(std::move(separator));
            }
            pendingSpace_ = false;
            if (tag == "th") ++bold_;
        } else if (tag == "pre" || tag == "listing" || tag == "xmp" || tag == "plaintext") {
            StartBlock(BlockKind::Preformatted, 0);
            ++pre_;
        } else if (tag == "br") {
            BlockKind kind = current_.Kind == BlockKind::TableRow ? BlockKind::Paragraph : current_.Kind;
            int level = current_.Level;
            EndBlock(/*keepEmpty=*/true);
            current_.Kind = kind;
            current_.Level = level;
        } else if (IsBlockElement(tag)) {
            StartBlock(BlockKind::Paragraph, 0);
        } else if (IsOneOf(tag, {"b", "strong"})) {
            ++bold_;
        } else if (IsOneOf(tag, {"i", "em", "cite", "var", "dfn"})) {
            ++italic_;
        } else if (IsOneOf(tag, {"u", "ins"})) {
            ++underline_;
        } else if (tag == "a") {
            ++link_;
        }
    }

    void EndElement(std::string_view tag) override {
        if (tag == "ul" || tag == "ol") {
            EndBlock();
            if (!lists_.empty()) lists_.pop_back();
        } else if (tag == "pre" || tag == "listing" || tag == "xmp" || tag == "plaintext") {
            EndBlock();
            if (pre_ > 0) --pre_;
        } else if (tag == "td" || tag == "th") {
            if (tag == "th" && bold_ > 0) --bold_;
        } else if (HeadingLevel(tag) || tag == "li" || tag == "tr" || IsBlockElement(tag)) {
            EndBlock();
        } else if (IsOneOf(tag, {"b", "strong"})) {
            if (bold_ > 0) --bold_;
        } else if (IsOneOf(tag, {"i", "em", "cite", "var", "dfn"})) {
            if (italic_ > 0) --italic_;
        } else if (IsOneOf(tag, {"u", "ins"})) {
            if (underline_ > 0) --underline_;
        } else if (tag == "a") {
            if (link_ > 0) --link_;
        }
    }

    void Text(std::string_view utf8) override {
        if (pre_ > 0) {
            for (char c : utf8) {
                if (c == '\r') continue;
                if (c == '\n') {
                    EndBlock(/*keepEmpty=*/true);
                    current_.Kind = BlockKind::Preformatted;
                } else {
                    Append(c);
                }
            }
            return;
        }
        for (char c : utf8) {
            if (IsSpace(c)) {
                pendingSpace_ = true;
            } else {
                // Collapsed white space belongs to the text before it, so a
                // link or a bold word does not start with an underlined or
                // bold blank.
                if (pendingSpace_ && HasText()) {
                    if (current_.Runs.back().Text != "\t" && current_.Runs.back().Picture.empty()) {
                        current_.Runs.back().Text.push_back(' ');
                    } else {
                        Append(' ');
                    }
                }
                pendingSpace_ = false;
                Append(c);
            }
        }
    }

    FormattedText Finish() {
        EndBlock();
        return std::move(result_);
    }

private:
    struct List {
        bool Ordered;
        int Count;
    };

    // True when the block shows something: text or a picture.
    bool HasText() const {
        for (const TextRun& run : current_.Runs) {
            if ((!run.Text.empty() && run.Text != "\t") || !run.Picture.empty()) return true;
        }
        return false;
    }

    void Image(std::string_view source) override {
        if (!IsLocalPicture(source)) return;
        TextRun run;
        run.Picture = std::string(source);
        std::replace(run.Picture.begin(), run.Picture.end(), '/', '\\');
        current_.Runs.push_back(std::move(run));
        pendingSpace_ = false;
    }

    void Append(char c) {
        bool bold = bold_ > 0 || current_.Kind == BlockKind::Heading;
        if (current_.Runs.empty() || current_.Runs.back().Bold != bold ||
            current_.Runs.back().Italic != (italic_ > 0) || current_.Runs.back().Underline != (underline_ > 0) ||
            current_.Runs.back().Link != (link_ > 0) || current_.Runs.back().Text == "\t" ||
            !current_.Runs.back().Picture.empty()) {
            current_.Runs.push_back(TextRun{"", bold, italic_ > 0, underline_ > 0, link_ > 0, ""});
        }
        current_.Runs.back().Text.push_back(c);
    }

    void StartBlock(BlockKind kind, int level) {
        EndBlock();
        current_.Kind = kind;
        current_.Level = level;
    }

    // Ends the current block; an empty one is dropped unless it is a line of
    // its own (<br><br>, an empty line of preformatted text).
    void EndBlock(bool keepEmpty = false) {
        while (!current_.Runs.empty() && current_.Runs.back().Text == "\t") current_.Runs.pop_back();
        if (HasText() || (keepEmpty && (!current_.Marker.empty() || !result_.Blocks.empty()))) {
            result_.Blocks.push_back(std::move(current_));
        }
        current_ = Block{};
        pendingSpace_ = false;
    }

    FormattedText result_;
    Block current_;
    std::vector<List> lists_;
    int bold_ = 0, italic_ = 0, underline_ = 0, link_ = 0, pre_ = 0, cells_ = 0;
    bool pendingSpace_ = false;
};

void AppendRtfText(std::string& rtf, std::string_view utf8) {
    std::u16string text = Utf8ToUtf16(utf8);
    for (char16_t c : text) {
        if (c == '\\' || c == '{' || c == '}') {
            rtf.push_back('\\');
            rtf.push_back(static_cast<char>(c));
        } else if (c == '\t') {
            rtf += "\\tab ";
        } else if (c >= 0x20 && c < 0x80) {
            rtf.push_back(static_cast<char>(c));
        } else if (c >= 0x80) {
            // \uN takes a signed 16-bit number; "?" is the replacement a
            // reader without Unicode shows (\uc1).
            rtf += "\\u" + std::to_string(static_cast<int16_t>(c)) + "?";
        }
    }
}

}  // namespace

bool IsHiddenElement(std::string_view tag) {
    return IsOneOf(
        tag, {"head",   "script", "style",   "template", "title", "object", "embed",   "iframe",   "frame",  "frameset",
              "applet", "audio",  "video",   "canvas",   "svg",   "math",   "noembed", "noframes", "select", "datalist",
              "map",    "img",    "picture", "source",   "track", "param",  "meta",    "link",     "base"});
}

MarkupShape ShapeOfMarkup(std::string_view utf8) {
    MarkupShape shape;
    size_t depth = 0;
    for (size_t i = 0; i + 1 < utf8.size(); ++i) {
        if (utf8[i] != '<') continue;
        char next = utf8[i + 1];
        if (next == '/') {
            ++shape.Tags;
            if (depth > 0) --depth;
        } else if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z')) {
            ++shape.Tags;
            size_t end = i + 1;
            while (end < utf8.size() && end - i < 12 &&
                   ((utf8[end] >= 'a' && utf8[end] <= 'z') || (utf8[end] >= 'A' && utf8[end] <= 'Z') ||
                    (utf8[end] >= '0' && utf8[end] <= '9')))
                ++end;
            std::string tag = AsciiLowerCase(utf8.substr(i + 1, end - i - 1));
            // Empty elements and those a sibling closes by itself do not nest.
            if (IsOneOf(tag, {"br",   "img", "hr",    "meta",  "link",   "input", "wbr",     "area",
                              "base", "col", "embed", "param", "source", "track", "keygen",  "p",
                              "li",   "dt",  "dd",    "tr",    "td",     "th",    "option",  "optgroup",
                              "rb",   "rt",  "rp",    "thead", "tbody",  "tfoot", "colgroup"}))
                continue;
            shape.Nesting = std::max(shape.Nesting, ++depth);
        }
    }
    return shape;
}

FormattedText LayoutHtml(std::string_view utf8, HtmlWalker walk) {
    if (utf8.size() > kMaxDocumentBytes) ThrowDamaged("The HTML document is too large");
    if (ShapeOfMarkup(utf8).Nesting > kMaxDocumentNesting) {
        ThrowDamaged("The HTML document nests elements deeper than " + std::to_string(kMaxDocumentNesting));
    }
    Layout layout;
    walk(utf8, layout);
    return layout.Finish();
}

std::vector<std::string> FormattedTextLines(const FormattedText& text) {
    std::vector<std::string> lines;
    GbkDisplayConverter converter;
    for (const Block& block : text.Blocks) {
        std::string line = block.Marker;
        if (block.Kind == BlockKind::ListItem && block.Level > 1)
            line.insert(0, 2 * static_cast<size_t>(block.Level - 1), ' ');
        bool hasText = !block.Marker.empty() || block.Runs.empty();
        for (const TextRun& run : block.Runs) {
            line += block.Kind == BlockKind::TableRow && run.Text == "\t" ? " | " : run.Text;
            hasText = hasText || run.Picture.empty();
        }
        // A block that holds only pictures is no line of text.
        if (!hasText) continue;
        lines.push_back(converter.Convert(Utf8ToUtf16(line)));
    }
    return lines;
}

bool IsLocalPicture(std::string_view source) {
    source = TrimBlanks(source);
    if (source.empty() || source.size() > 260) return false;
    // No scheme or drive ("http:", "file:", "C:"), no server or root ("//",
    // "\\\\", "/"), nothing but a plain file path.
    if (source.find_first_of(":?#%") != std::string_view::npos) return false;
    if (source[0] == '/' || source[0] == '\\') return false;
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = source.size();
        if (source.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return EndsWithNoCase(source, ".png") || EndsWithNoCase(source, ".jpg") || EndsWithNoCase(source, ".jpeg") ||
           EndsWithNoCase(source, ".bmp");
}

namespace {

// Widest picture in twips (the viewer is about 476 pixels wide).
constexpr uint64_t kMaxPictureTwips = 6600;

void AppendHex(std::string& rtf, uint32_t value, int bytes) {
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < bytes; ++i, value >>= 8) {  // little-endian, as the bitmap header is
        rtf.push_back(hex[(value >> 4) & 15]);
        rtf.push_back(hex[value & 15]);
    }
}

// A 32-bit bottom-up device-independent bitmap: its header, then the rows.
void AppendRtfPicture(std::string& rtf, const PicturePixels& picture) {
    uint64_t goalWidth = uint64_t{picture.Width} * 15;  // 96 pixels an inch, 1440 twips an inch
    uint64_t goalHeight = uint64_t{picture.Height} * 15;
    if (goalWidth > kMaxPictureTwips) {
        goalHeight = std::max<uint64_t>(goalHeight * kMaxPictureTwips / goalWidth, 1);
        goalWidth = kMaxPictureTwips;
    }
    rtf += "{\\pict\\dibitmap0\\picw" + std::to_string(picture.Width) + "\\pich" + std::to_string(picture.Height) +
           "\\picwgoal" + std::to_string(goalWidth) + "\\pichgoal" + std::to_string(goalHeight) + "\n";
    AppendHex(rtf, 40, 4);              // biSize
    AppendHex(rtf, picture.Width, 4);   // biWidth
    AppendHex(rtf, picture.Height, 4);  // biHeight: positive, bottom-up rows
    AppendHex(rtf, 1, 2);               // biPlanes
    AppendHex(rtf, 32, 2);              // biBitCount
    AppendHex(rtf, 0, 4);               // biCompression: BI_RGB
    AppendHex(rtf, picture.Width * picture.Height * 4, 4);
    AppendHex(rtf, 0, 4);
    AppendHex(rtf, 0, 4);
    AppendHex(rtf, 0, 4);
    AppendHex(rtf, 0, 4);
    for (uint32_t row = picture.Height; row-- > 0;) {
        rtf.push_back('\n');
        for (uint32_t column = 0; column < picture.Width; ++column) {
            uint32_t argb = picture.Pixels[size_t{row} * picture.Width + column];
            // Transparent parts are laid on the white of the page.
            uint32_t alpha = argb >> 24;
            auto over = [alpha](uint32_t channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
            uint32_t red = over((argb >> 16) & 255), green = over((argb >> 8) & 255), blue = over(argb & 255);
            AppendHex(rtf, blue | green << 8 | red << 16, 4);
        }
    }
    rtf += "}";
}

}  // namespace

std::string FormattedTextToRtf(const FormattedText& text, const PictureLoader& loadPicture) {
    uint64_t pixels = 0;
    // Font 0 is the Chinese system font (GB2312 character set), colour 1 the
    // blue of links. Sizes are in half points. The character properties are
    // set in full at the start, since the control's own default (the font it
    // was given, or a bold system font) would otherwise show through.
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\uc1"
        "{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
        "{\\colortbl ;\\red0\\green0\\blue255;}"
        "\\viewkind4\\pard\\f0\\fs18\\b0\\i0\\ul0\\cf0\n";
    static const int headingSizes[] = {32, 28, 24, 22, 20, 18};
    for (const Block& block : text.Blocks) {
        rtf += "\\pard";
        switch (block.Kind) {
            case BlockKind::Heading:
                rtf += "\\sb120\\sa60\\fs" + std::to_string(headingSizes[std::clamp(block.Level, 1, 6) - 1]);
                break;
            case BlockKind::ListItem: {
                int indent = 360 * std::clamp(block.Level, 1, 8);
                rtf += "\\fi-240\\li" + std::to_string(indent) + "\\fs18";
                break;
            }
            case BlockKind::TableRow:
                rtf += "\\tx1800\\tx3600\\tx5400\\tx7200\\fs18";
                break;
            case BlockKind::Preformatted:
                rtf += "\\fs18";
                break;
            case BlockKind::Paragraph:
                rtf += "\\sa60\\fs18";
                break;
        }
        rtf += ' ';
        if (!block.Marker.empty()) AppendRtfText(rtf, block.Marker);
        for (const TextRun& run : block.Runs) {
            if (run.Text == "\t") {
                rtf += "\\tab ";
                continue;
            }
            if (!run.Picture.empty()) {
                PicturePixels picture;
                if (loadPicture && loadPicture(run.Picture, picture) && picture.Width > 0 && picture.Height > 0 &&
                    picture.Width <= kMaxEmbeddedPictureSide && picture.Height <= kMaxEmbeddedPictureSide &&
                    picture.Pixels.size() == size_t{picture.Width} * picture.Height &&
                    pixels + picture.Pixels.size() <= kMaxEmbeddedPixels) {
                    pixels += picture.Pixels.size();
                    AppendRtfPicture(rtf, picture);
                }
                continue;
            }
            std::string controls;
            if (run.Bold) controls += "\\b";
            if (run.Italic) controls += "\\i";
            if (run.Underline || run.Link) controls += "\\ul";
            if (run.Link) controls += "\\cf1";
            rtf += '{' + controls;
            if (!controls.empty()) rtf += ' ';  // the delimiter of the last control word
            AppendRtfText(rtf, run.Text);
            rtf += '}';
        }
        rtf += "\\par\n";
    }
    rtf += "}";
    return rtf;
}

}  // namespace setup::ui
