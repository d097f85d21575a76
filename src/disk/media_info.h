#pragma once
// What a source holds, for the info command and the properties page, and
// the one pass that hashes its media for verify.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/hash.h"
#include "common/reporting.h"
#include "disk/container_image.h"

namespace delvora {

/// "mbr", "gpt" (a protective entry) or "none", from a disk's first sector.
/// Does no I/O.
const char* PartitionSchemeOf(std::span<const uint8_t> sector0);

/// Opens the source a name stands for (a device map name or a path) and
/// fills info with its container's facts; scheme receives its partition
/// scheme. False with a one-line reason.
bool DescribeSource(const CoreContext& context, const std::string& name, ContainerInfo& info,
                    std::string& scheme, std::string& error);

/// A stretch of bytes that could not be read.
struct ByteRange {
    uint64_t offset = 0;
    uint64_t length = 0;
};

/// Reads a backend from start to end once, feeding the digests of kinds
/// (HashKind bits), each on a thread of its own. A block
/// that fails is read again in 32 KiB pieces; a piece that still fails is
/// hashed as zeros and named in unreadable (neighbours joined), so the
/// digests never vouch for it unnoticed. progress (may be empty) is called
/// with the bytes done and the total, and may answer false to stop. False
/// with a reason when stopped or out of memory.
bool HashMedia(BlockBackend& backend, unsigned kinds, Digests& digests, std::vector<ByteRange>& unreadable,
               std::string& error,
               const std::function<bool(uint64_t done, uint64_t total)>& progress = {});

}  // namespace delvora
