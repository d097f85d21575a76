#pragma once
// The analysis and export options of the case workspace. Every run starts
// from these values; the options page and the CLI may change them.
#include <string>
#include <vector>

namespace delvora {

struct AnalysisOptions {
    int searchLoadedFiles = 0;
    int ignoreZeroTime = 1;
    int ignoreZeroDate = 1;
    int ignoreFirstClusterNotParent = 0;
    int verifyDeletedFolders = 0;
    int searchHtml = 0;
    int searchDoc = 0;
    std::vector<std::string> ignoredNamePrefixes{"~", "$"};
    std::vector<std::string> excludedExtensions{"tmp"};
    int autoNameDuplicates = 1;
    /// The loading worker's pauses before a tree view is built, which give
    /// the window time to draw; a front end without a window turns them off.
    int treeViewPauses = 1;
    /// Code page of FAT short names and of ASCII keyword patterns.
    std::string codepage = "GBK";
    /// The carver's other types (carve_type bits beside HTML and DOC).
    unsigned carveTypes = 0;
    /// Carve only clusters no live item owns.
    int carveFreeOnly = 0;
    /// The largest gap, in clusters, a split JPEG or ZIP is tried over (0: none).
    int carveMaxGap = 64;
};

}  // namespace delvora
