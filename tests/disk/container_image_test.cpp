// Evidence and virtual-machine containers made by their own tools from one
// raw disk must read exactly as that disk does, through every command.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "cli/cli_run.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::CliResult;
using test::RunCli;
using test::RunShell;
using test::TempDir;

constexpr uint64_t kRawSize = 64ull << 20;

// One raw disk with FAT16, EXT2 and NTFS partitions (3 MB of random bytes
// in each, so that the E01 needs several segments), and its copies in
// every container kind. Built once for the suite.
class Containers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"sfdisk", "mkfs.fat", "mcopy", "mke2fs", "mkntfs", "ntfscp", "ewfacquire",
                                 "qemu-img", "split", "fls", "icat"})
            if (!test::HaveTool(tool)) {
                s_missing = tool;
                return;
            }
        s_dir = new TempDir;
        const std::string script =
            "set -e; export MTOOLS_SKIP_CHECK=1; cd " + s_dir->Path() + ";"
            "head -c 3000000 /dev/urandom > big.bin; echo hello > hello.txt;"
            "truncate -s 64M raw.img;"
            "printf 'label: dos\\nstart=2048,size=30720,type=6\\nsize=40960,type=83\\nsize=40960,type=7\\n' | "
            "sfdisk -q raw.img;"
            "mkfs.fat -F 16 -C fat.img 15360 >/dev/null; mmd -i fat.img ::/docs;"
            "mcopy -i fat.img big.bin ::/docs/big.bin; mcopy -i fat.img hello.txt ::/hello.txt;"
            "mcopy -i fat.img hello.txt ::/gone.txt; mdel -i fat.img ::/gone.txt;"
            "mkdir -p tree/sub; cp big.bin tree/sub/big.bin; cp hello.txt tree/hello.txt;"
            "mke2fs -q -t ext2 -d tree -F e2.img 20M;"
            "truncate -s 20M nt.img; mkntfs -Q -F nt.img >/dev/null 2>&1; ntfscp -f nt.img big.bin big.bin >/dev/null;"
            "dd if=fat.img of=raw.img bs=512 seek=2048 conv=notrunc status=none;"
            "dd if=e2.img of=raw.img bs=512 seek=32768 conv=notrunc status=none;"
            "dd if=nt.img of=raw.img bs=512 seek=73728 conv=notrunc status=none;"
            "ewfacquire -u -t ev -C CASE-7 -E EV-1 -e 'Ann Examiner' -N 'seized 3pm' -S 4M -c fast -d sha1 raw.img "
            ">/dev/null 2>&1;"
            "qemu-img convert -O qcow2 raw.img d.qcow2; qemu-img convert -O vmdk raw.img d.vmdk;"
            "qemu-img convert -O vhdx raw.img d.vhdx; qemu-img convert -O vpc -o force_size=on raw.img d.vhd;"
            "split -b 10M -d -a 3 --numeric-suffixes=1 raw.img part.; split -b 24M raw.img cut.;"
            "printf 'PHYSICALDRIVE0=ev.E01\\n' > devices.map";
        std::string out;
        if (RunShell(script, &out) != 0) s_missing = "image tools failed: " + out;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_missing.empty()) GTEST_SKIP() << s_missing;
    }
    static std::string File(const std::string& name) { return s_dir->File(name); }
    static CliResult Cli(const std::string& args) { return RunCli(*s_dir, args); }

    static inline TempDir* s_dir = nullptr;
    static inline std::string s_missing;
};

struct Partition {
    int index;
    uint64_t start;
    const char* bigFile;
};
const Partition kPartitions[] = {{0, 2048, "/docs/big.bin"}, {1, 32768, "/sub/big.bin"}, {2, 73728, "/big.bin"}};

