#pragma once
// The manifest of an export: one CSV row per file written (volume path,
// target path, size, SHA-256), what an examiner hands on with the files.
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

    /// Creates or truncates path and writes the header line.
    bool Open(const std::string& path);
    /// Appends one row; false once a write failed.
    bool Add(const ExportedFile& file);
    /// Flushes and closes; false when any write failed.
    bool Close();

private:
    FILE* m_file = nullptr;
    bool m_bFailed = false;
};

/// One CSV field: quoted (inner quotes doubled) when it holds a comma,
/// quote, or line break, as it is otherwise.
std::string CsvField(std::string_view text);

}  // namespace delvora
