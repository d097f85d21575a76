#pragma once
// The file types the carver knows beside web pages, each a header test and
// a walk of the file's own structure that says where it ends. A walker reads
// only through its CarveInput, bounds every loop by the bytes it is given or
// a cap of its own, and answers without I/O of its own.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "recovery/carve_input.h"

namespace delvora {

/// Bits of the types a carve looks for; several share one walker (the ZIP
/// walker gives DOCX, ODT, JAR and others, the compound-file walker DOC,
/// XLS, PPT and MSG).
namespace carve_type {
enum : uint32_t {
    kJpg = 1u << 0, kPng = 1u << 1, kGif = 1u << 2, kBmp = 1u << 3, kTif = 1u << 4, kPdf = 1u << 5,
    kZip = 1u << 6, kDocx = 1u << 7, kXlsx = 1u << 8, kPptx = 1u << 9, kOdt = 1u << 10, kDoc = 1u << 11,
    kXls = 1u << 12, kPpt = 1u << 13, kMsg = 1u << 14, kMp4 = 1u << 15, kMov = 1u << 16, kSqlite = 1u << 17,
    kRar = 1u << 18, k7z = 1u << 19, kHtml = 1u << 20,
    kAll = (1u << 21) - 1,
};
}  // namespace carve_type

/// The --types keys in the order the help lists them, with their bits.
struct CarveTypeKey {
    const char* key;
    uint32_t bit;
};
const std::vector<CarveTypeKey>& CarveTypeKeys();
/// "jpg,pdf" or "all" to bits; false (and the first unknown key in bad)
/// for a key not in the list.
bool ParseCarveTypes(std::string_view text, uint32_t& bits, std::string& bad);

enum class CarveStatus { Rejected, Complete, Truncated };

/// What a walk found. length counts bytes from the header; for a truncated
/// file it is where the structure stopped making sense.
struct CarveWalk {
    CarveStatus status = CarveStatus::Rejected;
    uint64_t length = 0;
    uint32_t type = 0;       // one carve_type bit (the kind the content told)
    std::string folder;      // "JPG", "DOCX", ...
    std::string extension;   // without the dot
    std::string title;       // name from the content, raw (made safe later)
    uint64_t failedAt = 0;   // where validation failed, for a retry over a gap
};

struct CarveFormat {
    uint32_t types;  // the bits this walker can answer
    bool gapRetry;   // a failed walk may be tried again over a gap
    bool (*matches)(ByteSpan head);  // the first bytes of a unit
    CarveWalk (*walk)(CarveInput& in);
};

/// Every walker, the order in which headers are tried.
const std::vector<CarveFormat>& CarveFormats();

// The walkers, one per file.
bool JpegHeader(ByteSpan head);
CarveWalk WalkJpeg(CarveInput& in);
bool PngHeader(ByteSpan head);
CarveWalk WalkPng(CarveInput& in);
bool GifHeader(ByteSpan head);
CarveWalk WalkGif(CarveInput& in);
bool BmpHeader(ByteSpan head);
CarveWalk WalkBmp(CarveInput& in);
bool TiffHeader(ByteSpan head);
CarveWalk WalkTiff(CarveInput& in);
bool PdfHeader(ByteSpan head);
CarveWalk WalkPdf(CarveInput& in);
bool ZipHeader(ByteSpan head);
CarveWalk WalkZip(CarveInput& in);
bool OleHeader(ByteSpan head);
CarveWalk WalkOle(CarveInput& in);
bool Mp4Header(ByteSpan head);
CarveWalk WalkMp4(CarveInput& in);
bool SqliteHeader(ByteSpan head);
CarveWalk WalkSqlite(CarveInput& in);
bool RarHeader(ByteSpan head);
CarveWalk WalkRar(CarveInput& in);
bool SevenZipHeader(ByteSpan head);
CarveWalk WalkSevenZip(CarveInput& in);

/// A walk that ends the file at length with the given kind.
CarveWalk Carved(CarveStatus status, uint64_t length, uint32_t type, const char* folder, const char* extension);

}  // namespace delvora
