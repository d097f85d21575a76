#pragma once
// The name a carved file gets: its title from the content made safe for a
// folder, or "<TYPE> <first sector>.<ext>" when the title has nothing
// printable.
#include <cstdint>
#include <string>
#include <string_view>

namespace delvora {

/// The title cut at its first NUL or control character, trimmed, without
/// leading dots, at most 80 bytes of UTF-8, then ".ext". Empty when nothing
/// printable is left.
std::string TitleFileName(std::string_view title, std::string_view extension);

/// TitleFileName, or "<folder> <sector>.<ext>" in its place.
std::string CarvedFileName(std::string_view title, std::string_view folder, uint64_t sector,
                           std::string_view extension);

}  // namespace delvora
