// Any bytes as an HTML document, through both parsers, and the RTF made from
// its layout read back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "ui/document.h"
#include "ui/document_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        (void)setup::ui::DecodeDocument("a.html", bytes);
    } catch (const setup::Error&) {
    }
    for (setup::ui::HtmlWalker walk : {setup::ui::WalkHtml, setup::ui::WalkHtmlMarkup}) {
        try {
            setup::ui::FormattedText text = setup::ui::LayoutHtml(bytes, walk);
            (void)setup::ui::FormattedTextLines(text);
            (void)setup::ui::RtfTextLines(setup::ui::FormattedTextToRtf(text));
        } catch (const setup::Error&) {
        }
    }
    return 0;
}
