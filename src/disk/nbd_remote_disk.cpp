#include "disk/nbd_remote_disk.h"

#include <fcntl.h>
#include <libnbd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "common/codepage.h"
#include "common/text_format.h"
#include "disk/block_backend.h"

namespace delvora {
namespace {

using Clock = std::chrono::steady_clock;

// libnbd refuses requests above 64 MiB; smaller pieces also let several be
// in flight at once.
constexpr uint32_t kReadPiece = 4u << 20;
// How long a connection closed on purpose waits for its pieces read ahead.
constexpr int kSettleMs = 1000;
// Connections to one export once a long run is read: the server answers
// each connection with one worker, so a run read through several is
// served by several workers at once.
constexpr uint32_t kMaxConnections = 2;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

std::string NbdErrorText() {
    const char* text = nbd_get_error();
    return text ? text : "";
}

}  // namespace

std::string RemoteFailureText(int error, const std::string& detail) {
    if (!detail.empty()) return detail;
    // libnbd says nothing for a deadline, a closed connection or a refused
    // size: the cause is named from the error instead.
    switch (error) {
        case ETIMEDOUT: return "no answer before the deadline";
        case ENOENT: return "the server has no export of that name";
        case ECONNRESET:
        case EPIPE:
        case ENOTCONN: return "the connection was closed";
        case 0: return "unknown failure";
        default: return ErrnoText(error);
    }
}

namespace {

// Commands may be issued: idle, or with requests or answers half through
// the socket (several in flight leave it there between calls).
bool Usable(nbd_handle* h) { return nbd_aio_is_ready(h) || nbd_aio_is_processing(h); }

int NbdErrno(int fallback) {
    const int e = nbd_get_errno();
    return e > 0 ? e : fallback;
}

// Drives the handle until done() holds. Answers 1 when it did, 0 when the
// deadline passed, -1 when the connection died. Ends by the deadline: every
// pass either finds the state changed or waits at most the time left.
int Drive(nbd_handle* h, Clock::time_point deadline, const std::function<bool()>& done) {
    for (;;) {
        if (done()) return 1;
        if (nbd_aio_is_dead(h) || nbd_aio_is_closed(h)) return -1;
        const int wait = RemainingMs(deadline);
        if (wait == 0) return 0;
        if (nbd_poll(h, wait) == -1) return done() ? 1 : -1;
    }
}

// A TCP connection with a deadline (libnbd's own connect would wait for the
// system's timeout). Answers the socket, or -1 with error set.
int ConnectTcp(const std::string& host, uint16_t port, Clock::time_point deadline, int& error, std::string& detail) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        error = EHOSTUNREACH;
        detail = host + ": " + gai_strerror(rc);
        return -1;
    }
    error = ECONNREFUSED;
    int sock = -1;
    // Ends with the address list (each tried once).
    for (addrinfo* a = found; a && sock < 0; a = a->ai_next) {
        const int s = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) {
            error = errno;
            continue;
        }
        if (connect(s, a->ai_addr, a->ai_addrlen) == 0) {
            sock = s;
            break;
        }
        if (errno != EINPROGRESS) {
            error = errno;
            close(s);
            continue;
        }
        pollfd p{s, POLLOUT, 0};
        int ready = 0;
        do {
            ready = poll(&p, 1, RemainingMs(deadline));
        } while (ready < 0 && errno == EINTR && RemainingMs(deadline) > 0);
        int soError = ETIMEDOUT;
        socklen_t len = sizeof soError;
        if (ready > 0 && getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError == 0) {
            sock = s;
        } else {
            error = ready > 0 ? soError : ETIMEDOUT;
            close(s);
        }
    }
    freeaddrinfo(found);
    // Requests are small and several go out back to back: none waits for
    // the acknowledgement of the one before.
    const int on = 1;
    if (sock >= 0) setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (sock < 0) detail = Format("%s:%u: %s", host.c_str(), port, ErrnoText(error).c_str());
    return sock;
}

