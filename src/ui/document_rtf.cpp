// The text of an RTF document: a single pass over the bytes with an explicit
// stack of group states (never recursion), so any input is read in bounded
// stack space and never past its end.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
#include "ui/document_format.h"

namespace setup::ui {

namespace {

struct GroupState {
    bool Skip = false;  // a destination whose text is not document text
    int UnicodeSkip = 1;
};

// Windows-1252's characters 0x80-0x9F; the rest of the code page is Latin-1.
const char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

bool IsSkippedDestination(const std::string& word) {
    static const char* const names[] = {
        "fonttbl",
        "colortbl",
        "stylesheet",
        "info",
        "pict",
        "object",
        "fldinst",
        "header",
        "headerl",
        "headerr",
        "headerf",
        "footer",
        "footerl",
        "footerr",
        "footerf",
        "footnote",
        "listtable",
        "listoverridetable",
        "rsidtbl",
        "generator",
        "xmlnstbl",
        "themedata",
        "colorschememapping",
        "datastore",
        "latentstyles",
        "filetbl",
        "revtbl",
        "pgdsctbl",
        "bkmkstart",
        "bkmkend",
        "shppict",
        "nonshppict",
        "shp",
        "template",
        "userprops",
        "mmathPr",
        "xe",
        "tc",
        "background",
        "blipuid",
    };
    for (const char* name : names) {
        if (word == name) return true;
    }
    return false;
}

class RtfReader {
public:
    explicit RtfReader(std::string_view rtf) : rtf_(rtf) {}

    std::vector<std::string> Read() {
        size_t at = 0;
        while (at < rtf_.size()) {
            char c = rtf_[at];
            if (c == '{') {
                FlushBytes();
                if (groups_.size() >= kMaxDocumentNesting) {
                    ThrowDamaged("The RTF document nests groups deeper than " + std::to_string(kMaxDocumentNesting));
                }
                groups_.push_back(groups_.empty() ? GroupState{} : groups_.back());
                pendingSkip_ = 0;
                ++at;
                // "{\*" marks a destination a reader that does not know it skips.
                if (rtf_.compare(at, 2, "\\*") == 0) {
                    groups_.back().Skip = true;
                    at += 2;
                }
            } else if (c == '}') {
                FlushBytes();
                pendingSkip_ = 0;
                ++at;
                if (!groups_.empty()) groups_.pop_back();
                if (groups_.empty()) break;  // the end of the document
            } else if (c == '\\') {
                at = ControlAt(at);
            } else if (c == '\r' || c == '\n') {
                ++at;  // line breaks in the file are not text
            } else {
                ++at;
                if (pendingSkip_ > 0) {
                    --pendingSkip_;
                    continue;
                }
                FlushBytes();
                if (!Skipping()) AddChar(static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'?');
            }
        }
        FlushBytes();
        EndLine();
        return lines_;
    }

private:
    bool Skipping() const { return groups_.empty() || groups_.back().Skip; }

    void AddChar(char16_t c) { line_.push_back(c); }

    void EndLine() {
        if (Skipping() && !groups_.empty()) return;
        lines_.push_back(converter_.Convert(line_));
        line_.clear();
    }

