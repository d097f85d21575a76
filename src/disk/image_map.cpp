#include "disk/image_map.h"

#include <sys/mman.h>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include "disk/data_source.h"

namespace delvora {

std::unique_ptr<ImageMap> ImageMap::Open(const DataSource& source) {
    const int fd = source.MappableFd();
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return nullptr;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    // A source that reports another size is not the file's bytes as they are.
    if (size != source.SizeBytes() || size > SIZE_MAX) return nullptr;
    void* data = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) return nullptr;
    ::madvise(data, static_cast<size_t>(size), MADV_SEQUENTIAL);
    return std::unique_ptr<ImageMap>(new ImageMap(static_cast<const uint8_t*>(data), size));
}

ImageMap::~ImageMap() { ::munmap(const_cast<uint8_t*>(m_pData), static_cast<size_t>(m_nSize)); }

ByteSpan ImageMap::Bytes(uint64_t offset, uint64_t count) const {
    if (offset >= m_nSize) return {};
    return ByteSpan(m_pData + offset, static_cast<size_t>(std::min(count, m_nSize - offset)));
}

ByteSpan ImageMap::WholeSectors(uint64_t sector, uint32_t sectorSize, uint64_t count) const {
    if (sectorSize == 0 || sector > m_nSize / sectorSize) return {};
    const uint64_t offset = sector * sectorSize;
    if (count > m_nSize - offset) return {};
    return ByteSpan(m_pData + offset, static_cast<size_t>(count));
}

bool ImageMap::Prefault(uint64_t offset, uint64_t count) const {
    if (offset >= m_nSize) return false;
    count = std::min(count, m_nSize - offset);
    const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t first = offset / page * page;
    // EFAULT/EIO: a page would raise SIGBUS (storage error, file cut short);
    // EINVAL: a kernel without MADV_POPULATE_READ, which cannot tell us that.
    return ::madvise(const_cast<uint8_t*>(m_pData) + first, static_cast<size_t>(offset + count - first),
                     MADV_POPULATE_READ) == 0;
}

void ImageMap::Drop(uint64_t offset, uint64_t count) const {
    if (offset >= m_nSize) return;
    count = std::min(count, m_nSize - offset);
    const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t first = offset / page * page;
    ::madvise(const_cast<uint8_t*>(m_pData) + first, static_cast<size_t>(offset + count - first), MADV_DONTNEED);
}

MappedPass::~MappedPass() {
    if (m_end > m_first) m_map.Drop(m_first, m_end - m_first);
}

ByteSpan MappedPass::WholeSectors(uint64_t sector, uint64_t count) {
    const ByteSpan bytes = m_map.WholeSectors(sector, m_sectorSize, count);
    if (bytes.empty()) return bytes;
    const uint64_t offset = sector * m_sectorSize;
    if (offset < m_first || offset + count > m_end) {
        constexpr uint64_t kWindow = 1 << 20;
        if (m_end > m_first) m_map.Drop(m_first, m_end - m_first);
        m_first = offset;
        m_end = offset + std::max(count, kWindow);
        if (!m_map.Prefault(m_first, m_end - m_first)) {
            // The caller reads the window instead, with the read path's notes.
            m_first = m_end = 0;
            return {};
        }
    }
    return bytes;
}

}  // namespace delvora
