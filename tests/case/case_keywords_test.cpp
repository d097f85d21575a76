// Keywords kept in the case file after the item records: written only when
// they differ from a new case's, read back into a new case, ignored by a
// reader of the records alone, and refused whole when damaged.
#include <gtest/gtest.h>

#include "case/case_file.h"
#include "case/case_keywords.h"
#include "common/archive.h"
#include "support/recorders.h"

namespace delvora {
namespace {

std::unique_ptr<CaseItem> Keyword(const std::string& name, uint32_t type, const std::string& text) {
    auto keyword = std::make_unique<CaseItem>(name, node_kinds::kKeyword);
    keyword->number = type;
    keyword->text = text;
    return keyword;
}

std::vector<std::string> Describe(const CaseItem& group) {
    std::vector<std::string> out;
    std::vector<std::pair<const CaseItem*, int>> stack{{&group, -1}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth >= 0) out.push_back(std::string(depth, '>') + node->name + "|" + std::to_string(node->number) + "|" + node->text);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) stack.push_back({it->get(), depth + 1});
    }
    return out;
}

TEST(CaseKeywords, SavedKeywordsComeBackAndOldReadersStopBeforeThem) {
    test::RecordingContext rc;
    CaseWorkspace saved(rc.context);
    const std::vector<uint8_t> plain = SerializeCase(saved, 1);
    CaseItem* zip = saved.Keywords().AddChild(Keyword("压缩包", 2, "PK\\x03\\x04"));
    zip->AddChild(Keyword("中文", 1, "中"));
    saved.Keywords().AddChild(Keyword("empty name?", 0, ""));
    const std::vector<uint8_t> bytes = SerializeCase(saved, 1);
    ASSERT_GT(bytes.size(), plain.size());
    // The records come first, unchanged: a reader of the records alone sees a case without items.
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), bytes.begin()));

    CaseWorkspace opened(rc.context);
    EXPECT_EQ(SerializeCase(opened, bytes), 1);
    // The new case's own keyword is not doubled.
    EXPECT_EQ(Describe(opened.Keywords()), Describe(saved.Keywords()));
    EXPECT_EQ(SerializeCase(opened, 1), bytes);
    EXPECT_TRUE(rc.notifier.Texts().empty());
}

TEST(CaseKeywords, ADamagedSectionAddsNothing) {
    test::RecordingContext rc;
    CaseWorkspace saved(rc.context);
    saved.Keywords().AddChild(Keyword("a", 0, "b"))->AddChild(Keyword("c", 0, "d"));
    const std::vector<uint8_t> bytes = SerializeCase(saved, 1);
    const size_t sectionStart = SerializeCase(CaseWorkspace(rc.context), 1).size();
    for (size_t cut = sectionStart; cut < bytes.size(); ++cut) {
        CaseWorkspace opened(rc.context);
        EXPECT_EQ(SerializeCase(opened, std::span<const uint8_t>(bytes.data(), cut)), 1) << cut;
        EXPECT_EQ(opened.Keywords().children.size(), 1u) << cut;
    }
    // A child count that more nodes than bytes could hold.
    std::vector<uint8_t> absurd = bytes;
    absurd[sectionStart + 4] = 0xFF;
    CaseWorkspace opened(rc.context);
    EXPECT_EQ(SerializeCase(opened, absurd), 1);
    EXPECT_EQ(opened.Keywords().children.size(), 1u);
}

// Each keyword the only child of the one before: 32 levels read, deeper
// chains (up to 400,000 levels, whose tree once overflowed the stack when
// freed) are refused whole.
TEST(CaseKeywords, DeepNestingIsRefused) {
    test::RecordingContext rc;
    for (const auto& [depth, added] : {std::pair{32u, 1u}, std::pair{33u, 0u}, std::pair{400000u, 0u}}) {
        ArchiveWriter section;
        for (char c : std::string_view("KWD\x01", 4)) section.WriteU8(static_cast<uint8_t>(c));
        section.WriteU32(1);
        for (uint32_t level = 1; level <= depth; ++level) {
            section.WriteString("k");
            section.WriteU32(0);
            section.WriteString("t");
            section.WriteU32(level < depth ? 1 : 0);
        }
        std::vector<uint8_t> bytes = SerializeCase(CaseWorkspace(rc.context), 1);
        bytes.insert(bytes.end(), section.Bytes().begin(), section.Bytes().end());
        CaseWorkspace opened(rc.context);
        EXPECT_EQ(SerializeCase(opened, bytes), 1) << depth;
        EXPECT_EQ(opened.Keywords().children.size(), 1u + added) << depth;
    }
}

}  // namespace
}  // namespace delvora
