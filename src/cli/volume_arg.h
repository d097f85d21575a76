#pragma once
// Opens the volume a command names: SOURCE (a device name or an image path)
// and either -p N (the N-th partition row of that disk, from 0), --start S
// --type T, --virtual TYPE --start S with typed boot parameters, or nothing
// for a bare volume image recognised by its boot sector.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "disk/data_source.h"
#include "case/add_data.h"
#include "disk/disk_scan.h"
#include "fs/volume.h"

namespace delvora::cli {

inline const std::vector<std::string> kVolumeOptions{"-p", "--start", "--type", "--virtual", "--param",
                                                      "--volume-start", "--set-start-cluster"};

struct OpenedVolume {
    std::unique_ptr<DataSource> source;
    std::unique_ptr<Volume> volume;
    uint8_t typeId = 0;
    uint64_t startSector = 0;
    uint64_t totalSectors = 0;
    // The volume refers to the source: destroy it first.
    ~OpenedVolume() { volume.reset(); }
};

/// A command's own value options plus the volume-choosing ones.
std::vector<std::string> WithVolumeOptions(std::vector<std::string> options);

/// How a volume on a source is chosen: a partition row, an explicit start
/// and type, or (neither) a bare volume image recognised by its boot sector.
struct VolumeChoice {
    std::optional<uint64_t> partition;
    std::optional<uint64_t> start;
    std::optional<uint64_t> type;
};

/// A source name as the device map resolves it; an existing file named by a
/// relative path becomes an absolute path (so a case reopens anywhere).
std::string SourceName(const Env& env, const std::string& text);

/// A SOURCE argument: a local device or image, or (nbd://, nbds://) a
/// device of a remote machine with the connection to it.
struct SourceArg {
    std::string device;  // the device map name, the path, or the remote export
    std::optional<RemoteChoice> remote;
};
/// Resolves a SOURCE, connecting to a remote machine (its messages shown).
/// Answers an exit code.
int ResolveSourceArg(Env& env, const std::string& text, SourceArg& out);
/// Gives source the kind, connection and path of a resolved SOURCE (a
/// remote one on a session of its own) and opens it. Answers 1 or 0.
int OpenSourceArg(const SourceArg& arg, DataSource& source);

/// Resolves a choice on a source into the row the add-data flow takes (type,
/// start, total sectors, source device, item name); remote is set for a
/// remote source. Answers an exit code; messages go to stderr.
int ResolveVolume(Env& env, const std::string& source, const VolumeChoice& choice, ChosenRow& row,
                  std::optional<RemoteChoice>* remote = nullptr);

/// Chooses the volume without loading it (source opened, type and extent
/// known). Answers an exit code; messages go to stderr.
int LocateVolumeArg(Env& env, const Args& args, OpenedVolume& out);

/// Locates and loads the volume's whole tree (with loadTree false only its
/// boot sector and tables: enough for its layout). Answers an exit code.
int OpenVolumeArg(Env& env, const Args& args, OpenedVolume& out, bool loadTree = true);


}  // namespace delvora::cli