// The key file libnbd reads during the TLS handshake: written private and
// removed as soon as the handshake is over.
class PskFile {
public:
    explicit PskFile(const NbdEndpoint& endpoint) {
        if (!endpoint.UsesTls()) return;
        const char* dir = std::getenv("XDG_RUNTIME_DIR");
        std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/delvora-psk-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) return;
        const std::string line = endpoint.tlsUser + ":" + endpoint.tlsKeyHex + "\n";
        const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        close(fd);
        m_path = pattern;
        m_ok = written;
    }
    ~PskFile() {
        if (!m_path.empty()) unlink(m_path.c_str());
    }
    PskFile(const PskFile&) = delete;
    PskFile& operator=(const PskFile&) = delete;
    bool Ok() const { return m_ok; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    bool m_ok = false;
};

struct Negotiation {
    nbd_handle* handle = nullptr;
    NbdConnectStatus status;
};

void Fail(Negotiation& n, NbdConnectResult result, int error, std::string detail) {
    if (n.handle) nbd_close(n.handle);
    n.handle = nullptr;
    n.status.result = result;
    n.status.code = -error;
    n.status.detail = RemoteFailureText(error, detail);
}

// Connects and stops in option negotiation, so that the caller may list
// exports or choose one.
Negotiation Negotiate(const NbdEndpoint& endpoint) {
    Negotiation n;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(endpoint.connectTimeoutMs);
    int error = 0;
    std::string detail;
    const int sock = ConnectTcp(endpoint.host, endpoint.port, deadline, error, detail);
    if (sock < 0) {
        Fail(n, NbdConnectResult::Unreachable, error, detail);
        return n;
    }
    n.handle = nbd_create();
    if (!n.handle) {
        close(sock);
        Fail(n, NbdConnectResult::Failed, NbdErrno(ENOMEM), NbdErrorText());
        return n;
    }
    PskFile psk(endpoint);
    // A failed read is zero-filled by the caller, so libnbd's own clearing
    // of every buffer before it is read would only cost a pass over the bytes.
    bool set = nbd_set_opt_mode(n.handle, true) == 0 && nbd_set_pread_initialize(n.handle, false) == 0;
    if (endpoint.UsesTls()) {
        set = set && psk.Ok() && nbd_set_tls(n.handle, LIBNBD_TLS_REQUIRE) == 0 &&
              nbd_set_tls_username(n.handle, endpoint.tlsUser.c_str()) == 0 &&
              nbd_set_tls_psk_file(n.handle, psk.Path().c_str()) == 0;
    } else {
        set = set && nbd_set_tls(n.handle, LIBNBD_TLS_DISABLE) == 0;
    }
    if (!set) {
        close(sock);
        Fail(n, NbdConnectResult::Failed, NbdErrno(EINVAL), NbdErrorText());
        return n;
    }
    // The handle owns the socket from here on. A greeting already waiting
    // is read at once, so the handshake may fail in this call already.
    nbd_handle* h = n.handle;
    int driven = -1;
    if (nbd_aio_connect_socket(h, sock) != -1)
        driven = Drive(h, deadline, [h] { return nbd_aio_is_negotiating(h) || nbd_aio_is_ready(h); });
    if (driven == 1) {
        n.status.result = NbdConnectResult::Connected;
        return n;
    }
    if (driven == 0) {
        Fail(n, NbdConnectResult::NotService, ETIMEDOUT, "no NBD greeting in time");
        return n;
    }
    const int e = NbdErrno(EPROTO);
    const std::string text = NbdErrorText();
    // A TLS failure is the key's fault, not the server's kind.
    const bool tls = text.find("gnutls") != std::string::npos || text.find("TLS") != std::string::npos;
    Fail(n, tls ? NbdConnectResult::Failed : NbdConnectResult::NotService, e, text);
    return n;
}

// A server that demands TLS refuses every option of a plain connection,
// which libnbd does not tell apart from a server without export lists: a
// TLS handshake with a throw-away key shows which it is.
bool WantsTls(NbdEndpoint endpoint) {
    endpoint.tlsUser = "delvora-probe";
    endpoint.tlsKeyHex = "00000000000000000000000000000000";
    const Negotiation n = Negotiate(endpoint);
    if (n.handle) nbd_close(n.handle);
    return n.status.detail.find("gnutls_handshake") != std::string::npos;
}

