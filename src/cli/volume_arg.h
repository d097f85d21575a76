#pragma once
// Opens the volume a command names: SOURCE (a device name or an image path)
// and either -p N (the N-th partition row of that disk, from 0), --start S
// --type T, or nothing for a bare volume image recognised by its boot sector.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "disk/data_source.h"
#include "fs/volume.h"

namespace delvora::cli {

inline const std::vector<std::string> kVolumeOptions{"-p", "--start", "--type"};

struct OpenedVolume {
    std::unique_ptr<DataSource> source;
    std::unique_ptr<Volume> volume;
    uint8_t typeId = 0;
    uint32_t startSector = 0;
    uint32_t totalSectors = 0;
    // The volume refers to the source: destroy it first.
    ~OpenedVolume() { volume.reset(); }
};

/// Chooses the volume without loading it (source opened, type and extent
/// known). Answers an exit code; messages go to stderr.
int LocateVolumeArg(Env& env, const Args& args, OpenedVolume& out);

/// Locates and loads the volume's whole tree. Answers an exit code.
int OpenVolumeArg(Env& env, const Args& args, OpenedVolume& out);

/// A command's own value options plus the volume-choosing ones.
std::vector<std::string> WithVolumeOptions(std::vector<std::string> options);

}  // namespace delvora::cli
