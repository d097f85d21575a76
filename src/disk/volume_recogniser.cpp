#include "disk/volume_recogniser.h"

#include <atomic>

namespace delvora {
namespace {

std::atomic<VolumeRecogniser> s_recogniser{nullptr};

}  // namespace

void InstallVolumeRecogniser(VolumeRecogniser recogniser) { s_recogniser.store(recogniser); }

uint8_t RecogniseVolumeHead(std::span<const uint8_t> head) {
    const VolumeRecogniser recogniser = s_recogniser.load();
    return recogniser ? recogniser(head) : 0;
}

}  // namespace delvora
