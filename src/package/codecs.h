// The block and chunked-stream codecs: one buffer to one zlib stream (RFC 1950)
// and back, and a stream cut into chunks of at most 3 MiB of input, each a
// 32-bit length followed by one zlib stream. The setup package and the
// uninstall record are both written in this chunk framing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/stream.h"

namespace setup {

enum TCompressLevelEnum : int { cplNone = 0, cplSpeed = 1, cplPress = 2, cplDefault = 3 };

// Uncompressed bytes per chunk of a chunked stream.
inline constexpr size_t kChunkBlockSize = 3145728;

// The deflater's level (0 to 12) of a compression level; any unknown value is
// the default, 6. The zlib header of a stream names the class of its level.
int ZlibLevel(TCompressLevelEnum level);

// One complete zlib stream of the input. Raises a Compression error ("error").
std::string CompressBlock(std::string_view input, TCompressLevelEnum level);
// The inflated content of one complete zlib stream; input that is not exactly
// one complete stream (an empty input included) raises a Decompression error
// ("error"). A stream that inflates to more than maxOutput bytes is damage:
// inflation stops there, so a small block cannot claim unbounded memory.
std::string DecompressBlock(std::string_view input, size_t maxOutput = SIZE_MAX);

// Writes the whole source (from position 0) as a chunked stream at cplPress,
// zlib's own smallest level (9; header 78 DA), to the target's current
// position. An empty source writes nothing.
void CompressStream(Stream& source, Stream& target);
// Decodes the whole source (from position 0) as a chunked stream, appends the
// content to the target and rewinds the target. A chunk length running past
// the end of the source is damage; a chunk that does not inflate raises
// "error". Either way the content of earlier chunks has been appended.
void DecompressStream(Stream& source, Stream& target);

// The most a chunk's content may be to be inflated in one piece: the content
// of a chunk as the package maker writes them. A larger chunk (a package made
// with bigger chunks) is inflated as a stream and handed out in pieces of
// kInflatePieceSize, its compressed bytes read in pieces too. Either way the
// memory one chunk takes is bounded.
inline constexpr size_t kWholeChunkSize = kChunkBlockSize;
inline constexpr size_t kInflatePieceSize = 1u << 20;

// Receives the inflated content of chunks, piece by piece, in order. The sink
// may take the piece and leave any other string in its place (a spare buffer
// for the next piece).
using ContentSink = std::function<void(std::string& piece)>;

// Buffers that ReadChunks keeps from chunk to chunk, and from item to item when
// the caller passes the same ones again: large blocks that some systems map
// afresh (and fault in page by page) on every allocation are allocated once.
struct ChunkBuffers {
    std::string Input;
    std::string Content;
    // When not 0, content is handed on in its buffer, to wait in a queue and
    // come back (into Large) for a later chunk. A chunk whose content may
    // reach LargeContent bytes then gets a buffer for a whole chunk, so that
    // any buffer that comes back fits any large chunk; a smaller chunk never
    // gets a large buffer. When 0, Content is kept and grows as needed.
    size_t LargeContent = 0;
    std::string Large;
    // When set, called with Large empty before a buffer for a whole chunk is
    // allocated: it may wait for a buffer to come back and put it into Large.
    std::function<void(std::string& large)> AwaitLarge;
};

// Reads chunks from the source's position while it is below limit, handing
// each chunk's content to the sink. Every length is checked against the limit
// before anything is read, so a damaged length can neither make the reader
// run past the limit nor make it read a chunk larger than what remains. What
// the chunks inflate to is bounded by maxOutput alone: when it is not
// negative, content beyond maxOutput bytes in all is damage and inflation
// stops there; when it is negative, a small chunk may inflate to any size
// (handed out in pieces, so memory stays bounded either way). A chunk
// that does not inflate raises "error" after the content of the chunks before
// it was handed out (and, for a chunk inflated as a stream, its own content
// before the damage).
void ReadChunks(Stream& source, const ContentSink& sink, int64_t limit, const char* what, int64_t maxOutput = -1,
                ChunkBuffers* buffers = nullptr);
// The same, appending the content to the target.
void ReadChunks(Stream& source, Stream& target, int64_t limit, const char* what, int64_t maxOutput = -1);

}  // namespace setup
