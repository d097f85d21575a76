#include "hashset/line_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace delvora {

LineReader::LineReader(int fd, size_t maxLine)
    : m_fd(fd), m_maxLine(maxLine), m_capacity(std::max<size_t>(maxLine * 2, 1 << 20)),
      m_buffer(std::make_unique_for_overwrite<char[]>(m_capacity)) {}

bool LineReader::Fill() {
    if (m_bEof || m_bFailed) return false;
    if (m_begin > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer.get() + m_end, m_capacity - m_end);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_bFailed = true;
            return false;
        }
        if (n == 0) {
            m_bEof = true;
            return false;
        }
        m_end += size_t(n);
        m_bytesRead += uint64_t(n);
        return true;
    }
}

bool LineReader::Next(std::string_view& line, bool& tooLong) {
    tooLong = false;
    bool skipping = false;
    // Each pass either returns or reads more of the file; reads end at its
    // end, so the loop ends.
    for (;;) {
        const char* start = m_buffer.get() + m_begin;
        const size_t avail = m_end - m_begin;
        if (const void* nl = std::memchr(start, '\n', avail)) {
            const size_t length = size_t(static_cast<const char*>(nl) - start);
            m_begin += length + 1;
            if (skipping || length > m_maxLine) {
                tooLong = true;
                line = {};
            } else {
                line = {start, length};
            }
            return true;
        }
        if (avail > m_maxLine) {
            // Too long already: drop what is buffered and look for its end.
            skipping = true;
            m_begin = m_end = 0;
        }
        if (!Fill()) {
            if (m_bFailed) return false;
            const size_t rest = m_end - m_begin;
            if (rest == 0 && !skipping) return false;
            line = skipping ? std::string_view{} : std::string_view{m_buffer.get() + m_begin, rest};
            tooLong = skipping;
            m_begin = m_end;
            return true;
        }
    }
}

}  // namespace delvora
