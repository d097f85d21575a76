#pragma once
// Lets the partition scan tell what a GPT partition holds (a GPT entry has
// no type byte) without the disk layer knowing the file systems: the volume
// registry above it installs its recogniser here.
#include <cstdint>
#include <span>

namespace delvora {

using VolumeRecogniser = uint8_t (*)(std::span<const uint8_t> head);

/// Installs the recogniser; the file-system layer does so once at start-up.
void InstallVolumeRecogniser(VolumeRecogniser recogniser);
/// The type byte of the volume whose first 64 KiB are head, 0 when nothing
/// is recognised or no recogniser is installed.
uint8_t RecogniseVolumeHead(std::span<const uint8_t> head);

}  // namespace delvora
