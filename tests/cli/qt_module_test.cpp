// The command line keeps its Qt parts (script, pictures, English) in a module
// loaded on demand: other commands must not map Qt, and the module is found
// beside the program or where a package installs it.
#include <gtest/gtest.h>

#include "cli/cli_run.h"

namespace delvora::test {
namespace {

TEST(CliQtModule, TheProgramMapsNoQtLibrary) {
    std::string libraries;
    // What ldd shows: the libraries the loader maps before main runs.
    ASSERT_EQ(RunShell("LD_TRACE_LOADED_OBJECTS=1 " + std::string(DELVORA_CLI_PATH), &libraries), 0);
    EXPECT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
}

#ifdef DELVORA_CLI_QT_MODULE_PATH
TEST(CliQtModule, FoundBesideTheProgramOrInTheInstalledFolderElseSaid) {
    DELVORA_REQUIRE_TOOL("mkfs.fat");
    TempDir dir;
    const std::string image = dir.File("v.img");
    ASSERT_EQ(RunShell("truncate -s 40M '" + image + "' && mkfs.fat -F 16 '" + image + "' >/dev/null"), 0);
    const struct {
        const char* layout;
        std::string program;  // relative to dir
        std::string module;   // relative to dir; empty: none
    } cases[] = {
        {"beside", "beside/delvora-cli", "beside/delvora-cli-qt.so"},
        {"installed", "usr/bin/delvora-cli", std::string("usr/bin/") + DELVORA_QT_MODULE_DIR + "/delvora-cli-qt.so"},
        {"missing", "alone/delvora-cli", ""},
    };
    // A link, not a copy, where the file system allows: the program is large.
    auto place = [&](const std::string& from, const std::string& to) {
        const std::string target = dir.File(to);
        return RunShell("mkdir -p \"$(dirname '" + target + "')\" && { ln '" + from + "' '" + target + "' 2>/dev/null || cp '" +
                        from + "' '" + target + "'; }");
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        ASSERT_EQ(place(DELVORA_CLI_PATH, c.program), 0);
        if (!c.module.empty()) {
            ASSERT_EQ(place(DELVORA_CLI_QT_MODULE_PATH, c.module), 0);
        }
        const std::string program = dir.File(c.program);
        const std::string picture = dir.File(std::string(c.layout) + ".png");
        const std::string run = "{ " + program + " ";
        std::string script, map, chinese;
        const int scriptStatus = RunShell(run + "script --default 2>&1; }", &script);
        const int mapStatus = RunShell(run + "map '" + image + "' --png '" + picture + "' 2>&1; }", &map);
        const int langStatus = RunShell(run + "--lang en map '" + image + "' 2>&1 >/dev/null; }", &chinese);
        const auto png = ReadFileBytes(picture);
        if (c.module.empty()) {
            EXPECT_EQ(scriptStatus, 1);
            EXPECT_NE(script.find("delvora-cli: cannot load delvora-cli-qt.so"), std::string::npos) << script;
            // Said before any work: no rows, no picture.
            EXPECT_EQ(mapStatus, 1);
            EXPECT_EQ(map.find("FAT1"), std::string::npos) << map;
            EXPECT_TRUE(png.empty());
            // A language it cannot load is a note; the command still runs, in Chinese.
            EXPECT_EQ(langStatus, 0);
            EXPECT_NE(chinese.find("cannot load delvora-cli-qt.so"), std::string::npos) << chinese;
        } else {
            EXPECT_EQ(scriptStatus, 0) << script;
            EXPECT_NE(script.find("function main"), std::string::npos) << script;
            EXPECT_EQ(mapStatus, 0) << map;
            const std::vector<uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
            ASSERT_GE(png.size(), signature.size());
            EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));
        }
    }
}
#endif

}  // namespace
}  // namespace delvora::test
