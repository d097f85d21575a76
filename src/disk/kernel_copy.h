#pragma once
// Moving bytes from a file to another descriptor inside the kernel, so a
// large copy out of an image never passes through this process.
#include <cstdint>

namespace delvora {

/// Copies count bytes from inFd at offset to outFd at its current position
/// (advancing it as write would): copy_file_range when outFd is a regular
/// file, sendfile otherwise or when that is refused. inFd's own position is
/// left alone. Answers the bytes moved; fewer than count when the kernel
/// cannot move them this way, the input ends or a transfer fails — the
/// caller writes the rest itself.
uint64_t KernelCopy(int inFd, uint64_t offset, uint64_t count, int outFd);

}  // namespace delvora
