#pragma once
// Joining the parts of a split carve: the whole pass's decisions rebuilt
// from the parts' (a part that a file of the part before reaches into is
// carved again here from where the whole pass stands), then one export
// folder and one manifest written as a one-machine carve writes them.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cluster_merge.h"
#include "cli/cluster_plan.h"

namespace delvora::cli {

/// Exports into DIR/export with DIR/manifest.csv and prints carve's summary.
/// failures: the parts left out (also in DIR/incomplete). Answers an exit
/// code of the export itself.
int MergeCarveParts(Env& env, const std::string& dir, const ClusterPlan& plan, std::vector<PartFailure>& failures);

/// carve's option lists, for reading a plan's arguments back.
const std::vector<std::string>& CarveValueOptions();
const std::vector<std::string>& CarveFlags();

}  // namespace delvora::cli
