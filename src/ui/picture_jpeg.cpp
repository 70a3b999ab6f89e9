// JPEG through libjpeg (libjpeg-turbo). libjpeg reports a fatal error by
// calling error_exit, which must not return; ours stores the message and
// longjmps back to the setjmp of the C-style step that called into libjpeg.
// Those steps hold no C++ object with a destructor, and every C++ object of
// the decoding (the pixel buffer, the libjpeg state's owner) lives in
// DecodeJpeg, which looks at the steps' results and raises Damaged itself; no
// jump crosses a C++ frame and no exception crosses a libjpeg frame.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "platform/errors.h"
#include "ui/picture_decoders.h"

namespace setup::ui {

namespace {

// A progressive file can hold any number of scans, each a pass over the whole
// picture; a few hundred is far more than any encoder writes.
constexpr int kMaxJpegScans = 500;

struct JpegDecoder {
    jpeg_decompress_struct Info;
    jpeg_error_mgr Error;
    jpeg_progress_mgr Progress;
    jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    bool Created;
    const unsigned char* Data;
    size_t Size;
    // Filled by DecodeJpeg between the two steps.
    unsigned char* Row;
    uint32_t* Pixels;
};

JpegDecoder* DecoderOf(j_common_ptr info) {
    // The error manager is the first thing libjpeg is given, and it belongs
    // to the decoder; the decoder is found from the decompression state.
    return reinterpret_cast<JpegDecoder*>(reinterpret_cast<char*>(info) - offsetof(JpegDecoder, Info));
}

void OnJpegError(j_common_ptr info) {
    JpegDecoder* decoder = DecoderOf(info);
    (*info->err->format_message)(info, decoder->Message);
    longjmp(decoder->Jump, 1);
}

// Warnings are not shown; running out of data is fatal here, where libjpeg
// would invent an end of file and show a half-grey picture.
void OnJpegMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) OnJpegError(info);
}

void OnJpegProgress(j_common_ptr info) {
    JpegDecoder* decoder = DecoderOf(info);
    if (decoder->Info.input_scan_number > kMaxJpegScans) {
        std::string text = "more than " + std::to_string(kMaxJpegScans) + " scans";
        text.copy(decoder->Message, sizeof(decoder->Message) - 1);
        decoder->Message[std::min(text.size(), sizeof(decoder->Message) - 1)] = '\0';
        longjmp(decoder->Jump, 1);
    }
}

// Step one: the headers. Sets the output colour space; allocates nothing the
// size of the picture. Returns false after a libjpeg error.
bool ReadJpegHeader(JpegDecoder* decoder) {
    decoder->Info.err = jpeg_std_error(&decoder->Error);
    decoder->Error.error_exit = OnJpegError;
    decoder->Error.emit_message = OnJpegMessage;
    if (setjmp(decoder->Jump)) return false;
    jpeg_create_decompress(&decoder->Info);
    decoder->Created = true;
    // Working memory beyond this (huge progressive pictures) is an error:
    // this build of libjpeg has no backing store to spill to.
    decoder->Info.mem->max_memory_to_use = static_cast<long>(2 * kMaxPictureBytes);
    decoder->Progress.progress_monitor = OnJpegProgress;
    decoder->Info.progress = &decoder->Progress;
    jpeg_mem_src(&decoder->Info, decoder->Data, static_cast<unsigned long>(decoder->Size));
    jpeg_read_header(&decoder->Info, TRUE);
    J_COLOR_SPACE space = decoder->Info.jpeg_color_space;
    decoder->Info.out_color_space = space == JCS_CMYK || space == JCS_YCCK ? JCS_CMYK : JCS_RGB;
    jpeg_calc_output_dimensions(&decoder->Info);
    return true;
}

uint32_t CmykToArgb(const unsigned char* cmyk, bool inverted) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    // Adobe writes the ink values inverted (255 = no ink).
    if (!inverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    return 0xFF000000u | ((c * k / 255) << 16) | ((m * k / 255) << 8) | (y * k / 255);
}

void ReadJpegRows(JpegDecoder* decoder) {
    jpeg_decompress_struct& info = decoder->Info;
    const unsigned width = info.output_width;
    const bool cmyk = info.out_color_space == JCS_CMYK;
    while (info.output_scanline < info.output_height) {
        uint32_t* out = decoder->Pixels + static_cast<size_t>(info.output_scanline) * width;
        JSAMPROW row = decoder->Row;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) ERREXIT(&info, JERR_BAD_STATE);
        for (size_t x = 0; x < width; ++x) {
            if (cmyk) {
                out[x] = CmykToArgb(decoder->Row + x * 4, info.saw_Adobe_marker);
            } else {
                const unsigned char* p = decoder->Row + x * 3;
                out[x] = 0xFF000000u | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
            }
        }
    }
}

// Step two: decompression into the buffers DecodeJpeg sized from step one.
bool ReadJpegPixels(JpegDecoder* decoder) {
    if (setjmp(decoder->Jump)) return false;
    jpeg_start_decompress(&decoder->Info);
    ReadJpegRows(decoder);
    // The rest of the file (up to the end marker) is not needed.
    return true;
}

// Owns the decoder so that libjpeg's state is released however decoding ends.
class JpegState {
public:
    explicit JpegState(const std::string& bytes) {
        std::memset(&decoder_, 0, sizeof(decoder_));
        decoder_.Data = reinterpret_cast<const unsigned char*>(bytes.data());
        decoder_.Size = bytes.size();
    }
    ~JpegState() {
        if (decoder_.Created) jpeg_destroy_decompress(&decoder_.Info);
    }
    JpegState(const JpegState&) = delete;
    JpegState& operator=(const JpegState&) = delete;

    JpegDecoder* Get() { return &decoder_; }
    [[noreturn]] void Fail() { ThrowDamaged(std::string("The JPEG picture is damaged: ") + decoder_.Message); }

private:
    JpegDecoder decoder_;
};

}  // namespace

void DecodeJpeg(const std::string& bytes, Picture& picture) {
    // Start of image, then the first marker's own 0xFF.
    if (bytes.size() < 3 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xD8 || static_cast<unsigned char>(bytes[2]) != 0xFF) {
        ThrowDamaged("The file is not a JPEG picture");
    }
    JpegState state(bytes);
    JpegDecoder* decoder = state.Get();
    if (!ReadJpegHeader(decoder)) state.Fail();
    CheckPictureBounds(decoder->Info.output_width, decoder->Info.output_height, "JPEG");

    if (decoder->Info.output_components != (decoder->Info.out_color_space == JCS_CMYK ? 4 : 3)) {
        ThrowDamaged("The JPEG picture has an unexpected number of colour components");
    }
    const size_t width = decoder->Info.output_width;
    std::vector<uint32_t> pixels(width * decoder->Info.output_height);
    std::vector<unsigned char> row(width * static_cast<size_t>(decoder->Info.output_components));
    decoder->Pixels = pixels.data();
    decoder->Row = row.data();
    if (!ReadJpegPixels(decoder)) state.Fail();

    picture.Width = static_cast<int>(decoder->Info.output_width);
    picture.Height = static_cast<int>(decoder->Info.output_height);
    picture.Pixels = std::move(pixels);
}

}  // namespace setup::ui
