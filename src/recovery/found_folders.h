#pragma once
// Putting found folders together: a lost folder whose cluster another found
// folder still lists (as a deleted sub-folder entry) is moved inside that
// entry, so the result shows the folders' old nesting.
#include <vector>

#include "fs/file_item.h"

namespace delvora {

/// Nests the found folders (each owning its children array) by cluster: for
/// each folder X from the last to the first, the last other folder Y whose
/// subtree (descending through directories) holds a directory item with X's
/// start cluster takes X's children after that item's own (sorted again);
/// X then leaves the list. The subtree includes what was moved into it
/// before, never X's own. Remaining folders keep their order. Parent fields
/// are left for the caller to relink. Memory: an index of the folders'
/// directory items.
void NestFoundFolders(std::vector<FileItem>& folders);

}  // namespace delvora
