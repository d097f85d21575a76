#pragma once
// The one way a command loads a volume from typed boot parameters:
// --virtual TYPE --start S [--param NAME=VALUE ...], NAME being a row label
// ("每簇扇区数") or its English field name ("sectorsPerCluster").
#include <cstdint>
#include <string>

#include "cli/cli.h"
#include "disk/volume_params.h"

namespace delvora::cli {

struct VirtualChoice {
    VirtualType type = VirtualType::Fat32;
    uint64_t startSector = 0;
    uint64_t sectorsPastStart = 0;   // of the source, from the start sector
    VolumeParamBlocks blocks;
};

/// Parses a type name (fat32, fat16, fat12, ntfs, ext2); a usage error otherwise.
int VirtualTypeArg(const std::string& text, VirtualType& type);

/// Opens the named source and reads the volume's parameter blocks at --start
/// (the pre-read), for a type. Answers an exit code.
int PreReadArg(Env& env, const std::string& source, const Args& args, VirtualType type, VirtualChoice& out);

/// The whole choice of --virtual: pre-read, the --param values over the
/// rows, the checks of finishing and sizes still 0 taken from the source.
int VirtualChoiceArg(Env& env, const std::string& source, const Args& args, VirtualChoice& out);

}  // namespace delvora::cli
