#include "recovery/carve_format.h"

namespace delvora {

const std::vector<CarveTypeKey>& CarveTypeKeys() {
    using namespace carve_type;
    static const std::vector<CarveTypeKey> keys{
        {"jpg", kJpg}, {"png", kPng}, {"gif", kGif}, {"bmp", kBmp}, {"tif", kTif}, {"pdf", kPdf},
        {"zip", kZip}, {"docx", kDocx}, {"xlsx", kXlsx}, {"pptx", kPptx}, {"odt", kOdt}, {"doc", kDoc},
        {"xls", kXls}, {"ppt", kPpt}, {"msg", kMsg}, {"mp4", kMp4}, {"mov", kMov}, {"sqlite", kSqlite},
        {"rar", kRar}, {"7z", k7z}, {"html", kHtml}};
    return keys;
}

bool ParseCarveTypes(std::string_view text, uint32_t& bits, std::string& bad) {
    bits = 0;
    if (text == "all") {
        bits = carve_type::kAll;
        return true;
    }
    // One step per comma-separated key.
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view key = text.substr(0, comma);
        bool known = false;
        for (const CarveTypeKey& k : CarveTypeKeys())
            if (key == k.key) {
                bits |= k.bit;
                known = true;
            }
        if (!known) {
            bad = std::string(key);
            return false;
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return bits != 0;
}

const std::vector<CarveFormat>& CarveFormats() {
    using namespace carve_type;
    static const std::vector<CarveFormat> formats{
        {kJpg, true, &JpegHeader, &WalkJpeg},
        {kPng, false, &PngHeader, &WalkPng},
        {kGif, false, &GifHeader, &WalkGif},
        {kBmp, false, &BmpHeader, &WalkBmp},
        {kTif, false, &TiffHeader, &WalkTiff},
        {kPdf, false, &PdfHeader, &WalkPdf},
        {kZip | kDocx | kXlsx | kPptx | kOdt, true, &ZipHeader, &WalkZip},
        {kDoc | kXls | kPpt | kMsg, false, &OleHeader, &WalkOle},
        {kMp4 | kMov, false, &Mp4Header, &WalkMp4},
        {kSqlite, false, &SqliteHeader, &WalkSqlite},
        {kRar, false, &RarHeader, &WalkRar},
        {k7z, false, &SevenZipHeader, &WalkSevenZip},
    };
    return formats;
}

CarveWalk Carved(CarveStatus status, uint64_t length, uint32_t type, const char* folder, const char* extension) {
    CarveWalk w;
    w.status = status;
    w.length = length;
    w.type = type;
    w.folder = folder;
    w.extension = extension;
    return w;
}

}  // namespace delvora
