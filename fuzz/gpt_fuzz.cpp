// Reads a GPT from a disk made of the fuzzer's bytes, at either sector size
// and with the disk's size taken from the input (so the backup header and
// the bounds see both small and huge disks).
#include <cstdint>
#include <cstring>
#include <string>

#include "disk/gpt.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // First byte: low bits pick the sector size hint, the rest whether the
    // claimed disk size is the input's or far larger.
    const uint8_t control = data[0];
    ++data;
    --size;
    const uint32_t hints[] = {0, 512, 4096, 0};
    const uint64_t diskBytes = (control & 4) ? (uint64_t{1} << 40) : size;
    const DiskReader read = [data, size](uint8_t* buffer, uint32_t count, uint64_t offset) {
        std::memset(buffer, 0, count);
        if (offset >= size) return (offset / 512) % 2 == 0;  // past the input: zeros, or a failed read
        const size_t n = count < size - offset ? count : static_cast<size_t>(size - offset);
        std::memcpy(buffer, data + offset, n);
        return true;
    };
    GptTable table;
    std::string error;
    if (ReadGpt(read, diskBytes, hints[control & 3], table, error))
        for (const auto& p : table.partitions) (void)GptTypeName(p.typeGuid);
    return 0;
}
