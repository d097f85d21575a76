#include "fs/name_pool.h"

#include <cstring>

namespace delvora {

const char* NamePool::Add(std::string_view text) {
    std::lock_guard lock(m_mutex);
    const size_t need = text.size() + 1;
    if (need > kBlockBytes) {
        // Oversized names get a block of their own; the current block stays.
        auto block = std::make_unique<char[]>(need);
        std::memcpy(block.get(), text.data(), text.size());
        block[text.size()] = '\0';
        const char* stored = block.get();
        m_blocks.insert(m_blocks.end() - (m_blocks.empty() ? 0 : 1), std::move(block));
        return stored;
    }
    if (kBlockBytes - m_used < need) {
        m_blocks.push_back(std::make_unique<char[]>(kBlockBytes));
        m_used = 0;
    }
    char* dest = m_blocks.back().get() + m_used;
    std::memcpy(dest, text.data(), text.size());
    dest[text.size()] = '\0';
    m_used += need;
    return dest;
}

size_t NamePool::BlockCount() const {
    std::lock_guard lock(m_mutex);
    return m_blocks.size();
}

NamePool& NamePool::Global() {
    static NamePool s_pool;
    return s_pool;
}

}  // namespace delvora
