// The order of a folder's children: folders first, then names compared byte
// by byte with ASCII letters folded.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fs/file_tree.h"
#include "fs/name_pool.h"

namespace delvora {
namespace {

// The order spelled out plainly: fold every byte, then compare.
bool ReferenceLess(const FileItem& a, const FileItem& b) {
    if (a.IsDirectory() != b.IsDirectory()) return a.IsDirectory();
    auto folded = [](const char* name) {
        std::string text(name);
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return std::vector<unsigned char>(text.begin(), text.end());
    };
    return folded(a.name) < folded(b.name);
}

TEST(FileTreeOrder, SortedChildrenMatchTheFoldedByteOrder) {
    const char* const names[] = {"file_000010.txt", "FILE_000010.TXT", "file_00001.txt", "File_000009.txt",
                                 "file_000010.txtx", "Zeta", "zeta", "alpha", "ALPHB", "_under", "[bracket",
                                 "中文名", "\xc3\xa9t\xc3\xa9", "a", "A", "b", "~tilde", "file_0000100.txt"};
    std::vector<FileItem> records;
    for (int pass = 0; pass < 2; ++pass)
        for (const char* name : names) {
            FileItem item = MakeItem(name);
            if (pass == 1) item.flags = item_flags::kDirectory;
            records.push_back(item);
        }
    std::vector<FileItem> want = records;
    std::stable_sort(want.begin(), want.end(), ReferenceLess);
    // Given in stored order, already sorted, and reversed.
    std::vector<FileItem> reversed(want.rbegin(), want.rend());
    for (const auto* input : {&records, &want, &reversed}) {
        FileTree tree;
        ASSERT_TRUE(SetChildren(tree.m_RootItem, *input));
        ASSERT_EQ(tree.m_RootItem.childCount, want.size());
        for (size_t i = 0; i + 1 < want.size(); ++i) {
            const FileItem& a = tree.m_RootItem.children[i];
            const FileItem& b = tree.m_RootItem.children[i + 1];
            EXPECT_FALSE(ReferenceLess(b, a)) << a.name << " before " << b.name;
            EXPECT_EQ(ChildLess(a, b), ReferenceLess(a, b)) << a.name << " / " << b.name;
            EXPECT_EQ(ChildLess(b, a), ReferenceLess(b, a)) << b.name << " / " << a.name;
            EXPECT_EQ(b.parent, &tree.m_RootItem);
        }
    }
}

}  // namespace
}  // namespace delvora
