#pragma once
// The script command's work, inside the Qt module.
#include "cli/cli.h"

namespace delvora::cli {

/// Runs the script FILE.js of args (or prints the starting script with
/// --default) and prints its result list; answers the exit code.
int RunScript(Env& env, const Args& args);

}  // namespace delvora::cli
