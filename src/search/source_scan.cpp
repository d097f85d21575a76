#include "search/source_scan.h"

#include <algorithm>
#include <memory>
#include <new>

#include "common/codepage.h"
#include "disk/data_source.h"
#include "disk/image_map.h"

namespace delvora {
namespace {

// Large sequential reads keep the scan at the speed of the page cache; the
// margins give look-ahead for matches across a block's end and room for
// the hit text on both sides.
constexpr uint64_t kBlockSectors = 8192;  // 4 MiB
constexpr uint64_t kMarginSectors = 2;    // 1 KiB: patterns of 512 bytes and their context

uint64_t SectorsFor(size_t bytes) { return std::max<uint64_t>(kMarginSectors, (bytes + 511) / 512 + 1); }

// A block that was read: where its starts lie and its look-ahead tail.
struct ReadBlock {
    ByteSpan bytes;
    uint64_t firstByte = 0;
    size_t tailFrom = 0;  // the bytes after the block's starts
    bool valid = false;
};

}  // namespace

bool ScanSource(DataSource& source, TermMatcher& matcher, const ScanExtent& extent,
                const ScanCallbacks& callbacks) {
    if (extent.first >= extent.end || extent.readEnd <= extent.first) return true;
    const uint64_t before = SectorsFor(matcher.LookBehind() + 1024);
    const uint64_t after = SectorsFor(matcher.LookAhead());
    const std::unique_ptr<ImageMap> map = ImageMap::Open(source);
    // Without a map two buffers alternate: the previous block stays whole
    // until the next one is read, for the starts the stream still holds.
    std::unique_ptr<uint8_t[]> buffers[2];
    const size_t bufferBytes = static_cast<size_t>((kBlockSectors + before + after) * 512);
    try {
        if (!map)
            for (auto& buffer : buffers) buffer.reset(new uint8_t[bufferBytes]);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const bool part = extent.partEnd > extent.partFirst;
    const uint64_t startsFrom = part ? std::max(extent.first, extent.partFirst) : extent.first;
    const uint64_t startsEnd = part ? std::min(extent.end, extent.partEnd) : extent.end;
    if (startsFrom >= startsEnd) return true;
    // A part's last hits may show up to twice the longest match after them.
    const uint64_t reach = SectorsFor(2 * matcher.LookAhead() + 1024);
    const uint64_t startLimit = startsEnd * 512;
    std::vector<PatternStart> starts;
    ReadBlock previous;
    bool streaming = false, ok = true;
    int current = 0;
    auto hand = [&](const ReadBlock& block) {
        // Starts before the part belong to the part before it.
        if (part) {
            const uint64_t below = startsFrom * 512;
            std::erase_if(starts, [&](const PatternStart& s) { return block.firstByte + s.position < below; });
        }
        if (!starts.empty() && callbacks.onStarts) callbacks.onStarts(ScanBlock{block.bytes, block.firstByte}, starts);
        starts.clear();
    };
    // Ends the stream with the previous block's tail as look-ahead.
    auto endStream = [&] {
        if (!streaming) return true;
        streaming = false;
        const bool done = matcher.End(previous.bytes, previous.firstByte, previous.tailFrom,
                                      previous.bytes.size() - previous.tailFrom, startLimit, starts);
        hand(previous);
        return done;
    };
    try {
        // Each round covers the next block of starts; the loop ends at the extent's end.
        const uint64_t gridFirst = extent.first + (startsFrom - extent.first) / kBlockSectors * kBlockSectors;
        for (uint64_t blockFirst = gridFirst; blockFirst < startsEnd;) {
            if (callbacks.keepGoing && !callbacks.keepGoing()) return false;
            const uint64_t gridEnd = blockFirst + std::min(kBlockSectors, extent.end - blockFirst);
            const uint64_t blockEnd = std::min(gridEnd, startsEnd);
            const uint64_t readFirst = blockFirst - std::min(before, blockFirst - extent.first);
            uint64_t readEnd = std::min(extent.readEnd, gridEnd + after);
            if (blockEnd < gridEnd) readEnd = std::min(readEnd, blockEnd + std::max(after, reach));
            ReadBlock block;
            if (readEnd > readFirst) {
                const uint64_t count = (readEnd - readFirst) * 512;
                if (map) {
                    block.bytes = map->Bytes(readFirst * 512, count);
                    block.valid = block.bytes.size() == count;
                } else if (source.GetData(buffers[current].get(), static_cast<uint32_t>(count), readFirst)) {
                    block.bytes = ByteSpan(buffers[current].get(), static_cast<size_t>(count));
                    block.valid = true;
                }
            }
            if (!block.valid) {
                ok = endStream() && ok;
            } else {
                block.firstByte = readFirst * 512;
                size_t skip = static_cast<size_t>((blockFirst - readFirst) * 512);
                size_t length = static_cast<size_t>((blockEnd - blockFirst) * 512);
                block.tailFrom = skip + length;
                if (!streaming) {
                    // A part's stream takes in the margin before it, so that an
                    // anchor or a word boundary sees what the whole scan sees.
                    if (part && blockFirst == gridFirst) {
                        length += skip;
                        skip = 0;
                    }
                    if (!matcher.Begin(block.firstByte + skip)) return false;
                    streaming = true;
                }
                if (!matcher.Feed(block.bytes, block.firstByte, skip, length, startLimit, starts)) return false;
                hand(block);
                previous = block;
                current ^= 1;
            }
            blockFirst = blockEnd;
            if (callbacks.onProgress) callbacks.onProgress((blockFirst - startsFrom) * 512);
        }
        ok = endStream() && ok;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return ok;
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
    uint64_t to = std::min({from + count, windowLimit, blockEnd});
    from = std::max(from, block.firstByte);
    const bool wide = codepage.rfind("UTF-16", 0) == 0;
    if (wide) {
        // Whole code units, in step with the hit's first byte.
        if ((hitByte - from) % 2) ++from;
        if (to > from && (to - from) % 2) --to;
    }
    if (to <= from) return {};
    std::string text(reinterpret_cast<const char*>(block.bytes.data() + (from - block.firstByte)), to - from);
    if (wide) {
        // iconv passes text of bytes below 0x80 through as it is; UTF-16 must be decoded here.
        if (codepage == "UTF-16BE")
            for (size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
        text = Utf16LeBytesToUtf8({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        for (char& c : text)
            if (static_cast<unsigned char>(c) < 32) c = '.';
        return text;
    }
    bool ascii = true;
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32) c = '.';
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    }
    return ascii ? text : ToUtf8(text, codepage);
}

}  // namespace delvora
