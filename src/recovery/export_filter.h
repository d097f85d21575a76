#pragma once
// Which files a folder export leaves out, and the option texts that list
// them (".tmp;" for extensions, "~;$;" for name prefixes).
#include <string>
#include <string_view>
#include <vector>

namespace delvora {

/// True when the name's extension (after its last '.') is one of the list,
/// ASCII case-insensitively. A name without an extension is never excluded.
bool HasExcludedExtension(std::string_view name, const std::vector<std::string>& extensions);

/// True when the name begins with one of the prefixes, ASCII case-insensitively.
bool HasIgnoredPrefix(std::string_view name, const std::vector<std::string>& prefixes);

/// The option text split at ';' with every '.' dropped and empty pieces
/// ignored: ".tmp;.bak", "tmp;bak" and "tmp;;.bak." all give {tmp, bak}.
std::vector<std::string> ParseExtensionText(std::string_view text);
/// The option text split at ';', empty pieces ignored.
std::vector<std::string> ParsePrefixText(std::string_view text);

/// Every extension as ".%s;", joined.
std::string FormatExtensionText(const std::vector<std::string>& extensions);
/// Every prefix as "%s;", joined.
std::string FormatPrefixText(const std::vector<std::string>& prefixes);

}  // namespace delvora
