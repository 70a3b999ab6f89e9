// The picture decoders and header readers on real small files of every
// format, and on damaged, truncated, mismatched and oversized ones.
#include "ui/picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "ui/picture_decoders.h"

namespace setup::ui {
namespace {

std::string ReadPictureFile(const std::string& name) {
    std::ifstream in(std::string(PICTURE_DATA_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Runs the decoder and returns the Damaged error's message ("" when it
// succeeds); any other failure fails the test.
std::string DamageOf(PictureFormat format, const std::string& bytes) {
    try {
        DecodePicture(format, bytes);
        return "";
    } catch (const Error& error) {
        EXPECT_EQ(error.Kind(), ErrorKind::Damaged) << error.what();
        return std::string("damaged: ") + error.what();
    }
}

void PutU32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void PutU32Big(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

uint32_t Crc32(const std::string& bytes, size_t from, size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < from + count; ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// ---- format by extension ------------------------------------------------------

struct ExtensionCase {
    const char* path;
    std::optional<PictureFormat> format;
};

class PictureFormatOfTest : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(PictureFormatOfTest, ChoosesByTheLastExtensionOfTheFileName) {
    EXPECT_EQ(PictureFormatOf(GetParam().path), GetParam().format) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, PictureFormatOfTest,
    ::testing::Values(ExtensionCase{"a.bmp", PictureFormat::Bmp}, ExtensionCase{"A.BMP", PictureFormat::Bmp},
                      ExtensionCase{"x.Ico", PictureFormat::Ico}, ExtensionCase{"x.wMf", PictureFormat::Wmf},
                      ExtensionCase{"x.EMF", PictureFormat::Emf}, ExtensionCase{"x.jpg", PictureFormat::Jpeg},
                      ExtensionCase{"x.JpEg", PictureFormat::Jpeg}, ExtensionCase{"x.PNG", PictureFormat::Png},
                      ExtensionCase{"C:\\图片\\背景.Jpg", PictureFormat::Jpeg},
                      ExtensionCase{"C:\\a.png\\b.txt", std::nullopt}, ExtensionCase{"C:\\a.png\\b", std::nullopt},
                      ExtensionCase{"C:\\pic.gif", std::nullopt}, ExtensionCase{"C:\\pic.", std::nullopt},
                      ExtensionCase{"C:\\pic", std::nullopt}, ExtensionCase{"C:\\pic.jpe", std::nullopt},
                      ExtensionCase{"C:\\pic.png ", std::nullopt}, ExtensionCase{"C:\\pic.pngx", std::nullopt},
                      ExtensionCase{"", std::nullopt}));

// ---- lossless files: the 3 x 2 pattern ---------------------------------------

// Red, lime, blue over white, black, olive, all opaque.
const uint32_t kPattern[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu, 0xFF000000u, 0xFF808000u};

struct PatternCase {
    const char* file;
    PictureFormat format;
    int tolerance;  // per channel, for formats with fewer bits per channel
};

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, DecodesToTheSamePixelsTopDown) {
    const PatternCase& c = GetParam();
    Picture picture = DecodePicture(c.format, ReadPictureFile(c.file));
    EXPECT_EQ(picture.Format, c.format);
    ASSERT_EQ(picture.Width, 3);
    ASSERT_EQ(picture.Height, 2);
    ASSERT_EQ(picture.Pixels.size(), 6u);
    EXPECT_TRUE(picture.Bytes.empty());
    for (size_t i = 0; i < 6; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            int got = static_cast<int>((picture.Pixels[i] >> shift) & 0xFF);
            int want = static_cast<int>((kPattern[i] >> shift) & 0xFF);
            EXPECT_LE(std::abs(got - want), c.tolerance)
                << c.file << " pixel " << i << std::hex << ": " << picture.Pixels[i] << " for " << kPattern[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PatternTest,
    ::testing::Values(PatternCase{"rgb.png", PictureFormat::Png, 0}, PatternCase{"palette.png", PictureFormat::Png, 0},
                      PatternCase{"interlaced.png", PictureFormat::Png, 0},
                      PatternCase{"rgb24.bmp", PictureFormat::Bmp, 0}, PatternCase{"core24.bmp", PictureFormat::Bmp, 0},
                      PatternCase{"topdown32.bmp", PictureFormat::Bmp, 0},
                      PatternCase{"rgba32.bmp", PictureFormat::Bmp, 0}, PatternCase{"pal4.bmp", PictureFormat::Bmp, 0},
                      PatternCase{"pal8.bmp", PictureFormat::Bmp, 0}, PatternCase{"rle8.bmp", PictureFormat::Bmp, 0},
                      PatternCase{"rle4.bmp", PictureFormat::Bmp, 0},
                      PatternCase{"rgb565.bmp", PictureFormat::Bmp, 6}));

TEST(PictureDecodeTest, PngAlphaIsKeptUnpremultiplied) {
    Picture picture = DecodePicture(PictureFormat::Png, ReadPictureFile("rgba.png"));
    ASSERT_EQ(picture.Pixels.size(), 6u);
    EXPECT_EQ(picture.Pixels[0], 0xFFFF0000u);
    EXPECT_EQ(picture.Pixels[1] & 0x00FFFFFFu, 0x0000FF00u);
    EXPECT_NEAR(static_cast<int>(picture.Pixels[1] >> 24), 128, 1);
    EXPECT_EQ(picture.Pixels[2] >> 24, 0u);
    EXPECT_EQ(picture.Pixels[5], 0xFF808000u);
}

TEST(PictureDecodeTest, SixteenBitGreyPngIsNarrowedToEightBits) {
    Picture picture = DecodePicture(PictureFormat::Png, ReadPictureFile("gray16.png"));
    ASSERT_EQ(picture.Pixels.size(), 4u);
    for (uint32_t pixel : picture.Pixels) {
        EXPECT_EQ(pixel >> 24, 0xFFu);
        EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 128, 1);
        EXPECT_EQ((pixel >> 16) & 0xFF, pixel & 0xFF);
    }
}

TEST(PictureDecodeTest, OneBitBmpUsesItsColourTable) {
    Picture picture = DecodePicture(PictureFormat::Bmp, ReadPictureFile("mono.bmp"));
    EXPECT_EQ(picture.Pixels,
              (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}));
}

// A bit mask as wide as the pixel scales its channel to 0..255 like a
// narrow one: the full value is white, half of it mid-grey.
TEST(PictureDecodeTest, FullWidthBitMaskScalesItsChannel) {
    std::string bmp = "BM" + std::string(12, '\0');
    std::string info(40, '\0');
    PutU32(info, 0, 40);
    PutU32(info, 4, 2);  // two pixels wide
    PutU32(info, 8, 1);
    info[12] = 1;         // planes
    info[14] = 32;        // bits per pixel
    PutU32(info, 16, 3);  // bit masks
    std::string masks(12, '\0');
    PutU32(masks, 0, 0xFFFFFFFFu);  // red takes every bit; green and blue none
    std::string pixels(8, '\0');
    PutU32(pixels, 0, 0xFFFFFFFFu);
    PutU32(pixels, 4, 0x80000000u);
    bmp += info + masks + pixels;
    PutU32(bmp, 2, static_cast<uint32_t>(bmp.size()));
    PutU32(bmp, 10, 14 + 40 + 12);
    Picture picture = DecodePicture(PictureFormat::Bmp, bmp);
    ASSERT_EQ(picture.Pixels.size(), 2u);
    EXPECT_EQ(picture.Pixels[0] & 0x00FF0000u, 0x00FF0000u);
    EXPECT_EQ(picture.Pixels[1] & 0x00FF0000u, 0x007F0000u);
}

// JPEG is lossy: the colours are checked within a margin.
struct JpegCase {
    const char* file;
    int width, height;
    uint32_t topLeft, bottomLeft;
};

class JpegTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegTest, DecodesToOpaqueColours) {
    const JpegCase& c = GetParam();
    Picture picture = DecodePicture(PictureFormat::Jpeg, ReadPictureFile(c.file));
    ASSERT_EQ(picture.Width, c.width);
    ASSERT_EQ(picture.Height, c.height);
    ASSERT_EQ(picture.Pixels.size(), static_cast<size_t>(c.width * c.height));
    auto near = [](uint32_t got, uint32_t want) {
        for (int shift = 0; shift < 32; shift += 8) {
            if (std::abs(static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((want >> shift) & 0xFF)) > 12) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(near(picture.Pixels.front(), c.topLeft)) << std::hex << picture.Pixels.front();
    EXPECT_TRUE(near(picture.Pixels[static_cast<size_t>(c.width * (c.height - 1))], c.bottomLeft))
        << std::hex << picture.Pixels[static_cast<size_t>(c.width * (c.height - 1))];
}

INSTANTIATE_TEST_SUITE_P(Files, JpegTest,
                         ::testing::Values(JpegCase{"photo.jpg", 16, 16, 0xFFFF0000u, 0xFF0000FFu},
                                           JpegCase{"progressive.jpg", 16, 16, 0xFFFF0000u, 0xFF0000FFu},
                                           JpegCase{"grey.jpg", 8, 8, 0xFF808080u, 0xFF808080u},
                                           JpegCase{"cmyk.jpg", 8, 8, 0xFFFF0000u, 0xFFFF0000u}));

// ---- icons and metafiles: measured, bytes kept ----------------------------------

struct MeasureCase {
    const char* file;
    PictureFormat format;
    int width, height;
};

class MeasureTest : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(MeasureTest, KeepsTheBytesAndMeasuresTheHeader) {
    const MeasureCase& c = GetParam();
    std::string bytes = ReadPictureFile(c.file);
    Picture picture = DecodePicture(c.format, bytes);
    EXPECT_EQ(picture.Width, c.width);
    EXPECT_EQ(picture.Height, c.height);
    EXPECT_TRUE(picture.Pixels.empty());
    EXPECT_EQ(picture.Bytes, bytes);
}

INSTANTIATE_TEST_SUITE_P(Files, MeasureTest,
                         ::testing::Values(MeasureCase{"icon.ico", PictureFormat::Ico, 32, 32},  // the larger entry
                                           MeasureCase{"placeable.wmf", PictureFormat::Wmf, 96, 48},
                                           MeasureCase{"plain.wmf", PictureFormat::Wmf, 0, 0},
                                           MeasureCase{"bounds.emf", PictureFormat::Emf, 100, 50}));

TEST(PictureDecodeTest, IconEntriesListEveryImageWithinTheFile) {
    std::string bytes = ReadPictureFile("icon.ico");
    std::vector<IconEntry> entries = IconEntries(bytes);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Width, 16);
    EXPECT_EQ(entries[1].Width, 32);
    EXPECT_EQ(entries[1].Offset + entries[1].Size, bytes.size());
}

TEST(PictureDecodeTest, IconSizeByteZeroMeans256) {
    std::string bytes = ReadPictureFile("icon.ico");
    bytes[6 + 16] = 0;
    bytes[6 + 16 + 1] = 0;
    Picture picture = DecodePicture(PictureFormat::Ico, bytes);
    EXPECT_EQ(picture.Width, 256);
    EXPECT_EQ(picture.Height, 256);
}

// ---- content against extension, truncation --------------------------------------

struct FileCase {
    const char* file;
    PictureFormat format;
    // How many closing bytes may be cut off with the picture still whole: the
    // PNG end chunk, the last bitmap row's padding. A JPEG without its end
    // marker is damaged: libjpeg reads up to it.
    size_t optionalTail;
};

const FileCase kAllFiles[] = {
    {"rgb.png", PictureFormat::Png, 12},         {"palette.png", PictureFormat::Png, 12},
    {"interlaced.png", PictureFormat::Png, 12},  {"rgba.png", PictureFormat::Png, 12},
    {"gray16.png", PictureFormat::Png, 12},      {"photo.jpg", PictureFormat::Jpeg, 0},
    {"progressive.jpg", PictureFormat::Jpeg, 0}, {"grey.jpg", PictureFormat::Jpeg, 0},
    {"cmyk.jpg", PictureFormat::Jpeg, 0},        {"rgb24.bmp", PictureFormat::Bmp, 3},
    {"core24.bmp", PictureFormat::Bmp, 3},       {"topdown32.bmp", PictureFormat::Bmp, 0},
    {"rgba32.bmp", PictureFormat::Bmp, 0},       {"rgb565.bmp", PictureFormat::Bmp, 2},
    {"pal4.bmp", PictureFormat::Bmp, 2},         {"pal8.bmp", PictureFormat::Bmp, 1},
    {"mono.bmp", PictureFormat::Bmp, 3},         {"rle8.bmp", PictureFormat::Bmp, 0},
    {"rle4.bmp", PictureFormat::Bmp, 0},         {"icon.ico", PictureFormat::Ico, 0},
    {"placeable.wmf", PictureFormat::Wmf, 0},    {"plain.wmf", PictureFormat::Wmf, 0},
    {"bounds.emf", PictureFormat::Emf, 0},
};

const PictureFormat kAllFormats[] = {PictureFormat::Bmp, PictureFormat::Ico,  PictureFormat::Wmf,
                                     PictureFormat::Emf, PictureFormat::Jpeg, PictureFormat::Png};

class PictureFileTest : public ::testing::TestWithParam<FileCase> {};

// A file named with another format's extension is refused as damaged.
TEST_P(PictureFileTest, ContentOfAnotherFormatIsDamaged) {
    std::string bytes = ReadPictureFile(GetParam().file);
    for (PictureFormat format : kAllFormats) {
        if (format == GetParam().format) {
            EXPECT_EQ(DamageOf(format, bytes), "");
        } else {
            EXPECT_NE(DamageOf(format, bytes), "") << GetParam().file << " as " << PictureFormatName(format);
        }
    }
}

// Every cut into what the picture needs is refused, and no cut reads out of
// bounds (the sanitizer builds check that); the optional tail may go.
TEST_P(PictureFileTest, TruncatedFileIsDamaged) {
    const FileCase& c = GetParam();
    std::string bytes = ReadPictureFile(c.file);
    ASSERT_GT(bytes.size(), c.optionalTail);
    for (size_t length = 0; length < bytes.size(); ++length) {
        std::string message = DamageOf(c.format, bytes.substr(0, length));
        if (length + c.optionalTail < bytes.size()) {
            EXPECT_NE(message, "") << c.file << " cut to " << length << " bytes";
        } else {
            EXPECT_EQ(message, "") << c.file << " cut to " << length << " bytes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, PictureFileTest, ::testing::ValuesIn(kAllFiles),
                         [](const ::testing::TestParamInfo<FileCase>& info) {
                             std::string name = info.param.file;
                             for (char& c : name) {
                                 if (c == '.') c = '_';
                             }
                             return name;
                         });

// ---- damaged headers and data ------------------------------------------------------

TEST(PictureDamageTest, PngWithAFlippedImageDataByteFailsItsChecksum) {
    std::string bytes = ReadPictureFile("rgb.png");
    size_t idat = bytes.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    bytes[idat + 6] ^= 0x55;
    EXPECT_NE(DamageOf(PictureFormat::Png, bytes), "");
}

// A valid PNG header claiming a huge picture: refused from the header alone.
std::string PngClaiming(uint32_t width, uint32_t height) {
    std::string bytes = ReadPictureFile("rgb.png");
    const size_t ihdr = 12;  // the chunk type, after the signature and the length
    EXPECT_EQ(bytes.substr(ihdr, 4), "IHDR");
    PutU32Big(bytes, ihdr + 4, width);
    PutU32Big(bytes, ihdr + 8, height);
    PutU32Big(bytes, ihdr + 4 + 13, Crc32(bytes, ihdr, 4 + 13));
    return bytes;
}

TEST(PictureDamageTest, OversizedPngIsRefusedBeforeDecoding) {
    EXPECT_NE(DamageOf(PictureFormat::Png, PngClaiming(100000, 100000)).find("too large"), std::string::npos);
    EXPECT_NE(DamageOf(PictureFormat::Png, PngClaiming(8193, 1)).find("too large"), std::string::npos);
    EXPECT_NE(DamageOf(PictureFormat::Png, PngClaiming(4096, 4097)).find("too large"), std::string::npos);
    // Within the bounds the header passes and the (too small) image data fails.
    std::string message = DamageOf(PictureFormat::Png, PngClaiming(4096, 4096));
    EXPECT_NE(message, "");
    EXPECT_EQ(message.find("too large"), std::string::npos) << message;
}

// The frame header's height and width fields of the first SOF marker.
std::string JpegClaiming(uint16_t width, uint16_t height) {
    std::string bytes = ReadPictureFile("photo.jpg");
    for (size_t i = 2; i + 9 < bytes.size(); ++i) {
        unsigned char marker = static_cast<unsigned char>(bytes[i + 1]);
        if (static_cast<unsigned char>(bytes[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            bytes[i + 5] = static_cast<char>(height >> 8);
            bytes[i + 6] = static_cast<char>(height);
            bytes[i + 7] = static_cast<char>(width >> 8);
            bytes[i + 8] = static_cast<char>(width);
            return bytes;
        }
    }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

TEST(PictureDamageTest, OversizedJpegIsRefusedBeforeDecoding) {
    EXPECT_NE(DamageOf(PictureFormat::Jpeg, JpegClaiming(60000, 60000)).find("too large"), std::string::npos);
    EXPECT_NE(DamageOf(PictureFormat::Jpeg, JpegClaiming(8200, 8)).find("too large"), std::string::npos);
    EXPECT_NE(DamageOf(PictureFormat::Jpeg, JpegClaiming(0, 16)), "");
}

TEST(PictureDamageTest, JpegWhoseDataEndsEarlyIsDamagedNotPaddedGrey) {
    std::string bytes = ReadPictureFile("photo.jpg");
    std::string message = DamageOf(PictureFormat::Jpeg, bytes.substr(0, bytes.size() - 40));
    EXPECT_NE(message.find("Premature end"), std::string::npos) << message;
}

std::string BmpWith(size_t at, uint32_t value) {
    std::string bytes = ReadPictureFile("rgb24.bmp");
    PutU32(bytes, at, value);
    return bytes;
}

TEST(PictureDamageTest, BmpHeadersThatDoNotHoldAreRefused) {
    // Pixel offset past the end; an unknown header size; a header larger than the file.
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(10, 78)), "");
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(14, 20)), "");
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(14, 124)), "");
    // Bounds: more than 8192 wide, more than 64 MiB, zero, and the most negative height.
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(18, 8193)).find("too large"), std::string::npos);
    std::string tall = BmpWith(18, 4096);
    PutU32(tall, 22, 4097);
    EXPECT_NE(DamageOf(PictureFormat::Bmp, tall).find("too large"), std::string::npos);
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(18, 0)), "");
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(22, 0x80000000u)), "");
    // A width the pixel data cannot hold.
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(18, 5)).find("cut short"), std::string::npos);
    // Bit count 7, compression 4 (embedded JPEG).
    std::string bytes = ReadPictureFile("rgb24.bmp");
    bytes[28] = 7;
    EXPECT_NE(DamageOf(PictureFormat::Bmp, bytes), "");
    EXPECT_NE(DamageOf(PictureFormat::Bmp, BmpWith(30, 4)), "");
}

