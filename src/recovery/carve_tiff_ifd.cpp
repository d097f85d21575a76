#include "recovery/carve_tiff_ifd.h"

namespace delvora {
namespace {

constexpr uint16_t kTagModel = 0x0110;
constexpr uint16_t kTagDateTime = 0x0132;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagDateTaken = 0x9003;
constexpr uint16_t kMaxEntries = 1024;

/// An ASCII entry's text (inline when it fits in four bytes).
std::string AsciiValue(ByteSpan b, const TiffOrder& o, size_t entry) {
    if (o.U16(b, entry + 2) != 2) return {};
    const uint32_t count = o.U32(b, entry + 4);
    const size_t at = count <= 4 ? entry + 8 : o.U32(b, entry + 8);
    if (count == 0 || count > 256 || !Has(b, at, count)) return {};
    std::string text(reinterpret_cast<const char*>(b.data() + at), count);
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

/// Finds tag in the IFD at ifd; the entry's offset or 0.
size_t FindTag(ByteSpan b, const TiffOrder& o, size_t ifd, uint16_t tag) {
    const uint16_t n = o.U16(b, ifd);
    for (uint16_t i = 0; i < n && i < kMaxEntries; ++i) {
        const size_t e = ifd + 2 + size_t{i} * 12;
        if (!Has(b, e, 12)) return 0;
        if (o.U16(b, e) == tag) return e;
    }
    return 0;
}

}  // namespace

bool TiffHeaderOrder(ByteSpan b, TiffOrder& order) {
    if (!Has(b, 0, 8)) return false;
    if (b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) order.big = false;
    else if (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42) order.big = true;
    else return false;
    return true;
}

std::string ExifTitle(ByteSpan tiff) {
    TiffOrder o;
    if (!TiffHeaderOrder(tiff, o)) return {};
    const size_t ifd0 = o.U32(tiff, 4);
    if (!Has(tiff, ifd0, 2)) return {};
    std::string model, date;
    if (const size_t e = FindTag(tiff, o, ifd0, kTagModel)) model = AsciiValue(tiff, o, e);
    if (const size_t e = FindTag(tiff, o, ifd0, kTagExifIfd)) {
        const size_t exif = o.U32(tiff, e + 8);
        if (const size_t d = Has(tiff, exif, 2) ? FindTag(tiff, o, exif, kTagDateTaken) : 0) date = AsciiValue(tiff, o, d);
    }
    if (date.empty())
        if (const size_t e = FindTag(tiff, o, ifd0, kTagDateTime)) date = AsciiValue(tiff, o, e);
    // "2024:05:01 12:30:45": colons no folder takes.
    if (date.size() == 19 && date[4] == ':' && date[7] == ':' && date[13] == ':' && date[16] == ':') {
        date[4] = date[7] = '-';
        date[13] = date[16] = '.';
    } else {
        date.clear();
    }
    if (date.empty()) return model;
    return model.empty() ? date : date + " " + model;
}

}  // namespace delvora
