#pragma once
// The analysis and export options of the case workspace. Every run starts
// from these values; the options page and the CLI may change them.
#include <span>
#include <string>
#include <vector>

namespace delvora {

struct AnalysisOptions {
    int searchLoadedFiles = 0;
    int ignoreZeroTime = 1;
    int ignoreZeroDate = 1;
    int ignoreFirstClusterNotParent = 0;
    int verifyDeletedFolders = 0;
    /// A deleted FAT file is read from its first cluster through the next
    /// free clusters, passing by those another item owns now, instead of
    /// consecutively.
    int skipAllocatedClusters = 0;
    int searchHtml = 0;
    int searchDoc = 0;
    std::vector<std::string> ignoredNamePrefixes{"~", "$"};
    std::vector<std::string> excludedExtensions{"tmp"};
    int autoNameDuplicates = 1;
    /// The loading worker's pauses before a tree view is built, which give
    /// the window time to draw; a front end without a window turns them off.
    int treeViewPauses = 1;
    /// Hits a result folder of the workstation keeps; the rest are counted.
    int maxResultHits = 1000000;
    /// Code page of FAT short names and of ASCII keyword patterns.
    std::string codepage = "GBK";
};

struct CoreContext;

/// An on/off option with the name the settings and log lines use.
struct OptionFlag {
    const char* key;
    int AnalysisOptions::*field;
};
/// Every on/off option of the record, in the order the options page shows them.
std::span<const OptionFlag> OptionFlags();

/// The options that differ from their start values, "name=value, ..."
/// (empty when none): a result never depends on a setting nobody sees.
std::string NonDefaultOptionsText(const AnalysisOptions& options);
/// Logs them as one line naming the work they apply to ("加载", "搜索",
/// "导出"); nothing when every option has its start value.
void LogNonDefaultOptions(const CoreContext& context, const char* work);

}  // namespace delvora
