// A small HTML tokenizer for builds without the HTML5 parser library: start
// and end tags, text with character references, comments and declarations
// skipped, raw-text elements (script, style) and every hidden element skipped
// with their content. It builds no tree: the layout needs only the events.
// One forward pass, every index checked against the end.
#include <map>
#include <string>

#include "platform/errors.h"
#include "platform/text.h"
#include "ui/document_format.h"

namespace setup::ui {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool IsVoidElement(std::string_view tag) {
    static const char* const names[] = {"area", "base", "br",    "col",    "embed", "hr",  "img",    "input",
                                        "link", "meta", "param", "source", "track", "wbr", "keygen", "frame"};
    for (const char* name : names) {
        if (tag == name) return true;
    }
    return false;
}

// Elements whose content is raw text: it ends only at the matching end tag.
bool IsRawTextElement(std::string_view tag) {
    return tag == "script" || tag == "style" || tag == "title" || tag == "textarea" || tag == "xmp" ||
           tag == "iframe" || tag == "noembed" || tag == "noframes";
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The character reference at `at` ("&..."): appends its character and
// returns the position after it; an unknown one is kept as text.
size_t CharacterReference(std::string_view html, size_t at, std::string& out) {
    static const struct {
        const char* Name;
        uint32_t Code;
    } named[] = {
        {"amp", '&'},      {"lt", '<'},        {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
        {"nbsp", 0xA0},    {"copy", 0xA9},     {"reg", 0xAE},     {"trade", 0x2122}, {"mdash", 0x2014},
        {"ndash", 0x2013}, {"hellip", 0x2026}, {"laquo", 0xAB},   {"raquo", 0xBB},   {"middot", 0xB7},
        {"bull", 0x2022},  {"lsquo", 0x2018},  {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},
        {"times", 0xD7},   {"divide", 0xF7},   {"deg", 0xB0},     {"sect", 0xA7},    {"yen", 0xA5},
    };
    size_t end = at + 1;
    if (end < html.size() && html[end] == '#') {
        ++end;
        bool hex = end < html.size() && (html[end] == 'x' || html[end] == 'X');
        if (hex) ++end;
        uint32_t code = 0;
        size_t digits = 0;
        while (end < html.size()) {
            char c = html[end];
            int value = c >= '0' && c <= '9'          ? c - '0'
                        : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
            if (value < 0) break;
            if (code <= 0x10FFFF) code = code * (hex ? 16 : 10) + static_cast<uint32_t>(value);
            ++digits;
            ++end;
        }
        if (digits == 0) {
            out.push_back('&');
            return at + 1;
        }
        if (end < html.size() && html[end] == ';') ++end;
        AppendUtf8(out, code);
        return end;
    }
    while (end < html.size() && end - at <= 8 && (IsLetter(html[end]) || (html[end] >= '0' && html[end] <= '9'))) ++end;
    std::string_view name = html.substr(at + 1, end - at - 1);
    for (const auto& entry : named) {
        if (name == entry.Name) {
            if (end < html.size() && html[end] == ';') ++end;
            AppendUtf8(out, entry.Code);
            return end;
        }
    }
    out.push_back('&');
    return at + 1;
}

class Tokenizer {
public:
    Tokenizer(std::string_view html, HtmlSink& sink) : html_(html), sink_(sink) {}

    void Run() {
        size_t at = 0;
        std::string text;
        while (at < html_.size()) {
            char c = html_[at];
            if (c == '&') {
                at = CharacterReference(html_, at, text);
                continue;
            }
            if (c != '<' || at + 1 >= html_.size()) {
                text.push_back(c);
                ++at;
                continue;
            }
            char next = html_[at + 1];
            if (IsLetter(next) || (next == '/' && at + 2 < html_.size() && IsLetter(html_[at + 2]))) {
                Flush(text);
                at = Tag(at);
            } else if (next == '!' || next == '?' || next == '/') {
                Flush(text);
                at = SkipDeclaration(at);
            } else {
                text.push_back(c);
                ++at;
            }
        }
        Flush(text);
        CloseTo(0);
    }

private:
    void Flush(std::string& text) {
        if (!text.empty() && hidden_.empty()) sink_.Text(text);
        text.clear();
    }

    // Comments end at "-->", other declarations and processing instructions
    // at the next ">".
    size_t SkipDeclaration(size_t at) {
        if (html_.compare(at, 4, "<!--") == 0) {
            size_t end = html_.find("-->", at + 4);
            return end == std::string_view::npos ? html_.size() : end + 3;
        }
        size_t end = html_.find('>', at);
        return end == std::string_view::npos ? html_.size() : end + 1;
    }

    size_t Tag(size_t at) {
        bool closing = html_[at + 1] == '/';
        size_t start = at + (closing ? 2 : 1);
        size_t end = start;
        while (end < html_.size() && !IsSpace(html_[end]) && html_[end] != '>' && html_[end] != '/') ++end;
        std::string tag = AsciiLowerCase(html_.substr(start, end - start));
        // Attributes are skipped (but a picture's source); a quoted value may
        // hold ">".
        if (!closing && tag == "img" && hidden_.empty()) sink_.Image(AttributeValue(end, "src"));
        bool selfClosing = false;
        char quote = 0;
        while (end < html_.size()) {
            char c = html_[end];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            } else if (c == '/') {
                selfClosing = end + 1 < html_.size() && html_[end + 1] == '>';
            }
            ++end;
        }
        size_t after = end < html_.size() ? end + 1 : html_.size();
        if (closing) {
            EndTag(tag);
            return after;
        }
        if (IsRawTextElement(tag)) {
            // Raw text: nothing inside is markup; it ends at its end tag.
            size_t close = after;
            while ((close = html_.find("</", close)) != std::string_view::npos) {
                if (EqualsNoCase(html_.substr(close + 2, tag.size()), tag)) break;
                close += 2;
            }
            if (close == std::string_view::npos) return html_.size();
            if (!IsHiddenElement(tag) && hidden_.empty()) {
                sink_.StartElement(tag);
                std::string text;
                for (size_t i = after; i < close;) {
                    if (html_[i] == '&') {
                        i = CharacterReference(html_, i, text);
                    } else {
                        text.push_back(html_[i++]);
                    }
                }
                sink_.Text(text);
                sink_.EndElement(tag);
            }
            size_t closeEnd = html_.find('>', close);
            return closeEnd == std::string_view::npos ? html_.size() : closeEnd + 1;
        }
        StartTag(tag, selfClosing || IsVoidElement(tag));
        // A line break right after the start of preformatted text is not
        // part of it.
        if ((tag == "pre" || tag == "listing") && hidden_.empty()) {
            if (html_.compare(after, 2, "\r\n") == 0) return after + 2;
            if (after < html_.size() && (html_[after] == '\n' || html_[after] == '\r')) return after + 1;
        }
        return after;
    }

    // The value of the named attribute among those from `at` to the end of
    // the tag, character references resolved; empty when it is not there.
    std::string AttributeValue(size_t at, std::string_view wanted) const {
        while (at < html_.size() && html_[at] != '>') {
            while (at < html_.size() && (IsSpace(html_[at]) || html_[at] == '/')) ++at;
            size_t nameStart = at;
            while (at < html_.size() && !IsSpace(html_[at]) && html_[at] != '=' && html_[at] != '>' && html_[at] != '/')
                ++at;
            std::string name = AsciiLowerCase(html_.substr(nameStart, at - nameStart));
            while (at < html_.size() && IsSpace(html_[at])) ++at;
            std::string value;
            if (at < html_.size() && html_[at] == '=') {
                ++at;
                while (at < html_.size() && IsSpace(html_[at])) ++at;
                size_t valueStart = at, valueEnd = at;
                if (at < html_.size() && (html_[at] == '"' || html_[at] == '\'')) {
                    size_t close = html_.find(html_[at], at + 1);
                    if (close == std::string_view::npos) return "";
                    valueStart = at + 1;
                    valueEnd = close;
                    at = close + 1;
                } else {
                    while (at < html_.size() && !IsSpace(html_[at]) && html_[at] != '>') ++at;
                    valueEnd = at;
                }
                for (size_t i = valueStart; i < valueEnd;) {
                    if (html_[i] == '&') {
                        i = CharacterReference(html_.substr(0, valueEnd), i, value);
                    } else {
                        value.push_back(html_[i++]);
                    }
                }
            }
            if (name == wanted) return value;
            if (name.empty() && at < html_.size() && html_[at] != '>') ++at;  // a stray character
        }
        return "";
    }

    void StartTag(const std::string& tag, bool empty) {
        // The head ends where the body begins, closed or not.
        if (tag == "body" && !hidden_.empty() && hidden_.front() == "head") hidden_.clear();
        if (!hidden_.empty()) {
            if (!empty) Push(hidden_, tag);
            return;
        }
        if (IsHiddenElement(tag)) {
            if (!empty) hidden_.push_back(tag);
            return;
        }
        ImpliedEnds(tag);
        sink_.StartElement(tag);
        if (empty) {
            sink_.EndElement(tag);
        } else {
            Push(open_, tag);
            ++openCount_[tag];
        }
    }

    void EndTag(const std::string& tag) {
        if (!hidden_.empty()) {
            // The innermost open element of that name closes, with whatever
            // was left open inside it.
            for (size_t i = hidden_.size(); i-- > 0;) {
                if (hidden_[i] == tag) {
                    hidden_.resize(i);
                    break;
                }
            }
            return;
        }
        // An end tag without an open element of its name is stray and ignored.
        auto found = openCount_.find(tag);
        if (found == openCount_.end() || found->second == 0) return;
        for (size_t i = open_.size(); i-- > 0;) {
            if (open_[i] == tag) {
                CloseTo(i);
                return;
            }
        }
    }

    // The ends a start tag implies, as browsers apply them: a block closes an
    // open paragraph, an item its previous sibling item, a cell or row the
    // previous cell or row of its table.
    void ImpliedEnds(const std::string& tag) {
        static const char* const blocks[] = {
            "p",       "div",     "h1",    "h2",        "h3",         "h4",     "h5",      "h6",      "ul",
            "ol",      "dl",      "table", "pre",       "blockquote", "hr",     "address", "section", "article",
            "header",  "footer",  "nav",   "aside",     "main",       "figure", "center",  "form",    "fieldset",
            "details", "listing", "xmp",   "plaintext", "li",         "dt",     "dd"};
        bool block = false;
        for (const char* name : blocks) block = block || tag == name;
        if (block) CloseInnermost({"p"}, {"div", "li", "td", "th", "table", "blockquote", "section", "article"});
        if (tag == "li") CloseInnermost({"li"}, {"ul", "ol", "table"});
        if (tag == "dt" || tag == "dd") CloseInnermost({"dt", "dd"}, {"dl", "table"});
        if (tag == "td" || tag == "th") CloseInnermost({"td", "th"}, {"tr", "table"});
        if (tag == "tr") CloseInnermost({"tr"}, {"table"});
    }

    // Closes the innermost open element named in `names`, unless an element
    // named in `boundaries` is open inside it.
    void CloseInnermost(std::initializer_list<const char*> names, std::initializer_list<const char*> boundaries) {
        // Most start tags find none of the names open; looking that up first
        // keeps a long run of them from scanning a deep stack each time.
        bool anyOpen = false;
        for (const char* name : names) {
            auto found = openCount_.find(name);
            anyOpen = anyOpen || (found != openCount_.end() && found->second > 0);
        }
        if (!anyOpen) return;
        for (size_t i = open_.size(); i-- > 0;) {
            for (const char* name : names) {
                if (open_[i] == name) {
                    CloseTo(i);
                    return;
                }
            }
            for (const char* boundary : boundaries) {
                if (open_[i] == boundary) return;
            }
        }
    }

    void CloseTo(size_t index) {
        while (open_.size() > index) {
            sink_.EndElement(open_.back());
            --openCount_[open_.back()];
            open_.pop_back();
        }
    }

    static void Push(std::vector<std::string>& stack, const std::string& tag) {
        if (stack.size() >= kMaxDocumentNesting) {
            ThrowDamaged("The HTML document nests elements deeper than " + std::to_string(kMaxDocumentNesting));
        }
        stack.push_back(tag);
    }

    std::string_view html_;
    HtmlSink& sink_;
    // The open elements inside a hidden element; empty when text shows.
    std::vector<std::string> hidden_;
    // The open elements that show, and how many of each name are open.
    std::vector<std::string> open_;
    std::map<std::string, size_t, std::less<>> openCount_;
};

}  // namespace

void WalkHtmlMarkup(std::string_view utf8, HtmlSink& sink) { Tokenizer(utf8, sink).Run(); }

}  // namespace setup::ui
