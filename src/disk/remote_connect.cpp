#include "disk/remote_connect.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/block_backend.h"
#include "disk/nbd_remote_disk.h"

namespace delvora {
namespace {

constexpr size_t kMaxPskFileBytes = 64 * 1024;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool ParsePort(std::string_view text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

std::shared_ptr<RemoteDisk> Attempt(const std::string& address, const std::string& user, const std::string& keyHex,
                                    NbdConnectStatus& status) {
    NbdEndpoint endpoint;
    if (!ParseRemoteAddress(address, endpoint.host, endpoint.port)) {
        status = {NbdConnectResult::Unreachable, -EINVAL, "not a host[:port] address: " + address};
        return nullptr;
    }
    if ((!user.empty() || !keyHex.empty()) && !IsHexKey(keyHex)) {
        status = {NbdConnectResult::Failed, -EINVAL, "the TLS-PSK key must be hexadecimal digits"};
        return nullptr;
    }
    endpoint.tlsUser = user;
    endpoint.tlsKeyHex = keyHex;
    return NbdRemoteDisk::Connect(endpoint, status);
}

void ShowFailure(const std::string& address, const NbdConnectStatus& status, const CoreContext& context) {
    context.Logger().AppendLog(Format(Tr("RemoteConnect", "连接 %s 失败: %s"), address.c_str(), status.detail.c_str()));
    switch (status.result) {
        case NbdConnectResult::Unreachable:
            context.Notify().Message(Tr("RemoteConnect", kServerNotFound), "提示", MessageIcon::Error);
            break;
        case NbdConnectResult::NotService:
            context.Notify().Message(Tr("RemoteConnect", kNotOurService), "提示", MessageIcon::Error);
            break;
        default:
            context.Notify().Message(Format(Tr("RemoteConnect", kInterfaceError), status.code), "提示", MessageIcon::Error);
            break;
    }
}

void LogConnected(const std::string& address, const std::string& user, const CoreContext& context) {
    if (user.empty())
        context.Logger().AppendLog(Format(Tr("RemoteConnect", "已连接 %s: 未给用户名和密码, 连接未加密"), address.c_str()));
    else
        context.Logger().AppendLog(Format(Tr("RemoteConnect", "已连接 %s: TLS-PSK 加密, 用户 %s"), address.c_str(), user.c_str()));
}

}  // namespace

bool ParseRemoteAddress(std::string_view text, std::string& host, uint16_t& port) {
    text = Trim(text);
    port = kNbdDefaultPort;
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            portText = rest.substr(1);
            if (!ParsePort(portText, port)) return false;
        }
        return !host.empty();
    }
    const size_t colon = text.find(':');
    // More than one colon is an IPv6 address without brackets: no port.
    if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
        if (!ParsePort(text.substr(colon + 1), port)) return false;
        text = text.substr(0, colon);
    }
    host = std::string(text);
    if (host.empty()) return false;
    for (char c : host)
        if (c == '/' || c == ' ' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

bool ParseRemoteSource(std::string_view text, RemoteSourceName& out) {
    bool tls = false;
    if (text.starts_with("nbd://")) {
        text.remove_prefix(6);
    } else if (text.starts_with("nbds://")) {
        text.remove_prefix(7);
        tls = true;
    } else {
        return false;
    }
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    out.address = std::string(text.substr(0, slash));
    out.device = std::string(text.substr(slash + 1));
    out.tls = tls;
    std::string host;
    uint16_t port = 0;
    return !out.device.empty() && ParseRemoteAddress(out.address, host, port);
}

bool IsHexKey(std::string_view key) {
    if (key.empty() || key.size() % 2 != 0) return false;
    for (char c : key)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

bool ParsePskText(std::string_view text, std::string& user, std::string& keyHex) {
    // Ends at the text's end: each pass consumes one line.
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        const size_t colon = line.rfind(':');
        if (colon == std::string_view::npos || colon == 0) return false;
        user = std::string(line.substr(0, colon));
        keyHex = std::string(line.substr(colon + 1));
        return IsHexKey(keyHex);
    }
    return false;
}

bool ReadPskFile(const std::string& path, std::string& user, std::string& keyHex, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = path + ": " + ErrnoText(errno);
        return false;
    }
    struct stat st {};
    std::string text;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= kMaxPskFileBytes;
    if (ok) {
        text.resize(static_cast<size_t>(st.st_size));
        const ssize_t n = ::read(fd, text.data(), text.size());
        ok = n >= 0;
        text.resize(ok ? static_cast<size_t>(n) : 0);
    }
    ::close(fd);
    if (!ok) {
        error = path + ": not a key file (a regular file of at most 64 KiB)";
        return false;
    }
    if (!ParsePskText(text, user, keyHex)) {
        error = path + ": no \"identity:hexkey\" line";
        return false;
    }
    return true;
}

bool RemoteAddressOfItemName(std::string_view itemName, std::string& address) {
    if (itemName.empty() || itemName.back() != ')') return false;
    const size_t open = itemName.rfind("(\\\\");
    if (open == std::string_view::npos) return false;
    address = std::string(itemName.substr(open + 3, itemName.size() - open - 4));
    return !address.empty();
}

std::shared_ptr<RemoteDisk> ConnectRemote(const std::string& address, const std::string& user,
                                          const std::string& keyHex, const CoreContext& context) {
    if (Trim(address).empty()) {
        context.Notify().Message(Tr("RemoteConnect", kNoServerName), "提示", MessageIcon::Error);
        return nullptr;
    }
    NbdConnectStatus status;
    std::shared_ptr<RemoteDisk> disk = Attempt(address, user, keyHex, status);
    if (!disk) {
        ShowFailure(address, status, context);
        return nullptr;
    }
    LogConnected(address, user, context);
    return disk;
}

void NbdConnector::SetCredentials(std::string user, std::string keyHex) {
    m_strUser = std::move(user);
    m_strKey = std::move(keyHex);
}

std::shared_ptr<RemoteDisk> NbdConnector::Reconnect(const std::string& address, const CoreContext& context) {
    if (!m_strUser.empty() || !m_strKey.empty() || !m_askKey) return ConnectRemote(address, m_strUser, m_strKey, context);
    NbdConnectStatus status;
    std::shared_ptr<RemoteDisk> disk = Attempt(address, {}, {}, status);
    if (disk) {
        LogConnected(address, {}, context);
        return disk;
    }
    // Only a server that refused a plain connection may want a key.
    if (status.result != NbdConnectResult::Failed) {
        ShowFailure(address, status, context);
        return nullptr;
    }
    std::string user, key;
    if (!m_askKey(address, user, key)) {
        ShowFailure(address, status, context);
        return nullptr;
    }
    return ConnectRemote(address, user, key, context);
}

RemoteConnector& RemotesOf(const CoreContext& context) {
    static NbdConnector s_plain;
    return context.remotes ? *context.remotes : s_plain;
}

}  // namespace delvora
