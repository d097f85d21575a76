// carve --range: a file belongs to the part where its first sector lies and
// is carved whole from there, however far past the part it reaches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "cli/cli_run.h"
#include "support/nbd_server.h"

namespace delvora::test {
namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

const char* kMakeFiles = R"(
import random, sys, zipfile
from PIL import Image
random.seed(3)
out = sys.argv[1]
img = Image.new("RGB", (400, 300))
px = img.load()
for y in range(300):
    for x in range(400):
        px[x, y] = ((x * 5 + y) % 256, (y * 7) % 256, random.randint(0, 255))
img.save(out + "/a.jpg", quality=85)
img.save(out + "/b.png")
with zipfile.ZipFile(out + "/c.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(3):
        z.writestr("f%d.txt" % i, random.randbytes(30000).hex())
open(out + "/d.htm", "w").write("<html><title>Edge Page</title><body>" + "text " * 3000 + "</body></html>")
)";

// Rows of a manifest without the target path, which names the part's folder.
std::vector<std::string> Rows(const std::string& manifest) {
    std::vector<std::string> rows;
    std::istringstream lines(manifest);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        const size_t first = line.find(','), second = line.find(',', first + 1);
        rows.push_back(line.substr(0, first) + line.substr(second));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

TEST(CarveRange, PartsCarveEachFileOnceFromWhereItStarts) {
    if (RunShell("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_SKIP() << "python3-pil missing";
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("make.py"), std::vector<uint8_t>(kMakeFiles, kMakeFiles + strlen(kMakeFiles))));
    ASSERT_EQ(RunShell("/usr/bin/python3 " + Quote(dir.File("make.py")) + " " + Quote(dir.Path())), 0);
    const std::string img = dir.File("raw.img");
    // Each file placed so that it runs across a cut (cuts at 2000, 4000,
    // 6000, 9000), and one copy well inside a part.
    const struct {
        const char* file;
        uint64_t sector;
    } placed[] = {{"a.jpg", 1990}, {"b.png", 3950}, {"c.zip", 5900}, {"d.htm", 8990}, {"a.jpg", 12000}};
    std::string script = "truncate -s 8M " + Quote(img);
    for (const auto& p : placed)
        script += " && dd if=" + Quote(dir.File(p.file)) + " of=" + Quote(img) + " bs=512 seek=" +
                  std::to_string(p.sector) + " conv=notrunc status=none";
    ASSERT_EQ(RunShell(script), 0);
    const std::string types = " --raw --types jpg,png,zip --html";
    const CliResult whole = RunCli(dir, "carve " + Quote(img) + types + " --to " + Quote(dir.File("whole")) +
                                            " --manifest " + Quote(dir.File("whole.csv")));
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto wholeBytes = ReadFileBytes(dir.File("whole.csv"));
    const auto wholeRows = Rows(std::string(wholeBytes.begin(), wholeBytes.end()));
    ASSERT_EQ(wholeRows.size(), 5u);
    std::vector<std::string> partRows;
    const uint64_t cuts[] = {0, 2000, 4000, 6000, 9000, 16384};
    for (size_t i = 0; i + 1 < std::size(cuts); ++i) {
        const std::string part = dir.File("p" + std::to_string(i));
        const CliResult r = RunCli(dir, "carve " + Quote(img) + types + " --range " + std::to_string(cuts[i]) + "-" +
                                            std::to_string(cuts[i + 1] - 1) + " --to " + Quote(part) +
                                            " --manifest " + Quote(part + ".csv"));
        ASSERT_EQ(r.status, 0) << r.err;
        const auto bytes = ReadFileBytes(part + ".csv");
        const auto rows = Rows(std::string(bytes.begin(), bytes.end()));
        // Every file of the part starts in it.
        for (const std::string& row : rows) {
            const uint64_t first = std::stoull(row.substr(row.rfind(',', row.rfind(',') - 1) + 1));
            EXPECT_GE(first, cuts[i]) << row;
            EXPECT_LT(first, cuts[i + 1]) << row;
        }
        partRows.insert(partRows.end(), rows.begin(), rows.end());
    }
    std::sort(partRows.begin(), partRows.end());
    EXPECT_EQ(partRows, wholeRows);

    // A part read from a server (what a node without shared storage does)
    // carves what the same part of the image file does.
    if (!HaveTool("nbdkit")) return;
    const std::string map = "PHYSICALDRIVE0=" + img + "\n";
    ASSERT_TRUE(WriteFileBytes(dir.File("served.map"), {map.begin(), map.end()}));
    NbdServer server(dir, dir.File("served.map"));
    ASSERT_TRUE(server.Running());
    const CliResult remote = RunCli(dir, "carve nbd://" + server.Address() + "/PHYSICALDRIVE0" + types +
                                             " --range 4000-8999 --to " + Quote(dir.File("remote")) + " --json");
    const CliResult local = RunCli(dir, "carve " + Quote(img) + types + " --range 4000-8999 --to " +
                                            Quote(dir.File("local")) + " --json");
    ASSERT_EQ(remote.status, 0) << remote.err;
    EXPECT_EQ(remote.out, local.out);
    EXPECT_EQ(RunShell("diff -r " + Quote(dir.File("remote")) + " " + Quote(dir.File("local"))), 0);
}

}  // namespace
}  // namespace delvora::test
