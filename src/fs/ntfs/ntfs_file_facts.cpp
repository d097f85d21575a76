#include "fs/ntfs/ntfs_file_facts.h"

#include <algorithm>

#include "common/codepage.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"

namespace delvora {
namespace {

constexpr uint8_t kDosNamespace = 2;

void ReadStandardInformation(ByteSpan value, NtfsFileFacts& facts) {
    if (facts.hasTimes || value.size() < 0x24) return;
    facts.hasTimes = true;
    facts.times.created = Le64(value, 0x00);
    facts.times.modified = Le64(value, 0x08);
    facts.times.changed = Le64(value, 0x10);
    facts.times.accessed = Le64(value, 0x18);
    facts.fileAttributes = Le32(value, 0x20);
}

void ReadName(ByteSpan value, std::vector<NtfsNameFact>& names) {
    const size_t units = Le8(value, 0x40);
    if (!Has(value, 0x42, 2 * units) || Le8(value, 0x41) == kDosNamespace) return;
    names.push_back({Le64(value, 0) & ntfs::kReferenceMask, Utf16LeBytesToUtf8(value.subspan(0x42, 2 * units))});
}

void ReadNonResidentData(ByteSpan attribute, NtfsFileFacts& facts) {
    const uint64_t firstVcn = Le64(attribute, 0x10);
    if (firstVcn == 0 && !facts.hasData) {
        facts.hasData = true;
        facts.size = Le64(attribute, 0x30);
        facts.initialized = std::min(Le64(attribute, 0x38), facts.size);
    }
    if (facts.runCount >= ntfs::kMaxRuns) return;
    NtfsDataPiece piece;
    piece.firstVcn = firstVcn;
    DecodeRunList(Slice(attribute, Le16(attribute, 0x20), attribute.size()), piece.runs);
    facts.runCount += piece.runs.Size();
    facts.pieces.push_back(std::move(piece));
}

}  // namespace

ByteSpan ResidentValue(ByteSpan record, uint32_t offset) {
    const uint64_t length = Le32(record, offset + 4);
    const uint64_t end = length >= 0x18 && offset + length <= record.size() ? offset + length : record.size();
    const uint64_t start = uint64_t{offset} + Le16(record, offset + 0x14);
    if (start >= end) return {};
    return record.subspan(start, std::min<uint64_t>(Le32(record, offset + 0x10), end - start));
}

void ReadFileAttributes(ByteSpan record, NtfsFileFacts& facts, std::vector<NtfsNameFact>* names) {
    uint32_t offset = FirstAttributeOffset(record);
    if (offset == 0) return;
    // The offset grows by at least 16 each step and stays inside the record.
    while (Has(record, offset, 16)) {
        const uint32_t type = Le32(record, offset);
        const uint32_t length = Le32(record, offset + 4);
        if (type == ntfs::kEndOfAttributes || length < 16 || length > record.size() - offset) break;
        const ByteSpan attribute = record.subspan(offset, length);
        const bool nonResident = Le8(record, offset + 8) != 0;
        if (type == ntfs::kStandardInformation && !nonResident) {
            ReadStandardInformation(ResidentValue(record, offset), facts);
        } else if (type == ntfs::kAttributeList && !facts.hasList) {
            facts.hasList = true;
            if (nonResident) {
                DecodeRunList(Slice(attribute, Le16(attribute, 0x20), attribute.size()), facts.listRuns);
                facts.listSize = Le64(attribute, 0x30);
            } else {
                const ByteSpan value = ResidentValue(record, offset);
                facts.listValue.assign(value.begin(), value.end());
            }
        } else if (type == ntfs::kFileName && names && !nonResident) {
            ReadName(ResidentValue(record, offset), *names);
        } else if (type == ntfs::kData && IsUnnamedAttribute(record, offset)) {
            if (nonResident) {
                ReadNonResidentData(attribute, facts);
            } else if (!facts.hasData) {
                const ByteSpan value = ResidentValue(record, offset);
                facts.hasData = true;
                facts.resident = true;
                facts.size = facts.initialized = value.size();
                facts.residentValue.assign(value.begin(), value.end());
            }
        }
        offset += length;
    }
}

std::vector<uint64_t> ListedRecords(ByteSpan list, uint64_t base) {
    std::vector<uint64_t> records;
    size_t offset = 0;
    // Each entry is at least 0x1A bytes long; the walk ends at the list's end.
    while (Has(list, offset, 0x1A)) {
        const uint32_t type = Le32(list, offset);
        const uint32_t length = Le16(list, offset + 4);
        if (length < 0x1A) break;
        const bool wanted = type == ntfs::kStandardInformation || type == ntfs::kFileName ||
                            (type == ntfs::kData && Le8(list, offset + 6) == 0);
        const uint64_t record = Le64(list, offset + 0x10) & ntfs::kReferenceMask;
        if (wanted && record != base) records.push_back(record);
        offset += length;
    }
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    if (records.size() > ntfs::kMaxExtensionRecords) records.resize(ntfs::kMaxExtensionRecords);
    return records;
}

void JoinPieces(std::vector<NtfsDataPiece>& pieces, ClusterRunList& runs) {
    runs.Clear();
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const NtfsDataPiece& a, const NtfsDataPiece& b) { return a.firstVcn < b.firstVcn; });
    uint64_t covered = 0;
    for (const NtfsDataPiece& piece : pieces) {
        if (piece.firstVcn < covered || piece.firstVcn >= ntfs::kMaxClusters) continue;
        if (piece.firstVcn > covered) runs.Add(ntfs::kSparseRun, piece.firstVcn - covered);
        covered = piece.firstVcn;
        for (const ClusterRun& run : piece.runs) {
            const uint64_t count = std::min(run.count, ntfs::kMaxClusters - covered);
            if (count == 0) return;
            runs.Add(run.first, count);
            covered += count;
        }
    }
}

}  // namespace delvora
