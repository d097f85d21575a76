// The core's folders are layers: each includes only from itself and the
// layers below it (common < disk < fs < recovery, search < case; chart above fs;
// hashset above common only),
// never from above.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace delvora {
namespace {

TEST(Layering, CoreFoldersIncludeOnlyFromBelow) {
    const std::pair<std::string, std::set<std::string>> layers[] = {
        {"common", {"common"}},
        {"disk", {"common", "disk"}},
        {"fs", {"common", "disk", "fs"}},
        {"recovery", {"common", "disk", "fs", "recovery"}},
        {"search", {"common", "disk", "fs", "search"}},
        {"case", {"common", "disk", "fs", "recovery", "search", "hashset", "case"}},
        {"chart", {"common", "disk", "fs", "chart"}},
        {"hashset", {"common", "hashset"}},
    };
    const std::regex include(R"re(^\s*#\s*include\s+"([a-z_]+)/)re");
    for (const auto& [layer, allowed] : layers) {
        const std::filesystem::path dir = std::filesystem::path(DELVORA_SOURCE_DIR) / "src" / layer;
        ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path());
            std::string line;
            std::smatch match;
            while (std::getline(in, line)) {
                if (std::regex_search(line, match, include)) {
                    EXPECT_TRUE(allowed.count(match[1].str())) << entry.path().string() << ": " << line;
                }
            }
        }
    }
}

}  // namespace
}  // namespace delvora
