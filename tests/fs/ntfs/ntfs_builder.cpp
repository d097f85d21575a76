#include "ntfs_builder.h"

#include <cstring>

#include "common/bytes.h"

namespace delvora::test {
namespace {

void Put64(uint8_t* p, uint64_t v) {
    PutLe32(p, static_cast<uint32_t>(v));
    PutLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

Bytes ResidentAttribute(uint32_t type, const Bytes& content) {
    const uint32_t length = (0x18 + static_cast<uint32_t>(content.size()) + 7) / 8 * 8;
    Bytes a(length, 0);
    PutLe32(&a[0], type);
    PutLe32(&a[4], length);
    a[8] = 0;  // resident
    PutLe16(&a[0x0A], 0x18);
    PutLe32(&a[0x10], static_cast<uint32_t>(content.size()));
    PutLe16(&a[0x14], 0x18);
    std::memcpy(&a[0x18], content.data(), content.size());
    return a;
}

}  // namespace

Bytes StandardInformation(uint64_t time) { return StandardInformation(ItemTimes{time, time, time, time}); }

Bytes StandardInformation(const ItemTimes& times) {
    Bytes c(0x48, 0);
    Put64(&c[0x00], times.created);
    Put64(&c[0x08], times.modified);
    Put64(&c[0x10], times.changed);
    Put64(&c[0x18], times.accessed);
    c[0x20] = 0x20;  // archive
    return ResidentAttribute(0x10, c);
}

Bytes FileNameAttribute(uint32_t parent, const std::u16string& name, uint8_t nameSpace, uint64_t time) {
    Bytes c(0x42 + 2 * name.size(), 0);
    PutLe32(&c[0], parent);
    for (int i = 0; i < 4; ++i) Put64(&c[0x08 + 8 * i], time);
    c[0x40] = static_cast<uint8_t>(name.size());
    c[0x41] = nameSpace;
    for (size_t i = 0; i < name.size(); ++i) PutLe16(&c[0x42 + 2 * i], static_cast<uint16_t>(name[i]));
    return ResidentAttribute(0x30, c);
}

Bytes ResidentData(const Bytes& content) { return ResidentAttribute(0x80, content); }

Bytes NonResidentData(const Bytes& runList, uint64_t realSize, uint64_t firstVcn, uint64_t initialized) {
    const uint32_t length = (0x40 + static_cast<uint32_t>(runList.size()) + 7) / 8 * 8;
    Bytes a(length, 0);
    PutLe32(&a[0], 0x80);
    PutLe32(&a[4], length);
    a[8] = 1;
    PutLe16(&a[0x0A], 0x40);
    Put64(&a[0x10], firstVcn);
    PutLe16(&a[0x20], 0x40);
    Put64(&a[0x28], (realSize + 4095) / 4096 * 4096);
    Put64(&a[0x30], realSize);
    Put64(&a[0x38], initialized == UINT64_MAX ? realSize : initialized);
    std::memcpy(&a[0x40], runList.data(), runList.size());
    return a;
}

Bytes AttributeListBytes(const std::vector<ListEntry>& entries) {
    Bytes list;
    for (const ListEntry& e : entries) {
        Bytes entry(0x20, 0);
        PutLe32(&entry[0], e.type);
        PutLe16(&entry[4], 0x20);
        entry[7] = 0x1A;
        Put64(&entry[0x08], e.firstVcn);
        Put64(&entry[0x10], e.record);
        list.insert(list.end(), entry.begin(), entry.end());
    }
    return list;
}

Bytes ResidentAttributeList(const std::vector<ListEntry>& entries) {
    return ResidentAttribute(0x20, AttributeListBytes(entries));
}

Bytes MakeRecord(uint16_t flags, const std::vector<Bytes>& attributes, uint32_t recordBytes, bool withFixup,
                 uint64_t baseRecord) {
    Bytes r(recordBytes, 0);
    std::memcpy(&r[0], "FILE", 4);
    const uint16_t strides = static_cast<uint16_t>(recordBytes / 512);
    // Attributes follow the update-sequence array (0x38 for 1 KiB records).
    const uint16_t first = static_cast<uint16_t>((0x30 + 2 * (strides + 1) + 7) / 8 * 8);
    PutLe16(&r[4], 0x30);
    PutLe16(&r[6], static_cast<uint16_t>(strides + 1));
    PutLe16(&r[0x10], 1);
    PutLe16(&r[0x14], first);
    PutLe16(&r[0x16], flags);
    size_t offset = first;
    for (const Bytes& a : attributes) {
        if (offset + a.size() + 8 > recordBytes) break;
        std::memcpy(&r[offset], a.data(), a.size());
        offset += a.size();
    }
    PutLe32(&r[offset], 0xFFFFFFFF);
    PutLe32(&r[0x18], static_cast<uint32_t>(offset + 8));
    PutLe32(&r[0x1C], recordBytes);
    Put64(&r[0x20], baseRecord);
    if (withFixup) {
        PutLe16(&r[0x30], 1);  // sequence number
        for (uint16_t i = 0; i < strides; ++i) {
            r[0x32 + 2 * i] = r[i * 512 + 510];
            r[0x33 + 2 * i] = r[i * 512 + 511];
            PutLe16(&r[i * 512 + 510], 1);
        }
    }
    return r;
}

Bytes EncodeRuns(const std::vector<std::pair<uint64_t, uint64_t>>& runs) {
    Bytes out;
    int64_t previous = 0;
    for (const auto& [first, count] : runs) {
        if (first == kHole) {
            out.push_back(0x08);
            for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(count >> (8 * i)));
            continue;
        }
        const int64_t delta = static_cast<int64_t>(first) - previous;
        previous = static_cast<int64_t>(first);
        out.push_back(0x88);
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(count >> (8 * i)));
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(delta) >> (8 * i)));
    }
    out.push_back(0);
    return out;
}

