#pragma once
// scripts/delvora-serve started for a test on a free loopback port, and the
// sample disk it serves. Shared by the core and the GUI tests.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "support/recorders.h"

namespace delvora::test {

/// Polls done() every 20 ms for at most ten seconds; answers its last value.
bool WaitFor(const std::function<bool()>& done);

/// A loopback port that nothing listened on a moment ago.
uint16_t FreePort();

/// The thread states of a process ("SS", "TT", ...; empty once it is gone).
std::string ThreadStates(pid_t pid);

/// delvora-serve in the background serving a device map, stopped (with its
/// nbdkit) at destruction.
class NbdServer {
public:
    NbdServer(const TempDir& dir, const std::string& map, const std::string& pskFile = {});
    ~NbdServer() { Stop(); }
    NbdServer(const NbdServer&) = delete;
    NbdServer& operator=(const NbdServer&) = delete;
    void Stop();
    bool Running() const { return m_nbdkitPid > 0; }
    pid_t NbdkitPid() const { return m_nbdkitPid; }
    std::string Address() const;

private:
    bool Start(const TempDir& dir, const std::string& map, const std::string& pskFile);

    uint16_t m_port = 0;
    pid_t m_pid = -1;
    pid_t m_nbdkitPid = -1;
};

/// Builds the sample disk in dir (disk.img: FAT32, NTFS, FAT16 and EXT2
/// partitions), its NTFS volume alone as ntfs.img, the device map
/// devices.map (PHYSICALDRIVE0 and C:) and a key file keys.psk. Answers the
/// first tool missing in *missing, or false when the build failed.
bool MakeServedSample(const TempDir& dir, std::string* missing);

}  // namespace delvora::test
