#pragma once
// The manifest of an export: one CSV row per file written (volume path,
// target path, size, SHA-256, then MD5 and SHA-1 when asked for, then what
// could not be read and what the digests do not vouch for), what an
// examiner hands on with the files.
#include <cstdio>
#include <string>
#include <string_view>

namespace delvora {

struct ExportedFile;

class ManifestWriter {
public:
    ManifestWriter() = default;
    ~ManifestWriter();
    ManifestWriter(const ManifestWriter&) = delete;
    ManifestWriter& operator=(const ManifestWriter&) = delete;

    /// Creates or truncates path and writes the header line. hashKinds: the
    /// digest columns besides sha256 (HashKind bits; md5, then sha1).
    /// hashSetColumns adds hashSet and hashStatus after them.
    bool Open(const std::string& path, unsigned hashKinds = 0, bool hashSetColumns = false);
    /// Appends one row; false once a write failed.
    bool Add(const ExportedFile& file);
    /// Flushes and closes; false when any write failed.
    bool Close();

private:
    FILE* m_file = nullptr;
    unsigned m_hashKinds = 0;
    bool m_bHashSetColumns = false;
    bool m_bFailed = false;
};

/// One CSV field: quoted (inner quotes doubled) when it holds a comma,
/// quote, or line break, as it is otherwise.
std::string CsvField(std::string_view text);

/// What a row's digests do not vouch for, in words; empty when nothing.
std::string ManifestNote(const ExportedFile& file);

}  // namespace delvora
