#pragma once
// --residual on the commands that read a loaded volume (ls, cat, export):
// after loading, the residual search runs (with --html and --doc carving,
// --search-loaded to test what the load already reached, and on FAT
// --ignore-not-parent to keep only clusters that start a folder, --range to
// search one part of the volume), and what it found is reached under the
// top-level folder "回收站" (\回收站\...).
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/volume_arg.h"

namespace delvora::cli {

inline const std::vector<std::string> kResidualFlags{"--residual", "--html", "--doc", "--search-loaded",
                                                     "--ignore-not-parent"};

/// A command's own flags plus the residual-search ones and --skip-allocated
/// (deleted FAT files read through free clusters only).
std::vector<std::string> WithResidualFlags(std::vector<std::string> flags);

/// A command's own valued options plus the residual search's --range S-E
/// (absolute sectors, inclusive: only items whose first sector lies there).
std::vector<std::string> WithResidualOptions(std::vector<std::string> options);

/// Applies --skip-allocated, and runs the residual search when --residual
/// was given. Answers an exit
/// code: kUsage for --html, --doc or --search-loaded without --residual.
int ResidualArg(Env& env, const Args& args, OpenedVolume& opened);

/// The recycle item to name and list items under: null without --residual.
FileItem* FoundTop(const Args& args, OpenedVolume& opened);

}  // namespace delvora::cli
