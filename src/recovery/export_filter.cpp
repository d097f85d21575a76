#include "recovery/export_filter.h"

#include "fs/item_path.h"
#include "recovery/export_names.h"

namespace delvora {
namespace {

std::vector<std::string> SplitText(std::string_view text, bool dropDots) {
    std::vector<std::string> out;
    std::string piece;
    auto flush = [&] {
        if (!piece.empty()) out.push_back(piece);
        piece.clear();
    };
    for (char c : text) {
        if (c == ';') flush();
        else if (!(dropDots && c == '.')) piece.push_back(c);
    }
    flush();
    return out;
}

}  // namespace

bool HasExcludedExtension(std::string_view name, const std::vector<std::string>& extensions) {
    if (name.find('.') == std::string_view::npos) return false;
    const std::string_view ext = ExtensionOf(name);
    for (const auto& excluded : extensions)
        if (NameEqualsNoCase(ext, excluded)) return true;
    return false;
}

bool HasIgnoredPrefix(std::string_view name, const std::vector<std::string>& prefixes) {
    for (const auto& prefix : prefixes)
        if (!prefix.empty() && name.size() >= prefix.size() && NameEqualsNoCase(name.substr(0, prefix.size()), prefix))
            return true;
    return false;
}

std::vector<std::string> ParseExtensionText(std::string_view text) { return SplitText(text, true); }

std::vector<std::string> ParsePrefixText(std::string_view text) { return SplitText(text, false); }

std::string FormatExtensionText(const std::vector<std::string>& extensions) {
    std::string out;
    for (const auto& ext : extensions) out += "." + ext + ";";
    return out;
}

std::string FormatPrefixText(const std::vector<std::string>& prefixes) {
    std::string out;
    for (const auto& prefix : prefixes) out += prefix + ";";
    return out;
}

}  // namespace delvora