Bytes NtfsImage::Build() const {
    Bytes image(totalSectors * bytesPerSector, 0);
    std::memcpy(&image[3], "NTFS    ", 8);
    PutLe16(&image[0x0B], static_cast<uint16_t>(bytesPerSector));
    image[0x0D] = static_cast<uint8_t>(sectorsPerCluster);
    Put64(&image[0x28], totalSectors);
    Put64(&image[0x30], mftRuns.empty() ? 0 : mftRuns[0].first);
    // Records of a cluster or more are counted in clusters, smaller ones as 2^-n bytes.
    if (recordBytes >= ClusterBytes()) {
        image[0x40] = static_cast<uint8_t>(recordBytes / ClusterBytes());
    } else {
        int shift = 0;
        while ((1u << shift) < recordBytes) ++shift;
        image[0x40] = static_cast<uint8_t>(256 - shift);
    }
    PutLe16(&image[510], 0xAA55);

    std::vector<std::pair<uint32_t, Bytes>> all;
    uint64_t mftBytes = 0;
    for (const auto& run : mftRuns) mftBytes += run.second * ClusterBytes();
    const auto has = [&](uint32_t n) {
        for (const auto& r : records)
            if (r.first == n) return true;
        return false;
    };
    if (!has(0))
        all.emplace_back(0, MakeRecord(1, {StandardInformation(), FileNameAttribute(5, u"$MFT"),
                                           NonResidentData(EncodeRuns(mftRuns), mftBytes)},
                                       recordBytes));
    if (!has(5))
        all.emplace_back(5, MakeRecord(3, {StandardInformation(), FileNameAttribute(5, u".")}, recordBytes));
    all.insert(all.end(), records.begin(), records.end());

    for (const auto& [number, bytes] : all) {
        uint64_t skip = uint64_t{number} * recordBytes;
        for (const auto& [first, count] : mftRuns) {
            const uint64_t runBytes = count * ClusterBytes();
            if (skip < runBytes) {
                const uint64_t at = first * ClusterBytes() + skip;
                if (at + bytes.size() <= image.size()) std::memcpy(&image[at], bytes.data(), bytes.size());
                break;
            }
            skip -= runBytes;
        }
    }
    for (const auto& [offset, bytes] : data)
        if (offset + bytes.size() <= image.size()) std::memcpy(&image[offset], bytes.data(), bytes.size());
    return image;
}

namespace {

void Load(LoadedNtfs& l, uint32_t startSector) {
    NtfsVolume& v = l.volume;
    v.SetContext(l.rc.context);
    v.SetDataSource(&l.source);
    v.SetStartSector(startSector);
    v.SetTotalSectors(l.source.SizeBytes() / 512 - startSector);
    l.prepared = v.Prepare();
    l.loaded = l.prepared && v.LoadTree();
    v.ReleaseLoadTables();
}

}  // namespace

std::unique_ptr<LoadedNtfs> LoadNtfs(const std::string& path, uint32_t startSector) {
    auto loaded = std::make_unique<LoadedNtfs>();
    loaded->source.SetKind(SourceKind::Device);
    loaded->source.SetPath(path);
    if (loaded->source.Open()) Load(*loaded, startSector);
    return loaded;
}

std::unique_ptr<LoadedNtfs> LoadNtfsBytes(Bytes image) {
    auto loaded = std::make_unique<LoadedNtfs>();
    loaded->image = std::move(image);
    if (loaded->source.OpenWithBackend(
            std::make_unique<BytesBackend>(loaded->image.data(), loaded->image.size())))
        Load(*loaded, 0);
    return loaded;
}

FileItem* ChildNamed(FileItem* folder, const std::string& name) {
    if (!folder) return nullptr;
    for (uint32_t i = 0; i < folder->childCount; ++i)
        if (folder->children[i].name && name == folder->children[i].name) return &folder->children[i];
    return nullptr;
}

}  // namespace delvora::test