    // Bytes of \'hh escapes are gathered and decoded together, since a GBK
    // character is two of them.
    void FlushBytes() {
        if (bytes_.empty()) return;
        if (codePage_ == 936) {
            try {
                line_ += GbkToUtf16(bytes_);
                bytes_.clear();
                return;
            } catch (const Error&) {
            }
            // Not valid GBK as a whole: character by character, a byte that
            // does not decode showing as '?'. Each character is converted
            // once per document.
            for (size_t i = 0; i < bytes_.size();) {
                size_t length = CharLengthAt(bytes_, i);
                std::string character = bytes_.substr(i, length);
                auto cached = characters_.find(character);
                if (cached == characters_.end()) {
                    std::u16string unit;
                    try {
                        unit = GbkToUtf16(character);
                    } catch (const Error&) {
                        unit = u"?";
                    }
                    cached = characters_.emplace(character, unit).first;
                }
                line_ += cached->second;
                i += length;
            }
        } else {
            for (unsigned char b : bytes_) {
                line_.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
            }
        }
        bytes_.clear();
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static int HexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // Reads the control word or symbol at `at` (a backslash) and returns the
    // position after it.
    size_t ControlAt(size_t at) {
        ++at;
        if (at >= rtf_.size()) return at;
        char c = rtf_[at];
        if (!IsLetter(c)) return ControlSymbolAt(at);
        size_t start = at;
        while (at < rtf_.size() && IsLetter(rtf_[at])) ++at;
        // Words are at most 32 letters; a longer one is unknown whatever it
        // says, and its first letters are enough to tell that.
        std::string word(rtf_.substr(start, std::min<size_t>(at - start, 33)));
        bool hasParameter = false;
        bool negative = false;
        int64_t parameter = 0;
        if (at < rtf_.size() && rtf_[at] == '-') {
            negative = true;
            ++at;
        }
        size_t digits = 0;
        while (at < rtf_.size() && rtf_[at] >= '0' && rtf_[at] <= '9') {
            if (digits < 10) parameter = parameter * 10 + (rtf_[at] - '0');
            ++digits;
            ++at;
        }
        hasParameter = digits > 0;
        if (negative) parameter = -parameter;
        if (at < rtf_.size() && rtf_[at] == ' ') ++at;  // the delimiter belongs to the word
        return ControlWord(word, hasParameter, parameter, at);
    }

    size_t ControlSymbolAt(size_t at) {
        char c = rtf_[at];
        ++at;
        if (c == '\'') {
            if (at + 2 > rtf_.size()) return rtf_.size();
            int high = HexValue(rtf_[at]);
            int low = HexValue(rtf_[at + 1]);
            if (high < 0 || low < 0) return at;  // not an escape: dropped
            at += 2;
            if (pendingSkip_ > 0) {
                --pendingSkip_;
                return at;
            }
            if (!Skipping()) bytes_.push_back(static_cast<char>(high * 16 + low));
            return at;
        }
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return at;
        }
        FlushBytes();
        if (Skipping()) return at;
        switch (c) {
            case '\\':
            case '{':
            case '}':
                AddChar(static_cast<char16_t>(c));
                break;
            case '~':
                AddChar(u' ');
                break;
            case '_':
                AddChar(u'-');
                break;
            case '\n':
            case '\r':
                EndLine();  // a backslash before a line break is \par
                break;
            default:
                break;  // \- optional hyphen, \| \: and unknown symbols show nothing
        }
        return at;
    }

    size_t ControlWord(const std::string& word, bool hasParameter, int64_t parameter, size_t at) {
        if (word == "bin") {
            // Binary data of the given length follows; it is never text.
            FlushBytes();
            uint64_t length = hasParameter && parameter > 0 ? static_cast<uint64_t>(parameter) : 0;
            return length >= rtf_.size() - at ? rtf_.size() : at + static_cast<size_t>(length);
        }
        if (word == "u") {
            FlushBytes();
            if (pendingSkip_ > 0) pendingSkip_ = 0;
            if (!Skipping() && hasParameter) {
                int64_t unit = parameter < 0 ? parameter + 65536 : parameter;
                if (unit >= 0 && unit <= 0xFFFF) AddChar(static_cast<char16_t>(unit));
            }
            pendingSkip_ = groups_.empty() ? 1 : groups_.back().UnicodeSkip;
            return at;
        }
        pendingSkip_ = 0;
        if (word == "uc") {
            if (!groups_.empty() && hasParameter && parameter >= 0 && parameter <= 16) {
                groups_.back().UnicodeSkip = static_cast<int>(parameter);
            }
            return at;
        }
        if (word == "ansicpg") {
            if (hasParameter) codePage_ = static_cast<int>(parameter);
            return at;
        }
        FlushBytes();
        if (IsSkippedDestination(word)) {
            if (!groups_.empty()) groups_.back().Skip = true;
            return at;
        }
        if (Skipping()) return at;
        if (word == "par" || word == "line" || word == "row" || word == "page" || word == "sect") {
            EndLine();
        } else if (word == "tab" || word == "cell") {
            AddChar(u'\t');
        } else if (word == "emdash") {
            AddChar(u'\x2014');
        } else if (word == "endash") {
            AddChar(u'\x2013');
        } else if (word == "bullet") {
            AddChar(u'\x2022');
        } else if (word == "lquote") {
            AddChar(u'\x2018');
        } else if (word == "rquote") {
            AddChar(u'\x2019');
        } else if (word == "ldblquote") {
            AddChar(u'\x201C');
        } else if (word == "rdblquote") {
            AddChar(u'\x201D');
        } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
            AddChar(u' ');
        }
        return at;
    }

