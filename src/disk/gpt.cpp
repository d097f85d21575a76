#include "disk/gpt.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "common/codepage.h"
#include "common/crc32.h"
#include "common/text_format.h"

namespace delvora {
namespace {

constexpr uint32_t kMinHeaderBytes = 92;
constexpr uint32_t kMinEntryBytes = 128;
// Notes beyond this many say only that more damage was found.
constexpr size_t kMaxNotes = 16;

struct Header {
    uint64_t myLba = 0;
    uint64_t firstUsable = 0;
    uint64_t lastUsable = 0;
    Guid diskGuid{};
    uint64_t entriesLba = 0;
    uint32_t entryCount = 0;
    uint32_t entryBytes = 0;
    uint32_t entriesCrc = 0;
};

struct TypeRow {
    const char* guid;
    const char* name;
    uint8_t typeByte;
};

constexpr TypeRow kTypes[] = {
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI system", 0xEF},
    {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft basic data", 0},
    {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved", 0},
    {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows recovery", 0x27},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem", 0},
    {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap", 0x82},
    {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM", 0x8E},
};

bool ParseHeader(std::span<const uint8_t> sector, uint64_t lba, Header& h, std::string& why) {
    if (!Has(sector, 0, kMinHeaderBytes) || std::memcmp(sector.data(), "EFI PART", 8) != 0) {
        why = "no \"EFI PART\" signature";
        return false;
    }
    const uint32_t headerBytes = Le32(sector, 12);
    if (headerBytes < kMinHeaderBytes || headerBytes > sector.size()) {
        why = Format("header size %u is out of range", headerBytes);
        return false;
    }
    std::vector<uint8_t> copy(sector.begin(), sector.begin() + headerBytes);
    std::memset(copy.data() + 16, 0, 4);
    if (Crc32(copy) != Le32(sector, 16)) {
        why = "header CRC mismatch";
        return false;
    }
    h.myLba = Le64(sector, 24);
    if (h.myLba != lba) {
        why = Format("header names itself LBA %llu", static_cast<unsigned long long>(h.myLba));
        return false;
    }
    h.firstUsable = Le64(sector, 40);
    h.lastUsable = Le64(sector, 48);
    std::memcpy(h.diskGuid.data(), sector.data() + 56, 16);
    h.entriesLba = Le64(sector, 72);
    h.entryCount = Le32(sector, 80);
    h.entryBytes = Le32(sector, 84);
    h.entriesCrc = Le32(sector, 88);
    // 128 times a power of two, as the format defines; anything else is damage.
    if (h.entryBytes < kMinEntryBytes || h.entryBytes % kMinEntryBytes != 0 ||
        ((h.entryBytes / kMinEntryBytes) & (h.entryBytes / kMinEntryBytes - 1)) != 0 ||
        h.entryBytes > kMaxGptArrayBytes) {
        why = Format("entry size %u is not 128 times a power of two", h.entryBytes);
        return false;
    }
    if (uint64_t{h.entryCount} * h.entryBytes > kMaxGptArrayBytes) {
        why = Format("%u entries of %u bytes exceed the %u-byte bound of an entry array", h.entryCount,
                     h.entryBytes, kMaxGptArrayBytes);
        return false;
    }
    return true;
}

void AddNote(GptTable& table, std::string text) {
    if (table.notes.size() < kMaxNotes) table.notes.push_back(std::move(text));
    else if (table.notes.size() == kMaxNotes) table.notes.push_back("further GPT damage not listed");
}

// Reads the header at lba and its entry array. False with why when either is unsound.
bool ReadAt(const DiskReader& read, uint64_t diskBytes, uint32_t ss, uint64_t lba, GptTable& table,
            std::string& why) {
    std::vector<uint8_t> sector(ss);
    if (diskBytes != 0 && (lba + 1 > diskBytes / ss)) {
        why = "header lies past the disk's end";
        return false;
    }
    if (!read(sector.data(), ss, lba * ss)) {
        why = "header unreadable";
        return false;
    }
    Header h;
    if (!ParseHeader(sector, lba, h, why)) return false;
    const uint64_t arrayBytes = uint64_t{h.entryCount} * h.entryBytes;
    const uint64_t diskLbas = diskBytes / ss;
    if (h.entriesLba > UINT64_MAX / ss ||
        (diskBytes != 0 && (h.entriesLba >= diskLbas || arrayBytes > (diskLbas - h.entriesLba) * ss))) {
        why = Format("entry array at LBA %llu lies outside the disk", static_cast<unsigned long long>(h.entriesLba));
        return false;
    }
    // Whole sectors, as a device reads them.
    std::vector<uint8_t> array((arrayBytes + ss - 1) / ss * ss);
    if (!array.empty() && !read(array.data(), static_cast<uint32_t>(array.size()), h.entriesLba * ss)) {
        why = "entry array unreadable";
        return false;
    }
    const ByteSpan entries(array.data(), static_cast<size_t>(arrayBytes));
    if (Crc32(entries) != h.entriesCrc) {
        why = "entry array CRC mismatch";
        return false;
    }

    table.sectorSize = ss;
    table.headerLba = lba;
    table.diskGuid = h.diskGuid;
    table.partitions.clear();
    for (uint32_t i = 0; i < h.entryCount; ++i) {
        const ByteSpan e = entries.subspan(size_t{i} * h.entryBytes, h.entryBytes);
        GptPartition p;
        std::memcpy(p.typeGuid.data(), e.data(), 16);
        if (p.typeGuid == Guid{}) continue;
        p.index = i;
        std::memcpy(p.partitionGuid.data(), e.data() + 16, 16);
        p.firstLba = Le64(e, 32);
        p.lastLba = Le64(e, 40);
        p.attributes = Le64(e, 48);
        std::string name = Utf16LeBytesToUtf8(e.subspan(56, 72));
        name.resize(std::min(name.size(), name.find('\0')));
        p.name = SanitizeUtf8(name);
        if (p.lastLba < p.firstLba) {
            AddNote(table, Format("GPT entry %u ends before it starts: left out", i + 1));
            continue;
        }
        if (diskLbas != 0 && p.firstLba >= diskLbas) {
            AddNote(table, Format("GPT entry %u starts at LBA %llu, past the disk's end: left out", i + 1,
                                  static_cast<unsigned long long>(p.firstLba)));
            continue;
        }
        // Kept: a cut-short image still holds the partition's first part.
        if (diskLbas != 0 && p.lastLba >= diskLbas)
            AddNote(table, Format("GPT entry %u runs past the disk's end", i + 1));
        else if (p.firstLba < h.firstUsable || p.lastLba > h.lastUsable)
            AddNote(table, Format("GPT entry %u lies outside the usable LBAs", i + 1));
        table.partitions.push_back(std::move(p));
    }
    std::vector<const GptPartition*> byStart;
    for (const auto& p : table.partitions) byStart.push_back(&p);
    std::sort(byStart.begin(), byStart.end(),
              [](const GptPartition* a, const GptPartition* b) { return a->firstLba < b->firstLba; });
    for (size_t k = 1; k < byStart.size(); ++k)
        if (byStart[k]->firstLba <= byStart[k - 1]->lastLba)
            AddNote(table, Format("GPT entries %u and %u overlap", byStart[k - 1]->index + 1, byStart[k]->index + 1));
    return true;
}

bool ReadWithSectorSize(const DiskReader& read, uint64_t diskBytes, uint32_t ss, GptTable& out, std::string& error) {
    GptTable table;
    std::string why;
    if (ReadAt(read, diskBytes, ss, 1, table, why)) {
        out = std::move(table);
        return true;
    }
    error = "GPT header at LBA 1: " + why;
    if (diskBytes / ss < 3) return false;
    const uint64_t last = diskBytes / ss - 1;
    GptTable backup;
    std::string backupWhy;
    if (!ReadAt(read, diskBytes, ss, last, backup, backupWhy)) {
        error += Format("; backup at LBA %llu: %s", static_cast<unsigned long long>(last), backupWhy.c_str());
        return false;
    }
    backup.notes.insert(backup.notes.begin(),
                        Format("GPT at LBA 1 damaged (%s); the backup header at LBA %llu is used", why.c_str(),
                               static_cast<unsigned long long>(last)));
    out = std::move(backup);
    return true;
}

bool SignatureAt(const DiskReader& read, uint64_t offset) {
    uint8_t sector[512] = {};
    return read(sector, sizeof sector, offset) && std::memcmp(sector, "EFI PART", 8) == 0;
}

}  // namespace

bool ReadGpt(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize, GptTable& out, std::string& error) {
    if (sectorSize != 0) {
        if (sectorSize < 512 || (sectorSize & (sectorSize - 1)) != 0) {
            error = Format("sector size %u is not a power of two from 512", sectorSize);
            return false;
        }
        return ReadWithSectorSize(read, diskBytes, sectorSize, out, error);
    }
    // A signature decides the order; with neither (a damaged primary) both
    // sizes look for a backup.
    const bool at4096 = !SignatureAt(read, 512) && SignatureAt(read, 4096);
    const uint32_t order[2] = {at4096 ? 4096u : 512u, at4096 ? 512u : 4096u};
    std::string firstError;
    for (uint32_t ss : order) {
        std::string attempt;
        if (ReadWithSectorSize(read, diskBytes, ss, out, attempt)) return true;
        if (firstError.empty()) firstError = attempt;
    }
    error = firstError;
    return false;
}

bool HasProtectiveEntry(std::span<const uint8_t> mbr) {
    for (size_t i = 0; i < 4; ++i)
        if (Le8(mbr, 446 + 16 * i + 4) == 0xEE) return true;
    return false;
}

std::string GuidText(const Guid& g) {
    const ByteSpan b(g);
    return Format("%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", Le32(b, 0), Le16(b, 4), Le16(b, 6), g[8], g[9],
                  g[10], g[11], g[12], g[13], g[14], g[15]);
}

std::string GptTypeName(const Guid& typeGuid) {
    const std::string text = GuidText(typeGuid);
    for (const auto& row : kTypes)
        if (text == row.guid) return row.name;
    return text;
}

uint8_t GptTypeByte(const Guid& typeGuid) {
    const std::string text = GuidText(typeGuid);
    for (const auto& row : kTypes)
        if (text == row.guid) return row.typeByte;
    return 0;
}

}  // namespace delvora
