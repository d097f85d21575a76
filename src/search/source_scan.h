#pragma once
// Reads a stretch of a data source in large blocks and finds every start of
// the patterns in it: the one read loop of the keyword search, for volumes
// and whole sources alike.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "search/pattern_matcher.h"
#include "search/term_matcher.h"

namespace delvora {

class DataSource;

/// A stretch of a source in 512-byte source sectors: starts in [first, end)
/// are tested; a pattern may continue past end as far as readEnd (the
/// volume's or the source's end), never further.
///
/// partFirst/partEnd narrow the starts reported to one part of the extent
/// (0, 0: all of it). Blocks keep the extent's grid and margins, so a part's
/// hits, their text included, are the whole scan's hits in that part; past
/// partEnd only look-ahead and hit text are read.
struct ScanExtent {
    uint64_t first = 0;
    uint64_t end = 0;
    uint64_t readEnd = 0;
    uint64_t partFirst = 0;
    uint64_t partEnd = 0;
};

/// One block as read: bytes[0] is the source's byte firstByte. It holds at
/// least 1 KiB (and the matcher's look-behind and look-ahead) before and
/// after the starts it reports, for context.
struct ScanBlock {
    ByteSpan bytes;
    uint64_t firstByte = 0;
};

struct ScanCallbacks {
    /// Every start found in a block, in source order; positions index block.bytes.
    std::function<void(const ScanBlock& block, const std::vector<PatternStart>& starts)> onStarts;
    /// After each block: bytes of the stretch done so far.
    std::function<void(uint64_t bytesDone)> onProgress;
    /// Asked before each block; false ends the scan early.
    std::function<bool()> keepGoing;
};

/// Scans the extent as one stream, through a memory map where the source
/// is an image file. A block whose read yields nothing is skipped and ends
/// the stream (no match is made across it). Answers false when the scan
/// was stopped or memory ran out.
bool ScanSource(DataSource& source, TermMatcher& matcher, const ScanExtent& extent,
                const ScanCallbacks& callbacks);

/// The hit text of a start: with pattern length L, the start p in a window
/// of W bytes (windowStart..): 2L bytes from p - L/2 when p > L/2 and
/// p + L < W, 2L bytes from the window's start when p < L/2, else L bytes
/// from p; never past windowLimit (the window and the look-ahead the kind
/// reads with it) nor outside the block. Bytes below 32 become '.'; the
/// result is converted from codepage to UTF-8.
std::string HitContext(const ScanBlock& block, uint64_t hitByte, size_t length, uint64_t windowStart,
                       uint64_t windowBytes, uint64_t windowLimit, const std::string& codepage);

}  // namespace delvora
