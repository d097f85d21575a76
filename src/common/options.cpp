#include "common/options.h"

#include "common/reporting.h"
#include "common/text_format.h"
#include "common/translation.h"

namespace delvora {
namespace {

std::string JoinList(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += item + ";";
    return text;
}

constexpr OptionFlag kFlags[] = {
    {"searchLoadedFiles", &AnalysisOptions::searchLoadedFiles},
    {"ignoreZeroTime", &AnalysisOptions::ignoreZeroTime},
    {"ignoreZeroDate", &AnalysisOptions::ignoreZeroDate},
    {"ignoreFirstClusterNotParent", &AnalysisOptions::ignoreFirstClusterNotParent},
    {"verifyDeletedFolders", &AnalysisOptions::verifyDeletedFolders},
    {"skipAllocatedClusters", &AnalysisOptions::skipAllocatedClusters},
    {"searchHtml", &AnalysisOptions::searchHtml},
    {"searchDoc", &AnalysisOptions::searchDoc},
    {"autoNameDuplicates", &AnalysisOptions::autoNameDuplicates},
    {"carveFreeOnly", &AnalysisOptions::carveFreeOnly},
};

}  // namespace

std::span<const OptionFlag> OptionFlags() { return kFlags; }

std::string NonDefaultOptionsText(const AnalysisOptions& options) {
    const AnalysisOptions defaults;
    std::string text;
    auto add = [&text](const char* name, const std::string& value) {
        if (!text.empty()) text += ", ";
        text += name;
        text += '=';
        text += value;
    };
    for (const OptionFlag& flag : kFlags)
        if (options.*flag.field != defaults.*flag.field) add(flag.key, std::to_string(options.*flag.field));
    if (options.maxResultHits != defaults.maxResultHits) add("maxResultHits", std::to_string(options.maxResultHits));
    if (options.ignoredNamePrefixes != defaults.ignoredNamePrefixes)
        add("ignoredNamePrefixes", JoinList(options.ignoredNamePrefixes));
    if (options.excludedExtensions != defaults.excludedExtensions)
        add("excludedExtensions", JoinList(options.excludedExtensions));
    if (options.codepage != defaults.codepage) add("codepage", options.codepage);
    if (options.carveTypes != defaults.carveTypes) add("carveTypes", std::to_string(options.carveTypes));
    if (options.carveMaxGap != defaults.carveMaxGap) add("carveMaxGap", std::to_string(options.carveMaxGap));
    return text;
}

void LogNonDefaultOptions(const CoreContext& context, const char* work) {
    const std::string text = NonDefaultOptionsText(context.Options());
    if (!text.empty()) context.Logger().AppendLog(Format(Tr("Options", "%s所用的非默认选项: %s"), work, text.c_str()));
}

}  // namespace delvora
