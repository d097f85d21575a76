#pragma once
// How the command line names an item of a loaded volume: a PATH whose
// components may carry %XX escapes (%5C for a backslash inside a name, %2F
// for a slash, %25 for a percent sign), or --id N, the item's number as ls
// reports it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "fs/file_item.h"

namespace delvora::cli {

/// Decodes the %XX escapes (two hexadecimal digits) of one path component;
/// a '%' not followed by two hexadecimal digits stays as it is.
std::string DecodePathComponent(std::string_view text);

/// The item at path below top: components split at '/' and '\' first, then
/// decoded; otherwise as FindItemByPath. Null when some component is missing.
FileItem* FindItemArg(FileItem& top, std::string_view path);

/// Walks the tree below root depth-first, each folder's children in their
/// order, numbering the items 1, 2, ... (the root is 0) and handing each its
/// "\folder\name" path (separator: '/' for "/folder/name"); then, when
/// given, the recycle item itself ("\回收站") and what a search found below
/// it, numbered on. Stops early when visit answers false. The numbers are
/// the same for the same image loaded (and searched) with the same options.
void WalkNumbered(FileItem& root, const std::function<bool(FileItem&, uint64_t, const std::string&)>& visit,
                  char separator = '\\', FileItem* recycle = nullptr);

/// The item numbered id by WalkNumbered; null when there is none.
FileItem* FindItemById(FileItem& root, uint64_t id, FileItem* recycle = nullptr);

/// An item named on the command line: the text as given (a PATH or "--id N")
/// and the item, null when there is none.
struct NamedItem {
    std::string text;
    FileItem* item = nullptr;
};

/// The items named by the positionals from index first on, then by every
/// --id. With a recycle item, a path whose first component is its name
/// ("回收站") names what a search found. Answers an exit code: kUsage for an
/// --id that is not a number.
int NamedItems(const Args& args, size_t first, FileItem& root, std::vector<NamedItem>& out,
               FileItem* recycle = nullptr);

}  // namespace delvora::cli