// The connections' reads as the read-ahead starts and waits for them:
// requests take the connections in turn, and an id names its connection
// (the low bits) and libnbd's cookie on it.
class NbdReads final : public ReadAhead::Transport {
public:
    NbdReads(const std::vector<nbd_handle*>& handles, uint32_t& turn) : m_handles(handles), m_turn(turn) {}
    int64_t Start(uint8_t* buffer, uint32_t length, uint64_t offset) override {
        const uint32_t i = m_turn++ % m_handles.size();
        const int64_t cookie = nbd_aio_pread(m_handles[i], buffer, length, offset, NBD_NULL_COMPLETION, 0);
        return cookie > 0 && cookie <= INT64_MAX / kMaxConnections ? cookie * kMaxConnections + i : 0;
    }
    ReadAhead::PieceState Wait(int64_t id, Clock::time_point deadline) override {
        int completed = 0;
        nbd_handle* h = m_handles[id % kMaxConnections];
        const int64_t cookie = id / kMaxConnections;
        const int driven =
            Drive(h, deadline, [&] { return (completed = nbd_aio_command_completed(h, cookie)) != 0; });
        if (driven != 1) {
            m_bTimedOut = driven == 0;
            return ReadAhead::PieceState::Lost;
        }
        return completed == 1 ? ReadAhead::PieceState::Done : ReadAhead::PieceState::Failed;
    }
    bool Landed(int64_t id, ReadAhead::PieceState& state) override {
        nbd_handle* h = m_handles[id % kMaxConnections];
        const int64_t cookie = id / kMaxConnections;
        int completed = nbd_aio_command_completed(h, cookie);
        // Answers already on the socket are taken in without waiting.
        if (completed == 0 && nbd_poll(h, 0) != -1) completed = nbd_aio_command_completed(h, cookie);
        if (completed == 0) return false;
        state = completed == 1 ? ReadAhead::PieceState::Done : ReadAhead::PieceState::Failed;
        return true;
    }
    bool TimedOut() const { return m_bTimedOut; }

private:
    const std::vector<nbd_handle*>& m_handles;
    uint32_t& m_turn;
    bool m_bTimedOut = false;
};

struct ListState {
    std::vector<std::string> names;
    bool done = false;
    int error = 0;
};

}  // namespace

bool ListsExaminerDevices(const std::vector<std::string>& exports) {
    uint8_t info[10] = {};
    uint32_t mask = 0;
    MachineFactsOf(exports, info, mask);
    return mask != 0 || std::any_of(info, info + 5, [](uint8_t b) { return b != 0; });
}

void MachineFactsOf(const std::vector<std::string>& exports, uint8_t info[10], uint32_t& mask) {
    std::fill(info, info + 10, uint8_t{0});
    mask = 0;
    for (const auto& name : exports) {
        if (name.size() == 2 && name[1] == ':' && name[0] >= 'A' && name[0] <= 'Z') {
            mask |= 1u << (name[0] - 'A');
            if (name[0] == 'A') info[0] = 1;
        } else if (name.size() == 14 && name.compare(0, 13, "PHYSICALDRIVE") == 0 && name[13] >= '0' &&
                   name[13] <= '3') {
            info[1 + (name[13] - '0')] = 1;
        }
    }
}

NbdRemoteDisk::NbdRemoteDisk(NbdEndpoint endpoint, std::vector<std::string> exports)
    : m_endpoint(std::move(endpoint)), m_exports(std::move(exports)) {}

NbdRemoteDisk::~NbdRemoteDisk() { CloseHandle(); }

void NbdRemoteDisk::CloseHandle(bool settle) {
    std::lock_guard lock(m_mutex);
    const bool usable = std::all_of(m_handles.begin(), m_handles.end(), Usable);
    if (!m_handles.empty() && settle && usable) {
        // nbdkit may abort when replies meet a socket closed under them: the
        // pieces on their way land first (briefly: a server that stopped
        // answering is not waited for), then the server is told goodbye.
        NbdReads reads(m_handles, m_nTurn);
        const auto wait = std::chrono::milliseconds(std::min(m_endpoint.readTimeoutMs, kSettleMs));
        const Clock::time_point deadline = Clock::now() + wait;
        if (m_readAhead.Drain(reads, deadline) && m_prefetch.Drain(reads, deadline))
            for (nbd_handle* h : m_handles) nbd_aio_disconnect(h, 0);
    }
    for (nbd_handle* h : m_handles) nbd_close(h);
    m_handles.clear();
    m_pHandle = nullptr;
    m_bMoreTried = false;
    // Nothing is in flight any more.
    m_readAhead.Reset(0);
    m_prefetch.Reset(0);
    m_strExport.clear();
    m_nSize = 0;
}

