#pragma once
// Digests of exported data, fed chunk by chunk as it is written, so that a
// manifest never has to read a recovered file a second time. SHA-256 always
// (the manifest's own column); MD5 and SHA-1 on request. libcrypto computes
// them.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace delvora {

/// Bits of the digests a Hasher computes.
enum HashKind : unsigned { kHashSha256 = 1, kHashMd5 = 2, kHashSha1 = 4 };

/// Lower-case hexadecimal digests; empty for a kind not asked for (or one
/// libcrypto could not compute).
struct Digests {
    std::string sha256;
    std::string md5;
    std::string sha1;
};

class Hasher {
public:
    explicit Hasher(unsigned kinds = kHashSha256);
    ~Hasher();
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    unsigned Kinds() const { return m_kinds; }
    void Update(std::span<const uint8_t> bytes);
    /// The digests of everything fed since construction or the last Finish;
    /// the hasher then starts afresh.
    Digests Finish();

private:
    struct Contexts;
    unsigned m_kinds;
    std::unique_ptr<Contexts> m_contexts;
};

/// Reads a list such as "sha256,md5,sha1" (any order, any subset); false for
/// an empty list or an unknown name.
bool ParseHashKinds(std::string_view text, unsigned& kinds);

/// Lower-case hex text of bytes.
std::string HexText(std::span<const uint8_t> bytes);

}  // namespace delvora
