// Text as the program keeps it: std::string of code page 936 (GBK) bytes.
// Lengths are byte counts. Every helper here steps through the text character
// by character: a lead byte 0x81-0xFE followed by a trail byte 0x40-0xFE is one
// character, so a trail byte that happens to be "\", "|" or a letter is never
// taken for one. Case-insensitive comparison folds single-byte ASCII letters
// only. Conversions to and from UTF-16 and UTF-8 are for the OS seam and for
// the sandbox's own files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// The byte length (1 or 2) of the character that starts at byte `at`; a lead
// byte without a valid trail byte after it counts as one character.
size_t CharLengthAt(std::string_view text, size_t at);
// True when byte `at` starts a character (or is the end of the text).
bool IsCharBoundary(std::string_view text, size_t at);

// Byte position of the first / last character equal to the ASCII character c
// (or npos). Only single-byte characters match. `from` must be a character
// boundary (0, or a position these helpers returned, plus that character).
size_t FindChar(std::string_view text, char c, size_t from = 0);
size_t FindLastChar(std::string_view text, char c);
// The last character that is one of the ASCII characters in set, or npos.
size_t FindLastCharOf(std::string_view text, std::string_view set);
// Byte position of the first occurrence of fragment that starts on a character
// boundary, compared exactly, or npos.
size_t FindText(std::string_view text, std::string_view fragment, size_t from = 0);

// A path's folder part (up to, not including, the last "\"; empty when there
// is none) and its name part (after the last "\"; the whole text when there
// is none).
std::string FolderPart(std::string_view path);
std::string FileNamePart(std::string_view path);
// True when the last character of text is the ASCII character c.
bool EndsWithChar(std::string_view text, char c);

// Single-byte ASCII letters folded to lower / upper case; every other
// character unchanged. AsciiLower folds one byte and is only for single-byte
// characters.
char AsciiLower(char c);
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);

// Comparisons that ignore the case of ASCII letters only.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
bool ContainsNoCase(std::string_view text, std::string_view fragment);
// Byte position of the first match starting on a character boundary, or
// std::string_view::npos.
size_t FindNoCase(std::string_view text, std::string_view fragment);
// Three-way comparison with ASCII letters folded; bytes compare unsigned.
int CompareNoCase(std::string_view a, std::string_view b);

// Splits at every occurrence of the single-byte character; n separators give
// n + 1 parts.
std::vector<std::string> SplitOn(std::string_view text, char separator);

// Leading and trailing blanks, tabs, carriage returns and line feeds removed.
std::string_view TrimBlanks(std::string_view text);

// The eight lowercase hexadecimal digits of value, leading zeros included
// (what printf's %08x makes, without the C99 formatter in the programs).
std::string HexDigits8(uint32_t value);

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
