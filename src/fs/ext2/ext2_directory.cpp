#include "fs/ext2/ext2_directory.h"

namespace delvora {

bool ParseExt2DirectoryBlock(ByteSpan block, const std::function<bool(const Ext2DirEntry&)>& visit,
                             bool withType) {
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
        const bool wanted = inode != 0 && nameLength != 0 &&
                            (!withType || type == kExt2TypeFile || type == kExt2TypeDirectory) && name != "." &&
                            name != "..";
        if (wanted && !visit(Ext2DirEntry{inode, type, name})) return false;
        pos += recordLength;
    }
    return true;
}

}  // namespace delvora
