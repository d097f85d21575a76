#pragma once
// File names for recovered items: the names an item gets in the examiner's
// folders, which must never lead outside the folder they are written to.
#include <cstddef>
#include <string>
#include <string_view>

namespace delvora {

/// Longest file name most Linux file systems accept, in bytes.
inline constexpr size_t kMaxNameBytes = 255;

/// The export command's name: every byte below 0x22 (control characters,
/// space, '!') and every \ / : " < > | * ? is removed; bytes of multi-byte
/// characters stay. "a b!.txt" gives "ab.txt".
std::string ExportCommandName(std::string_view name);

/// The name one exported file gets: the export command's name fitted to
/// kMaxNameBytes; a name with nothing left after the cleaning (or only dots,
/// which would name a folder) falls back to SafeFileName.
std::string SingleExportName(std::string_view name);

/// A name that is safe as one component in the target folder: control bytes,
/// separators and the characters Windows file systems refuse become '_', a
/// name of nothing but dots (or nothing) becomes underscores, and the result
/// is fitted to kMaxNameBytes (FitName).
std::string SafeFileName(std::string_view name);

/// name + suffix within kMaxNameBytes: the stem is cut at a UTF-8 character
/// boundary and suffix and extension are kept ("stem" + suffix + ".ext"); a
/// leading dot alone does not start an extension, and an extension too long
/// to keep is cut with the rest. A name that fits is unchanged.
std::string FitName(std::string_view name, std::string_view suffix = {});

/// The n-th name for a clash: "name (n).ext", or "name (n)" without an
/// extension; a leading dot alone does not start an extension. The result
/// stays within kMaxNameBytes, the stem being cut at a character boundary.
std::string NumberedName(std::string_view safeName, unsigned n);

/// The text after the last '.' of a name; empty when it has none.
std::string_view ExtensionOf(std::string_view name);

/// The scratch copy's name: stem + "." + the item's extension made safe
/// ("a.%s", "web.%s"); just the stem when the item's name has no extension.
std::string TempCopyName(std::string_view stem, std::string_view itemName);

}  // namespace delvora
