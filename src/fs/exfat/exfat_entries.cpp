#include "fs/exfat/exfat_entries.h"

namespace delvora {

uint16_t ExfatSetChecksum(ByteSpan entries, uint32_t count) {
    uint16_t sum = 0;
    const size_t bytes = std::min(entries.size(), size_t{count} * kExfatEntryBytes);
    for (size_t i = 0; i < bytes; ++i) {
        if (i == 2 || i == 3) continue;
        uint8_t b = entries[i];
        if (i % kExfatEntryBytes == 0) b |= kExfatInUse;
        sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + b);
    }
    return sum;
}

ExfatSetFault DecodeExfatSet(ByteSpan dir, size_t offset, ExfatEntrySet& set) {
    const ByteSpan file = Slice(dir, offset, kExfatEntryBytes);
    if (file.size() < kExfatEntryBytes) return ExfatSetFault::BadCount;
    const bool inUse = file[0] & kExfatInUse;
    const uint32_t secondary = file[1];
    if (secondary < 2 || secondary > kExfatMaxSecondary) return ExfatSetFault::BadCount;
    const uint32_t entries = secondary + 1;
    if (!Has(dir, offset, size_t{entries} * kExfatEntryBytes)) return ExfatSetFault::BadCount;
    const ByteSpan all = dir.subspan(offset, size_t{entries} * kExfatEntryBytes);
    // A deleted set whose slots were partly taken again is not one set.
    for (uint32_t i = 1; i < entries; ++i) {
        const uint8_t type = all[i * kExfatEntryBytes];
        if (((type & kExfatInUse) != 0) != inUse || (type & 0x40) == 0) return ExfatSetFault::BadCount;
    }
    const ByteSpan stream = all.subspan(kExfatEntryBytes, kExfatEntryBytes);
    if ((stream[0] | kExfatInUse) != kExfatStreamEntry) return ExfatSetFault::NoStream;
    if (ExfatSetChecksum(all, entries) != Le16(file, 2)) return ExfatSetFault::BadChecksum;

    const uint32_t nameUnits = stream[3];
    const uint32_t nameEntries = (nameUnits + 14) / 15;
    if (nameUnits == 0 || nameEntries > secondary - 1) return ExfatSetFault::BadName;
    for (uint32_t i = 0; i < nameEntries; ++i)
        if ((all[(2 + i) * kExfatEntryBytes] | kExfatInUse) != kExfatNameEntry) return ExfatSetFault::BadName;

    set.offset = offset;
    set.entries = entries;
    set.inUse = inUse;
    set.attributes = Le16(file, 4);
    set.created = Le32(file, 8);
    set.modified = Le32(file, 12);
    set.accessed = Le32(file, 16);
    set.created10ms = file[20];
    set.modified10ms = file[21];
    set.createdUtcOffset = file[22];
    set.modifiedUtcOffset = file[23];
    set.accessedUtcOffset = file[24];
    set.streamFlags = stream[1];
    set.validLength = Le64(stream, 8);
    set.firstCluster = Le32(stream, 20);
    set.dataLength = Le64(stream, 24);
    set.nameUnits = nameUnits;
    for (uint32_t u = 0; u < nameUnits; ++u) {
        const size_t at = (2 + u / 15) * kExfatEntryBytes + 2 + (u % 15) * 2;
        set.name[u] = Le16(all, at);
    }
    return ExfatSetFault::None;
}

void WalkExfatDirectory(ByteSpan dir, const ExfatDirectoryVisitor& visitor) {
    ExfatEntrySet set;
    // Every step moves at least one entry forward, so the walk ends.
    for (size_t at = 0; at + kExfatEntryBytes <= dir.size();) {
        const uint8_t type = dir[at];
        if (type == kExfatEndOfDirectory) return;
        if ((type & 0x7F) == (kExfatFileEntry & 0x7F)) {
            const ExfatSetFault fault = DecodeExfatSet(dir, at, set);
            if (fault == ExfatSetFault::None) {
                if (visitor.onSet && !visitor.onSet(set)) return;
                at += size_t{set.entries} * kExfatEntryBytes;
                continue;
            }
            // Deleted entries are often half reused: only live faults count.
            if (visitor.onFault && (type & kExfatInUse)) visitor.onFault(at, fault);
        } else if ((type == kExfatBitmapEntry || type == kExfatUpcaseEntry || type == kExfatLabelEntry) &&
                   visitor.onVolumeEntry) {
            visitor.onVolumeEntry(type, dir.subspan(at, kExfatEntryBytes));
        }
        at += kExfatEntryBytes;
    }
}

uint16_t ExfatNameHash(const uint16_t* name, uint32_t units) {
    uint16_t hash = 0;
    for (uint32_t i = 0; i < units; ++i) {
        for (const uint8_t b : {static_cast<uint8_t>(name[i]), static_cast<uint8_t>(name[i] >> 8)})
            hash = static_cast<uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + b);
    }
    return hash;
}

uint32_t ExfatTableChecksum(ByteSpan bytes) {
    uint32_t sum = 0;
    for (const uint8_t b : bytes) sum = ((sum & 1) ? 0x80000000u : 0) + (sum >> 1) + b;
    return sum;
}

}  // namespace delvora
