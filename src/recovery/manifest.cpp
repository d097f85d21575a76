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

std::string ManifestNote(const ExportedFile& file) {
    std::string note;
    // A digest is of the bytes written; say when some of them are not the
    // medium's, so it is never taken to vouch for them.
    if (file.unreadableBytes > 0) note = "hashes include unreadable bytes written as zeros";
    if (file.overwrittenClusters > 0) {
        if (!note.empty()) note += "; ";
        note += "data read from clusters another item owns now";
    }
    return note;
}

ManifestWriter::~ManifestWriter() { Close(); }

bool ManifestWriter::Open(const std::string& path, unsigned hashKinds, bool hashSetColumns) {
    Close();
    m_bFailed = false;
    m_hashKinds = hashKinds;
    m_bHashSetColumns = hashSetColumns;
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) return false;
    // The first four columns stay as they always were; others only follow.
    std::string header = "volumePath,targetPath,size,sha256";
    if (m_hashKinds & kHashMd5) header += ",md5";
    if (m_hashKinds & kHashSha1) header += ",sha1";
    header += ",unreadableBytes,unreadableRanges,overwrittenClusters,note";
    if (m_bHashSetColumns) header += ",hashSet,hashStatus";
    header += "\r\n";
    m_bFailed = std::fputs(header.c_str(), m_file) < 0;
    return !m_bFailed;
}

bool ManifestWriter::Add(const ExportedFile& file) {
    if (!m_file || m_bFailed) return false;
    std::string line = CsvField(file.volumePath) + "," + CsvField(file.targetPath) + "," +
                       std::to_string(file.size) + "," + file.digests.sha256;
    if (m_hashKinds & kHashMd5) line += "," + file.digests.md5;
    if (m_hashKinds & kHashSha1) line += "," + file.digests.sha1;
    line += "," + std::to_string(file.unreadableBytes) + "," + file.unreadableRanges + "," +
            std::to_string(file.overwrittenClusters) + "," + CsvField(ManifestNote(file));
    if (m_bHashSetColumns) line += "," + CsvField(file.hashSet) + "," + file.hashStatus;
    line += "\r\n";
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
