// cluster search and carve through stand-ins for sbatch and squeue that run
// the array at once: the splitting, retrying, checking and merging, without
// daemons.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "cli/cli_run.h"

namespace delvora::test {
namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// sbatch runs each task of --array in turn. FAIL_ONCE=<i> makes task i fail
// the first time; FAIL_ALWAYS=<i> every time; REFUSE=1 refuses the job.
constexpr const char* kFakeSbatch = R"(#!/bin/bash
if [ -n "$REFUSE" ]; then echo "sbatch: error: Batch job submission failed: Invalid partition name specified" >&2; exit 1; fi
for a in "$@"; do
  case "$a" in
    --array=*) array=${a#--array=} ;;
    --output=*) output=${a#--output=} ;;
    --chdir=*) chdir=${a#--chdir=} ;;
  esac
done
script="${@: -1}"
echo "$*" >> "$(dirname "$0")/sbatch.calls"
IFS=, read -ra ids <<< "$array"
for i in "${ids[@]}"; do
  if [ "$i" = "$FAIL_ALWAYS" ]; then continue; fi
  if [ "$i" = "$FAIL_ONCE" ] && [ ! -e "$(dirname "$0")/failed.$i" ]; then touch "$(dirname "$0")/failed.$i"; continue; fi
  (cd "$chdir" && SLURM_ARRAY_TASK_ID=$i sh "$script" > "${output//%a/$i}" 2>&1)
done
echo 4242
)";

class ClusterSearch : public ::testing::Test {
protected:
    void SetUp() override {
        m_bin = m_dir.File("bin");
        ASSERT_EQ(mkdir(m_bin.c_str(), 0755), 0);
        WriteTool("sbatch", kFakeSbatch);
        WriteTool("squeue", "#!/bin/sh\nexit 0\n");
        m_img = m_dir.File("raw.img");
        ASSERT_EQ(RunShell("truncate -s 8M " + Quote(m_img)), 0);
        // Hits across every edge of 4 parts (4096 sectors each) and inside them.
        for (uint64_t at : {4096u * 512 - 2, 8192u * 512 - 5, 12288u * 512 - 1, 1000u, 3000000u, 7000000u})
            ASSERT_TRUE(PatchFile(m_img, at, {'k', 'e', 'y', 'w', 'o', 'r', 'd'}));
    }
    void WriteTool(const std::string& name, const std::string& text) {
        const std::string path = m_bin + "/" + name;
        std::ofstream(path) << text;
        ASSERT_EQ(chmod(path.c_str(), 0755), 0);
    }
    CliResult WithEnv(const std::string& env, const std::string& args) {
        const std::string command = "env PATH=" + Quote(m_bin) + ":\"$PATH\" " + env + " " +
                                    std::string(DELVORA_CLI_PATH) + " cluster search " + Quote(m_img) +
                                    " --raw --keyword keyword " + args;
        CliResult r;
        const std::string outFile = m_dir.File(".out"), errFile = m_dir.File(".err");
        r.status = RunShell("{ " + command + " >" + Quote(outFile) + " 2>" + Quote(errFile) + "; }");
        const auto out = ReadFileBytes(outFile), err = ReadFileBytes(errFile);
        r.out.assign(out.begin(), out.end());
        r.err.assign(err.begin(), err.end());
        return r;
    }
    std::string Whole() {
        const CliResult r = RunCli(m_dir, "search " + Quote(m_img) + " --raw --keyword keyword --json");
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }
    std::string Read(const std::string& path) {
        const auto bytes = ReadFileBytes(path);
        return {bytes.begin(), bytes.end()};
    }

    TempDir m_dir;
    std::string m_bin, m_img;
};

