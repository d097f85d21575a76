#include "fs/ext2/ext2_directory.h"

#include <algorithm>
#include <cstring>

namespace delvora {

namespace {

// Bytes a record with a name of n bytes needs: header and name, 4-aligned.
size_t RecordNeed(size_t n) { return (8 + n + 3) & ~size_t{3}; }

bool Wanted(const Ext2DirEntry& e, bool withType) {
    return (e.dwInode != 0 || e.deleted) && !e.name.empty() &&
           (withType ? e.type == kExt2TypeFile || e.type == kExt2TypeDirectory : e.type == 0) &&
           e.name != "." && e.name != "..";
}

// A deleted record must look like one the file system wrote: a known type,
// a name without '/' or NUL, a length that fits its name and the block.
bool PlausibleDeleted(ByteSpan block, size_t pos, size_t end, bool withType, Ext2DirEntry& e) {
    if (!Has(block, pos, 8)) return false;
    const uint32_t inode = Le32(block, pos);
    const size_t length = Le16(block, pos + 4);
    const size_t nameLength = withType ? Le8(block, pos + 6) : Le16(block, pos + 6);
    const uint8_t type = withType ? Le8(block, pos + 7) : 0;
    if (inode == 0 || nameLength == 0 || pos + RecordNeed(nameLength) > end) return false;
    if (length < RecordNeed(nameLength) || length % 4 != 0 || !Has(block, pos, length)) return false;
    if (withType && (type == 0 || type > 7)) return false;
    const std::string_view name(reinterpret_cast<const char*>(block.data() + pos + 8), nameLength);
    if (name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) return false;
    e = Ext2DirEntry{inode, type, name, true};
    return true;
}

/// The first offset in [from, end) of block whose byte is not zero; end when
/// there is none. The room past a folder's last record is mostly zeros,
/// which are looked at eight bytes at a time.
size_t FirstNonZero(ByteSpan block, size_t from, size_t end) {
    end = std::min(end, block.size());
    while (from + 8 <= end) {
        uint64_t word;
        std::memcpy(&word, block.data() + from, sizeof(word));
        if (word != 0) break;
        from += 8;
    }
    while (from < end && block[from] == 0) ++from;
    return std::min(from, end);
}

}  // namespace

bool ParseExt2DirectoryBlock(ByteSpan block, const std::function<bool(const Ext2DirEntry&)>& visit,
                             bool withType, bool scanDeleted) {
    size_t pos = 0;
    // Each step advances by a record length of at least 9, so the walk ends
    // within the block.
    while (Has(block, pos, 8)) {
        const uint32_t inode = Le32(block, pos);
        const uint32_t recordLength = Le16(block, pos + 4);
        const uint32_t nameLength = withType ? Le8(block, pos + 6) : Le16(block, pos + 6);
        const uint8_t type = withType ? Le8(block, pos + 7) : 0;
        if (recordLength < 9 || !Has(block, pos, recordLength) || 8 + nameLength > recordLength) break;
        const std::string_view name(reinterpret_cast<const char*>(block.data() + pos + 8), nameLength);
        // A first record of a block that was deleted keeps its name but
        // loses its inode number.
        const Ext2DirEntry record{inode, type, name, inode == 0};
        if (Wanted(record, withType) && !visit(record)) return false;
        // An index node of a hashed folder is a nameless record spanning the
        // block: its room holds index entries, not deleted records.
        const bool indexNode = inode == 0 && nameLength == 0 && pos == 0 && recordLength == block.size();
        if (scanDeleted && !indexNode) {
            const size_t end = pos + recordLength;
            // Steps of 4 bytes, or over a whole record found: ends at the
            // end of this record's room.
            for (size_t at = pos + RecordNeed(nameLength); at + 12 <= end;) {
                // A record with inode 0 is never taken: the places whose
                // inode field lies in a stretch of zeros are passed over.
                const size_t nonZero = FirstNonZero(block, at, end);
                at += (nonZero - at) / 4 * 4;
                if (at + 12 > end) break;
                Ext2DirEntry gone;
                if (PlausibleDeleted(block, at, end, withType, gone)) {
                    if (Wanted(gone, withType) && !visit(gone)) return false;
                    at += RecordNeed(gone.name.size());
                } else {
                    at += 4;
                }
            }
        }
        pos += recordLength;
    }
    return true;
}

bool ParseExt2InlineDirectory(ByteSpan blockField, ByteSpan extra,
                              const std::function<bool(const Ext2DirEntry&)>& visit, bool withType,
                              bool scanDeleted) {
    // The first four bytes name the parent folder: no record.
    if (blockField.size() > 4 && !ParseExt2DirectoryBlock(blockField.subspan(4), visit, withType, scanDeleted))
        return false;
    return extra.empty() || ParseExt2DirectoryBlock(extra, visit, withType, scanDeleted);
}

}  // namespace delvora
