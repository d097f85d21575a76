#pragma once
// The one ordinary file a script may open: byte-wise reads and writes with
// the mode and origin bits of the script constants (FILE_READ, FILE_BEGIN…).
#include <cstdint>
#include <string>
#include <vector>

#include "common/reporting.h"

namespace delvora {

class ScriptFile {
public:
    explicit ScriptFile(const CoreContext& context) : m_pContext(&context) {}
    ~ScriptFile();
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    void SetContext(const CoreContext& context) { m_pContext = &context; }

    /// Closes the current file and opens path with the mode built from the
    /// low byte of nFormat: 0x02 write, 0x04 read-write (both: read-write),
    /// neither: read; 0x08 create, truncating unless a bit of the mask 0x16
    /// is set; the mask 0x32 only asks for a handle children do not inherit,
    /// which every handle here is. Answers 0 also when the open failed (the
    /// file stays closed; the next read says so); 1 with a message when the
    /// file may not be opened: anything but a regular file, and write
    /// access to a source (a device, a path of the device map, a protected
    /// path) — examined media are never written.
    int Open(const std::string& path, int nFormat);
    /// 0, or 1 after an error; a closed file is no error.
    int Close();
    /// The next byte, 0..255; 0 at the end and after an error (with a message).
    int ReadByte();
    /// Writes the low byte of value; errors give a message.
    void WriteByte(int value);
    /// Moves by nOffSize (sign-extended) from the origin built from nFormat:
    /// bit 0x01 adds 1, bit 0x02 adds 2, giving 0 the beginning, 1 the
    /// current position, 2 the end; 3 names no origin and fails. 0 or 1.
    int Seek(int nOffSize, int nFormat);
    bool IsOpen() const { return m_fd >= 0; }
    /// A file the methods must never open for writing whatever it is called
    /// (a source of the case or of the run): compared by device and inode.
    void ProtectPath(const std::string& path);
    const std::string& Name() const { return m_strName; }

private:
    void ReportError(int error) const;
    bool IsExaminedSource(int fd) const;
    static bool Truncate(int fd, const std::string& path);

    const CoreContext* m_pContext;
    std::vector<std::string> m_protected;
    int m_fd = -1;
    std::string m_strName;
};

}  // namespace delvora