TEST_F(ClusterSearch, MergeEqualsOneMachineAndFailedTaskIsRetriedOnce) {
    const std::string whole = Whole();
    ASSERT_EQ(LineCount(whole), 6u);
    const CliResult r = WithEnv("FAIL_ONCE=2", "--parts 4 --out " + Quote(m_dir.File("out")) + " --partition p1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read(m_dir.File("out/hits.jsonl")), whole);
    EXPECT_NE(r.err.find("delvora-cli: part 2 (sectors 8192-12287) failed, submitting it again"), std::string::npos)
        << r.err;
    // The first submission holds every part, the second only the failed one.
    const std::string calls = Read(m_bin + "/sbatch.calls");
    EXPECT_NE(calls.find("--array=0,1,2,3 "), std::string::npos) << calls;
    EXPECT_NE(calls.find("--array=2 "), std::string::npos) << calls;
    EXPECT_NE(calls.find("--partition=p1"), std::string::npos) << calls;
    EXPECT_EQ(LineCount(calls), 2u);
    EXPECT_TRUE(ReadFileBytes(m_dir.File("out/incomplete")).empty());
}

TEST_F(ClusterSearch, PartFailingTwiceLeavesAnIncompleteMerge) {
    const CliResult r = WithEnv("FAIL_ALWAYS=1", "--parts 4 --out " + Quote(m_dir.File("out")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("delvora-cli: part 1 (sectors 4096-8191) failed: no completion record"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("the merge is incomplete: 1 of 4 parts failed"), std::string::npos) << r.err;
    EXPECT_NE(Read(m_dir.File("out/incomplete")).find("part 1 sectors 4096-8191"), std::string::npos);
    // The others are merged: every hit but those that start in part 1.
    const std::string whole = Whole();
    std::string expected;
    for (size_t at = 0; at < whole.size();) {
        const size_t end = whole.find('\n', at) + 1;
        const std::string line = whole.substr(at, end - at);
        const uint64_t sector = std::stoull(line.substr(line.find("\"position\":") + 11));
        if (sector < 4096 || sector > 8191) expected += line;
        at = end;
    }
    EXPECT_EQ(LineCount(expected), 4u);
    EXPECT_EQ(Read(m_dir.File("out/hits.jsonl")), expected);
}

TEST_F(ClusterSearch, ChangedPartIsRefusedAtMerge) {
    const std::string out = m_dir.File("out");
    ASSERT_EQ(WithEnv("", "--parts 4 --out " + Quote(out)).status, 0);
    const std::string merge = "cluster merge --out " + Quote(out);
    ASSERT_EQ(RunCli(m_dir, merge).status, 0);
    // A hit line dropped from part 3, then a record moved to another part.
    ASSERT_EQ(RunShell("sed -i 1d " + Quote(out + "/parts/3.jsonl")), 0);
    CliResult r = RunCli(m_dir, merge);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("part 3 (sectors 12288-16383) failed: its file changed since the task wrote it"),
              std::string::npos)
        << r.err;
    ASSERT_EQ(RunShell("cp " + Quote(out + "/parts/0.done") + " " + Quote(out + "/parts/1.done")), 0);
    r = RunCli(m_dir, merge);
    EXPECT_NE(r.err.find("part 1 (sectors 4096-8191) failed: its record is for part 0, sectors 0-4095"),
              std::string::npos)
        << r.err;
    // Each hit of the parts still good (0 and 2) is there once.
    const std::string merged = Read(out + "/hits.jsonl");
    EXPECT_EQ(LineCount(merged), 3u) << merged;
}

TEST_F(ClusterSearch, BadRequestsAreToldClearly) {
    const std::string out = Quote(m_dir.File("out"));
    const struct {
        const char* env;
        std::string args;
        int status;
        const char* message;
    } cases[] = {
        {"", "--parts 0 --out " + out, 2, "delvora-cli: cluster needs --parts N, N at least 1\n"},
        {"", "--parts 16385 --out " + out, 1, "delvora-cli: --parts 16385: the search covers only 16384 sectors\n"},
        {"", "--parts 2", 2, "delvora-cli: cluster needs --out DIR\n"},
        {"REFUSE=1", "--parts 2 --out " + out, 1,
         "delvora-cli: Slurm refused the job: sbatch: error: Batch job submission failed: Invalid partition name "
         "specified\n"},
        {"", "--parts 2 --out " + out + " --csv", 2, "delvora-cli: cluster search writes hits.jsonl: no --case or --csv\n"},
    };
    for (const auto& c : cases) {
        RunShell("rm -rf " + out);
        const CliResult r = WithEnv(c.env, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.err, c.message) << c.args;
    }
    // Without Slurm's commands on PATH.
    const std::string command = "env PATH=/nonexistent " + std::string(DELVORA_CLI_PATH) + " cluster search " +
                                Quote(m_img) + " --raw --keyword keyword --parts 2 --out " + Quote(m_dir.File("o2"));
    std::string output;
    EXPECT_EQ(RunShell(command + " 2>&1", &output), 1);
    EXPECT_EQ(output, "delvora-cli: sbatch is not installed or not on PATH: cluster needs Slurm's commands on this "
                      "machine\n");
    // An output folder that already holds something is not reused.
    const CliResult again = WithEnv("", "--parts 2 --out " + Quote(m_dir.File("bin")));
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("is not empty: give a new folder for --out"), std::string::npos);
}

// A job Slurm never starts is not waited for without end: after the limit
// the job is cancelled and the command fails, saying so.
TEST_F(ClusterSearch, JobThatStaysPendingIsCancelledAfterTheLimit) {
    WriteTool("sbatch", "#!/bin/sh\necho 4242\n");
    WriteTool("squeue", "#!/bin/sh\nprintf 'PD\\nPD\\n'\n");
    WriteTool("scancel", "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/scancel.calls\"\n");
    const CliResult r = WithEnv("", "--parts 2 --pending-limit 1 --out " + Quote(m_dir.File("out")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("delvora-cli: job 4242 stayed pending for "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" s with no task running (--pending-limit): cancelled\n"), std::string::npos) << r.err;
    EXPECT_EQ(Read(m_bin + "/scancel.calls"), "4242\n");
    for (const char* bad : {"0", "x", "-3"}) {
        const CliResult usage = WithEnv("", std::string("--parts 2 --pending-limit ") + bad + " --out " +
                                                Quote(m_dir.File(std::string("o") + bad)));
        EXPECT_EQ(usage.status, 2) << bad;
        EXPECT_EQ(usage.err, "delvora-cli: --pending-limit takes the seconds a job may wait with no task running, at "
                             "least 1\n");
    }
}

// Builds carve.img (8 MiB) from files made by PIL and ps2pdf: pictures and
// a page across the cuts of 4 parts (4096 sectors each), and a stored ZIP
// whose member, the first half of a PDF, begins right on the cut at 8192.
// A carve from 8192 on takes that PDF (cut short, it runs on to its last
// object past the archive and over the picture behind it); the whole pass
// sees only the archive and then the picture.
const char* kMakeCarvable = R"(
import random, sys, zipfile
from PIL import Image
random.seed(9)
out = sys.argv[1]
img = Image.new("RGB", (320, 240))
px = img.load()
for y in range(240):
    for x in range(320):
        px[x, y] = ((x * 3 + y) % 256, (y * 5) % 256, random.randint(0, 255))
img.save(out + "/a.jpg", quality=85)
img.save(out + "/b.png")
jpg, png = open(out + "/a.jpg", "rb").read(), open(out + "/b.png", "rb").read()
page = ("<html><title>Across</title>" + "word " * 3000 + "</html>").encode()
pdf = open(out + "/p.pdf", "rb").read()
with zipfile.ZipFile(out + "/c.zip", "w", zipfile.ZIP_STORED) as z:
    z.writestr("n" * 482, pdf[:3000])
archive = open(out + "/c.zip", "rb").read()
assert archive[512:517] == b"%PDF-"
sectors = lambda data: (len(data) + 511) // 512
with open(out + "/carve.img", "wb") as f:
    f.truncate(8 << 20)
    def put(sector, data):
        f.seek(sector * 512)
        f.write(data)
        return sector + sectors(data)
    put(4090, jpg)
    after = put(put(8191, archive), jpg)
    put(after, pdf[3000:])
    put(12280, page)
    put(12400, png)
    put(14000, png)
)";

TEST_F(ClusterSearch, CarveMergeEqualsOneMachineAcrossEdges) {
    if (RunShell("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0 || !HaveTool("ps2pdf"))
        GTEST_SKIP() << "python3-pil or ps2pdf missing";
    std::string ps = "%!PS\n[ /Title (Field Notes) /DOCINFO pdfmark\n/Helvetica findfont 12 scalefont setfont\n";
    for (int i = 1; i <= 60; ++i)
        ps += "72 " + std::to_string(700 - i * 10) + " moveto (line " + std::to_string(i) +
              " of many words to fill the page with text) show\n";
    ps += "showpage 72 700 moveto (second page) show showpage\n";
    ASSERT_TRUE(WriteFileBytes(m_dir.File("p.ps"), {ps.begin(), ps.end()}));
    ASSERT_EQ(RunShell("ps2pdf -dCompressPages=false " + Quote(m_dir.File("p.ps")) + " " + Quote(m_dir.File("p.pdf"))),
              0);
    ASSERT_TRUE(WriteFileBytes(m_dir.File("make.py"), {kMakeCarvable, kMakeCarvable + std::strlen(kMakeCarvable)}));
    ASSERT_EQ(RunShell("/usr/bin/python3 " + Quote(m_dir.File("make.py")) + " " + Quote(m_dir.Path())), 0);
    const std::string img = m_dir.File("carve.img");
    const std::string types = " --raw --types jpg,png,zip,pdf --html --hash md5 --json";
    const std::string one = m_dir.File("one");
    const CliResult whole =
        RunCli(m_dir, "carve " + Quote(img) + types + " --to " + Quote(one + "/export") + " --manifest " +
                          Quote(m_dir.File("one.csv")));
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string out = m_dir.File("out");
    const std::string command = "env PATH=" + Quote(m_bin) + ":\"$PATH\" " + std::string(DELVORA_CLI_PATH) +
                                " cluster carve " + Quote(img) + types + " --parts 4 --out " + Quote(out);
    ASSERT_EQ(RunShell("{ " + command + " >" + Quote(m_dir.File("out.txt")) + " 2>" + Quote(m_dir.File("err")) + "; }"),
              0)
        << Read(m_dir.File("err"));
    const std::string err = Read(m_dir.File("err")), stdoutText = Read(m_dir.File("out.txt"));
    // The summary, the manifest (but where the files went) and the files.
    EXPECT_EQ(stdoutText, whole.out);
    std::string manifest = Read(out + "/manifest.csv");
    for (size_t at; (at = manifest.find(out + "/export")) != std::string::npos;)
        manifest.replace(at, out.size() + 7, one + "/export");
    EXPECT_EQ(manifest, Read(m_dir.File("one.csv")));
    // A picture, the archive and the picture behind it, the page, two PNGs.
    EXPECT_EQ(LineCount(manifest), 7u) << manifest;
    EXPECT_EQ(manifest.find("PDF"), std::string::npos) << manifest;
    EXPECT_EQ(RunShell("diff -r " + Quote(one + "/export") + " " + Quote(out + "/export")), 0);
    EXPECT_NE(err.find("part 2 (sectors 8192-12287): a file of the part before reaches into it"), std::string::npos)
        << err;
}

}  // namespace
}  // namespace delvora::test
