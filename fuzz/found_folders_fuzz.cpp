// The nesting of found folders over folders the fuzzer's bytes describe:
// the first byte gives the folder count (1 to 16), then each folder (at
// clusters 2, 3, ... as the scan finds them) takes a byte for its child
// count (0 to 7), and each child a byte (bit 7: a folder, bits 0-4: its
// cluster) and, for folders, a byte for grandchildren (0 to 3) made the
// same way. Clusters are small, so
// that folders name one another often, in loops too. After the nesting
// every record is still there once, under a parent that points back at it,
// and freeing the result frees every array once.
#include <cstdint>
#include <vector>

#include "fs/file_tree.h"
#include "recovery/found_folders.h"

using namespace delvora;

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Next() { return at < size ? data[at++] : 0; }
};

FileItem Record(Reader& in, bool allowChildren, size_t& records) {
    static const char* const kNames[] = {"a", "B", "c", "A", "b"};
    const uint8_t byte = in.Next();
    FileItem item;
    item.name = kNames[byte % 5];
    item.flags = byte & 0x80 ? item_flags::kDeleted | item_flags::kDirectory : item_flags::kDeleted;
    item.startCluster = byte & 0x1F;
    ++records;
    if (allowChildren && item.IsDirectory()) {
        std::vector<FileItem> below;
        for (uint8_t k = in.Next() % 4; k > 0; --k) below.push_back(Record(in, false, records));
        if (!SetChildren(item, below)) __builtin_trap();
    }
    return item;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    std::vector<FileItem> folders;
    size_t records = 0;
    const uint32_t count = in.Next() % 16 + 1;
    for (uint32_t cluster = 2; cluster < count + 2; ++cluster) {
        FileItem folder;
        folder.name = "Folder";
        folder.flags = item_flags::kDeleted | item_flags::kDirectory;
        folder.startCluster = cluster;
        std::vector<FileItem> children;
        for (uint8_t k = in.Next() % 8; k > 0; --k) children.push_back(Record(in, true, records));
        if (!SetChildren(folder, children)) __builtin_trap();
        folders.push_back(folder);
    }
    const size_t before = folders.size();
    NestFoundFolders(folders);

    // Every record below the folders left, each reached through its parent.
    size_t counted = 0;
    std::vector<FileItem*> stack;
    for (FileItem& folder : folders) stack.push_back(&folder);
    // Each record is pushed once by its one parent: the walk ends.
    while (!stack.empty()) {
        FileItem* item = stack.back();
        stack.pop_back();
        for (uint32_t i = 0; i < item->childCount; ++i) {
            if (item->children[i].parent != item) __builtin_trap();
            ++counted;
            stack.push_back(&item->children[i]);
        }
    }
    if (folders.empty() || folders.size() > before || counted != records) __builtin_trap();
    for (FileItem& folder : folders) FreeSubtree(folder);
    return 0;
}
