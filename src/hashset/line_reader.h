#pragma once
// Lines of a file read through one fixed buffer: memory stays bounded
// whatever the file holds, and a line longer than the limit (a 2 GB line of
// a damaged list) is passed over whole and reported, never kept.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace delvora {

class LineReader {
public:
    /// Reads from fd (not owned). maxLine bounds a line's length in bytes.
    explicit LineReader(int fd, size_t maxLine = 65536);

    /// The next line without its '\n' (a last line without one counts too).
    /// False at the end or after a read error. An over-long line comes back
    /// empty with tooLong set.
    bool Next(std::string_view& line, bool& tooLong);

    bool Failed() const { return m_bFailed; }
    uint64_t BytesRead() const { return m_bytesRead; }

private:
    bool Fill();

    int m_fd;
    size_t m_maxLine;
    size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    size_t m_begin = 0;
    size_t m_end = 0;
    bool m_bEof = false;
    bool m_bFailed = false;
    uint64_t m_bytesRead = 0;
};

}  // namespace delvora
