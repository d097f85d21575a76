#pragma once
// The nodes of the case tree that are neither data items nor volumes: the
// bookmark, keyword and search groups and what they hold. A node owns its
// children; the references to volumes and file items are not owned.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/translation.h"
#include "fs/item_ref.h"

namespace delvora {

/// Node kinds of the case tree.
namespace node_kinds {
inline constexpr uint8_t kDataItem = 1;
inline constexpr uint8_t kVolume = 2;
inline constexpr uint8_t kCase = 3;
inline constexpr uint8_t kBookmarkFolder = 4;
inline constexpr uint8_t kKeyword = 5;          // the keyword folder and each keyword
inline constexpr uint8_t kSearchFolder = 6;     // the search group and each result folder
inline constexpr uint8_t kBookmarkSubFolder = 7;
inline constexpr uint8_t kSearchHit = 9;
}  // namespace node_kinds

class CaseItem {
public:
    CaseItem() = default;
    CaseItem(std::string itemName, uint8_t itemKind) : name(std::move(itemName)), kind(itemKind) {}
    virtual ~CaseItem() = default;
    CaseItem(const CaseItem&) = delete;
    CaseItem& operator=(const CaseItem&) = delete;

    virtual uint8_t NodeKind() const { return kind; }

    /// Appends a child and answers it (null when child is null).
    CaseItem* AddChild(std::unique_ptr<CaseItem> child);
    void SetImages(uint32_t normal, uint32_t selected) {
        image = normal;
        selectedImage = selected;
    }
    /// The first child with this name, or null.
    CaseItem* FindChild(const std::string& childName) const;

    uint32_t number = 0;            // keyword type for a keyword
    std::string text;               // keyword text
    std::string hitText;            // context text of a search hit
    ItemRef hitFile;                // a search hit's volume and the file it lies in (none: no file)
    uint64_t position = 0;          // cluster or sector of a search hit
    uint32_t offset = 0;            // byte offset of a search hit
    uint64_t byteOffset = 0;        // a search hit's first byte on its volume's source
    std::string encoding;           // the encoding a search hit matched in
    std::string filePath;           // a reopened hit's file path, where its file was not found again
    std::string name;               // text shown in the tree
    std::vector<std::unique_ptr<CaseItem>> children;
    uint8_t kind = 0;
    uint32_t image = 0;
    uint32_t selectedImage = 0;
};

// The names are kept in case files as they stand; a window shows them
// translated (context "CaseItem").
inline constexpr const char* kBookmarksGroupName = TrNoop("CaseItem", "书签");
inline constexpr const char* kKeywordsGroupName = TrNoop("CaseItem", "关键字");
inline constexpr const char* kSearchGroupName = TrNoop("CaseItem", "搜索");

/// The root of a new case: "书签" (with "文本" and "图像"), "关键字" (with the
/// keyword "关键字1", text "MAIN", type 0) and "搜索", in this order.
std::unique_ptr<CaseItem> MakeCaseRoot();

}  // namespace delvora
