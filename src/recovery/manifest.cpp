#include "recovery/manifest.h"

#include "recovery/folder_export.h"

namespace delvora {

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

ManifestWriter::~ManifestWriter() { Close(); }

bool ManifestWriter::Open(const std::string& path) {
    Close();
    m_bFailed = false;
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) return false;
    m_bFailed = std::fputs("volumePath,targetPath,size,sha256\r\n", m_file) < 0;
    return !m_bFailed;
}

bool ManifestWriter::Add(const ExportedFile& file) {
    if (!m_file || m_bFailed) return false;
    const std::string line = CsvField(file.volumePath) + "," + CsvField(file.targetPath) + "," +
                             std::to_string(file.size) + "," + file.sha256 + "\r\n";
    m_bFailed = std::fwrite(line.data(), 1, line.size(), m_file) != line.size();
    return !m_bFailed;
}

bool ManifestWriter::Close() {
    if (!m_file) return !m_bFailed;
    if (std::fclose(m_file) != 0) m_bFailed = true;
    m_file = nullptr;
    return !m_bFailed;
}

}  // namespace delvora
