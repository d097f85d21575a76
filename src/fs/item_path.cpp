#include "fs/item_path.h"

namespace delvora {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

FileItem* FindChildByName(FileItem& folder, std::string_view name) {
    FileItem* found = nullptr;
    for (uint32_t i = 0; i < folder.childCount; ++i) {
        FileItem& child = folder.children[i];
        if (!child.name || !NameEqualsNoCase(child.name, name)) continue;
        if (!child.IsDeleted()) return &child;
        if (!found) found = &child;
    }
    return found;
}

bool NameEqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

FileItem* FindItemByPath(FileItem& top, std::string_view path, std::string (*decode)(std::string_view)) {
    FileItem* item = &top;
    size_t pos = 0;
    // Each pass consumes at least one character of path, so the walk ends.
    while (pos < path.size()) {
        if (IsSeparator(path[pos])) {
            ++pos;
            continue;
        }
        size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        const std::string_view component = path.substr(pos, end - pos);
        item = decode ? FindChildByName(*item, decode(component)) : FindChildByName(*item, component);
        if (!item) return nullptr;
        pos = end;
    }
    return item;
}

}  // namespace delvora
