// The inside of the document decoders, shared by the portable layer and the
// Win32 view: HTML reduced to a small formatted model (blocks of styled runs)
// that gives both the transcript's text lines and the RTF the rich-edit
// control shows, and the RTF reader that extracts a document's text. Nothing
// here runs a script or fetches anything: markup is only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace setup::ui {

// Inputs larger than this are refused as damaged: a document for a wizard page
// is a few pages long, and a decoder must never be made to allocate without
// bound.
constexpr size_t kMaxDocumentBytes = size_t{16} * 1024 * 1024;
// Deepest group nesting of RTF and deepest element nesting of HTML accepted;
// deeper input is refused as damaged instead of exhausting the stack of a
// parser (or the memory of a state stack).
constexpr size_t kMaxDocumentNesting = 2000;

// A piece of text in one style, UTF-8.
struct TextRun {
    std::string Text;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Link = false;
    // A local picture beside the document instead of text: its path relative
    // to the document's folder, UTF-8, with "\\" separators.
    std::string Picture;
};

enum class BlockKind { Paragraph, Heading, ListItem, TableRow, Preformatted };

// One line of the laid-out document: a paragraph, a heading (Level 1-6), a
// list item (Level = list depth from 1; Marker "• " or "3. "), a table row
// whose cells are separated by runs holding a single "\t", or one line of
// preformatted text.
struct Block {
    BlockKind Kind = BlockKind::Paragraph;
    int Level = 0;
    std::string Marker;
    std::vector<TextRun> Runs;
};

struct FormattedText {
    std::vector<Block> Blocks;
};

// Receives the elements and text of an HTML document in document order; tag
// names are lower case, text is UTF-8 with character references resolved.
// Content that is never shown (head, script, style, template, embedded
// objects) is not reported at all.
class HtmlSink {
public:
    virtual ~HtmlSink() = default;
    virtual void StartElement(std::string_view tag) = 0;
    virtual void EndElement(std::string_view tag) = 0;
    virtual void Text(std::string_view utf8) = 0;
    // An <img> element with its src attribute (UTF-8, as written).
    virtual void Image(std::string_view source) { (void)source; }
};

// Parses UTF-8 HTML with the build's HTML parser and reports it to the sink.
// Raises a Damaged error for nesting deeper than kMaxDocumentNesting.
void WalkHtml(std::string_view utf8, HtmlSink& sink);
// The two parsers behind WalkHtml: the HTML5 parser library, and a small
// bounded tokenizer for builds that do not have the library. Each build links
// the ones it has; tests run both on the same documents.
void WalkHtmlWithParserLibrary(std::string_view utf8, HtmlSink& sink);
void WalkHtmlMarkup(std::string_view utf8, HtmlSink& sink);
// A cheap look at markup before a parser builds a tree: an upper bound of its
// element nesting (start tags that can hold content minus end tags) and the
// number of its tags.
struct MarkupShape {
    size_t Nesting = 0;
    size_t Tags = 0;
};
MarkupShape ShapeOfMarkup(std::string_view utf8);
// The HTML5 tree builder looks through the open elements for many tags, so
// its work grows with nesting times tags; markup beyond this much of it is
// refused as damaged rather than keeping the page busy for many seconds.
constexpr size_t kMaxMarkupWork = size_t{100} * 1000 * 1000;
// True for element names whose content is never shown.
bool IsHiddenElement(std::string_view tag);

// Lays out HTML into blocks: block elements start a block, <br> starts a
// line, white space collapses as a browser collapses it, <a> is a link run.
// Raises a Damaged error for input over kMaxDocumentBytes or nested deeper
// than kMaxDocumentNesting. `walk` is the parser (the build's by default).
using HtmlWalker = void (*)(std::string_view utf8, HtmlSink& sink);
FormattedText LayoutHtml(std::string_view utf8, HtmlWalker walk = WalkHtml);
// The text lines of the laid-out document, GBK: list markers before items,
// table cells joined with " | ", empty blocks dropped.
std::vector<std::string> FormattedTextLines(const FormattedText& text);
// True for an <img> source that names a PNG, JPEG or BMP file in the
// document's folder or below it: relative, without a scheme, drive, server or
// "..". Any other source (a remote address above all) is never loaded.
bool IsLocalPicture(std::string_view source);

// A picture's pixels for embedding: top-down rows of 0xAARRGGBB.
struct PicturePixels {
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint32_t> Pixels;
};
// Reads and decodes a local picture by its path relative to the document's
// folder; false when it cannot be read or decoded.
using PictureLoader = std::function<bool(const std::string& relativeUtf8, PicturePixels& picture)>;
// Pictures beyond these bounds are left out: a page's document is no album,
// and each pixel costs eight bytes of RTF.
constexpr uint32_t kMaxEmbeddedPictureSide = 2048;
constexpr uint64_t kMaxEmbeddedPixels = uint64_t{4} * 1024 * 1024;

// The laid-out document as RTF for the rich-edit control: headings bold and
// larger, bold and italic runs, list items indented with their marker, table
// rows as tab-separated lines, links underlined in blue, and, when a loader is
// given, local pictures embedded as device-independent bitmaps (transparent
// parts on white; wider than the view: scaled down), which every rich-edit
// version shows. A picture the loader cannot give is left out. 7-bit output
// with every non-ASCII character as a \u escape.
std::string FormattedTextToRtf(const FormattedText& text, const PictureLoader& loadPicture = nullptr);

// Extracts the text of an RTF document as lines (GBK): \par, \line, \row,
// \page and \sect end a line, \tab and \cell are tabs, \'hh escapes are in the
// document's code page (\ansicpg, GBK by default), \uN escapes skip the \ucN
// replacement characters after them, and destinations that are not text
// (font, colour and style tables, document information, pictures, objects,
// field instructions, every {\* ...} group) are skipped. A truncated document
// gives the text up to its end; group nesting deeper than kMaxDocumentNesting
// raises a Damaged error.
std::vector<std::string> RtfTextLines(std::string_view rtf);

// The RTF with every embedded or linked object group ({\object ...})
// replaced by its result group (the rendition a reader without the object's
// program shows), so that the rich-edit control is never asked to start an
// object's program. Escapes and binary data are stepped over, never read as
// braces.
std::string WithoutRtfObjects(std::string_view rtf);

// UTF-16 to GBK for display: a character that GBK cannot hold becomes a
// look-alike GBK has ("·" for a bullet, "(C)" for the copyright sign) or '?',
// so that a document with such characters still shows. One converter serves
// one document: it remembers each character's conversion, so a document full
// of characters GBK lacks costs one conversion per distinct character.
class GbkDisplayConverter {
public:
    std::string Convert(std::u16string_view utf16);

private:
    std::unordered_map<char32_t, std::string> cache_;
};
std::string Utf16ToGbkForDisplay(std::u16string_view utf16);

}  // namespace setup::ui
