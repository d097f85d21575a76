#pragma once
// One part of a split carve as its task leaves it (the carver's decisions,
// its pages and files, the bytes it could not read), and how the parts are
// joined into what one pass over the whole region decides.
#include <cstdint>
#include <string>
#include <vector>

#include "disk/filled_ranges.h"
#include "recovery/carver.h"

namespace delvora::cli {

struct CarvePart {
    std::vector<CarveEvent> events;  // in sector order
    std::vector<CarvedFile> pages;   // CarveEvent::index of kPage points here
    std::vector<CarvedFile> files;   // and of kFile here
    ByteRangeSet unreadable;         // source bytes read as zeros
};

bool WriteCarvePart(const std::string& path, const CarvePart& part, std::string& error);
bool ReadCarvePart(const std::string& path, CarvePart& part, std::string& error);

/// Where the whole pass stands on reaching a part: headers are tested from
/// skipUntil on, start tags looked for from htmlFrom on (region sectors).
struct CarveChain {
    uint64_t skipUntil = 0;
    uint64_t htmlFrom = 0;
};

/// Whether a part carved from its first sector with nothing carried in may
/// have passed over sectors the whole pass tests: a file or page of the
/// part covers the sector where the whole pass resumes. Such a part is
/// carved again from chain (Carver::SetEntry).
bool ChainConflicts(const CarvePart& part, const CarveChain& chain);

/// Appends the part's pages and files the whole pass keeps (those starting
/// where it tests again), adds its rejected headers, and moves chain past
/// the part. Call only when ChainConflicts is false.
void JoinCarvePart(const CarvePart& part, CarveChain& chain, std::vector<CarvedFile>& pages,
                   std::vector<CarvedFile>& files, uint64_t& rejected);

}  // namespace delvora::cli
