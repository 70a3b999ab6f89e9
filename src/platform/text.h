// Text as the program keeps it: std::string of code page 936 (GBK) bytes.
// Lengths are byte counts, case-insensitive comparison folds the ASCII letters
// only, and splitting on a separator is a plain byte search. Conversions to and
// from UTF-16 and UTF-8 are for the OS seam and for the sandbox's own files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace setup {

// ASCII letters folded to lower / upper case; every other byte unchanged.
char AsciiLower(char c);
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);

// Comparisons that ignore the case of ASCII letters only.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
bool ContainsNoCase(std::string_view text, std::string_view fragment);
// Byte position of the first match, or std::string_view::npos.
size_t FindNoCase(std::string_view text, std::string_view fragment);
// Three-way comparison with ASCII letters folded; bytes compare unsigned.
int CompareNoCase(std::string_view a, std::string_view b);

// Splits at every occurrence of the byte; n separators give n + 1 parts.
std::vector<std::string> SplitOn(std::string_view text, char separator);

// Leading and trailing blanks, tabs, carriage returns and line feeds removed.
std::string_view TrimBlanks(std::string_view text);

// Conversions. Invalid input raises a ConversionError naming the encoding;
// none of them ever substitutes characters silently.
std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view utf16);
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// UTF-8 <-> UTF-16, done without the OS (pure code).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Writes a UTF-16 string as little-endian bytes and back (odd byte counts
// raise a ConversionError).
std::string Utf16ToLeBytes(std::u16string_view utf16);
std::u16string LeBytesToUtf16(std::string_view bytes);

}  // namespace setup