TEST_F(Containers, EveryKindListsAndReadsAsTheRawDisk) {
    const auto bytes = test::ReadFileBytes(File("big.bin"));
    const std::string big(bytes.begin(), bytes.end());
    std::string rawListings[3];
    for (const auto& p : kPartitions) {
        const CliResult r = Cli("--json ls " + File("raw.img") + " -p " + std::to_string(p.index));
        ASSERT_EQ(r.status, 0) << r.err;
        rawListings[p.index] = r.out;
    }
    EXPECT_NE(rawListings[0].find("_one.txt"), std::string::npos) << "the deleted entry is part of the comparison";

    struct Case {
        const char* source;
        const char* kind;
        size_t files;
    };
    const Case cases[] = {{"ev.E01", "e01", 3},     {"d.qcow2", "qcow2", 1}, {"d.vmdk", "vmdk", 1},
                          {"d.vhdx", "vhdx", 1},    {"d.vhd", "vhd", 1},     {"part.001", "split", 7},
                          {"cut.aa", "split", 3},   {"PHYSICALDRIVE0", "e01", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string source =
            std::string(c.source).starts_with("PHYSICAL") ? "--devices " + File("devices.map") + " " : "";
        const std::string name = source.empty() ? File(c.source) : c.source;
        const CliResult info = Cli(source + "--json info " + name);
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find(std::string("\"container\":\"") + c.kind + "\""), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\"mediaSize\":" + std::to_string(kRawSize) + ","), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\"scheme\":\"mbr\""), std::string::npos) << info.out;
        size_t files = 0;
        for (size_t at = info.out.find(".", info.out.find("\"files\":[")); at < info.out.find(']'); at = info.out.find("\",\"", at + 1))
            ++files;
        EXPECT_EQ(files, c.files) << info.out;
        for (const auto& p : kPartitions) {
            SCOPED_TRACE(p.index);
            const std::string pick = " -p " + std::to_string(p.index);
            const CliResult ls = Cli(source + "--json ls " + name + pick);
            EXPECT_EQ(ls.status, 0) << ls.err;
            EXPECT_EQ(ls.out, rawListings[p.index]);
            const CliResult cat = Cli(source + "cat " + name + pick + " " + p.bigFile);
            EXPECT_EQ(cat.status, 0) << cat.err;
            EXPECT_TRUE(cat.out == big) << cat.out.size() << " bytes";
        }
    }
}

// The Sleuth Kit reads the same E01: the same EXT2 names and the same bytes.
TEST_F(Containers, E01MatchesTheSleuthKit) {
    std::string fls;
    ASSERT_EQ(RunShell("fls -r -p -o 32768 " + File("ev.E01"), &fls), 0) << fls;
    std::set<std::string> theirs, ours;
    std::istringstream lines(fls);
    std::string inode;
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        const std::string path = line.substr(tab + 1);
        if (path.find("$OrphanFiles") != std::string::npos) continue;
        theirs.insert("\\" + path);
        if (path == "sub/big.bin") inode = line.substr(line.find(' ') + 1, line.find(':') - line.find(' ') - 1);
    }
    const CliResult ls = Cli("ls " + File("ev.E01") + " -p 1");
    ASSERT_EQ(ls.status, 0) << ls.err;
    std::istringstream rows(ls.out);
    std::string row;
    std::getline(rows, row);  // the header
    while (std::getline(rows, row)) {
        std::string path = row.substr(row.rfind('\t') + 1);
        for (char& c : path) c = c == '/' ? '\\' : c;
        ours.insert(path);
    }
    for (std::string path : std::set<std::string>(theirs)) {
        theirs.erase(path);
        for (char& c : path) c = c == '/' ? '\\' : c;
        theirs.insert(path);
    }
    EXPECT_EQ(ours, theirs);
    ASSERT_FALSE(inode.empty()) << fls;
    std::string icat;
    ASSERT_EQ(RunShell("icat -o 32768 " + File("ev.E01") + " " + inode + " | cmp - " + File("big.bin"), &icat), 0)
        << icat;
}