    std::string_view rtf_;
    std::vector<GroupState> groups_;
    std::u16string line_;
    std::string bytes_;
    std::vector<std::string> lines_;
    GbkDisplayConverter converter_;
    std::unordered_map<std::string, std::u16string> characters_;
    int codePage_ = 936;
    int pendingSkip_ = 0;
};

}  // namespace

namespace {

bool IsRtfLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The position after the control word or symbol at `at` (a backslash); the
// binary data of \binN is part of it.
size_t SkipControl(std::string_view rtf, size_t at) {
    ++at;
    if (at >= rtf.size()) return at;
    if (!IsRtfLetter(rtf[at])) return at + 1;
    size_t start = at;
    while (at < rtf.size() && IsRtfLetter(rtf[at])) ++at;
    bool binary = rtf.substr(start, at - start) == "bin";
    uint64_t length = 0;
    if (at < rtf.size() && rtf[at] == '-') ++at;
    while (at < rtf.size() && rtf[at] >= '0' && rtf[at] <= '9') {
        if (length < rtf.size()) length = length * 10 + static_cast<uint64_t>(rtf[at] - '0');
        ++at;
    }
    if (at < rtf.size() && rtf[at] == ' ') ++at;
    if (binary) at = length >= rtf.size() - at ? rtf.size() : at + static_cast<size_t>(length);
    return at;
}

// The position of the "}" that closes the group opened at `open`, or the end.
size_t GroupEnd(std::string_view rtf, size_t open) {
    size_t depth = 0;
    for (size_t at = open; at < rtf.size();) {
        if (rtf[at] == '\\') {
            at = SkipControl(rtf, at);
            continue;
        }
        if (rtf[at] == '{') ++depth;
        if (rtf[at] == '}' && --depth == 0) return at;
        ++at;
    }
    return rtf.size();
}

// True when the group opened at `open` starts with the control word (after
// an optional "\*").
bool GroupStartsWith(std::string_view rtf, size_t open, std::string_view word) {
    size_t at = open + 1;
    while (at < rtf.size() && (rtf[at] == '\r' || rtf[at] == '\n' || rtf[at] == ' ')) ++at;
    if (rtf.compare(at, 2, "\\*") == 0) at += 2;
    while (at < rtf.size() && (rtf[at] == '\r' || rtf[at] == '\n' || rtf[at] == ' ')) ++at;
    if (at >= rtf.size() || rtf[at] != '\\' || rtf.compare(at + 1, word.size(), word) != 0) return false;
    size_t after = at + 1 + word.size();
    return after >= rtf.size() || !IsRtfLetter(rtf[after]);
}

std::string WithoutObjects(std::string_view rtf, int depth) {
    std::string out;
    out.reserve(rtf.size());
    for (size_t at = 0; at < rtf.size();) {
        if (rtf[at] == '\\') {
            size_t next = SkipControl(rtf, at);
            out.append(rtf.substr(at, next - at));
            at = next;
            continue;
        }
        if (rtf[at] == '{' && GroupStartsWith(rtf, at, "object")) {
            size_t end = GroupEnd(rtf, at);
            // The object's result, if it has one, stays; objects inside it
            // are dropped in turn (up to a small depth, then wholly).
            for (size_t inner = at + 1; inner < end && depth < 8;) {
                if (rtf[inner] == '\\') {
                    inner = SkipControl(rtf, inner);
                } else if (rtf[inner] == '{') {
                    size_t innerEnd = GroupEnd(rtf, inner);
                    if (GroupStartsWith(rtf, inner, "result")) {
                        out += WithoutObjects(rtf.substr(inner, std::min(innerEnd + 1, end) - inner), depth + 1);
                        break;
                    }
                    inner = innerEnd + 1;
                } else {
                    ++inner;
                }
            }
            at = end + 1;
            continue;
        }
        out.push_back(rtf[at]);
        ++at;
    }
    return out;
}

}  // namespace

std::string WithoutRtfObjects(std::string_view rtf) { return WithoutObjects(rtf, 0); }

std::vector<std::string> RtfTextLines(std::string_view rtf) {
    if (rtf.size() > kMaxDocumentBytes) ThrowDamaged("The RTF document is too large");
    return RtfReader(rtf).Read();
}

}  // namespace setup::ui
