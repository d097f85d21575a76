// cluster search on a real one-node Slurm cluster (scripts/slurm-local):
// a multi-GiB image in 8 parts gives the one-machine hits byte for byte,
// also when a task is killed mid-run and the source is served over NBD.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "support/nbd_server.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

// 3 GiB: 6291456 sectors, 786432 per part.
constexpr uint64_t kImageBytes = 3ull << 30;
constexpr uint64_t kPartSectors = kImageBytes / 512 / 8;

class SlurmCluster : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (geteuid() != 0) {
            s_skip = "the one-node cluster needs root";
            return;
        }
        for (const char* tool : {"slurmctld", "slurmd", "munged", "sbatch", "squeue"})
            if (!HaveTool(tool)) {
                s_skip = std::string(tool) + " missing";
                return;
            }
        // A cluster someone else started is used and left running.
        s_bStarted = RunShell("sinfo -h -N -o %T 2>/dev/null | grep -qE 'idle|mixed|alloc'") != 0;
        std::string output;
        if (RunShell("bash " + Quote(std::string(DELVORA_SOURCE_DIR) + "/scripts/slurm-local") + " start 2>&1",
                     &output) != 0) {
            s_skip = "slurm-local did not start: " + output;
            s_bStarted = false;
            return;
        }
        s_dir = new TempDir;
        s_img = s_dir->File("evidence.img");
        if (RunShell("truncate -s " + std::to_string(kImageBytes) + " " + Quote(s_img)) != 0) {
            s_skip = "cannot make the image";
            return;
        }
        // A keyword across part edges (starting 3 bytes before them) and
        // more at random places, in both encodings the search looks for.
        const std::string text = "confidential";
        // Even edges: the odd ones take pictures.
        for (uint64_t part = 2; part < 8; part += 2)
            PatchFile(s_img, part * kPartSectors * 512 - 3, {text.begin(), text.end()});
        std::mt19937_64 random(11);
        for (int i = 0; i < 300; ++i) {
            const std::string planted = i % 3 ? text : std::string("c\0o\0n\0f\0i\0d\0e\0n\0t\0i\0a\0l\0", 24);
            PatchFile(s_img, random() % (kImageBytes - 64), {planted.begin(), planted.end()});
        }
        // Pictures made by PIL across four edges, when PIL is there.
        s_bPictures = RunShell("/usr/bin/python3 -c " + Quote(
            "import random,sys\nfrom PIL import Image\nrandom.seed(5)\nimg=Image.new(\"RGB\",(320,240))\n"
            "px=img.load()\nfor y in range(240):\n for x in range(320): px[x,y]=(x%256,y%256,random.randint(0,255))\n"
            "img.save(sys.argv[1]+\"/a.jpg\",quality=85)\nimg.save(sys.argv[1]+\"/b.png\")\n") + " " + Quote(s_dir->Path())) == 0;
        for (uint64_t part = 1; s_bPictures && part < 8; part += 2)
            s_bPictures = RunShell("dd if=" + Quote(s_dir->File(part % 4 == 1 ? "a.jpg" : "b.png")) + " of=" +
                                   Quote(s_img) + " bs=512 seek=" + std::to_string(part * kPartSectors - 7) +
                                   " conv=notrunc status=none") == 0;
        std::string whole;
        if (RunShell(std::string(DELVORA_CLI_PATH) + " search " + Quote(s_img) + kKeywords + " 2>/dev/null", &whole) != 0) {
            s_skip = "the one-machine search failed";
            return;
        }
        s_whole = new std::string(whole);
    }
    static void TearDownTestSuite() {
        if (s_bStarted) RunShell("bash " + Quote(std::string(DELVORA_SOURCE_DIR) + "/scripts/slurm-local") + " stop");
        delete s_whole;
        delete s_dir;
        s_whole = nullptr;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_skip.empty()) GTEST_SKIP() << s_skip;
    }

    static constexpr const char* kKeywords = " --raw --json --keyword confidential --encodings gbk,utf16le";
    static inline std::string s_skip;
    static inline bool s_bStarted = false;
    static inline bool s_bPictures = false;
    static inline TempDir* s_dir = nullptr;
    static inline std::string s_img;
    static inline std::string* s_whole = nullptr;
};

