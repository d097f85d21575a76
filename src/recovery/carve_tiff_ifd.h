#pragma once
// Reading a TIFF structure (a TIFF file, or the EXIF block of a JPEG) in
// either byte order, every read bounds-checked.
#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace delvora {

struct TiffOrder {
    bool big = false;
    uint16_t U16(ByteSpan b, size_t o) const {
        if (!Has(b, o, 2)) return 0;
        return big ? static_cast<uint16_t>(b[o] << 8 | b[o + 1]) : Le16(b, o);
    }
    uint32_t U32(ByteSpan b, size_t o) const {
        if (!Has(b, o, 4)) return 0;
        return big ? (uint32_t{b[o]} << 24 | uint32_t{b[o + 1]} << 16 | uint32_t{b[o + 2]} << 8 | b[o + 3]) : Le32(b, o);
    }
};

/// The byte order a TIFF header ("II*\0" or "MM\0*") at the start of b
/// gives; false when it is neither.
bool TiffHeaderOrder(ByteSpan b, TiffOrder& order);

/// The EXIF name of a photo: date taken (else the date written) and camera
/// model from the TIFF structure in tiff, as "2024-05-01 12.30.45 Model";
/// empty when neither is there.
std::string ExifTitle(ByteSpan tiff);

}  // namespace delvora
