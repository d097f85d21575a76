#include "cli/range_arg.h"

#include "common/text_format.h"

namespace delvora::cli {

int ReadRangeArg(const Args& args, uint64_t scanFirst, uint64_t scanEnd, std::optional<SectorRange>& range) {
    range.reset();
    const auto text = args.Value("--range");
    if (!text) return kOk;
    const size_t dash = text->find('-', 1);
    uint64_t first = 0, last = 0;
    if (dash == std::string::npos || !ParseNumber(text->substr(0, dash), first) ||
        !ParseNumber(text->substr(dash + 1), last))
        return Fail(kUsage, "--range takes FIRST-LAST sectors: " + *text);
    if (last < first) return Fail(kUsage, "--range: the last sector comes before the first: " + *text);
    if (first < scanFirst || last >= scanEnd)
        return Fail(kUsage, Format("--range %s leaves the sectors scanned, %llu-%llu", text->c_str(),
                                   static_cast<unsigned long long>(scanFirst),
                                   static_cast<unsigned long long>(scanEnd ? scanEnd - 1 : 0)));
    range = SectorRange{first, last + 1};
    return kOk;
}

}  // namespace delvora::cli
