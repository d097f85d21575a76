#pragma once
// The store of every item name: large blocks, names packed one after the
// other, nothing freed singly. A returned pointer stays valid until the pool
// is destroyed (at program exit for the process-wide pool).
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace delvora {

class NamePool {
public:
    static constexpr size_t kBlockBytes = 65532;

    /// Stores bytes followed by a NUL and answers the stored copy. A string
    /// longer than a block gets a block of its own.
    const char* Add(std::string_view text);
    size_t BlockCount() const;

    /// The process-wide pool that item names live in.
    static NamePool& Global();

private:
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    size_t m_used = kBlockBytes;  // bytes used in the last block; full at start
};

}  // namespace delvora
