#include "platform/profile.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

IniDocument ParseIni(std::string_view text) {
    IniDocument doc;
    std::string section;
    bool sectionSeen = false;
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = TrimBlanks(text.substr(start, end - start));
        ++lineNumber;
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            if (end == text.size()) break;
            continue;
        }
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string_view::npos) {
                doc.JunkLines.push_back(lineNumber);
            } else {
                section = std::string(TrimBlanks(line.substr(1, close - 1)));
                sectionSeen = true;
                bool known = false;
                for (const std::string& s : doc.Sections) known = known || EqualsNoCase(s, section);
                if (!known) doc.Sections.push_back(section);
            }
        } else {
            IniEntry entry;
            entry.Section = sectionSeen ? section : "";
            entry.Line = lineNumber;
            size_t eq = line.find('=');
            if (eq == std::string_view::npos) {
                entry.Key = std::string(line);
            } else {
                entry.HasEquals = true;
                entry.Key = std::string(TrimBlanks(line.substr(0, eq)));
                std::string_view value = TrimBlanks(line.substr(eq + 1));
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                entry.Value = std::string(value);
            }
            if (!sectionSeen) doc.JunkLines.push_back(lineNumber);
            doc.Entries.push_back(std::move(entry));
        }
        if (end == text.size()) break;
    }
    return doc;
}

static const std::string* FindSectionName(const IniDocument& doc, std::string_view section) {
    for (const std::string& s : doc.Sections) {
        if (EqualsNoCase(s, section)) return &s;
    }
    return nullptr;
}

bool IniHasSection(const IniDocument& doc, std::string_view section) { return FindSectionName(doc, section); }

std::string IniValue(const IniDocument& doc, std::string_view section, std::string_view key,
                     const std::string& defaultValue) {
    for (const IniEntry& e : doc.Entries) {
        if (EqualsNoCase(e.Section, section) && EqualsNoCase(e.Key, key)) return e.Value;
    }
    return defaultValue;
}

std::vector<std::string> IniKeys(const IniDocument& doc, std::string_view section) {
    std::vector<std::string> keys;
    for (const IniEntry& e : doc.Entries) {
        if (!EqualsNoCase(e.Section, section)) continue;
        bool seen = false;
        for (const std::string& k : keys) seen = seen || EqualsNoCase(k, e.Key);
        if (!seen) keys.push_back(e.Key);
    }
    return keys;
}

// The file's text as GBK: UTF-16 files (with a byte-order mark) are converted;
// anything unreadable reads as an empty file.
static std::string ReadProfileText(const std::string& file) {
    std::string bytes;
    try {
        std::unique_ptr<Stream> stream = OpenFile(file, OpenMode::Read);
        bytes = stream->ReadBytes(static_cast<size_t>(stream->Size()), msg::kWhatProfileFile);
    } catch (const Error& e) {
        if (e.Kind() != ErrorKind::Os) throw;
        return {};
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::string body = bytes.substr(2);
        if (body.size() % 2) body.pop_back();
        return Utf16ToGbk(LeBytesToUtf16(body));
    }
    return bytes;
}

std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& defaultValue) {
    return IniValue(ParseIni(ReadProfileText(file)), section, key, defaultValue);
}

std::vector<std::string> ReadProfileSectionKeys(const std::string& file, const std::string& section) {
    return IniKeys(ParseIni(ReadProfileText(file)), section);
}

}  // namespace setup
