#pragma once
// An in-memory disk for DiskDevice that can fail chosen sectors, as a bad
// disk does: a read that touches a failing sector fails whole (EIO).
#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "disk/block_backend.h"

namespace delvora::test {

class MemoryBackend final : public BlockBackend {
public:
    explicit MemoryBackend(std::vector<uint8_t> bytes, std::set<uint64_t> badSectors = {})
        : m_bytes(std::move(bytes)), m_bad(std::move(badSectors)) {}

    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override {
        ++reads;
        for (uint64_t s = offset / 512; s * 512 < offset + count; ++s)
            if (m_bad.count(s)) return EIO;
        if (offset > m_bytes.size() || count > m_bytes.size() - offset) return EIO;
        std::memcpy(buffer, m_bytes.data() + offset, count);
        return 0;
    }
    int reads = 0;

private:
    std::vector<uint8_t> m_bytes;
    std::set<uint64_t> m_bad;
};

/// count sectors where sector n is filled with the byte (n + 1) & 0xFF.
inline std::vector<uint8_t> NumberedSectors(size_t count) {
    std::vector<uint8_t> bytes(count * 512);
    for (size_t n = 0; n < count; ++n) std::memset(bytes.data() + n * 512, int((n + 1) & 0xFF), 512);
    return bytes;
}

}  // namespace delvora::test
