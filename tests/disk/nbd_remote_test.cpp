// Remote disks over NBD on loopback, against a real nbdkit started through
// scripts/delvora-serve: the remote machine must look exactly like the
// local one, refuse what it should, and never hang a reader.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "cli/cli_run.h"
#include "common/text_format.h"
#include "disk/data_source.h"
#include "disk/nbd_remote_disk.h"
#include "disk/remote_connect.h"
#include "support/nbd_server.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using namespace test;
namespace fs = std::filesystem;

// The sample disk (FAT32, NTFS, FAT16, EXT2 partitions) and its NTFS volume
// on its own as drive C:, built once for the whole suite.
class NbdRemote : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_built = MakeServedSample(*s_dir, &s_missing);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_missing.empty()) GTEST_SKIP() << s_missing << " missing";
        ASSERT_TRUE(s_built);
    }
    static std::string Map() { return s_dir->File("devices.map"); }
    static CliResult Cli(const std::string& args) { return RunCli(*s_dir, args); }

    static inline TempDir* s_dir = nullptr;
    static inline bool s_built = false;
    static inline std::string s_missing;
};

std::map<std::string, std::vector<uint8_t>> Files(const std::string& root) {
    std::map<std::string, std::vector<uint8_t>> out;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) out[fs::relative(entry.path(), root).string()] = ReadFileBytes(entry.path().string());
    return out;
}

TEST_F(NbdRemote, RemoteMachineListsLoadsAndExportsAsTheLocalOne) {
    NbdServer server(*s_dir, Map());
    ASSERT_TRUE(server.Running());
    const std::string remote = "nbd://" + server.Address() + "/PHYSICALDRIVE0";

    // The partition list: the same rows, the source naming the machine.
    const CliResult local = Cli("--devices " + Map() + " scan"), far = Cli("scan --remote " + server.Address());
    ASSERT_EQ(local.status, 0) << local.err;
    ASSERT_EQ(far.status, 0) << far.err;
    std::string expected = local.out;
    for (size_t at = 0; (at = expected.find("PHYSICALDRIVE0", at)) != std::string::npos; at += 14)
        expected.insert(at + 14, "(\\\\" + server.Address() + ")");
    EXPECT_EQ(far.out, expected);
    EXPECT_NE(local.out.find("C:\tNTFS"), std::string::npos) << "the drive letter comes from the mask";

    // FAT32, NTFS and EXT2 volumes (folders hinted ahead on the remote
    // side): the same tree and the same recovered bytes.
    for (const char* row : {"0", "1", "3"}) {
        const CliResult lsLocal = Cli("--devices " + Map() + " --json ls PHYSICALDRIVE0 -p " + row);
        const CliResult lsFar = Cli("--json ls " + remote + " -p " + row);
        ASSERT_EQ(lsFar.status, 0) << lsFar.err;
        EXPECT_GT(LineCount(lsFar.out), 10u);
        EXPECT_EQ(lsFar.out, lsLocal.out) << "row " << row;
        const std::string ours = s_dir->File(std::string("local") + row), theirs = s_dir->File(std::string("far") + row);
        ASSERT_EQ(Cli("--devices " + Map() + " export PHYSICALDRIVE0 -p " + row + " / -r --to " + ours).status, 0);
        const CliResult exported = Cli("export " + remote + " -p " + row + " / -r --to " + theirs);
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(Files(theirs), Files(ours)) << "row " << row;
    }

    // A remote item in a case file keeps its address and reopens from it.
    const std::string wsh = s_dir->File("remote.wsh");
    const CliResult saved = Cli("case save " + wsh + " " + remote + ":1");
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out.find("D:(NTFS)(\\\\" + server.Address() + ")"), std::string::npos) << saved.out;
    const CliResult reopened = Cli("case open " + wsh);
    ASSERT_EQ(reopened.status, 0) << reopened.err;
    EXPECT_EQ(reopened.out.substr(reopened.out.find('\n')), saved.out.substr(saved.out.find('\n')));

    // Stopping the launcher stops its nbdkit.
    server.Stop();
    EXPECT_TRUE(WaitFor([&] { return kill(server.NbdkitPid(), 0) != 0; }));
}

