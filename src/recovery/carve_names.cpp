#include "recovery/carve_names.h"

#include "common/codepage.h"
#include "common/text_format.h"

namespace delvora {
namespace {

constexpr size_t kMaxTitleBytes = 80;

}  // namespace

std::string TitleFileName(std::string_view title, std::string_view extension) {
    std::string text = SanitizeUtf8(title);
    // A control character ends the name: what follows is rarely part of it.
    size_t cut = 0;
    while (cut < text.size() && static_cast<unsigned char>(text[cut]) >= 0x20 && text[cut] != 0x7F) ++cut;
    text.resize(cut);
    // Path separators and characters no folder takes become spaces.
    for (char& c : text)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            c = ' ';
    size_t first = 0;
    while (first < text.size() && (text[first] == ' ' || text[first] == '.')) ++first;
    size_t last = text.size();
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '.')) --last;
    text = CutUtf8(std::string_view(text).substr(first, last - first), kMaxTitleBytes);
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
    if (text.empty()) return {};
    return text + "." + std::string(extension);
}

std::string CarvedFileName(std::string_view title, std::string_view folder, uint64_t sector,
                           std::string_view extension) {
    std::string name = TitleFileName(title, extension);
    if (!name.empty()) return name;
    return Format("%.*s %llu.%.*s", static_cast<int>(folder.size()), folder.data(),
                  static_cast<unsigned long long>(sector), static_cast<int>(extension.size()), extension.data());
}

}  // namespace delvora