TEST_F(Containers, InfoShowsTheAcquisitionAndVerifyComparesHashes) {
    const CliResult info = Cli("info " + File("ev.E01"));
    ASSERT_EQ(info.status, 0) << info.err;
    for (const char* line : {"container\te01\n", "sectorSize\t512\n", "caseNumber\tCASE-7\n",
                             "evidenceNumber\tEV-1\n", "examiner\tAnn Examiner\n", "notes\tseized 3pm\n"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
    std::string md5, sha1;
    ASSERT_EQ(RunShell("md5sum < " + File("raw.img") + " | cut -c1-32", &md5), 0);
    ASSERT_EQ(RunShell("sha1sum < " + File("raw.img") + " | cut -c1-40", &sha1), 0);
    EXPECT_NE(info.out.find("storedMd5\t" + md5), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("storedSha1\t" + sha1), std::string::npos) << info.out;

    CliResult verify = Cli("verify " + File("ev.E01"));
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.out, "md5\t" + md5.substr(0, 32) + "\tmatch\nsha1\t" + sha1.substr(0, 40) + "\tmatch\n");

    // Nothing stored to compare with: the hashes are shown, the answer is no.
    verify = Cli("verify " + File("d.qcow2"));
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(verify.out, "md5\t" + md5.substr(0, 32) + "\tnone stored\nsha1\t" + sha1.substr(0, 40) + "\tnone stored\n");

    // One byte changed inside the first segment's compressed data.
    TempDir copy;
    ASSERT_EQ(RunShell("cp " + File("ev.E0") + "* " + copy.Path()), 0);
    std::vector<uint8_t> byte = test::ReadFileBytes(copy.File("ev.E01"));
    ASSERT_GT(byte.size(), 2000000u);
    ASSERT_TRUE(test::PatchFile(copy.File("ev.E01"), 2000000, {static_cast<uint8_t>(byte[2000000] ^ 1)}));
    verify = RunCli(copy, "verify " + copy.File("ev.E01"));
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("\tdiffer\n"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("unreadable\t32768 bytes"), std::string::npos) << verify.out;
}

// Damaged or hostile containers: one clear line, exit 1, and nothing read
// from outside the image's folder.
TEST_F(Containers, BadContainersAreRefusedWithAReason) {
    TempDir bad;
    const std::string in = "cd " + bad.Path() + " && ";
    struct Case {
        const char* make;  // shell, run in the case's folder
        const char* source;
        const char* reason;
    };
    const std::string src = s_dir->Path() + "/";
    const Case cases[] = {
        {"cp $S/ev.E01 $S/ev.E02 .", "ev.E01", "segment files are incomplete"},
        {"cp $S/ev.E0? . && truncate -s 1000000 ev.E03", "ev.E01", "segment files are incomplete"},
        {"cp $S/part.001 $S/part.002 $S/part.004 .", "part.001", "part part.003 is missing"},
        {"cp $S/part.00? . && truncate -s 1000 part.003", "part.001", "part part.003 holds 1000 bytes"},
        {"qemu-img convert -O vmdk -o subformat=monolithicFlat $S/raw.img f.vmdk && "
         "sed -i 's#\"f-flat.vmdk\"#\"/etc/passwd\"#' f.vmdk",
         "f.vmdk", "extent file outside its own folder: /etc/passwd"},
        {"qemu-img convert -O vmdk -o subformat=monolithicFlat $S/raw.img f.vmdk && "
         "sed -i 's#\"f-flat.vmdk\"#\"../f-flat.vmdk\"#' f.vmdk",
         "f.vmdk", "outside its own folder"},
        {"cp $S/d.qcow2 . && printf '\\177\\377\\377\\377' | dd of=d.qcow2 bs=1 seek=36 conv=notrunc status=none",
         "d.qcow2", "L1 table"},
        {"cp $S/d.qcow2 . && printf '\\0\\0\\0\\100' | dd of=d.qcow2 bs=1 seek=20 conv=notrunc status=none",
         "d.qcow2", "cluster size"},
        {"qemu-img create -q -f qcow2 -b $S/d.qcow2 -F qcow2 child.qcow2", "child.qcow2",
         "parent file d.qcow2 is not beside it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.make);
        std::string out;
        ASSERT_EQ(RunShell("rm -f " + bad.Path() + "/* && " + in + "S=" + src + " && " + c.make, &out), 0) << out;
        for (const char* command : {"info ", "ls -p 0 "}) {
            const CliResult r = RunCli(bad, std::string(command) + bad.File(c.source));
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
            EXPECT_EQ(test::LineCount(r.err), 1u) << r.err;
        }
    }
    // The same backing file placed beside the child is read through it.
    std::string out;
    ASSERT_EQ(RunShell(in + "cp " + src + "d.qcow2 .", &out), 0);
    const CliResult cat = RunCli(bad, "cat " + bad.File("child.qcow2") + " -p 0 /hello.txt");
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.out, "hello\n");
}

TEST_F(Containers, CaseFilesReopenItemsOnContainers) {
    TempDir work;
    const std::string wsh = work.File("c.wsh");
    const CliResult saved = RunCli(work, "case save " + wsh + " " + File("ev.E01") + ":1 " + File("d.vmdk") + ":0");
    ASSERT_EQ(saved.status, 0) << saved.err;
    const CliResult opened = RunCli(work, "case open " + wsh);
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_NE(opened.out.find("\tEXT2\tfolders 2\tfiles 2\tdeleted 0"), std::string::npos) << opened.out;
    EXPECT_NE(opened.out.find("\tFAT16\tfolders 1\tfiles 3\tdeleted 1"), std::string::npos) << opened.out;
}

}  // namespace
}  // namespace delvora
