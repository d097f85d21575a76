#include "cli/item_arg.h"

#include <utility>
#include <vector>

#include "fs/item_path.h"

namespace delvora::cli {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string DecodePathComponent(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

FileItem* FindItemArg(FileItem& top, std::string_view path) {
    return FindItemByPath(top, path, DecodePathComponent);
}

void WalkNumbered(FileItem& root, const std::function<bool(FileItem&, uint64_t, const std::string&)>& visit,
                  char separator, FileItem* recycle) {
    // One path string serves the whole walk: depth first, an item's parent
    // is always on the current path, so each entry keeps the length of its
    // parent's path and the string is cut back to it. The loaded tree is
    // finite and acyclic, so the walk ends.
    std::vector<std::pair<FileItem*, size_t>> stack;
    if (recycle) stack.emplace_back(recycle, 0);
    for (uint32_t i = root.childCount; i-- > 0;) stack.emplace_back(&root.children[i], 0);
    std::string path;
    uint64_t id = 0;
    while (!stack.empty()) {
        const auto [item, parentLength] = stack.back();
        stack.pop_back();
        path.resize(parentLength);
        path += separator;
        path += item->name ? item->name : "";
        if (!visit(*item, ++id, path)) return;
        for (uint32_t i = item->childCount; i-- > 0;) stack.emplace_back(&item->children[i], path.size());
    }
}

FileItem* FindItemById(FileItem& root, uint64_t id, FileItem* recycle) {
    if (id == 0) return &root;
    FileItem* found = nullptr;
    WalkNumbered(
        root,
        [&](FileItem& item, uint64_t number, const std::string&) {
            if (number != id) return true;
            found = &item;
            return false;
        },
        '\\', recycle);
    return found;
}

namespace {

/// The path's item below the recycle item when its first component names
/// it; null otherwise.
FileItem* FindFoundItem(FileItem& recycle, std::string_view path) {
    const size_t start = path.find_first_not_of("/\\");
    if (start == std::string_view::npos) return nullptr;
    const size_t stop = path.find_first_of("/\\", start);
    const std::string first = DecodePathComponent(path.substr(start, stop == std::string_view::npos ? path.npos : stop - start));
    if (!recycle.name || first != recycle.name) return nullptr;
    return stop == std::string_view::npos ? &recycle : FindItemArg(recycle, path.substr(stop));
}

}  // namespace

int NamedItems(const Args& args, size_t first, FileItem& root, std::vector<NamedItem>& out, FileItem* recycle) {
    const auto& positional = args.Positional();
    for (size_t i = first; i < positional.size(); ++i) {
        FileItem* item = recycle ? FindFoundItem(*recycle, positional[i]) : nullptr;
        out.push_back({positional[i], item ? item : FindItemArg(root, positional[i])});
    }
    for (const auto& text : args.Values("--id")) {
        uint64_t id = 0;
        if (!ParseNumber(text, id)) return Fail(kUsage, "option --id: not a number: " + text);
        out.push_back({"--id " + text, FindItemById(root, id, recycle)});
    }
    return kOk;
}

}  // namespace delvora::cli
