// Reading INI ("profile") files with the semantics of Windows: sections and
// keys match without regard to ASCII letter case, blanks around keys and
// values are dropped, a value between matching quotes loses them, and the
// first matching section and key win. The files are GBK (or UTF-16 with a
// byte-order mark) and are read through the OS seam on every platform, so
// Chinese text reads the same on every Windows locale.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace setup {

struct IniEntry {
    std::string Section;
    std::string Key;
    std::string Value;
    bool HasEquals = false;  // false for a line that is only a key
    int Line = 0;            // 1-based
};

struct IniDocument {
    std::vector<IniEntry> Entries;
    std::vector<std::string> Sections;  // in order of first appearance
    // Lines that are neither blank, comments, sections nor keys (1-based).
    std::vector<int> JunkLines;
};

IniDocument ParseIni(std::string_view text);

// Value of key in section, or defaultValue when either is missing.
std::string IniValue(const IniDocument& doc, std::string_view section, std::string_view key,
                     const std::string& defaultValue = "");
// Keys of the section in file order (first occurrence of each).
std::vector<std::string> IniKeys(const IniDocument& doc, std::string_view section);
bool IniHasSection(const IniDocument& doc, std::string_view section);

// Reads a profile file through the active platform. A file that cannot be
// read yields the default (or no keys), as the system does.
std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& defaultValue = "");
std::vector<std::string> ReadProfileSectionKeys(const std::string& file, const std::string& section);

}  // namespace setup
