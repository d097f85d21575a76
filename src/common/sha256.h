#pragma once
// SHA-256 of exported data, fed chunk by chunk as it is written, so that a
// manifest never has to read a recovered file a second time.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace delvora {

class Sha256 {
public:
    Sha256() { Reset(); }
    void Reset();
    void Update(std::span<const uint8_t> bytes);
    /// The digest of everything fed since the last Reset; the object is
    /// reset afterwards.
    std::array<uint8_t, 32> Finish();
    /// Finish() as 64 lower-case hex digits.
    std::string FinishHex();

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> m_state{};
    std::array<uint8_t, 64> m_pending{};
    size_t m_pendingBytes = 0;
    uint64_t m_totalBytes = 0;
};

/// Lower-case hex text of bytes.
std::string HexText(std::span<const uint8_t> bytes);

}  // namespace delvora
