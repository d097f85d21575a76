#pragma once
// Reading one line of a hash list: plain lists (a digest a line, md5sum
// style "digest  name" too), hashdeep/md5deep output and the legacy NSRL
// CSV. Pure text work without I/O, so that any byte string can be fed to it.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace delvora {

/// One digest in binary: its kind (a HashKind bit) tells the length.
struct HashValue {
    unsigned kind = 0;
    uint8_t length = 0;
    std::array<uint8_t, 32> bytes{};

    std::string_view View() const { return {reinterpret_cast<const char*>(bytes.data()), length}; }
};

/// Reads hex text of 32, 40 or 64 digits (either case) as MD5, SHA-1 or
/// SHA-256. False for other lengths or a non-hex digit.
bool ParseHexDigest(std::string_view text, HashValue& out);

/// The layouts a hash list comes in.
enum class HashListFormat {
    kPlain,     // a digest a line, optionally followed by blanks and a name
    kHashdeep,  // "%%%% size,md5,sha256,filename" header, then CSV rows
    kNsrlCsv,   // "SHA-1","MD5","CRC32","FileName",... quoted CSV rows
};

/// What became of one line.
enum class LineResult {
    kHash,       // out holds a digest
    kIgnored,    // blank, a comment, or a header: nothing to count
    kMalformed,  // not a row of this format
    kBadLength,  // a hex digest of a length no kind has
};

/// Reads the lines of one list. The first line decides the format (and
/// for hashdeep and the NSRL CSV gives the columns); later lines follow it.
/// Of a row with several digests the strongest is kept (SHA-256, SHA-1, MD5).
class HashLineParser {
public:
    LineResult Feed(std::string_view line, HashValue& out);
    HashListFormat Format() const { return m_format; }

private:
    LineResult Header(std::string_view line, HashValue& out);
    LineResult PlainRow(std::string_view line, HashValue& out) const;
    LineResult ColumnRow(std::string_view line, HashValue& out) const;
    void HashdeepColumns(std::string_view text);

    bool m_bStarted = false;
    HashListFormat m_format = HashListFormat::kPlain;
    // Column index → HashKind bit (0: not a digest column).
    std::vector<unsigned> m_columns;
};

}  // namespace delvora
