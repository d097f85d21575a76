// The line that names the options a run uses that differ from their start
// values: a result never depends on a setting nobody sees.
#include <gtest/gtest.h>

#include "common/options.h"
#include "support/recorders.h"

namespace delvora {
namespace {

TEST(OptionsText, NamesOnlyWhatDiffersFromTheStartValues) {
    test::RecordingContext rc;
    EXPECT_EQ(NonDefaultOptionsText(rc.options), "");
    LogNonDefaultOptions(rc.context, "加载");
    EXPECT_TRUE(rc.log.Lines().empty());

    rc.options.skipAllocatedClusters = 1;
    rc.options.ignoreZeroTime = 0;
    rc.options.excludedExtensions = {"tmp", "bak"};
    rc.options.codepage = "BIG5";
    EXPECT_EQ(NonDefaultOptionsText(rc.options),
              "ignoreZeroTime=0, skipAllocatedClusters=1, excludedExtensions=tmp;bak;, codepage=BIG5");
    LogNonDefaultOptions(rc.context, "导出");
    ASSERT_EQ(rc.log.Lines().size(), 1u);
    EXPECT_EQ(rc.log.Lines()[0],
              "导出所用的非默认选项: ignoreZeroTime=0, skipAllocatedClusters=1, excludedExtensions=tmp;bak;, codepage=BIG5");
}

}  // namespace
}  // namespace delvora
