#pragma once
// Finding an item of a loaded tree by its path text, as users type it on the
// command line or in a script.
#include <string>
#include <string_view>

#include "fs/file_item.h"

namespace delvora {

/// ASCII case-insensitive equality of two names (FAT and NTFS names compare so).
bool NameEqualsNoCase(std::string_view a, std::string_view b);

/// The child of folder named name (compared as above); a live child wins over
/// deleted ones of the same name. Null when there is none.
FileItem* FindChildByName(FileItem& folder, std::string_view name);

/// The item at path below top: components separated by '/' or '\' (repeated
/// separators count once), "/" or "" alone is top itself. Names compare
/// ASCII case-insensitively and deleted items are found too; when several
/// children of one folder share a name, a live one wins over deleted ones.
/// Null when some component is missing. decode, when given, turns each
/// component's text into the name it stands for (escapes on the command line).
FileItem* FindItemByPath(FileItem& top, std::string_view path,
                         std::string (*decode)(std::string_view) = nullptr);

}  // namespace delvora
