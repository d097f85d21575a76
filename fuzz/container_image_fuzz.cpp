// Opens the fuzzer's bytes as an image file: container detection, the QCOW
// header check and the container libraries behind them, then a few reads.
// The first byte picks a signature to put in front, so every reader is
// reached without the fuzzer having to find its magic first.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "disk/container_image.h"
#include "disk/container_readers.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    using namespace std::string_view_literals;
    static constexpr std::string_view kMagics[] = {
        ""sv, "EVF\x09\x0d\x0a\xff\x00"sv, "QFI\xfb"sv, "vhdxfile"sv, "conectix"sv, "KDMV"sv,
        "# Disk DescriptorFile\n"sv};
    const std::string_view magic = kMagics[data[0] % std::size(kMagics)];
    std::vector<uint8_t> bytes(magic.begin(), magic.end());
    bytes.insert(bytes.end(), data + 1, data + size);
    std::string why;
    (void)CheckQcowHeader(bytes, bytes.size(), why);

    static const std::string folder = "/tmp/delvora-container-fuzz-" + std::to_string(getpid());
    static const bool made = (::mkdir(folder.c_str(), 0700), true);
    (void)made;
    const std::string path = folder + "/image.img";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    std::string error;
    ContainerInfo info;
    std::unique_ptr<BlockBackend> backend = OpenImageFile(path, error, &info);
    if (!backend) return 0;
    std::vector<uint8_t> buffer(65536);
    const uint64_t mediaSize = backend->Size();
    for (uint64_t offset : {uint64_t{0}, mediaSize / 2, mediaSize > buffer.size() ? mediaSize - buffer.size() : 0})
        (void)backend->ReadAt(buffer.data(), std::min<uint64_t>(buffer.size(), mediaSize - std::min(offset, mediaSize)),
                              offset);
    return 0;
}
