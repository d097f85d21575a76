#include "case/case_keywords.h"

#include <utility>

namespace delvora {
namespace {

constexpr uint8_t kSectionTag[4] = {'K', 'W', 'D', 1};
// A node is its name and text (one length byte each at least), its type
// and its child count: no count may promise more nodes than bytes allow.
constexpr size_t kMinNodeBytes = 10;
// Keywords nest a few levels at most; a deeper chain is damage, and the tree
// it would make is freed (and drawn) by walks as deep as it is.
constexpr size_t kMaxKeywordDepth = 32;

bool IsNewCaseDefault(const CaseItem& group) {
    if (group.children.size() != 1) return false;
    const CaseItem& only = *group.children[0];
    return only.name == "关键字1" && only.text == "MAIN" && only.number == 0 && only.children.empty();
}

std::unique_ptr<CaseItem> NewKeyword() {
    auto keyword = std::make_unique<CaseItem>(std::string(), node_kinds::kKeyword);
    keyword->SetImages(2, 3);
    return keyword;
}

}  // namespace

void WriteKeywordSection(ArchiveWriter& archive, const CaseItem& keywordGroup) {
    if (IsNewCaseDefault(keywordGroup)) return;
    for (uint8_t b : kSectionTag) archive.WriteU8(b);
    archive.WriteU32(static_cast<uint32_t>(keywordGroup.children.size()));
    // Pre-order with an explicit stack; the tree is this program's own, a
    // few levels deep, and every node is written once.
    std::vector<std::pair<const CaseItem*, size_t>> stack{{&keywordGroup, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->children.size()) {
            stack.pop_back();
            continue;
        }
        const CaseItem& child = *node->children[next++];
        archive.WriteString(child.name);
        archive.WriteU32(child.number);
        archive.WriteString(child.text);
        archive.WriteU32(static_cast<uint32_t>(child.children.size()));
        stack.push_back({&child, 0});
    }
}

bool ReadKeywordSection(ArchiveReader& archive, std::vector<std::unique_ptr<CaseItem>>& out) {
    out.clear();
    uint8_t tag[4] = {};
    if (!archive.ReadBytes(tag) || !std::equal(std::begin(tag), std::end(tag), std::begin(kSectionTag))) return false;
    uint32_t topCount = 0;
    if (!archive.ReadU32(topCount)) return false;
    auto fail = [&] {
        out.clear();
        return false;
    };
    // Each entry: a node still taking children and how many it awaits. Every
    // node read consumes bytes, and counts are checked against what is
    // left, so the loop ends with the input.
    CaseItem top;
    std::vector<std::pair<CaseItem*, uint32_t>> stack{{&top, topCount}};
    size_t budget = archive.Remaining() / kMinNodeBytes;
    if (topCount > budget) return fail();
    while (!stack.empty()) {
        auto& [parent, awaited] = stack.back();
        if (awaited == 0) {
            stack.pop_back();
            continue;
        }
        --awaited;
        std::unique_ptr<CaseItem> node = NewKeyword();
        uint32_t childCount = 0;
        if (!archive.ReadString(node->name) || !archive.ReadU32(node->number) || !archive.ReadString(node->text) ||
            !archive.ReadU32(childCount) || (node->number & 0xFF) > 3 || node->number > 0x1FFF || budget == 0)
            return fail();
        --budget;
        if (childCount > budget || (childCount > 0 && stack.size() >= kMaxKeywordDepth)) return fail();
        CaseItem* added = parent->AddChild(std::move(node));
        stack.push_back({added, childCount});
    }
    out = std::move(top.children);
    return true;
}

void MergeKeywords(CaseItem& keywordGroup, std::vector<std::unique_ptr<CaseItem>> keywords) {
    for (auto& keyword : keywords) {
        bool known = false;
        for (const auto& existing : keywordGroup.children)
            known = known || (existing->name == keyword->name && existing->number == keyword->number &&
                              existing->text == keyword->text);
        if (!known) keywordGroup.AddChild(std::move(keyword));
    }
}

}  // namespace delvora