std::shared_ptr<NbdRemoteDisk> NbdRemoteDisk::Connect(const NbdEndpoint& endpoint, NbdConnectStatus& status) {
    Negotiation n = Negotiate(endpoint);
    if (!n.handle) {
        status = n.status;
        return nullptr;
    }
    nbd_handle* h = n.handle;
    ListState list;
    nbd_list_callback onName{};
    onName.callback = [](void* user, const char* name, const char*) {
        auto* state = static_cast<ListState*>(user);
        // A server may list without end; far more devices than a machine has.
        if (name && state->names.size() < 4096) state->names.emplace_back(name);
        return 0;
    };
    onName.user_data = &list;
    nbd_completion_callback onDone{};
    onDone.callback = [](void* user, int* error) {
        auto* state = static_cast<ListState*>(user);
        state->done = true;
        state->error = error ? *error : 0;
        return 1;
    };
    onDone.user_data = &list;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(endpoint.connectTimeoutMs);
    int listed = -1;
    std::string text;
    int error = 0;
    if (nbd_aio_opt_list(h, onName, onDone) != -1)
        listed = Drive(h, deadline, [&list] { return list.done; });
    if (listed != 1 || list.error != 0) {
        text = NbdErrorText();
        error = list.error ? list.error : NbdErrno(listed == 0 ? ETIMEDOUT : EPROTO);
    }
    nbd_aio_opt_abort(h);
    nbd_close(h);
    if (!text.empty() || error != 0) {
        status = {NbdConnectResult::NotService, -error, text};
        if (!endpoint.UsesTls() && WantsTls(endpoint)) {
            status = {NbdConnectResult::Failed, -EACCES,
                      "the server takes only TLS-PSK connections: give the user name and key"};
        }
        return nullptr;
    }
    if (!ListsExaminerDevices(list.names)) {
        status = {NbdConnectResult::NotService, -ENOENT, "the server lists no PHYSICALDRIVEn or X: export"};
        return nullptr;
    }
    status = {NbdConnectResult::Connected, 0, {}};
    return std::shared_ptr<NbdRemoteDisk>(new NbdRemoteDisk(endpoint, std::move(list.names)));
}

std::shared_ptr<RemoteDisk> NbdRemoteDisk::NewSession() {
    return std::shared_ptr<NbdRemoteDisk>(new NbdRemoteDisk(m_endpoint, m_exports));
}

int32_t NbdRemoteDisk::Open(const std::u16string& deviceName, uint32_t sectorSize) {
    std::lock_guard lock(m_mutex);
    if (sectorSize != 512) return -EINVAL;
    const std::string name =
        Utf16ToUtf8(std::span(reinterpret_cast<const uint16_t*>(deviceName.data()), deviceName.size()));
    // The scan reopens before every read: a live connection to the same
    // export is kept.
    if (m_pHandle && name == m_strExport && Usable(m_pHandle)) return 0;
    CloseHandle();
    int64_t size = -1;
    int error = 0;
    nbd_handle* h = OpenExport(name, size, error);
    if (!h) return error;
    m_pHandle = h;
    m_handles = {h};
    m_strExport = name;
    m_nSize = static_cast<uint64_t>(size);
    m_readAhead.Reset(m_nSize);
    m_prefetch.Reset(m_nSize);
    return 0;
}

nbd_handle* NbdRemoteDisk::OpenExport(const std::string& name, int64_t& size, int& error) {
    Negotiation n = Negotiate(m_endpoint);
    if (!n.handle) {
        m_strLastError = n.status.detail;
        error = n.status.code < 0 ? n.status.code : -EIO;
        return nullptr;
    }
    nbd_handle* h = n.handle;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_endpoint.connectTimeoutMs);
    int driven = -1;
    bool answered = false;
    nbd_completion_callback onGo{};
    onGo.callback = [](void* user, int*) {
        *static_cast<bool*>(user) = true;
        return 1;
    };
    onGo.user_data = &answered;
    if (nbd_set_export_name(h, name.c_str()) != -1 && nbd_aio_opt_go(h, onGo) != -1)
        driven = Drive(h, deadline, [&answered] { return answered; });
    size = driven == 1 && nbd_aio_is_ready(h) ? nbd_get_size(h) : -1;
    if (size < 0) {
        const int e = NbdErrno(driven == 0 ? ETIMEDOUT : ENOENT);
        m_strLastError = RemoteFailureText(e, NbdErrorText());
        nbd_close(h);
        error = -e;
        return nullptr;
    }
    return h;
}

