// HTML through the HTML5 parser library: the tree it builds is walked with an
// explicit stack, so the depth of a document costs no stack of our own.
#include <gumbo.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "ui/document_format.h"

namespace setup::ui {

void WalkHtmlWithParserLibrary(std::string_view utf8, HtmlSink& sink) {
    // The library frees its tree recursively, and looks through its open
    // elements for many tags: nesting and work are bounded before it builds
    // a tree.
    MarkupShape shape = ShapeOfMarkup(utf8);
    if (shape.Nesting > kMaxDocumentNesting) {
        ThrowDamaged("The HTML document nests elements deeper than " + std::to_string(kMaxDocumentNesting));
    }
    if (shape.Tags > 0 && shape.Nesting > kMaxMarkupWork / shape.Tags) {
        ThrowDamaged("The HTML document is too complex to show: " + std::to_string(shape.Tags) + " tags nested up to " +
                     std::to_string(shape.Nesting) + " deep");
    }
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // parse errors are of no interest to a viewer
    auto destroy = [&options](GumboOutput* output) { gumbo_destroy_output(&options, output); };
    std::unique_ptr<GumboOutput, decltype(destroy)> output(gumbo_parse_with_options(&options, utf8.data(), utf8.size()),
                                                           destroy);
    if (!output) ThrowDamaged("The HTML document cannot be parsed");

    // Each entry: a node and the index of its next child to visit.
    std::vector<std::pair<const GumboNode*, unsigned>> stack;
    stack.emplace_back(output->root, 0);
    sink.StartElement(gumbo_normalized_tagname(output->root->v.element.tag));
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        const GumboVector& children = node->v.element.children;
        if (next >= children.length) {
            sink.EndElement(gumbo_normalized_tagname(node->v.element.tag));
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(children.data[next++]);
        switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_CDATA:
            case GUMBO_NODE_WHITESPACE:
                sink.Text(child->v.text.text);
                break;
            case GUMBO_NODE_ELEMENT: {
                if (child->v.element.tag == GUMBO_TAG_IMG) {
                    const GumboAttribute* source = gumbo_get_attribute(&child->v.element.attributes, "src");
                    if (source) sink.Image(source->value);
                    break;
                }
                std::string_view tag = gumbo_normalized_tagname(child->v.element.tag);
                if (IsHiddenElement(tag)) break;
                sink.StartElement(tag);
                stack.emplace_back(child, 0);
                break;
            }
            default:
                break;  // comments, and template contents, which are never shown
        }
    }
}

}  // namespace setup::ui
