// The HTML5 parser library's limits: markup whose tree building would take
// the library many seconds is refused before it starts, while the bounded
// tokenizer, whose work does not grow with nesting, still lays it out.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "ui/document_format.h"

namespace setup::ui {
namespace {

TEST(HtmlParserLibrary, RefusesDeepTimesManyTags) {
    std::string html;
    for (int i = 0; i < 1000; ++i) html += "<b>";
    std::string body;
    while (html.size() + body.size() < 3u * 1024 * 1024) body += "<div>x</div></x>";
    html += body;
    ASSERT_GT(ShapeOfMarkup(html).Nesting * ShapeOfMarkup(html).Tags, kMaxMarkupWork);
    try {
        LayoutHtml(html, WalkHtmlWithParserLibrary);
        FAIL() << "laid out";
    } catch (const Error& error) {
        EXPECT_EQ(error.Kind(), ErrorKind::Damaged);
    }
    EXPECT_EQ(LayoutHtml(html, WalkHtmlMarkup).Blocks.size(), body.size() / 16);
}

// Shapes: void elements and elements a sibling closes do not nest; every
// "<" before a letter or "/" is a tag.
TEST(HtmlParserLibrary, ShapeOfMarkup) {
    MarkupShape shape = ShapeOfMarkup("<div><p>a<p>b<br><img src=x><span>c</span></div> 1 < 2");
    EXPECT_EQ(shape.Nesting, 2u);
    EXPECT_EQ(shape.Tags, 8u);
}

}  // namespace
}  // namespace setup::ui
