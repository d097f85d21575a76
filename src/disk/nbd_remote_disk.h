#pragma once
// The remote disk service spoken as NBD through libnbd. The server's export
// list names the machine's devices (PHYSICALDRIVE0.., A:, C:..), and answers
// the hardware and drive-letter questions; each Open connects to one export.
// Every wait on the network carries a deadline: a server that stops
// answering gives a failed call, never a hang.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disk/prefetch_cache.h"
#include "disk/read_ahead.h"
#include "disk/remote_disk.h"

struct nbd_handle;

namespace delvora {

inline constexpr uint16_t kNbdDefaultPort = 10809;

/// Where and how to reach the server.
struct NbdEndpoint {
    std::string host;
    uint16_t port = kNbdDefaultPort;
    /// TLS-PSK identity and key (hexadecimal); both empty: a plain connection.
    std::string tlsUser;
    std::string tlsKeyHex;
    int connectTimeoutMs = 10000;
    int readTimeoutMs = 30000;
    bool UsesTls() const { return !tlsUser.empty() || !tlsKeyHex.empty(); }
};

/// How a connection attempt ended.
enum class NbdConnectResult {
    Connected,
    Unreachable,  // no TCP connection: refused, no route, no such host, no answer
    NotService,   // something answered, but not an NBD server listing our devices
    Failed,       // any other failure (TLS refused, protocol error); see code
};

struct NbdConnectStatus {
    NbdConnectResult result = NbdConnectResult::Failed;
    int code = 0;        // negative errno of the failure
    std::string detail;  // libnbd's or the system's text
};

class NbdRemoteDisk final : public RemoteDisk {
public:
    ~NbdRemoteDisk() override;

    /// Connects, reads the export list and keeps it; answers null with the
    /// reason in status when that fails.
    static std::shared_ptr<NbdRemoteDisk> Connect(const NbdEndpoint& endpoint, NbdConnectStatus& status);

    /// Connects to the export of that name (the sector size must be 512).
    int32_t Open(const std::u16string& deviceName, uint32_t sectorSize) override;
    int32_t Read(uint64_t sector, uint32_t count, std::vector<uint8_t>& data) override;
    int32_t ReadInto(uint64_t sector, uint32_t count, uint8_t* buffer) override;
    uint64_t SizeBytes() const override { return m_nSize; }
    bool TakesPrefetch() const override { return true; }
    /// Sends the request now; the read that follows takes its answer.
    void Prefetch(uint64_t sector, uint32_t count) override;
    /// Has no effect over NBD: every export can always be read.
    int32_t SetCheckInfo(int32_t, int32_t, int32_t) override { return 0; }
    int32_t GetHardInfo(uint8_t info[10]) override;
    int32_t GetLogicalDrive(uint32_t& mask) override;
    std::shared_ptr<RemoteDisk> NewSession() override;

    const std::vector<std::string>& ExportNames() const { return m_exports; }
    const NbdEndpoint& Endpoint() const { return m_endpoint; }
    /// The text of the last failure, never empty after one.
    std::string LastErrorText() const override { return m_strLastError; }

private:
    NbdRemoteDisk(NbdEndpoint endpoint, std::vector<std::string> exports);
    /// settle: wait a little for the pieces read ahead first (a connection
    /// closed on purpose, not one that was lost).
    void CloseHandle(bool settle = true);
    /// A connection to the export of that name: its size in size, or null
    /// with the negative error in error and its text kept.
    nbd_handle* OpenExport(const std::string& name, int64_t& size, int& error);
    /// Adds connections to the open export for a long run of reads.
    void OpenMoreConnections();

    NbdEndpoint m_endpoint;
    std::vector<std::string> m_exports;
    nbd_handle* m_pHandle = nullptr;     // the first of m_handles
    std::vector<nbd_handle*> m_handles;  // every connection to the export
    uint32_t m_nTurn = 0;                // the connection the next request takes
    bool m_bMoreTried = false;
    std::string m_strExport;
    uint64_t m_nSize = 0;
    std::string m_strLastError;
    ReadAhead m_readAhead;
    PrefetchCache m_prefetch;
    // One connection serves every reader of it (the worker, a view, a
    // script): the handle and the read-ahead state are one caller's at a time.
    std::recursive_mutex m_mutex;
};

/// A failure's text: libnbd's when it gave one, else the cause named from
/// the error number (a deadline, a closed connection, a missing export).
std::string RemoteFailureText(int error, const std::string& detail);

/// The hardware block and drive mask that an export list answers: A: is the
/// floppy, PHYSICALDRIVE0..3 the disks, and every "X:" a mounted letter.
void MachineFactsOf(const std::vector<std::string>& exports, uint8_t info[10], uint32_t& mask);
/// True when the list names at least one device this program examines.
bool ListsExaminerDevices(const std::vector<std::string>& exports);

}  // namespace delvora
