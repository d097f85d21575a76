// Feeds the fuzzer's bytes to the HTML and DOC carver. The first byte picks
// the sector size (512 or 4,096) and how many sectors each buffer holds, so
// that closing tags across buffers and compound-file headers with any FAT
// layout are reached; the rest is the raw data.
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "recovery/carver.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t unit = (data[0] & 0x80) ? 4096 : 512;
    const size_t per = (data[0] & 0x0F) + 1;
    const ByteSpan bytes(data + 1, size - 1);
    Carver carver(true, true, unit);
    uint64_t sector = 0;
    for (size_t at = 0; at < bytes.size(); at += per * unit, sector += per)
        carver.Carve(bytes.subspan(at, std::min(per * unit, bytes.size() - at)), sector);
    // Every hit must lie inside what was fed.
    for (const auto* hits : {&carver.HtmlHits(), &carver.DocHits()})
        for (const CarvedFile& f : *hits)
            if (f.sectorCount == 0 || f.startSector + f.sectorCount > sector || f.size > f.sectorCount * unit) __builtin_trap();
    return 0;
}
