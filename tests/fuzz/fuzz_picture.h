// Shared by the picture fuzz targets: decodes the input as one format and
// checks what a successful decoding promises; a Damaged error is a fine end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "ui/picture.h"

inline void FuzzPicture(setup::ui::PictureFormat format, const uint8_t* data, size_t size) {
    using setup::ui::PictureFormat;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        setup::ui::Picture picture = setup::ui::DecodePicture(format, bytes);
        const bool drawnBySystem =
            format == PictureFormat::Ico || format == PictureFormat::Wmf || format == PictureFormat::Emf;
        if (picture.Format != format || picture.Width < 0 || picture.Height < 0) std::abort();
        if (drawnBySystem) {
            if (!picture.Pixels.empty() || picture.Bytes != bytes) std::abort();
        } else if (picture.Width == 0 || picture.Height == 0 || picture.Width > setup::ui::kMaxPictureSide ||
                   picture.Height > setup::ui::kMaxPictureSide ||
                   picture.Pixels.size() != static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height) ||
                   static_cast<int64_t>(picture.Pixels.size()) * 4 > setup::ui::kMaxPictureBytes) {
            std::abort();
        }
    } catch (const setup::Error& error) {
        if (error.Kind() != setup::ErrorKind::Damaged) std::abort();
    }
}
