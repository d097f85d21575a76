#pragma once
// Image files as sources: a raw image, or an evidence or virtual-machine
// container recognised by its first bytes (never by the file name). Each
// container kind is a BlockBackend that answers the media's bytes, so every
// reader above sees one flat disk.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/block_backend.h"

namespace delvora {

enum class ContainerKind : uint8_t { Raw, SplitRaw, Ewf, Vhd, Vhdx, Vmdk, Qcow2 };

/// Stable lower-case name ("raw", "split", "e01", "vhd", "vhdx", "vmdk", "qcow2").
const char* ContainerKindName(ContainerKind kind);

/// What a container says about the media it holds. Text fields are empty
/// when the container does not record them.
struct ContainerInfo {
    ContainerKind kind = ContainerKind::Raw;
    uint64_t mediaSize = 0;
    uint32_t bytesPerSector = 0;  // 0: the container does not say
    std::vector<std::string> files;  // every file read, first one first
    // Acquisition metadata (E01).
    std::string caseNumber;
    std::string evidenceNumber;
    std::string examiner;
    std::string description;
    std::string notes;
    std::string acquiredDate;
    std::string acquiredSoftware;
    std::string storedMd5;   // lower-case hex
    std::string storedSha1;  // lower-case hex
};

/// The container kind its first bytes (and, for VHD, its last 512 bytes)
/// announce; Raw when none. Does no I/O.
ContainerKind DetectContainer(std::span<const uint8_t> head, std::span<const uint8_t> tail);

/// Opens path read-only as a source: a container through its reader, a
/// split raw image from its first part, anything else as raw bytes.
/// On failure answers null with a one-line reason in error. info, when
/// given, receives what the container records.
std::unique_ptr<BlockBackend> OpenImageFile(const std::string& path, std::string& error,
                                            ContainerInfo* info = nullptr);

}  // namespace delvora
