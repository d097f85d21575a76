#pragma once
// What the records of one file say about it: the times and attributes of
// $STANDARD_INFORMATION, the unnamed $DATA (resident value, or pieces of
// runs by starting cluster number), its sizes, and where its $ATTRIBUTE_LIST
// is. A file whose attributes do not fit its base record keeps the rest in
// extension records that the list names. Functions here do no I/O.
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "fs/cluster_run_list.h"
#include "fs/volume.h"

namespace delvora {

namespace ntfs {
/// Bounds on what one file may make the reader hold: list bytes, extension
/// records followed, runs kept.
inline constexpr uint64_t kMaxListBytes = 1u << 20;
inline constexpr size_t kMaxExtensionRecords = 16384;
inline constexpr size_t kMaxRuns = size_t{1} << 22;
}  // namespace ntfs

/// The runs of one non-resident $DATA piece, from its first cluster number
/// inside the file (VCN).
struct NtfsDataPiece {
    uint64_t firstVcn = 0;
    ClusterRunList runs;
};

/// A name of a file (not a DOS name) with its parent folder's record.
struct NtfsNameFact {
    uint64_t parent = 0;
    std::string name;  // UTF-8
};

struct NtfsFileFacts {
    bool hasTimes = false;
    ItemTimes times;              // exact, from $STANDARD_INFORMATION
    uint32_t fileAttributes = 0;  // $STANDARD_INFORMATION's attribute bits
    bool hasData = false;         // the resident value or the piece at VCN 0 was seen
    bool resident = false;
    uint64_t size = 0;            // data size; resident: the value's bytes in the record
    uint64_t initialized = 0;     // bytes written; the rest of the size reads as zeros
    std::vector<uint8_t> residentValue;
    std::vector<NtfsDataPiece> pieces;
    size_t runCount = 0;          // runs in all pieces, bounded by kMaxRuns
    bool hasList = false;
    std::vector<uint8_t> listValue;  // a resident list
    ClusterRunList listRuns;         // a non-resident list
    uint64_t listSize = 0;
};

/// The value of a resident attribute at offset, clipped to the attribute and
/// the record (a length that claims more gives only the bytes there are).
ByteSpan ResidentValue(ByteSpan record, uint32_t offset);

/// True when the attribute at offset has no name.
inline bool IsUnnamedAttribute(ByteSpan record, uint32_t offset) { return Le8(record, offset + 9) == 0; }

/// Adds what one fixed-up record holds to facts: the first
/// $STANDARD_INFORMATION and unnamed $DATA value or VCN-0 piece seen win;
/// every unnamed non-resident piece is kept; names go to names when given.
/// The walk ends at the end marker, a length below 16 or the record's end.
void ReadFileAttributes(ByteSpan record, NtfsFileFacts& facts, std::vector<NtfsNameFact>* names);

/// The records other than base that an attribute list names for
/// $STANDARD_INFORMATION, $FILE_NAME or the unnamed $DATA: sorted, without
/// repeats, at most kMaxExtensionRecords.
std::vector<uint64_t> ListedRecords(ByteSpan list, uint64_t base);

/// Joins the pieces, ordered by first VCN, into one run list: a gap between
/// pieces becomes a hole, a piece overlapping what is already covered is
/// left out. At most kMaxClusters clusters in all.
void JoinPieces(std::vector<NtfsDataPiece>& pieces, ClusterRunList& runs);

}  // namespace delvora