TEST_F(NbdRemote, ConnectionFailuresShowTheirMessages) {
    NbdServer plain(*s_dir, Map()), keyed(*s_dir, Map(), s_dir->File("keys.psk"));
    ASSERT_TRUE(plain.Running() && keyed.Running());
    // Something that answers, but not in NBD.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    listen(listener, 4);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread greeter([listener] {
        const int c = accept(listener, nullptr, nullptr);
        if (c < 0) return;
        (void)!write(c, "SSH-2.0-OpenSSH_9.2\r\n", 21);
        char buf[64];
        (void)!read(c, buf, sizeof buf);
        close(c);
    });
    const std::string other = Format("127.0.0.1:%u", ntohs(a.sin_port));
    const std::string key = "00112233445566778899aabbccddeeff";
    const struct {
        std::string address, user, key, message;  // message empty: connects
    } cases[] = {
        {"", "", "", "请输入服务器名"},
        {Format("127.0.0.1:%u", FreePort()), "", "", "找不到服务器!"},
        {"no-such-host.invalid", "", "", "找不到服务器!"},
        {other, "", "", "服务器名称错,或该服务器没有本服务"},
        {plain.Address(), "", "", ""},
        {keyed.Address(), "examiner", key, ""},
        {keyed.Address(), "examiner", "ffeeddccbbaa99887766554433221100", "取得接口错误! 错误值"},
        {keyed.Address(), "intruder", key, "取得接口错误! 错误值"},
        {keyed.Address(), "", "", "取得接口错误! 错误值 -13"},
    };
    for (const auto& c : cases) {
        RecordingContext rc;
        std::shared_ptr<RemoteDisk> disk = ConnectRemote(c.address, c.user, c.key, rc.context);
        const auto texts = rc.notifier.Texts();
        if (c.message.empty()) {
            ASSERT_TRUE(disk) << c.address << " " << (texts.empty() ? "" : texts[0]);
            EXPECT_TRUE(texts.empty());
            EXPECT_TRUE(rc.log.Contains(c.user.empty() ? "连接未加密" : "TLS-PSK")) << c.address;
            DataSource source(rc.context);
            source.SetKind(SourceKind::Remote);
            source.SetRemote(disk);
            source.SetPath("PHYSICALDRIVE0");
            ASSERT_TRUE(source.Open());
            uint8_t mbr[512] = {};
            ASSERT_TRUE(source.GetData(mbr, 512, 0));
            EXPECT_EQ(mbr[510], 0x55);
            // An export the server does not have names its cause.
            DataSource missing(rc.context);
            missing.SetKind(SourceKind::Remote);
            const std::shared_ptr<RemoteDisk> session = disk->NewSession();
            missing.SetRemote(session ? session : disk);
            missing.SetPath("NOPE");
            EXPECT_FALSE(missing.Open());
            EXPECT_FALSE(missing.LastErrorText().empty());
        } else {
            EXPECT_FALSE(disk) << c.address;
            ASSERT_EQ(texts.size(), 1u) << c.address;
            EXPECT_EQ(texts[0].rfind(c.message, 0), 0u) << c.address << ": " << texts[0] << " " << rc.log.Lines().back();
        }
    }
    shutdown(listener, SHUT_RDWR);
    close(listener);
    greeter.join();

    // Reopening a case item asks for the key only when the server wants one.
    RecordingContext rc;
    NbdConnector connector;
    int asked = 0;
    connector.SetKeyPrompt([&](const std::string&, std::string& user, std::string& k) {
        ++asked;
        user = "examiner";
        k = key;
        return true;
    });
    EXPECT_TRUE(connector.Reconnect(plain.Address(), rc.context));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(connector.Reconnect(keyed.Address(), rc.context));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(rc.notifier.Texts().empty());
}

TEST_F(NbdRemote, ADroppedServerGivesFailedReadsNotAHang) {
    for (const int signal : {SIGKILL, SIGSTOP}) {
        NbdServer server(*s_dir, Map());
        ASSERT_TRUE(server.Running());
        NbdEndpoint endpoint;
        ParseRemoteAddress(server.Address(), endpoint.host, endpoint.port);
        // Long enough for a loaded machine to answer the healthy read; a
        // stopped server costs it once.
        endpoint.readTimeoutMs = 2000;
        NbdConnectStatus status;
        std::shared_ptr<NbdRemoteDisk> disk = NbdRemoteDisk::Connect(endpoint, status);
        ASSERT_TRUE(disk) << status.detail;
        RecordingContext rc;
        DataSource source(rc.context);
        source.SetKind(SourceKind::Remote);
        source.SetRemote(disk);
        source.SetPath("PHYSICALDRIVE0");
        ASSERT_TRUE(source.Open());
        std::vector<uint8_t> buffer(1 << 20, 0xAA);
        ASSERT_TRUE(source.GetData(buffer.data(), 4096, 0));
        // A run read forward goes through several connections: the same
        // bytes as the image, and afterwards the same failures as one.
        const std::vector<uint8_t> image = ReadFileBytes(s_dir->File("disk.img"));
        ASSERT_GE(image.size(), 4u << 20);
        for (uint32_t at = 0; at < (3u << 20); at += 65536) {
            ASSERT_TRUE(source.GetData(buffer.data(), 65536, at / 512));
            ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + 65536, image.begin() + at)) << at;
        }

        // A signal takes effect when each thread next runs: wait until every
        // thread has stopped, or until all are gone (the socket closes with
        // the last one), the leader left at most as a zombie.
        kill(server.NbdkitPid(), signal);
        ASSERT_TRUE(WaitFor([&] {
            const std::string states = ThreadStates(server.NbdkitPid());
            if (signal == SIGSTOP) return !states.empty() && states.find_first_not_of("tT") == std::string::npos;
            return states.empty() || states == "Z" || states == "X";
        })) << ThreadStates(server.NbdkitPid());
        // Every piece of the retry fails; a stopped server costs one timeout,
        // after which the connection is given up.
        EXPECT_FALSE(source.GetData(buffer.data(), static_cast<uint32_t>(buffer.size()), 2048));
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_FALSE(source.GetData(buffer.data(), 512, 0));
        if (signal == SIGSTOP) kill(server.NbdkitPid(), SIGCONT);
    }
}

