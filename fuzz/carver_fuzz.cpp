// Feeds the fuzzer's bytes to the carver with every type on. The first byte picks
// the sector size (512 or 4,096) and how many sectors each buffer holds, so
// that closing tags across buffers and compound-file headers with any FAT
// layout are reached; the rest is the raw data.
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/bytes.h"
#include "recovery/carver.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t unit = (data[0] & 0x80) ? 4096 : 512;
    const size_t per = (data[0] & 0x0F) + 1;
    const ByteSpan bytes(data + 1, size - 1);
    Carver carver(carve_type::kAll, unit);
    const uint64_t units = bytes.size() / unit;
    carver.SetReader([&](uint64_t s, uint8_t* dest, size_t n) {
        if (s > units || n > (units - s) * unit) return false;
        std::memcpy(dest, bytes.data() + s * unit, n);
        return true;
    }, units);
    carver.SetGapRetry(unit, 2);
    uint64_t sector = 0;
    for (size_t at = 0; at < bytes.size(); at += per * unit, sector += per)
        carver.Carve(bytes.subspan(at, std::min(per * unit, bytes.size() - at)), sector);
    // Every hit must lie inside what was fed.
    for (const auto* hits : {&carver.HtmlHits(), &carver.Files()})
        for (const CarvedFile& f : *hits)
            if (f.sectorCount == 0 || f.startSector + f.sectorCount + f.gapSectors + f.secondCount > sector ||
                f.size > (f.sectorCount + f.secondCount) * unit)
                __builtin_trap();
    return 0;
}
