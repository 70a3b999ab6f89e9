// The stored form of a project: the string primitive of TElement, the
// comma-text form of text lists, the boolean text of "Patch", and the parser
// that fills a TCompile from an inflated project stream. A stream that ends
// early, or a length larger than what remains, is reported as damaged; the
// parser never reads past the end.
#pragma once

#include <string>
#include <vector>

#include "platform/stream.h"

namespace setup {

class TCompile;

// Root of the model classes: the string primitive shared by the project
// stream and the uninstall record (a 32-bit length, then that many bytes).
class TElement {
public:
    virtual ~TElement() = default;
    // A length of 0 or below is the empty string and consumes no text bytes.
    static std::string ReadString(Stream& stream);
    static void WriteString(Stream& stream, const std::string& text);
};

// Comma text: items joined with ",", quoted when they hold a character of code
// 1-32, a double quote or a comma.
std::vector<std::string> ReadCommaText(const std::string& text);
std::string WriteCommaText(const std::vector<std::string>& items);

// "1", "-2", "0.5" and "True"/"False" in any letter case; anything else raises a
// Conversion error "'%s' is not a valid boolean value".
bool StrToBool(const std::string& text);

// Fills the model from a project stream (rewound to 0 first). Raises Damaged
// for a stream that ends early; items read before stay in the model.
void ParseProjectStream(Stream& stream, TCompile& model);

}  // namespace setup