TEST_F(SlurmCluster, EightPartsGiveTheOneMachineHits) {
    // Every edge keyword and most random ones.
    ASSERT_GT(std::count(s_whole->begin(), s_whole->end(), '\n'), 250);
    const std::string out = s_dir->File("eight");
    std::string output;
    ASSERT_EQ(RunShell(std::string(DELVORA_CLI_PATH) + " cluster search " + Quote(s_img) + kKeywords +
                           " --parts 8 --out " + Quote(out) + " 2>&1",
                       &output),
              0)
        << output;
    EXPECT_EQ(ReadText(out + "/hits.jsonl"), *s_whole);
    // Each edge keyword once, in the part where it starts.
    for (uint64_t part = 2; part < 8; part += 2) {
        const std::string offset = "\"byteOffset\":" + std::to_string(part * kPartSectors * 512 - 3) + ",";
        const std::string before = ReadText(out + "/parts/" + std::to_string(part - 1) + ".jsonl");
        const std::string after = ReadText(out + "/parts/" + std::to_string(part) + ".jsonl");
        EXPECT_NE(before.find(offset), std::string::npos) << part;
        EXPECT_EQ(after.find(offset), std::string::npos) << part;
    }
}

TEST_F(SlurmCluster, EightPartsCarveLikeOneMachine) {
    if (!s_bPictures) GTEST_SKIP() << "python3-pil missing";
    const std::string one = s_dir->File("carve-one"), out = s_dir->File("carve-eight");
    const std::string carve = std::string(DELVORA_CLI_PATH) + " carve " + Quote(s_img) + " --raw --types jpg,png --json";
    std::string whole, merged;
    ASSERT_EQ(RunShell(carve + " --to " + Quote(one + "/export") + " --manifest " + Quote(one + ".csv") +
                           " 2>/dev/null",
                       &whole),
              0)
        << whole;
    ASSERT_EQ(RunShell(std::string(DELVORA_CLI_PATH) + " cluster carve " + Quote(s_img) +
                           " --raw --types jpg,png --json --parts 8 --out " + Quote(out) + " 2>/dev/null",
                       &merged),
              0)
        << merged;
    EXPECT_EQ(merged, whole);
    EXPECT_NE(whole.find("\"carved\":4,"), std::string::npos) << whole;
    std::string manifest = ReadText(out + "/manifest.csv");
    for (size_t at; (at = manifest.find(out + "/export")) != std::string::npos;)
        manifest.replace(at, out.size() + 7, one + "/export");
    EXPECT_EQ(manifest, ReadText(one + ".csv"));
    EXPECT_EQ(RunShell("diff -r " + Quote(one + "/export") + " " + Quote(out + "/export")), 0);
}

TEST_F(SlurmCluster, KilledTaskIsSubmittedAgainOverNbd) {
    if (!HaveTool("nbdkit")) GTEST_SKIP() << "nbdkit missing";
    const std::string map = s_dir->File("served.map");
    ASSERT_TRUE(WriteFileBytes(map, std::vector<uint8_t>{}));
    const std::string line = "PHYSICALDRIVE0=" + s_img + "\n";
    ASSERT_TRUE(WriteFileBytes(map, {line.begin(), line.end()}));
    NbdServer server(*s_dir, map);
    ASSERT_TRUE(server.Running());
    const std::string out = s_dir->File("killed");
    const std::string rc = s_dir->File("killed.rc"), err = s_dir->File("killed.err");
    ASSERT_EQ(RunShell("{ " + std::string(DELVORA_CLI_PATH) + " cluster search nbd://" + server.Address() +
                       "/PHYSICALDRIVE0" + kKeywords + " --parts 8 --out " + Quote(out) + " >/dev/null 2>" +
                       Quote(err) + "; echo $? > " + Quote(rc) + "; } >/dev/null 2>&1 &"),
              0);
    // The first task seen running is killed; the job runs for well over the
    // time a task takes to show up.
    bool killed = false;
    for (int i = 0; i < 6000 && !killed && ReadFileBytes(rc).empty(); ++i) {
        std::string pid;
        // The bracket keeps the shell that runs pgrep from matching itself.
        RunShell("pgrep -o -f " + Quote("[c]luster task " + out + " "), &pid);
        if (!pid.empty() && pid.find_first_not_of("0123456789\n") == std::string::npos)
            killed = RunShell("kill -9 " + pid.substr(0, pid.find('\n'))) == 0;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(killed);
    for (int i = 0; i < 3000 && ReadFileBytes(rc).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ReadText(rc), "0\n") << ReadText(err);
    EXPECT_NE(ReadText(err).find("failed, submitting it again"), std::string::npos) << ReadText(err);
    EXPECT_EQ(ReadText(out + "/hits.jsonl"), *s_whole);
}

}  // namespace
}  // namespace delvora::test
