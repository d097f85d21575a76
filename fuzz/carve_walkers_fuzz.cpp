// Feeds the fuzzer's bytes to one structure walker. The first byte picks the
// walker and, in its high bit, a gap (the rest taken two units later); the
// rest is the candidate file. Every walk must stay inside what it was given.
#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "recovery/carve_format.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const auto& formats = CarveFormats();
    const CarveFormat& format = formats[(data[0] & 0x7F) % formats.size()];
    const ByteSpan bytes(data + 1, size - 1);
    constexpr uint32_t kUnit = 512;
    const uint64_t units = (bytes.size() + kUnit - 1) / kUnit;
    CarveInput in(
        [&](uint64_t unit, uint8_t* dest, size_t n) {
            std::memset(dest, 0, n);
            if (unit * kUnit >= bytes.size()) return false;
            std::memcpy(dest, bytes.data() + unit * kUnit, std::min<size_t>(n, bytes.size() - unit * kUnit));
            return true;
        },
        kUnit, 0, units);
    if (data[0] & 0x80) in.SetGap(kUnit, 2);
    format.matches(bytes);
    const CarveWalk walk = format.walk(in);
    if (walk.status != CarveStatus::Rejected && walk.length > in.Available()) __builtin_trap();
    return 0;
}
