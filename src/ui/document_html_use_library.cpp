// This build parses HTML with the HTML5 parser library.
#include "ui/document_format.h"

namespace setup::ui {

void WalkHtml(std::string_view utf8, HtmlSink& sink) { WalkHtmlWithParserLibrary(utf8, sink); }

}  // namespace setup::ui