void NbdRemoteDisk::OpenMoreConnections() {
    m_bMoreTried = true;
    // Once per export, and only what opens at once: a server that refuses
    // more connections leaves the reads on the ones there are.
    const std::string lastError = m_strLastError;
    while (m_handles.size() < kMaxConnections) {
        int64_t size = -1;
        int error = 0;
        nbd_handle* h = OpenExport(m_strExport, size, error);
        if (!h) break;
        if (static_cast<uint64_t>(size) != m_nSize) {
            nbd_close(h);
            break;
        }
        m_handles.push_back(h);
    }
    m_strLastError = lastError;
}

void NbdRemoteDisk::Prefetch(uint64_t sector, uint32_t count) {
    std::lock_guard lock(m_mutex);
    if (!m_pHandle || !Usable(m_pHandle) || sector > UINT64_MAX / 512) return;
    NbdReads reads(m_handles, m_nTurn);
    m_prefetch.Hint(reads, sector * 512, count);
}

int32_t NbdRemoteDisk::Read(uint64_t sector, uint32_t count, std::vector<uint8_t>& data) {
    data.resize(count);
    const int32_t status = ReadInto(sector, count, data.data());
    if (status < 0) data.clear();
    return status;
}

int32_t NbdRemoteDisk::ReadInto(uint64_t sector, uint32_t count, uint8_t* buffer) {
    std::lock_guard lock(m_mutex);
    if (!m_pHandle || !Usable(m_pHandle)) return -EIO;
    if (sector > UINT64_MAX / 512) return -EINVAL;
    const uint64_t offset = sector * 512;
    if (offset > m_nSize || count > m_nSize - offset) return -EINVAL;
    // A long run read forward goes on through several connections.
    if (!m_bMoreTried && m_readAhead.Streaming()) OpenMoreConnections();
    NbdReads reads(m_handles, m_nTurn);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_endpoint.readTimeoutMs);
    ReadAhead::Result ahead = m_prefetch.Read(reads, offset, count, buffer, deadline);
    if (ahead == ReadAhead::Result::NotHeld) ahead = m_readAhead.Read(reads, offset, count, buffer, deadline);
    if (ahead == ReadAhead::Result::Served) return 0;
    bool failed = false, lost = ahead == ReadAhead::Result::Lost;
    if (!lost) {
        // One request per piece, all in flight together.
        std::vector<int64_t> ids;
        // 64-bit steps: a count near 4 GiB must not wrap the position.
        for (uint64_t done = 0; done < count && !failed; done += kReadPiece) {
            const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(kReadPiece, count - done));
            const int64_t id = reads.Start(buffer + done, piece, offset + done);
            if (id == 0) failed = true;
            else ids.push_back(id);
        }
        // Every piece is waited for, even after one failed: they all write
        // into the caller's buffer.
        for (size_t i = 0; i < ids.size() && !lost; ++i) {
            const ReadAhead::PieceState state = reads.Wait(ids[i], deadline);
            lost = state == ReadAhead::PieceState::Lost;
            failed = failed || state == ReadAhead::PieceState::Failed;
        }
    }
    if (lost) {
        // Requests may still be in flight into the caller's buffer or the
        // window's: only closing the handle stops them. The connection is
        // gone for good, so later reads fail at once instead of waiting again.
        m_strLastError = reads.TimedOut() ? std::string("NBD read timed out") : NbdErrorText();
        const int32_t code = reads.TimedOut() ? -ETIMEDOUT : -EIO;
        CloseHandle(false);
        return code;
    }
    if (failed) {
        m_strLastError = NbdErrorText();
        return -EIO;
    }
    return 0;
}

int32_t NbdRemoteDisk::GetHardInfo(uint8_t info[10]) {
    uint32_t mask = 0;
    MachineFactsOf(m_exports, info, mask);
    return 0;
}

int32_t NbdRemoteDisk::GetLogicalDrive(uint32_t& mask) {
    uint8_t info[10] = {};
    MachineFactsOf(m_exports, info, mask);
    return 0;
}

}  // namespace delvora
