#pragma once
// NTFS run lists: a header byte whose low nibble is the width of the run
// length and high nibble the width of the signed offset to the previous run.
#include "common/bytes.h"
#include "fs/cluster_run_list.h"

namespace delvora {

/// Decodes the run list in bytes into {first cluster, count} runs (the list
/// is cleared first). The list ends at a 0 header, at a sparse run (no
/// offset field), at a field wider than 4 bytes, or where the next run would
/// leave bytes. Always true.
bool DecodeRunList(ByteSpan bytes, ClusterRunList& runs);

}  // namespace delvora