TEST(PictureDamageTest, BmpColourTableLargerThanTheFileIsRefused) {
    std::string bytes = ReadPictureFile("pal8.bmp");
    PutU32(bytes, 46, 200);  // colours used
    EXPECT_NE(DamageOf(PictureFormat::Bmp, bytes).find("colour table"), std::string::npos);
}

TEST(PictureDamageTest, BmpIndexPastTheColourTableIsBlack) {
    std::string bytes = ReadPictureFile("pal8.bmp");
    // The first pixel of the bottom row (white, index 4) becomes index 200.
    const size_t pixels = 14 + 40 + 6 * 4;
    ASSERT_EQ(static_cast<unsigned char>(bytes[pixels]), 4);
    bytes[pixels] = static_cast<char>(200);
    Picture picture = DecodePicture(PictureFormat::Bmp, bytes);
    EXPECT_EQ(picture.Pixels[3], 0xFF000000u);
}

TEST(PictureDamageTest, RunLengthRunsPastTheEdgesAreClipped) {
    std::string bytes = ReadPictureFile("rle8.bmp");
    const size_t data = 14 + 40 + 6 * 4;
    // A run of 255 pixels on the bottom row, a delta far up, then the end.
    std::string runs = std::string("\xFF\x01", 2) + std::string("\x00\x02\x10\x10", 4) + std::string("\x05\x02", 2) +
                       std::string("\x00\x01", 2);
    bytes = bytes.substr(0, data) + runs;
    PutU32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    Picture picture = DecodePicture(PictureFormat::Bmp, bytes);
    EXPECT_EQ(picture.Pixels[3], 0xFFFF0000u);
    EXPECT_EQ(picture.Pixels[5], 0xFFFF0000u);
    EXPECT_EQ(picture.Pixels[0], 0xFF000000u);  // never written: colour 0
}

