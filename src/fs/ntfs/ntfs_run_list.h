#pragma once
// NTFS run lists: a header byte whose low nibble is the width of the run
// length and high nibble the width of the signed offset to the previous run.
// A run without an offset is a hole (sparse): it reads as zeros.
#include <cstdint>

#include "common/bytes.h"
#include "fs/cluster_run_list.h"

namespace delvora {

namespace ntfs {
/// The first cluster of a hole in a run list: no cluster on disk.
inline constexpr uint64_t kSparseRun = UINT64_MAX;
/// Bound on a file's clusters (4 PiB of 4 KiB clusters): keeps byte counts
/// from overflowing whatever a run list claims.
inline constexpr uint64_t kMaxClusters = uint64_t{1} << 40;
/// Bound on a cluster number, for the same reason.
inline constexpr uint64_t kMaxCluster = uint64_t{1} << 48;
}  // namespace ntfs

/// Decodes the run list in bytes into {first cluster, count} runs (the list
/// is cleared first); holes get first = ntfs::kSparseRun. The list ends at a
/// 0 header, at a length of 0, at a field wider than 8 bytes, where the next
/// run would leave bytes, at a cluster outside 0..kMaxCluster, or before the
/// runs pass kMaxClusters in all. Answers the clusters decoded.
uint64_t DecodeRunList(ByteSpan bytes, ClusterRunList& runs);

}  // namespace delvora
