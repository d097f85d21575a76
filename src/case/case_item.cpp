#include "case/case_item.h"

namespace delvora {

CaseItem* CaseItem::AddChild(std::unique_ptr<CaseItem> child) {
    if (!child) return nullptr;
    children.push_back(std::move(child));
    return children.back().get();
}

CaseItem* CaseItem::FindChild(const std::string& childName) const {
    for (const auto& child : children)
        if (child->name == childName) return child.get();
    return nullptr;
}

std::unique_ptr<CaseItem> MakeCaseRoot() {
    using namespace node_kinds;
    auto root = std::make_unique<CaseItem>();

    auto make = [](const char* name, uint8_t kind, uint32_t image, uint32_t selected) {
        auto node = std::make_unique<CaseItem>(name, kind);
        node->SetImages(image, selected);
        return node;
    };

    CaseItem* bookmarks = root->AddChild(make(kBookmarksGroupName, kBookmarkFolder, 0, 1));
    bookmarks->AddChild(make(TrNoop("CaseItem", "文本"), kBookmarkSubFolder, 6, 7));
    bookmarks->AddChild(make(TrNoop("CaseItem", "图像"), kBookmarkSubFolder, 6, 7));

    CaseItem* keywords = root->AddChild(make(kKeywordsGroupName, kKeyword, 2, 3));
    CaseItem* first = keywords->AddChild(make(TrNoop("CaseItem", "关键字1"), kKeyword, 2, 3));
    first->number = 0;
    first->text = "MAIN";

    root->AddChild(make(kSearchGroupName, kSearchFolder, 4, 5));
    return root;
}

}  // namespace delvora
