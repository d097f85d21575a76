#pragma once
// The residual search of every kind of volume: lost folders and entries on
// FAT, lost MFT records on NTFS, lost inodes on EXT2, and the carving of web
// pages and documents that goes with the FAT and NTFS scans. What is found
// replaces the previous results under the volume's recycle item ("回收站").
#include "fs/volume.h"
#include "recovery/residual_part.h"

namespace delvora {

class FatVolume;
class NtfsVolume;
class Ext2Volume;
class ExfatVolume;

/// Runs the search that fits the volume's kind over part. Answers the
/// search's result; false for a kind without one. Never throws.
bool RunResidualSearch(Volume& volume, const ResidualPart& part = {});

/// The FAT search: every cluster of the data area read in large sequential
/// blocks, each cluster that passes the directory-buffer check made a
/// "Folder %d" with its entries, the folders nested by cluster, the carved
/// "HTML" and "DOC" folders behind them, the FAT32-mark notices. False when
/// the volume was not loaded or memory fails (the previous results stay).
bool FatResidualSearch(FatVolume& volume, const ResidualPart& part = {});

/// The NTFS search: every record-size slot of the volume tested for a lost
/// MFT record, found records rebuilt into folders by parent reference.
bool NtfsResidualSearch(NtfsVolume& volume, const ResidualPart& part = {});

/// The EXT2 search: every inode of the inode tables not reached by the
/// load tested for a lost file, found ones in one folder "组%d" per group.
/// A group whose inode table lies outside the volume and an unreadable
/// chunk of a table are passed by; the rest is still searched.
bool Ext2ResidualSearch(Ext2Volume& volume, const ResidualPart& part = {});

/// The exFAT search: every cluster of the heap the load did not read as a
/// folder tested for entry sets whose checksums are right; each such
/// cluster made a "Folder %d" with its sets (all deleted, their data read
/// as a loaded item's), the folders nested by the first clusters their sets
/// name, the carved folders behind them.
bool ExfatResidualSearch(ExfatVolume& volume, const ResidualPart& part = {});

/// The progress pane after a search: bar reset, text cleared, "查找" in
/// the counts cell.
void EndSearchProgress(Progress& progress);

}  // namespace delvora
