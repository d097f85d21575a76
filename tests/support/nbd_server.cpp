#include "support/nbd_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "common/text_format.h"

namespace delvora::test {

bool WaitFor(const std::function<bool()>& done) {
    // At most 500 steps.
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

std::string ThreadStates(pid_t pid) {
    std::string states;
    std::error_code error;
    // Bounded by the process's threads.
    for (const auto& task : std::filesystem::directory_iterator(Format("/proc/%d/task", static_cast<int>(pid)), error)) {
        const auto bytes = ReadFileBytes(task.path().string() + "/stat");
        const std::string text(bytes.begin(), bytes.end());
        const size_t paren = text.rfind(')');
        if (paren != std::string::npos && paren + 2 < text.size()) states.push_back(text[paren + 2]);
    }
    return states;
}

NbdServer::NbdServer(const TempDir& dir, const std::string& map, const std::string& pskFile) {
    // Another test or suite on this machine may take the port between
    // FreePort and nbdkit's bind: a server that cannot listen is started
    // again on another port, a few times.
    for (int attempt = 0; attempt < 5 && !Start(dir, map, pskFile); ++attempt) Stop();
}

bool NbdServer::Start(const TempDir& dir, const std::string& map, const std::string& pskFile) {
    m_port = FreePort();
    const std::string pidFile = dir.File(Format("nbdkit-%u.pid", m_port));
    // A file left by an earlier server on the same port would name a dead one.
    unlink(pidFile.c_str());
    m_pid = fork();
    if (m_pid == 0) {
        const std::string script = std::string(DELVORA_SOURCE_DIR) + "/scripts/delvora-serve";
        const std::string port = std::to_string(m_port);
        std::vector<const char*> argv{"bash", script.c_str(), "--devices", map.c_str(), "--address", "127.0.0.1",
                                      "--port", port.c_str(), "--pid-file", pidFile.c_str()};
        if (!pskFile.empty()) argv.insert(argv.end(), {"--psk-file", pskFile.c_str()});
        argv.push_back(nullptr);
        execvp("bash", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    if (m_pid < 0) return false;
    // nbdkit writes the file, newline last, once it accepts connections; the
    // launcher ends at once when nbdkit cannot listen.
    bool ended = false;
    WaitFor([&] {
        const auto pid = ReadFileBytes(pidFile);
        if (!pid.empty() && pid.back() == '\n') return true;
        ended = waitpid(m_pid, nullptr, WNOHANG) == m_pid;
        return ended;
    });
    if (ended) {
        m_pid = -1;
        return false;
    }
    const auto pid = ReadFileBytes(pidFile);
    const pid_t nbdkit = std::atoi(std::string(pid.begin(), pid.end()).c_str());
    // Signals go only to the nbdkit this server started.
    const auto comm = ReadFileBytes(Format("/proc/%d/comm", static_cast<int>(nbdkit)));
    if (nbdkit > 0 && std::string(comm.begin(), comm.end()) == "nbdkit\n") m_nbdkitPid = nbdkit;
    return m_nbdkitPid > 0;
}

void NbdServer::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::string NbdServer::Address() const { return Format("127.0.0.1:%u", m_port); }

bool MakeServedSample(const TempDir& dir, std::string* missing) {
    for (const char* tool : {"nbdkit", "sfdisk", "mkfs.fat", "mcopy", "mkntfs", "ntfscp", "mke2fs", "debugfs"}) {
        if (!HaveTool(tool)) {
            if (missing) *missing = tool;
            return false;
        }
    }
    // The builder and the document generator it runs beside it.
    const std::string src = std::string(DELVORA_SOURCE_DIR) + "/sample/";
    return RunShell("cp " + src + "make-sample-disk " + src + "make-ole-doc " + dir.Path() + " && " +
                    dir.File("make-sample-disk") + " --force") == 0 &&
           RunShell("dd if=" + dir.File("disk.img") + " of=" + dir.File("ntfs.img") +
                    " bs=512 skip=83968 count=32768 status=none") == 0 &&
           RunShell("printf 'PHYSICALDRIVE0=disk.img\\nC:=ntfs.img\\n' > " + dir.File("devices.map")) == 0 &&
           RunShell("printf 'examiner:00112233445566778899aabbccddeeff\\n' > " + dir.File("keys.psk")) == 0;
}

}  // namespace delvora::test
