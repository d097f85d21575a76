#include "search/source_scan.h"

#include <algorithm>
#include <memory>
#include <new>

#include "common/codepage.h"
#include "disk/data_source.h"

namespace delvora {
namespace {

// Large sequential reads keep the scan at the speed of the page cache; the
// margins give look-ahead for patterns across a block's end and room for
// the hit text on both sides.
constexpr uint64_t kBlockSectors = 8192;  // 4 MiB
constexpr uint64_t kMarginSectors = 2;    // 1 KiB: patterns of 512 bytes and their context

}  // namespace

bool ScanSource(DataSource& source, const PatternMatcher& matcher, const ScanExtent& extent,
                const ScanCallbacks& callbacks) {
    if (extent.first >= extent.end || extent.readEnd <= extent.first) return true;
    std::unique_ptr<uint8_t[]> buffer;
    try {
        buffer.reset(new uint8_t[(kBlockSectors + 2 * kMarginSectors) * 512]);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vector<PatternStart> starts;
    // Each round covers the next block of starts; the loop ends at the extent's end.
    for (uint64_t blockFirst = extent.first; blockFirst < extent.end;) {
        if (callbacks.keepGoing && !callbacks.keepGoing()) return false;
        const uint64_t blockEnd = blockFirst + std::min(kBlockSectors, extent.end - blockFirst);
        const uint64_t readFirst = blockFirst - std::min(kMarginSectors, blockFirst - extent.first);
        const uint64_t readEnd = std::min(extent.readEnd, blockEnd + kMarginSectors);
        if (readEnd > readFirst) {
            const uint32_t count = static_cast<uint32_t>((readEnd - readFirst) * 512);
            if (source.GetData(buffer.get(), count, readFirst)) {
                const ScanBlock block{ByteSpan(buffer.get(), count), readFirst * 512};
                const size_t skip = static_cast<size_t>((blockFirst - readFirst) * 512);
                starts.clear();
                try {
                    matcher.FindAll(block.bytes.subspan(skip), static_cast<size_t>((blockEnd - blockFirst) * 512),
                                    starts);
                } catch (const std::bad_alloc&) {
                    return false;
                }
                for (PatternStart& start : starts) start.position += skip;
                if (!starts.empty() && callbacks.onStarts) callbacks.onStarts(block, starts);
            }
        }
        blockFirst = blockEnd;
        if (callbacks.onProgress) callbacks.onProgress((blockFirst - extent.first) * 512);
    }
    return true;
}

std::string HitContext(const ScanBlock& block, uint64_t hitByte, size_t length, uint64_t windowStart,
                       uint64_t windowBytes, uint64_t windowLimit, const std::string& codepage) {
    const uint64_t p = hitByte - windowStart;
    const uint64_t half = length / 2;
    uint64_t from = hitByte;
    uint64_t count = length;
    if (p > half && p + length < windowBytes) {
        from = hitByte - half;
        count = 2 * length;
    } else if (p < half) {
        from = windowStart;
        count = 2 * length;
    }
    // The copy stays inside the window and inside what was read.
    const uint64_t blockEnd = block.firstByte + block.bytes.size();
    const uint64_t to = std::min({from + count, windowLimit, blockEnd});
    from = std::max(from, block.firstByte);
    if (to <= from) return {};
    std::string text(reinterpret_cast<const char*>(block.bytes.data() + (from - block.firstByte)), to - from);
    bool ascii = true;
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32) c = '.';
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    }
    return ascii ? text : ToUtf8(text, codepage);
}

}  // namespace delvora