TEST(PictureDamageTest, IconDirectoryPointingOutsideTheFileIsRefused) {
    std::string bytes = ReadPictureFile("icon.ico");
    std::string far = bytes;
    PutU32(far, 6 + 16 + 12, static_cast<uint32_t>(bytes.size()));  // second image's offset
    EXPECT_NE(DamageOf(PictureFormat::Ico, far), "");
    std::string huge = bytes;
    PutU32(huge, 6 + 8, 0xFFFFFFF0u);  // first image's size
    EXPECT_NE(DamageOf(PictureFormat::Ico, huge), "");
    std::string cursor = bytes;
    cursor[2] = 2;  // a cursor file
    EXPECT_NE(DamageOf(PictureFormat::Ico, cursor), "");
}

TEST(PictureDamageTest, MetafileHeadersThatDoNotHoldAreRefused) {
    std::string wmf = ReadPictureFile("placeable.wmf");
    std::string noInch = wmf;
    noInch[14] = noInch[15] = 0;
    EXPECT_NE(DamageOf(PictureFormat::Wmf, noInch), "");
    std::string longer = wmf;
    PutU32(longer, 22 + 6, 1000);  // the metafile's size in words
    EXPECT_NE(DamageOf(PictureFormat::Wmf, longer), "");

    std::string emf = ReadPictureFile("bounds.emf");
    std::string bigHeader = emf;
    PutU32(bigHeader, 4, 4096);
    EXPECT_NE(DamageOf(PictureFormat::Emf, bigHeader), "");
    std::string wide = emf;
    PutU32(wide, 8, 0x80000000u);  // left bound far to the left
    EXPECT_NE(DamageOf(PictureFormat::Emf, wide), "");
    // Empty bounds fall back to the frame (hundredths of a millimetre).
    std::string empty = emf;
    PutU32(empty, 16, 0);
    PutU32(empty, 20, 0);
    PutU32(empty, 16, static_cast<uint32_t>(-1));
    Picture picture = DecodePicture(PictureFormat::Emf, empty);
    EXPECT_EQ(picture.Width, 2645 * 96 / 2540);
    EXPECT_EQ(picture.Height, 1322 * 96 / 2540);
}

}  // namespace
}  // namespace setup::ui