TEST(RemoteNames, AFailureWithoutTheLibrarysWordsIsNamedFromItsError) {
    EXPECT_EQ(RemoteFailureText(ETIMEDOUT, ""), "no answer before the deadline");
    EXPECT_EQ(RemoteFailureText(ENOENT, ""), "the server has no export of that name");
    EXPECT_EQ(RemoteFailureText(ECONNRESET, ""), "the connection was closed");
    EXPECT_EQ(RemoteFailureText(ETIMEDOUT, "server said no"), "server said no");
    EXPECT_FALSE(RemoteFailureText(EACCES, "").empty());
    EXPECT_FALSE(RemoteFailureText(0, "").empty());
}

TEST(RemoteNames, AddressesSourcesKeysAndMachineFacts) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        uint16_t port;
    } addresses[] = {{"localhost", true, "localhost", 10809}, {" 10.0.0.2:2000 ", true, "10.0.0.2", 2000},
                     {"[::1]:7", true, "::1", 7},           {"fe80::1", true, "fe80::1", 10809},
                     {"host:0", false, "", 0},              {"host:65536", false, "", 0},
                     {"host:x", false, "", 0},              {":10809", false, "", 0},
                     {"", false, "", 0},                    {"a/b", false, "", 0}};
    for (const auto& a : addresses) {
        std::string host;
        uint16_t port = 0;
        EXPECT_EQ(ParseRemoteAddress(a.text, host, port), a.ok) << a.text;
        if (a.ok) {
            EXPECT_EQ(host + ":" + std::to_string(port), std::string(a.host) + ":" + std::to_string(a.port));
        }
    }

    RemoteSourceName name;
    ASSERT_TRUE(ParseRemoteSource("nbds://box:99/C:", name));
    EXPECT_EQ(name.address + "|" + name.device, "box:99|C:");
    EXPECT_TRUE(name.tls);
    for (const char* bad : {"nbd://box", "nbd://box/", "nbd:///C:", "file://box/C:", "/images/nbd://x/C:"})
        EXPECT_FALSE(ParseRemoteSource(bad, name)) << bad;

    std::string user, key;
    EXPECT_TRUE(ParsePskText("# keys\n\nexaminer:0a1B\nother:ff\n", user, key));
    EXPECT_EQ(user + ":" + key, "examiner:0a1B");
    for (const char* bad : {"", "# only\n", "examiner:abc\n", "examiner:xyz0\n", ":00\n", "examiner\n"})
        EXPECT_FALSE(ParsePskText(bad, user, key)) << bad;

    std::string address;
    EXPECT_TRUE(RemoteAddressOfItemName("C:(FAT32)(\\\\host:10810)", address));
    EXPECT_EQ(address, "host:10810");
    EXPECT_FALSE(RemoteAddressOfItemName("C:(FAT32)", address));
    EXPECT_FALSE(RemoteAddressOfItemName("C:(FAT32)(\\\\)", address));

    uint8_t info[10];
    uint32_t mask = 0;
    MachineFactsOf({"PHYSICALDRIVE0", "PHYSICALDRIVE3", "PHYSICALDRIVE4", "A:", "C:", "Z:", "c:", "CD:", "disk"},
                   info, mask);
    EXPECT_EQ(std::vector<uint8_t>(info, info + 5), (std::vector<uint8_t>{1, 1, 0, 0, 1}));
    EXPECT_EQ(mask, (1u << 0) | (1u << 2) | (1u << 25));
    EXPECT_FALSE(ListsExaminerDevices({"", "disk", "PHYSICALDRIVE9"}));
}

}  // namespace
}  // namespace delvora
