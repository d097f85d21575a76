#pragma once
// The steps of the carve command, shared with the cluster's carve: reading
// the options and locating the sectors, and exporting what was carved with
// its manifest and the closing summary.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "cli/range_arg.h"
#include "cli/volume_arg.h"
#include "recovery/sector_region_volume.h"

namespace delvora::cli {

struct CarveSetup {
    OpenedVolume opened;  // the source; its volume takes the region once scanned
    std::unique_ptr<SectorRegionVolume> region;
    std::optional<SectorRange> range;  // --range, absolute sectors
    unsigned hashKinds = 0;
};

/// Reads carve's options (all but --to and --manifest) and prepares the
/// region to carve: a whole source, a volume's sectors, or its free space;
/// --range narrows it to a part. Answers an exit code.
int PrepareCarve(Env& env, const Args& args, CarveSetup& setup);

/// Exports the files under the region's recycle item into target (and
/// the manifest when manifestPath is set), then prints carve's summary.
/// Answers an exit code.
int ExportCarved(Env& env, const Args& args, CarveSetup& setup, const std::string& target,
                 const std::optional<std::string>& manifestPath, uint64_t unreadableSectors);

}  // namespace delvora::cli
