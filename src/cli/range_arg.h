#pragma once
// --range S-E: the part of a scan one run covers (first and last sector,
// inclusive), as the cluster command hands each task its share.
#include <cstdint>
#include <optional>

#include "cli/cli.h"

namespace delvora::cli {

/// Sectors [first, end) of a scan.
struct SectorRange {
    uint64_t first = 0;
    uint64_t end = 0;
};

/// Reads --range into range (unset when not given). Answers an exit code:
/// kUsage when malformed, when the last sector is before the first, or when
/// the range leaves [scanFirst, scanEnd).
int ReadRangeArg(const Args& args, uint64_t scanFirst, uint64_t scanEnd, std::optional<SectorRange>& range);

}  // namespace delvora::cli
