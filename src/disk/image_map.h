#pragma once
// A read-only memory map of an image file, so that a long sequential scan
// reads the page cache without copying. Devices and remote sources are not
// mapped: they keep the read loop with its retries and zero-fill.
#include <cstdint>
#include <memory>

#include "common/bytes.h"

namespace delvora {

class DataSource;

class ImageMap {
public:
    /// Maps the source's image when it is a regular file of the size the
    /// source reports; null otherwise (the caller reads instead).
    static std::unique_ptr<ImageMap> Open(const DataSource& source);
    ~ImageMap();
    ImageMap(const ImageMap&) = delete;
    ImageMap& operator=(const ImageMap&) = delete;

    /// The bytes [offset, offset + count), cut at the image's end.
    ByteSpan Bytes(uint64_t offset, uint64_t count) const;
    /// The count bytes at sector (of the source's sector size) when all of
    /// them lie inside the image, else empty: a read of them would then
    /// succeed whole, so the mapped bytes stand for exactly what it gives.
    ByteSpan WholeSectors(uint64_t sector, uint32_t sectorSize, uint64_t count) const;
    /// Maps the pages of [offset, offset + count) in one go ahead of a
    /// pass over them, instead of one page fault at a time. False when the
    /// kernel could not: a page the file's storage fails to read would kill
    /// the process on first touch, so such a range is read instead.
    bool Prefault(uint64_t offset, uint64_t count) const;
    /// Unmaps the pages of [offset, offset + count) from this process; they
    /// stay in the page cache and map again when touched.
    void Drop(uint64_t offset, uint64_t count) const;

private:
    ImageMap(const uint8_t* data, uint64_t size) : m_pData(data), m_nSize(size) {}
    const uint8_t* m_pData;
    uint64_t m_nSize;
};

/// A pass over a mapped image in increasing offsets: pages ahead are mapped
/// a window at a time and pages behind dropped, so the process's resident
/// size stays one window however much the pass reads.
class MappedPass {
public:
    MappedPass(const ImageMap& map, uint32_t sectorSize) : m_map(map), m_sectorSize(sectorSize) {}
    ~MappedPass();
    MappedPass(const MappedPass&) = delete;
    MappedPass& operator=(const MappedPass&) = delete;
    /// As ImageMap::WholeSectors.
    ByteSpan WholeSectors(uint64_t sector, uint64_t count);

private:
    const ImageMap& m_map;
    uint32_t m_sectorSize;
    uint64_t m_first = 0, m_end = 0;  // the window now mapped
};

}  // namespace delvora
