// Documents shown by the agreement and readme pages: a local file decoded by
// its content into something the viewer can lay out. Plain text (GBK, or
// UTF-8 / UTF-16 with a byte-order mark), RTF and HTML are understood. The
// viewer runs no script and fetches nothing from the network: an author's
// document can only be shown.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace setup::ui {

enum class DocumentKind { Text, Rtf, Html };

struct Document {
    DocumentKind Kind = DocumentKind::Text;
    // The document's source as UTF-8 (text and HTML converted from their
    // encoding; RTF as its bytes, which are 7-bit with escapes).
    std::string Source;
    // The text as the viewer lays it out, one paragraph or line an entry,
    // GBK, for transcripts and tests: headings, paragraphs, list items and
    // table rows each start a line; scripts and styles are not text.
    std::vector<std::string> Lines;
    // The folder of the file (GBK Windows path), for pictures beside it.
    std::string Folder;
};

// The kind of a document from its bytes: "{\rtf" starts RTF; markup that
// opens with "<!DOCTYPE html", "<html", or a file name ending in .htm/.html
// is HTML; anything else is text.
DocumentKind DocumentKindOf(const std::string& path, const std::string& bytes);

// Decodes the bytes. Raises a Damaged or Conversion error for text that is
// not valid in its encoding; never reads outside `bytes`.
Document DecodeDocument(const std::string& path, const std::string& bytes);

// Loads a document file of the machine (GBK Windows path) through the OS
// seam. An empty path, a missing file or one that cannot be decoded gives
// no document: the viewer then shows nothing, and nothing is reported.
std::shared_ptr<const Document> LoadDocument(const std::string& path);

}  // namespace setup::ui
