// Documents loaded from the simulated machine: a missing or undecodable file
// gives no document, and an HTML file with a script and a remote picture
// shows without the machine running or fetching anything.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"
#include "ui/document.h"

namespace setup::ui {
namespace {

using testing_sandbox::SandboxTest;

class DocumentLoadTest : public SandboxTest {};

TEST_F(DocumentLoadTest, NoDocumentWithoutAReadableFile) {
    EXPECT_EQ(LoadDocument(""), nullptr);
    EXPECT_EQ(LoadDocument("C:\\missing\\agreement.html"), nullptr);
    WriteHostFile("C/bad.txt", "\xFF\xFE\x41");  // UTF-16 with an odd byte count
    EXPECT_EQ(LoadDocument("C:\\bad.txt"), nullptr);
    WriteHostFile("C/deep.rtf", "{\\rtf1 " + std::string(5000, '{'));
    EXPECT_EQ(LoadDocument("C:\\deep.rtf"), nullptr);
}

TEST_F(DocumentLoadTest, HtmlShowsWithoutRunningOrFetching) {
    std::ifstream file(std::string(SETUP_DOCUMENTS_DIR) + "/agreement.html", std::ios::binary);
    std::string html((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    WriteHostFile(GbkToUtf8("C/安装/agreement.html"), html);
    std::shared_ptr<const Document> document = LoadDocument("C:\\安装\\agreement.html");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->Kind, DocumentKind::Html);
    EXPECT_EQ(document->Folder, "C:\\安装");
    ASSERT_FALSE(document->Lines.empty());
    EXPECT_EQ(document->Lines.front(), "软件许可协议");
    EXPECT_TRUE(EffectLines().empty());
}

}  // namespace
}  // namespace setup::ui
