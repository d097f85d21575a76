// Search results kept in a case file: a search from the command line adds
// a result folder, a new process reopens the case and finds every hit with
// its encoding and file again; a results section that lies about its size
// is left out with a message while the rest of the case loads.
#include <gtest/gtest.h>

#include <cstring>

#include "cli/cli_run.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

TEST(CaseResults, SurviveSavingAndReopeningInANewProcess) {
    for (const char* tool : {"mkfs.fat", "mcopy"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    TempDir dir;
    const std::string img = dir.File("fat.img"), wsh = dir.File("c.wsh");
    std::string mail = "From: li.wei@example.com\nTo: ops@corp.org\n";
    mail.resize(3000, ' ');
    ASSERT_TRUE(WriteFileBytes(dir.File("mail.txt"), {mail.begin(), mail.end()}));
    ASSERT_EQ(RunShell("truncate -s 16M '" + img + "' && mkfs.fat -F 16 '" + img + "' >/dev/null && mcopy -i '" + img +
                       "' '" + dir.File("mail.txt") + "' ::/"),
              0);
    ASSERT_EQ(RunCli(dir, "case save '" + wsh + "' '" + img + "'").status, 0);
    const CliResult search = RunCli(dir, "search '" + img + "' --kind regex --keyword '[a-z.]+@[a-z]+\\.(com|org)' " +
                                             "--case '" + wsh + "' --json");
    ASSERT_EQ(search.status, 0) << search.err;
    EXPECT_EQ(LineCount(search.out), 2u);

    const CliResult open = RunCli(dir, "case open '" + wsh + "' --json");
    ASSERT_EQ(open.status, 0) << open.err;
    const size_t at = open.out.find("{\"resultFolder\":\"[a-z.]+@[a-z]+\\\\.(com|org)  的查找结果\",\"hitCount\":2,");
    ASSERT_NE(at, std::string::npos) << open.out;
    const std::string folder = open.out.substr(at);
    EXPECT_NE(folder.find("\"encoding\":\"utf8\",\"file\":\"\\\\mail.txt\",\"fileFound\":true}"), std::string::npos)
        << folder;

    // Searching again replaces the folder instead of adding a second one.
    ASSERT_EQ(RunCli(dir, "search '" + img + "' --kind regex --keyword '[a-z.]+@[a-z]+\\.(com|org)' --case '" + wsh +
                              "'").status,
              0);
    const CliResult again = RunCli(dir, "case open '" + wsh + "' --json");
    size_t folders = 0;
    for (size_t p = again.out.find("resultFolder"); p != std::string::npos; p = again.out.find("resultFolder", p + 1))
        ++folders;
    EXPECT_EQ(folders, 1u);

    // The section claims a billion hits: refused by the bytes it has, the
    // items and keywords of the case still load.
    std::vector<uint8_t> bytes = ReadFileBytes(wsh);
    const uint8_t tag[4] = {'S', 'R', 'H', 1};
    auto found = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
    ASSERT_NE(found, bytes.end());
    size_t p = static_cast<size_t>(found - bytes.begin()) + 8;  // past the tag and the folder count
    auto u32 = [&](size_t i) { return uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 | uint32_t{bytes[i + 2]} << 16 | uint32_t{bytes[i + 3]} << 24; };
    p += 4 + u32(p);  // name
    p += 4;           // type
    p += 4 + u32(p);  // text
    const uint32_t billion = 1000000000;
    std::memcpy(bytes.data() + p, &billion, 4);
    ASSERT_TRUE(WriteFileBytes(wsh, bytes));
    const CliResult broken = RunCli(dir, "case open '" + wsh + "' --json");
    EXPECT_EQ(broken.status, 0) << broken.err;
    EXPECT_EQ(broken.out.find("resultFolder"), std::string::npos);
    EXPECT_NE(broken.out.find("\"files\":1"), std::string::npos) << broken.out;
    EXPECT_NE(broken.err.find("案件文件中的搜索结果不完整, 已略去"), std::string::npos) << broken.err;
}

}  // namespace
}  // namespace delvora::test
