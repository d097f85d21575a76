#pragma once
// The examiner's corrections of a loaded volume, scripted:
// --volume-start S moves the volume to another first sector, and
// --set-start-cluster PATH=N gives an item another start cluster.
#include "cli/cli.h"
#include "fs/volume.h"

namespace delvora::cli {

/// Applies the corrections the arguments ask for. Answers an exit code;
/// a value outside the volume or the source is refused.
int ApplyPlacementArgs(Env& env, const Args& args, Volume& volume);

}  // namespace delvora::cli
