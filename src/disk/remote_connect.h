#pragma once
// Reaching a remote machine: the address texts the examiner types
// ("host", "host:port", "nbd://host:port/NAME"), TLS-PSK key files, and the
// connection with the messages the add-data wizard shows. Parsing does no
// I/O; connecting goes through the NBD client.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/reporting.h"
#include "common/translation.h"
#include "disk/remote_disk.h"

namespace delvora {

inline constexpr const char* kNoServerName = TrNoop("RemoteConnect", "请输入服务器名");
inline constexpr const char* kServerNotFound = TrNoop("RemoteConnect", "找不到服务器!");
inline constexpr const char* kNotOurService = TrNoop("RemoteConnect", "服务器名称错,或该服务器没有本服务");
inline constexpr const char* kInterfaceError = TrNoop("RemoteConnect", "取得接口错误! 错误值 %d");

/// "host", "host:port", "[v6 address]" or "[v6 address]:port"; false when
/// the host is empty or the port is not a number from 1 to 65535.
bool ParseRemoteAddress(std::string_view text, std::string& host, uint16_t& port);

/// A SOURCE on another machine: nbd://ADDRESS/NAME or nbds://ADDRESS/NAME.
struct RemoteSourceName {
    std::string address;  // host[:port] as written
    bool tls = false;     // nbds://
    std::string device;   // the export: PHYSICALDRIVE0, C: ...
};
/// False when text is not such a source (then it names a local one).
bool ParseRemoteSource(std::string_view text, RemoteSourceName& out);

/// The identity and key of the first entry of a TLS-PSK key file
/// ("identity:hexkey" lines, '#' comments). False when there is none or the
/// key is not hexadecimal.
bool ParsePskText(std::string_view text, std::string& user, std::string& keyHex);
/// Reads a key file (a regular file of at most 64 KiB) and parses it.
bool ReadPskFile(const std::string& path, std::string& user, std::string& keyHex, std::string& error);
/// An even count of hexadecimal digits, at least one byte.
bool IsHexKey(std::string_view key);

/// The address in a remote item's name ("C:(FAT32)(\\host:port)"); false
/// when the name carries none.
bool RemoteAddressOfItemName(std::string_view itemName, std::string& address);

/// Connects to the disk service at address like the wizard's "连接": with
/// the user name and key as TLS-PSK credentials (both empty: a plain
/// connection, which the log says). Every failure is shown with the
/// message for its kind ("请输入服务器名", "找不到服务器!",
/// "服务器名称错,或该服务器没有本服务", "取得接口错误! 错误值 %d") and its
/// detail is logged. Answers the connection or null.
std::shared_ptr<RemoteDisk> ConnectRemote(const std::string& address, const std::string& user,
                                          const std::string& keyHex, const CoreContext& context);

/// How a front end reconnects remote items of a case file.
class RemoteConnector {
public:
    virtual ~RemoteConnector() = default;
    /// A connection to the machine at address, or null (the reason shown).
    virtual std::shared_ptr<RemoteDisk> Reconnect(const std::string& address, const CoreContext& context) = 0;
};

/// Reconnects with fixed credentials when given, else plainly; when a
/// plain connection is refused and a key prompt is set, asks for the user
/// name and key and tries again with them.
class NbdConnector final : public RemoteConnector {
public:
    using AskKey = std::function<bool(const std::string& address, std::string& user, std::string& keyHex)>;
    void SetCredentials(std::string user, std::string keyHex);
    void SetKeyPrompt(AskKey ask) { m_askKey = std::move(ask); }
    std::shared_ptr<RemoteDisk> Reconnect(const std::string& address, const CoreContext& context) override;

private:
    std::string m_strUser;
    std::string m_strKey;
    AskKey m_askKey;
};

/// How the context reconnects remote items of a case; without a connector
/// of its own, plainly.
RemoteConnector& RemotesOf(const CoreContext& context);

}  // namespace delvora
