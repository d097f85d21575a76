#include "recovery/export_names.h"

#include <algorithm>

#include "common/codepage.h"

namespace delvora {
namespace {

constexpr std::string_view kWindowsReserved = "\\/:\"<>|*?";

bool AllDots(std::string_view name) { return name.find_first_not_of('.') == std::string_view::npos; }

}  // namespace

std::string ExportCommandName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x22 || kWindowsReserved.find(c) != std::string_view::npos) continue;
        out.push_back(c);
    }
    return out;
}

std::string SingleExportName(std::string_view name) {
    const std::string cleaned = ExportCommandName(name);
    if (cleaned.find_first_not_of('.') == std::string::npos) return SafeFileName(name);
    return FitName(cleaned);
}

std::string SafeFileName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        const bool bad = b < 0x20 || b == 0x7F || kWindowsReserved.find(c) != std::string_view::npos;
        out.push_back(bad ? '_' : c);
    }
    // "", "." and ".." would name the folder itself or its parent.
    if (AllDots(out)) out.assign(out.empty() ? 1 : out.size(), '_');
    return FitName(out);
}

std::string FitName(std::string_view name, std::string_view suffix) {
    size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string_view::npos) dot = name.size();
    std::string_view stem = name.substr(0, dot);
    std::string_view ext = name.substr(dot);
    if (ext.size() + suffix.size() >= kMaxNameBytes) {
        // An extension this long cannot be kept whole: cut the name itself.
        stem = name;
        ext = {};
    }
    const size_t room = kMaxNameBytes - std::min(suffix.size(), kMaxNameBytes - 1) - ext.size();
    std::string out = CutUtf8(stem, room);
    if (out.empty()) out = "_";
    out += suffix;
    out += ext;
    return out;
}

std::string NumberedName(std::string_view safeName, unsigned n) {
    return FitName(safeName, " (" + std::to_string(n) + ")");
}

std::string_view ExtensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

std::string TempCopyName(std::string_view stem, std::string_view itemName) {
    const std::string_view ext = ExtensionOf(itemName);
    if (ext.empty()) return std::string(stem);
    return SafeFileName(std::string(stem) + "." + std::string(ext));
}

}  // namespace delvora
