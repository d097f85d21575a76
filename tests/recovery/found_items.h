#pragma once
// What a residual search found, flattened so that runs over parts of a
// volume can be set against the whole search whatever the nesting.
#include <set>
#include <string>

#include "common/text_format.h"
#include "fs/file_tree.h"

namespace delvora::test {

/// Every item under the recycle item as "name|cluster|size|flags", the
/// lost folders left at the top ("Folder N") kept apart in tops: the whole
/// search nests some of them into the entries that name them.
struct FoundItems {
    std::multiset<std::string> items;
    std::set<uint32_t> tops;
};

inline FoundItems Flatten(FileItem& found) {
    FoundItems out;
    for (uint32_t i = 0; i < found.childCount; ++i) {
        FileItem& top = found.children[i];
        const bool lost = std::string(top.name).rfind("Folder ", 0) == 0;
        if (lost) out.tops.insert(top.startCluster);
        else out.items.insert(Format("%s|%u|%llu|%u", top.name, top.startCluster,
                                     static_cast<unsigned long long>(top.size), unsigned{top.flags}));
        ForEachBelow(top, [&](FileItem& item) {
            out.items.insert(Format("%s|%u|%llu|%u", item.name, item.startCluster,
                                    static_cast<unsigned long long>(item.size), unsigned{item.flags}));
            return true;
        });
    }
    return out;
}

}  // namespace delvora::test
