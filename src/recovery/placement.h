#pragma once
// Corrections of where a loaded volume or item lies, made by the examiner
// in memory only: another first sector for a volume, another start cluster
// for an item. Nothing is written to the examined medium.
#include <cstdint>
#include <string>
#include <vector>

#include "fs/file_item.h"
#include "fs/volume.h"

namespace delvora {

/// Most bytes a start-cluster preview reads: enough to recognise a file.
inline constexpr uint32_t kPreviewBytes = 64 * 1024;

/// One row of the reference list: an item near the corrected one.
struct ReferenceRow {
    std::string name;
    uint32_t cluster = 0;
};

/// The item's parent when its start cluster is above 2, then every child of
/// the parent in stored order (the item among them), then every child of
/// the item.
std::vector<ReferenceRow> StartClusterReferences(const FileItem& item);

/// Empty when the cluster names something inside the volume, else why not.
std::string CheckStartCluster(const Volume& volume, uint64_t cluster);

/// Sets the item's start cluster to the trial value and reads its first
/// bytes (at most kPreviewBytes) from there. False when the volume cannot
/// give the item's runs or the read fails; bytes is then empty.
bool PreviewStartCluster(Volume& volume, FileItem& item, uint32_t cluster, std::vector<uint8_t>& bytes);

/// Moves a loaded volume to another first sector (512-byte units of its
/// source) after checking that the source reaches there. Empty on success,
/// else why not (the volume is then unchanged).
std::string MoveVolumeStart(Volume& volume, uint64_t sector);

}  // namespace delvora
