// This build has no HTML5 parser library: HTML goes through the bounded
// tokenizer of document_html_markup.cpp.
#include "ui/document_format.h"

namespace setup::ui {

void WalkHtml(std::string_view utf8, HtmlSink& sink) { WalkHtmlMarkup(utf8, sink); }

}  // namespace setup::ui
