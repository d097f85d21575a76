#pragma once
// The one place that knows every kind of volume: which partition type bytes
// each serves and how a bare volume image is recognised.
#include <cstdint>
#include <memory>
#include <span>

#include "fs/volume.h"

namespace delvora {

/// Volume class chosen by a partition type byte.
enum class VolumeClass { None, Fat, Ntfs, Ext2, Unknown, Exfat };

struct Classification {
    VolumeClass volumeClass = VolumeClass::None;
    uint8_t fatType = 0;  // 1 FAT12, 2 FAT16, 3 FAT32; 0 otherwise
};

/// 0x00 gives None, a byte outside the table Unknown.
Classification ClassifyTypeByte(uint8_t typeId);

/// Builds an empty volume of a class; null for None and Unknown, or when the
/// kind is not available.
std::unique_ptr<Volume> MakeVolume(VolumeClass volumeClass);

/// Recognises a bare volume from its first 64 KiB (boot sector or
/// superblock) and answers a partition type byte for it (0x01, 0x06, 0x0B,
/// 0x07, 0x83, or kExfatTypeId for exFAT), or 0 when nothing is recognised.
uint8_t RecogniseVolume(std::span<const uint8_t> head);

}  // namespace delvora
